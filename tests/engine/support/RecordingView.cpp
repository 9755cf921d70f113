#include "RecordingView.h"

#include <algorithm>
#include <mutex>

#include "engine/Helpers.h"
#include "engine/ResultsModel.h"

namespace {

RecordingView* current = nullptr;

// Lines come from any thread.
void KeepLog(const wxString& text) {
  if (current == nullptr) return;
  std::lock_guard<std::mutex> lock(current->logMutex);
  current->log += text.utf8_str().data();
}

}  // namespace

RecordingView::RecordingView() {
  current = this;
  oldLog_ = SetLogHandler(KeepLog);
}

RecordingView::~RecordingView() {
  SetLogHandler(oldLog_);
  current = nullptr;
}

void RecordingView::Forget() { calls.clear(); }

bool RecordingView::Called(const std::string& call) const {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

void RecordingView::ShowPage(int shown) {
  page = shown;
  calls.push_back("page " + std::to_string(shown));
}

void RecordingView::DispatchEvents() {
  ++dispatches;
  if (onDispatch) onDispatch();
}

void RecordingView::ClearResults() {
  page = TABLE_PAGE;
  plot = PlotSeries();
  gof = GofResults{};
  calls.push_back("clear");
}

bool RecordingView::ShowResults(const ResultsModel& model, bool final) {
  shownSequences = model.Sequences();
  calls.push_back(final ? "results final" : "results");
  return true;
}

void RecordingView::ShowPearson(const ResultsModel&) { calls.push_back("pearson"); }

void RecordingView::ShowPlot(const PlotSeries& series) {
  plot = series;
  calls.push_back("plot");
}

void RecordingView::ShowGofTable(const GofResults& table) {
  gof = table;
  calls.push_back("gof");
}

int RecordingView::LogLineCount() {
  std::lock_guard<std::mutex> lock(logMutex);
  return static_cast<int>(LogTextLines(log).size());
}

std::string RecordingView::LogLine(int line) {
  std::lock_guard<std::mutex> lock(logMutex);
  return LogTextLines(log)[line];
}
