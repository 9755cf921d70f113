#pragma once
// The one way the battery and the engine show a message box or append a
// line to the log pane. The window installs the real handlers; a test
// installs its own to answer boxes and read the log. Without a handler a
// box is printed to stderr and answered wxOK, and a log line is dropped.
//
// Log lines come from any thread, from several at once: the engine and the
// tests' constructors write from the GUI thread, the workers and the
// sub-threads of the pooled tests from their own (a failed event call). So
// every log handler is thread-safe: the window's passes the text on to the
// GUI thread, a test's appends under a lock.
#include <wx/string.h>

using MessageBoxHandler = int (*)(const wxString& text, const wxString& caption, long style);
using LogHandler = void (*)(const wxString& text);

// Installs a handler and returns the one it replaces (null for none).
// Installed while no run is going.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
LogHandler SetLogHandler(LogHandler handler);

// A modal box without a parent; returns the button pressed.
int ShowMessageBox(const wxString& text, const wxString& caption, long style);
// Appends text to the log pane, from any thread.
void AppendLog(const wxString& text);
