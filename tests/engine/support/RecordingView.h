#pragma once
// A view without a window: it keeps what a run of the engine shows (status
// fields, pages, the calls in their order, the plot and the goodness-of-fit
// table) and the log lines of the run, so that tests read the results from
// the results model and the rest from here. One at a time.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "battery/Messages.h"
#include "engine/RunView.h"

class RecordingView : public RunView {
 public:
  RecordingView();
  ~RecordingView() override;
  RecordingView(const RecordingView&) = delete;
  RecordingView& operator=(const RecordingView&) = delete;

  // What the engine reads.
  int concurrency = 4;
  std::string input;
  // Called on every DispatchEvents, as a person acting on the window would.
  std::function<void()> onDispatch;

  // What it was shown.
  std::string status[4];
  int page = -1;  // the page in front, -1 before any
  // Every call but DispatchEvents and SetStatus, in order: "page N",
  // "clear", "results" ("results final" when final), "pearson", "plot",
  // "gof".
  std::vector<std::string> calls;
  int dispatches = 0;
  int shownSequences = 0;  // the model's sequences at the last ShowResults
  PlotSeries plot;
  GofResults gof{};
  // The log lines, which come from any thread: appended under logMutex,
  // read by the tests once the run is over.
  std::string log;
  std::mutex logMutex;

  // The calls since the last Forget.
  void Forget();
  bool Called(const std::string& call) const;

  int Concurrency() override { return concurrency; }
  std::string InputText() override { return input; }
  void SetStatus(int field, const std::string& text) override { status[field] = text; }
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
  LogHandler oldLog_ = nullptr;
};
