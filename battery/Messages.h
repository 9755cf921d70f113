#pragma once
// The one way the battery and the engine show a message box or append a
// line to the log pane. The window installs the real handlers; a test
// installs its own to answer boxes and read the log. Without a handler a
// box is printed to stderr and answered wxOK, and a log line is dropped.
#include <wx/string.h>

using MessageBoxHandler = int (*)(const wxString& text, const wxString& caption, long style);
using LogHandler = void (*)(const wxString& text);

// Installs a handler and returns the one it replaces (null for none).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
LogHandler SetLogHandler(LogHandler handler);

// A modal box without a parent; returns the button pressed.
int ShowMessageBox(const wxString& text, const wxString& caption, long style);
// Appends text to the log pane (the GUI thread's).
void AppendLog(const wxString& text);
