#pragma once
// The application object: it creates the main window and, as the toolkit's
// event filter, sees every event of every window first. DEL stops a running
// run; ESC closes the window while nothing runs.
#include <wx/app.h>

class App : public wxApp {
 public:
  // Follows the modal dialogs of the program (see FilterEvent).
  App();
  // Installs the program's message box and log pane, sets runState to Idle
  // and creates, publishes (mainFrame) and shows the main window. The
  // toolkit's own OnInit is not called, so no command line is parsed.
  bool OnInit() override;
  // ESC closes the main window only while nothing else takes the key: no
  // drop-down list, menu or dialog is open and the key came to the main
  // window itself.
  int FilterEvent(wxEvent& event) override;
};

// Makes the character encoding of the C library UTF-8 when the locale gives
// another one (the C locale of a bare environment is ASCII): file names,
// presets and the preferences are UTF-8 text, and the toolkit converts file
// names through the C library. The other categories of the locale stay.
void UseUtf8Encoding();

// The program's handlers behind ShowMessageBox and AppendLog: a modal box
// without parent window, and the end of the log pane of mainFrame (lines
// from another thread are handed to the GUI thread; nothing while there is
// no window).
int ShowProgramMessageBox(const wxString& text, const wxString& caption, long style);
void AppendProgramLog(const wxString& text);
