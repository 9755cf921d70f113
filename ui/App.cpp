#include "ui/App.h"

#include <langinfo.h>
#include <wx/combo.h>
#include <wx/modalhook.h>
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

namespace {

// The modal dialogs open now, of any kind: the toolkit's own message boxes
// and file dialogs included.
class ModalDialogCount : public wxModalDialogHook {
 public:
  int open = 0;

 protected:
  int Enter(wxDialog*) override {
    ++open;
    return wxID_NONE;
  }
  void Exit(wxDialog*) override { --open; }
};

ModalDialogCount* modalDialogs = nullptr;

// Popup menus open now (their open and close events pass the filter).
int openMenus = 0;

// Whether an ESC pressed on target is meant for something other than the
// main window: a dialog or a menu is open, the key came to another window
// (a dialog, the popup of a list), or a drop-down list of the window is
// down (the list of a combo box keeps the focus in the box).
bool EscapeBelongsElsewhere(const wxEvent& event) {
  if (modalDialogs->open > 0 || openMenus > 0) return true;
  auto* target = dynamic_cast<wxWindow*>(event.GetEventObject());
  if (target == nullptr || wxGetTopLevelParent(target) != mainFrame) return true;
  for (wxWindow* w = target; w != nullptr; w = w->GetParent()) {
    auto* combo = dynamic_cast<wxComboCtrl*>(w);
    if (combo != nullptr && combo->IsPopupShown()) return true;
  }
  return false;
}

}  // namespace

App::App() {
  if (modalDialogs == nullptr) {
    // One hook for the life of the program, whichever application object
    // made it.
    modalDialogs = new ModalDialogCount;
    modalDialogs->Register();
  }
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
  if (event.GetEventType() == wxEVT_MENU_OPEN) ++openMenus;
  if (event.GetEventType() == wxEVT_MENU_CLOSE && openMenus > 0) --openMenus;
  // mainFrame is null while the window is built: the boxes of its
  // constructor can receive keys before there is a window to act on.
  if (event.GetEventType() == wxEVT_KEY_DOWN && mainFrame != nullptr) {
    const int key = static_cast<wxKeyEvent&>(event).GetKeyCode();
    // Not during the Start handler: runState is Idle while it prepares and
    // ends a run, and the run still holds the window then.
    if (key == WXK_ESCAPE && runState == RunState::Idle && !mainFrame->startActive &&
        !EscapeBelongsElsewhere(event)) {
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
