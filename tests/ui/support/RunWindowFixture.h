#pragma once
// A whole run of the engine on the real main window through its view: the
// window with its plot and the log pane fed by the engine.
#include <wx/grid.h>
#include <wx/notebook.h>
#include <wx/richtext/richtextctrl.h>
#include <wx/spinctrl.h>

#include <string>

#include "GuiTest.h"
#include "battery/Messages.h"
#include "engine/support/RunSetup.h"
#include "ui/App.h"
#include "ui/MainFrame.h"
#include "ui/WindowView.h"

// The main window as the tests build it: the bare layout with its plot.
class RunFrame : public wxQuorvaneFIN {
 public:
  RunFrame()
      : wxQuorvaneFIN(nullptr, wxID_ANY, "Quorvane_MT", wxDefaultPosition, wxSize(1030, 830),
                      wxDEFAULT_FRAME_STYLE | wxTAB_TRAVERSAL) {
    graph = new Graph(plotPanel);
    threadsSpin->SetRange(1, 99);
  }
};

struct RunWindowFixture : RunSetup {
  RunFrame* frame = nullptr;
  LogHandler oldLog = nullptr;

  void SetUp() override {
    RunSetup::SetUp();
    frame = new RunFrame;
    mainFrame = frame;
    oldLog = SetLogHandler(AppendProgramLog);  // the program's log pane, from any thread
    frame->threadsSpin->SetValue(4);
    frame->rowHeightSpin->SetValue(20);
  }
  void TearDown() override {
    SetPendingEventsHook(nullptr);
    SetLogHandler(oldLog);
    mainFrame = nullptr;
    frame->Destroy();
    RunSetup::TearDown();
  }
  void ShowInput(const std::string& text) override { frame->fileCombo->SetValue(wxString::FromUTF8(text.c_str())); }

  std::string LogText() const { return std::string(frame->messageText->GetValue().utf8_str().data()); }
  std::string Cell(int row, int col) const { return std::string(frame->tableGrid->GetCellValue(row, col).utf8_str().data()); }
  // The data rows of the Table grid: its rows past the three summary rows.
  int DataRows() const { return frame->tableGrid->GetNumberRows() - 3; }
};
