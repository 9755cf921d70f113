#pragma once
// A whole run of the engine without a window, on a recording view.
#include <string>

#include "engine/ResultsModel.h"
#include "engine/RunTests.h"
#include "engine/support/RecordingView.h"
#include "engine/support/RunSetup.h"

struct RunFixture : RunSetup {
  RecordingView view;

  void SetUp() override {
    RunSetup::SetUp();
    view.concurrency = 4;
  }
  void ShowInput(const std::string& text) override { view.input = text; }

  int Run(platform::DynamicLibrary* plugin = nullptr) { return RunTests(view, plugin); }

  const std::string& LogText() const { return view.log; }
  // The cells as the Table grid shows them: the summary rows 0 to 2, result
  // row r at row r + 3.
  static std::string Cell(int row, int col) { return runResults.CellText(row, col); }
  static int DataRows() { return runResults.Rows(); }
  static int Columns() { return 7 + runResults.Sequences(); }
};
