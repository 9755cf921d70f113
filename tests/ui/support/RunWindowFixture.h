#pragma once
// A whole run of the engine on the real main window through its view: a fresh data folder,
// the window with its plot, the log pane fed by the engine, the message
// boxes answered, the three first tests enabled, and input files written
// by the test.
#include <gtest/gtest.h>
#include <wx/grid.h>
#include <wx/notebook.h>
#include <wx/richtext/richtextctrl.h>
#include <wx/spinctrl.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "GuiTest.h"
#include "battery/Messages.h"
#include "battery/RunState.h"
#include "engine/InputFiles.h"
#include "engine/RunTests.h"
#include "ui/MainFrame.h"
#include "ui/WindowView.h"
#include "ui/support/DataFolder.h"

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

struct RunWindowFixture : DataFolderTest {
  RunFrame* frame = nullptr;
  LogHandler oldLog = nullptr;
  signed char starts[TEST_SLOTS];
  signed char rows[TEST_SLOTS];

  static void ToLogPane(const wxString& text) { mainFrame->messageText->AppendText(text); }

  void SetUp() override {
    DataFolderTest::SetUp();
    frame = new RunFrame;
    mainFrame = frame;
    oldLog = SetLogHandler(ToLogPane);
    for (int i = 0; i < TEST_SLOTS; ++i) {
      starts[i] = static_cast<signed char>(i);
      rows[i] = static_cast<signed char>(i);
      testTable[i].enabled = false;
    }
    startOrder = starts;
    rowOrder = rows;
    testTable[SLOT_CUSUM].enabled = true;
    testTable[SLOT_LONGBLK].enabled = true;
    testTable[SLOT_TWOBIT].enabled = true;
    longBlkSmin = 128;
    longBlkSmax = 1024;
    longBlkSstp = -1;
    seqLen = 20000;
    seqCount = 10;
    pvalueDigits = 4;
    runPriority = 0;
    frame->threadsSpin->SetValue(4);
    frame->rowHeightSpin->SetValue(20);
  }
  void TearDown() override {
    SetPendingEventsHook(nullptr);
    SetLogHandler(oldLog);
    delete[] inputPattern;
    inputPattern = nullptr;
    startOrder = rowOrder = nullptr;
    for (auto& e : testTable) e.enabled = false;
    mainFrame = nullptr;
    frame->Destroy();
    runState = RunState::Idle;
    DataFolderTest::TearDown();
  }

  // Writes bytes into folder/in/name.
  void WriteInput(const std::string& name, const std::vector<unsigned char>& bytes) {
    mkdir((folder + "/in").c_str(), 0755);
    std::ofstream(folder + "/in/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  static std::vector<unsigned char> RandomBytes(size_t count, uint64_t seed) {
    std::mt19937_64 gen(seed);
    std::vector<unsigned char> bytes(count);
    for (auto& b : bytes) b = static_cast<unsigned char>(gen() >> 56);
    return bytes;
  }
  // Sets the input pattern as the Start handler does (a new[] text), and the
  // input box the report names it from.
  void Pattern(const std::string& pattern) {
    frame->fileCombo->SetValue(wxString::FromUTF8(pattern.c_str()));
    delete[] inputPattern;
    inputPattern = new char[pattern.size() + 1];
    strcpy(inputPattern, pattern.c_str());
  }
  void FilesOf(const std::vector<unsigned char>& bytes) {
    WriteInput("data.bin", bytes);
    Pattern(folder + "/in/*.bin");
  }

  std::string LogText() const { return std::string(frame->messageText->GetValue().utf8_str().data()); }
  std::string Cell(int row, int col) const { return std::string(frame->tableGrid->GetCellValue(row, col).utf8_str().data()); }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(folder + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) const { return std::ifstream(folder + "/" + name).good(); }
  // The data rows of the Table grid: its rows past the three summary rows.
  int DataRows() const { return frame->tableGrid->GetNumberRows() - 3; }
};
