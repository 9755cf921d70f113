#pragma once
// The program's own main window in a fresh data folder, published as
// mainFrame, and the ways a user acts on it: clicks, ticks, spins and keys
// sent as the toolkit's events to the control, so that they pass through
// the bindings of the layout and the application's key filter.
#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/spinbutt.h>
#include <wx/tglbtn.h>

#include <memory>
#include <stdexcept>

#include "DataFolder.h"
#include "battery/RunState.h"
#include "ui/App.h"
#include "ui/MainFrame.h"
#include "ui/TestPanels.h"

// The command event a click on the control sends.
inline void Click(wxWindow* control) {
  // dynamic_cast tests the type before it casts; wxDynamicCast casts first.
  auto* check = dynamic_cast<wxCheckBox*>(control);
  auto* toggle = dynamic_cast<wxToggleButton*>(control);
  wxEventType type = wxEVT_BUTTON;
  if (check != nullptr) type = wxEVT_CHECKBOX;
  if (toggle != nullptr) type = wxEVT_TOGGLEBUTTON;
  wxCommandEvent event(type, control->GetId());
  event.SetEventObject(control);
  if (check != nullptr) event.SetInt(check->GetValue() ? 1 : 0);
  if (toggle != nullptr) event.SetInt(toggle->GetValue() ? 1 : 0);
  control->GetEventHandler()->ProcessEvent(event);
}

// A user's tick or untick of a check box or toggle button: the new state,
// then its click.
inline void SetAndClick(wxCheckBox* check, bool value) {
  check->SetValue(value);
  Click(check);
}
inline void SetAndClick(wxToggleButton* toggle, bool value) {
  toggle->SetValue(value);
  Click(toggle);
}

// A tick change of entry index of the check-list box, with its event.
inline void TickEntry(wxCheckListBox* list, unsigned index, bool ticked) {
  list->Check(index, ticked);
  wxCommandEvent event(wxEVT_CHECKLISTBOX, list->GetId());
  event.SetEventObject(list);
  event.SetInt(static_cast<int>(index));
  list->GetEventHandler()->ProcessEvent(event);
}

// The spin button moved to value, with its event.
inline void Spin(wxSpinButton* button, int value) {
  button->SetValue(value);
  wxSpinEvent event(wxEVT_SPIN, button->GetId());
  event.SetEventObject(button);
  event.SetPosition(value);
  button->GetEventHandler()->ProcessEvent(event);
}

// A key event of the given type (key down by default) sent to the window as
// the toolkit sends a key press: every event filter sees it first. True
// when it was handled.
inline bool PressKey(wxWindow* window, int keyCode, wxEventType type = wxEVT_KEY_DOWN) {
  wxKeyEvent event(type);
  event.m_keyCode = keyCode;
  event.SetEventObject(window);
  event.SetId(window->GetId());
  return window->GetEventHandler()->ProcessEvent(event);
}

// The program's application object as the key filter of the test program.
// Constructing an application object makes it the toolkit's application
// and an event filter; the test program's own application stays the
// toolkit's application (it runs the tests' hooks), so only the filter is
// ours.
class ProgramApp {
 public:
  ProgramApp() {
    wxAppConsole* testApp = wxAppConsole::GetInstance();
    app = std::make_unique<App>();
    wxAppConsole::SetInstance(testApp);
  }
  ~ProgramApp() {
    wxAppConsole* testApp = wxAppConsole::GetInstance();
    app.reset();
    wxAppConsole::SetInstance(testApp);
  }
  App& operator*() { return *app; }
  App* operator->() { return app.get(); }

 private:
  std::unique_ptr<App> app;
};

// A fresh data folder and the program's window built in it. The window is
// shown, so that its layout and its pages are those the user sees.
struct ProgramWindowTest : DataFolderTest {
  wxQuorvaneFIN* frame = nullptr;

  LogHandler oldLog = nullptr;

  void SetUp() override {
    DataFolderTest::SetUp();
    oldLog = SetLogHandler(AppendProgramLog);  // the program's log pane
    runState = RunState::Idle;
    frame = new wxQuorvaneFIN(nullptr);
    mainFrame = frame;
    frame->Show();
  }
  void TearDown() override {
    DestroyFrame();
    runState = RunState::Idle;
    SetLogHandler(oldLog);
    DataFolderTest::TearDown();
  }
  // Destroys the window the way the toolkit does once it has been closed.
  void DestroyFrame() {
    if (frame != nullptr && !frame->IsBeingDeleted()) frame->Destroy();
    frame = nullptr;
    wxTheApp->ProcessIdle();
    mainFrame = nullptr;
  }
  // dataDir again after a close handler released it.
  void RestoreDataDir() {
    if (dataDir != nullptr) return;
    dataDir = new char[folder.size() + 1];
    strcpy(dataDir, folder.c_str());
  }
  // The panel and the check box of a test slot 0 to 26.
  static const TestPanelSpec& SpecOfSlot(int slot) {
    for (const TestPanelSpec& t : TEST_PANELS)
      if (t.slot == slot) return t;
    throw std::logic_error("no panel for this slot");
  }
  wxPanel* Panel(int slot) const { return frame->*SpecOfSlot(slot).panel; }
  wxCheckBox* Box(int slot) const { return frame->*SpecOfSlot(slot).check; }
  static std::vector<wxString> Items(wxItemContainerImmutable* box) {
    std::vector<wxString> items;
    for (unsigned i = 0; i < box->GetCount(); ++i) items.push_back(box->GetString(i));
    return items;
  }
};
