#pragma once
// A main window for the tests of presets and preferences: the real preset
// handlers and preferences code, the window prepared as its constructor
// prepares it before it lists the presets (spin-button ranges, the
// "Concurrent threads" maximum, the display-order list in slot order), and
// the handlers of the test list and of the control refreshes recorded
// rather than run.
#include <wx/spinbutt.h>

#include <memory>
#include <vector>

#include "battery/RunState.h"
#include "DataFolder.h"
#include "ui/MainFrame.h"

class SettingsFrame : public wxQuorvaneFIN {
 public:
  SettingsFrame()
      : wxQuorvaneFIN(nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(1032, 1243),
                      wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL) {
    amlsLminSpinButton->SetRange(0, 19);
    amlsLmaxSpinButton->SetRange(0, 19);
    amlsLmaxSpinButton->SetValue(19);
    liCoKSpinButton->SetRange(0, 14);
    threadsSpin->SetRange(1, 30);
    for (int slot = 0; slot < 26; ++slot) testList->Append(testTable[slot].name);
    ListPresets();
  }

  // The entry index of every OnTestListCheck call, in order.
  std::vector<int> testListChecks;
  int amlsLminSpins = 0, amlsLmaxSpins = 0, linCplxKSpins = 0, autohides = 0;
  std::vector<int> autohideIds;

  // Text events of the presets box that reached the handler.
  int presetTexts = 0;
  void OnPresetText(wxCommandEvent& e) override {
    ++presetTexts;
    wxQuorvaneFIN::OnPresetText(e);
  }

  void OnTestListCheck(wxCommandEvent& e) override { testListChecks.push_back(e.GetInt()); }
  void OnAmlsLminSpin(wxSpinEvent&) override { ++amlsLminSpins; }
  void OnAmlsLmaxSpin(wxSpinEvent&) override { ++amlsLmaxSpins; }
  void OnLinCplxKSpin(wxSpinEvent&) override { ++linCplxKSpins; }
  void OnAutohide(wxCommandEvent& e) override {
    ++autohides;
    autohideIds.push_back(e.GetId());
  }
  int Refreshes() const { return amlsLminSpins + amlsLmaxSpins + linCplxKSpins + autohides; }

  void OnTestCheck(wxCommandEvent&) override {}
  void OnRw1dLminSpin(wxSpinEvent&) override {}
  void OnEnableAll(wxCommandEvent&) override {}
  void OnStart(wxCommandEvent&) override {}
  void OnSelectFile(wxCommandEvent&) override {}
  void OnFileSelected(wxCommandEvent&) override {}
  void OnFileText(wxCommandEvent&) override {}
  void OnDeleteFile(wxCommandEvent&) override {}
  void OnTestListMove(wxCommandEvent&) override {}
  void OnTestListSort(wxCommandEvent&) override {}
};

// A fresh data folder and a fresh window for every test.
struct SettingsWindowTest : DataFolderTest {
  std::unique_ptr<SettingsFrame> frame;
  void SetUp() override {
    DataFolderTest::SetUp();
    frame = std::make_unique<SettingsFrame>();
  }
  void TearDown() override {
    frame.reset();
    runState = RunState::Idle;
    DataFolderTest::TearDown();
  }
  static std::vector<wxString> Items(const wxItemContainerImmutable* box) {
    std::vector<wxString> items;
    for (unsigned i = 0; i < box->GetCount(); ++i) items.push_back(box->GetString(i));
    return items;
  }
};
