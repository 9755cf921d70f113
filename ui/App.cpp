#include "ui/App.h"

#include <langinfo.h>
#include <wx/msgdlg.h>
#include <wx/richtext/richtextctrl.h>
#include <wx/thread.h>

#include <clocale>
#include <cstring>

#include "battery/Messages.h"
#include "battery/RunState.h"
#include "ui/MainFrame.h"

void UseUtf8Encoding() {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset != nullptr && strcmp(codeset, "UTF-8") == 0) return;
  setlocale(LC_CTYPE, "C.UTF-8");
}

int ShowProgramMessageBox(const wxString& text, const wxString& caption, long style) {
  return wxMessageBox(text, caption, style);
}

void AppendProgramLog(const wxString& text) {
  if (!wxIsMainThread()) {
    if (wxTheApp != nullptr) wxTheApp->CallAfter([text] { AppendProgramLog(text); });
    return;
  }
  if (mainFrame != nullptr) mainFrame->messageText->AppendText(text);
}

bool App::OnInit() {
  // The toolkit has set the locale from the environment by now.
  UseUtf8Encoding();
  SetMessageBoxHandler(ShowProgramMessageBox);
  SetLogHandler(AppendProgramLog);

  runState = RunState::Idle;
  auto* frame = new wxQuorvaneFIN(nullptr);
  SetTopWindow(frame);
  mainFrame = frame;
  frame->Show();
  return true;
}

int App::FilterEvent(wxEvent& event) {
  // mainFrame is null while the window is built: the boxes of its
  // constructor can receive keys before there is a window to act on.
  if (event.GetEventType() == wxEVT_KEY_DOWN && mainFrame != nullptr) {
    const int key = static_cast<wxKeyEvent&>(event).GetKeyCode();
    // Not during the Start handler: runState is Idle while it prepares and
    // ends a run, and the run still holds the window then.
    if (key == WXK_ESCAPE && runState == RunState::Idle && !mainFrame->startActive) {
      mainFrame->Close(true);
      return Event_Processed;
    }
    if (key == WXK_DELETE && runState == RunState::Running) {
      mainFrame->statusBar->SetStatusText("STOPPING...", 2);
      runState = RunState::StopRequested;
      return Event_Processed;
    }
  }
  event.Skip();
  return Event_Skip;
}
