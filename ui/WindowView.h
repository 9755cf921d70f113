#pragma once
// The run engine's view over the main window (mainFrame): the status bar,
// the notebook, the Table and Pearson grids, the plot, the goodness-of-fit
// grid, the log pane, and the "Threads" and row-height spins.
#include <cstdint>
#include <string>

#include "engine/RunView.h"
#include "platform/DynamicLibrary.h"

class wxGrid;

class WindowView : public RunView {
 public:
  int Concurrency() override;
  std::string InputText() override;
  void SetStatus(int field, const std::string& text) override;
  void ShowPage(int page) override;
  void DispatchEvents() override;
  void ClearResults() override;
  bool ShowResults(const ResultsModel& model, bool final) override;
  void ShowPearson(const ResultsModel& model) override;
  void ShowPlot(const PlotSeries& series) override;
  void ShowGofTable(const GofResults& table) override;
  int LogLineCount() override;
  std::string LogLine(int line) override;

 private:
  // Whether the failure warning's cell has its span, and the counter reading
  // at which the Table grid last took new sequence columns.
  bool warningShown_ = false;
  int64_t lastColumnsUpdate_ = 0;
};

// One run of the engine in the main window.
int RunTests(platform::DynamicLibrary* plugin);

// Sets the cell's text to FormatPValue(p) and its text colour to red below
// 0.001, orange below 0.01, blue otherwise (a NaN too). The background is
// left alone.
void SetPValueCell(wxGrid& grid, int row, int column, double p);
