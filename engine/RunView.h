#pragma once
// What a run shows, and the two things it asks, through a view of the
// engine's own: the main window implements it (WindowView), a test or a
// tool without a window implements its own. Every call comes from the thread
// that called RunTests. Log lines and message boxes do not pass through the
// view: the battery and the engine write them through battery/Messages.h,
// whose handlers the program (or the driver) installs.
#include <string>

#include "engine/GofResults.h"

class ResultsModel;

// The notebook pages the engine brings to the front.
constexpr int TABLE_PAGE = 1;
constexpr int MESSAGES_PAGE = 4;

class RunView {
 public:
  virtual ~RunView() = default;

  // How many tests may run at once (the "Threads" value), read once per run
  // just before the first sequence.
  virtual int Concurrency() = 0;
  // The input as the user gave it (a file name pattern or the plug-in's
  // path), which the report names.
  virtual std::string InputText() = 0;

  // Sets status field 0 to 3 to text (UTF-8).
  virtual void SetStatus(int field, const std::string& text) = 0;
  // Brings a page of the notebook to the front.
  virtual void ShowPage(int page) = 0;
  // Handles the pending events of the window (a stop request among them),
  // so that it stays alive while the engine works.
  virtual void DispatchEvents() = 0;

  // A new run: empties the results (the Table view down to its summary rows
  // with the Table page in front, the Pearson view to no rows and three
  // columns, the plot and the goodness-of-fit table).
  virtual void ClearResults() = 0;
  // Shows the results model as it stands: new rows, the statistics, the
  // failure warning and the new sequence columns, which may wait for a later
  // call unless `final`. True when every sequence of the model is shown.
  virtual bool ShowResults(const ResultsModel& model, bool final) = 0;
  // At the end of a run with Pearson's table (model.PearsonBins() >= 2): one
  // row per result row.
  virtual void ShowPearson(const ResultsModel& model) = 0;
  // At the end of a run of more than one row: the plot of the rows' final
  // KS and AD p-values, and the goodness-of-fit table when the plot has
  // three points or more.
  virtual void ShowPlot(const PlotSeries& series) = 0;
  virtual void ShowGofTable(const GofResults& table) = 0;

  // The lines of the log pane as they stand (UTF-8, without their line
  // breaks), which the report copies.
  virtual int LogLineCount() = 0;
  virtual std::string LogLine(int line) = 0;
};
