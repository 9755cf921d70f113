// The sequence loop: fill, release under the concurrency limit, collect the
// p-values into the Table grid, the per-row statistics and the progress.
#include <wx/grid.h>
#include <wx/spinctrl.h>
#include <wx/statusbr.h>

#include <algorithm>
#include <ctime>

#include "battery/PValueTests.h"
#include "battery/TESTthd.h"
#include "engine/Helpers.h"
#include "engine/RunTests.h"
#include "engine/InputFiles.h"
#include "engine/RunContext.h"
#include "platform/Counter.h"
#include "platform/Event.h"
#include "platform/LastError.h"
#include "ui/MainFrame.h"

namespace {

constexpr int WAIT_SLICE_MS = 100;

TESTthd* Test(int slot) { return testTable[slot].test; }

// A released worker that left its loop on a failed event call will never
// signal again: the run cannot go on.
bool WorkerFailed() {
  for (int s = 0; s < TEST_SLOTS; ++s) {
    if (testTable[s].enabled && Test(s)->command == CMD_RUN && Test(s)->HasFailed()) {
      RunLog("\n\t!! ERROR !!\nThe worker of the test \"%s\" stopped on a failed event call.\n", testTable[s].name);
      return true;
    }
  }
  return false;
}

void Finished(int slot, int& running) {
  --running;
  Test(slot)->command = CMD_IDLE;
}

// Fills the sequence buffer; false when the input has run out (seqCount is
// then lowered to the sequences already tested).
bool Fill(RunContext& run) {
  if (run.plugin == nullptr) {
    return FillSequenceFromFiles(run.inputNames, run.inputCount);
  }
  const int64_t from = platform::CounterTicks();
  const uint32_t words = seqLen / 32;
  for (uint32_t i = 0; i < words; ++i) seqBits[i] = run.getUL();
  run.generationSeconds += run.Seconds(from, platform::CounterTicks());
  return true;
}

// Releases the tests in startOrder, never more at once than the limit, and
// waits for all of them. False after a mid-run error.
bool Dispatch(RunContext& run) {
  int running = 0;
  wxStatusBar* status = mainFrame->statusBar;
  for (int j = 0; j < TEST_SLOTS; ++j) {
    const int s = startOrder[j];
    if (!testTable[s].enabled) continue;
    status->SetStatusText(wxString::Format("%d:%d", seqCount - seqIndex, s), 0);
    DispatchPendingEvents();
    Test(s)->command = CMD_RUN;
    if (!platform::SetEvent(startEvents[s])) {
      RunLog("SetEvent hINI failed, i= %d (%d)\n", s, platform::LastError());
      return false;
    }
    if (++running < run.concurrency) continue;
    int q;
    for (;;) {
      q = platform::WaitAnyEvent(doneEvents, TEST_SLOTS, WAIT_SLICE_MS);
      DispatchPendingEvents();
      if (q == platform::WAIT_ANY_FAILED) {
        RunLog("WaitForMultipleObjects hEND failed (%d)\n", platform::LastError());
        return false;
      }
      if (q >= 0) break;
      if (WorkerFailed()) return false;
    }
    Finished(q, running);
    for (int p = q + 1; p < j; ++p)
      if (platform::WaitEvent(doneEvents[p], 0) == platform::WaitResult::Signalled) Finished(p, running);
  }
  for (int s = 0; s < TEST_SLOTS; ++s) {
    if (!testTable[s].enabled || Test(s)->command != CMD_RUN) continue;
    for (;;) {
      const platform::WaitResult r = platform::WaitEvent(doneEvents[s], WAIT_SLICE_MS);
      DispatchPendingEvents();
      if (r == platform::WaitResult::Signalled) break;
      if (r == platform::WaitResult::Failed) {
        RunLog("WaitForSingleObject hEND failed (%d)\n", platform::LastError());
        return false;
      }
      if (WorkerFailed()) return false;
    }
    Test(s)->command = CMD_IDLE;
  }
  return true;
}

// Puts the pairs of every enabled slot, in rowOrder, into a new column of
// the Table grid and the run's array. Sequence 1 makes the rows; later
// sequences are held to the number of pairs each slot gave then (a missing
// pair counts as short, an extra one is dropped).
void Collect(RunContext& run) {
  wxGrid* grid = mainFrame->tableGrid;
  const int column = seqIndex + 6;
  grid->AppendCols(1);
  grid->SetColLabelValue(column, wxString::Format("%d", seqIndex));
  int row = 3;
  for (int j = 0; j < TEST_SLOTS; ++j) {
    const int s = rowOrder[j];
    if (!testTable[s].enabled) continue;
    const int given = static_cast<int>(resultPValues[s].size());
    if (seqIndex == 1) run.slotPairs[s] = given;
    for (int k = 0; k < run.slotPairs[s]; ++k, ++row) {
      const double p = k < given ? resultPValues[s][k] : PVALUE_SHORT;
      run.pvalues.push_back(p);
      if (seqIndex == 1) {
        grid->AppendRows(1);
        grid->SetRowLabelValue(row, wxString::Format("%d", row - 2));
        grid->SetCellValue(row, 0, wxString::FromUTF8(resultLabels[s][k]));
        grid->SetRowSize(row, mainFrame->rowHeightSpin->GetValue());
      }
      grid->SetCellValue(row, column, FormatPValue(p));
    }
  }
  grid->AutoSizeColumn(column);
}

void ReadCpuTimes(RunContext& run) {
  for (int s = 0; s < TEST_SLOTS; ++s)
    if (testTable[s].enabled) run.cpuSeconds[s] = ThreadCpuSeconds(Test(s)->threadHandle) + Test(s)->subThreadCpuSeconds;
}

// Slowest test first: a shell sort that never swaps equal times.
void SortStartOrder(const RunContext& run) {
  int gap = TEST_SLOTS;
  do {
    gap /= 2;
    bool sorted;
    do {
      sorted = true;
      for (int p = 0; p + gap < TEST_SLOTS; ++p) {
        if (run.cpuSeconds[startOrder[p + gap]] > run.cpuSeconds[startOrder[p]]) {
          std::swap(startOrder[p], startOrder[p + gap]);
          sorted = false;
        }
      }
    } while (!sorted);
  } while (gap > 1);
}

// KS and AD p-values of the valid (non-negative) entries of per-row values.
void SummaryCells(wxGrid* grid, std::vector<double> values, int countRow, int column) {
  if (!values.empty()) SortDoubles(values.data(), 0, static_cast<int>(values.size()) - 1);
  const auto firstValid = std::find_if(values.begin(), values.end(), [](double v) { return v >= 0; });
  const int v = static_cast<int>(values.end() - firstValid);
  grid->SetCellValue(countRow, 1, wxString::Format("%d", v));
  if (v < 2) return;
  const double* data = &*firstValid;
  SetPValueCell(*grid, 0, column, KsUniformPValue(data, v));
  SetPValueCell(*grid, 1, column, AdUniformPValue(data, v));
}

void RowStatistics(RunContext& run) {
  if (run.pvalues.size() <= 1) return;
  wxGrid* grid = mainFrame->tableGrid;
  const double tail = 0.01 / static_cast<double>(run.pvalues.size());
  const wxColour plain = grid->GetDefaultCellTextColour();
  std::vector<double> ks(run.rows, -1), ad(run.rows, -1);
  for (int r = 0; r < run.rows; ++r) {
    const int row = r + 3;
    bool failed = false;
    const std::vector<double> values = RowValues(run, r, seqIndex, &failed);
    if (failed) ++run.failCount;
    const int n = static_cast<int>(values.size());
    if (n >= 2) {
      const double low = values.front(), high = values.back();
      grid->SetCellValue(row, 5, FormatPValue(low));
      grid->SetCellValue(row, 6, FormatPValue(high));
      grid->SetCellTextColour(row, 5, low < tail || low > 1 - tail ? *wxRED : plain);
      grid->SetCellTextColour(row, 6, high < tail || high > 1 - tail ? *wxRED : plain);
      ks[r] = KsUniformPValue(values.data(), n);
      ad[r] = AdUniformPValue(values.data(), n);
    }
    grid->SetCellValue(row, 1, wxString::Format("%d", n));
    if (failed) grid->SetCellTextColour(row, 1, *wxRED);
    if (seqIndex >= 2) {
      SetPValueCell(*grid, row, 2, ks[r]);
      SetPValueCell(*grid, row, 3, ad[r]);
      SetPValueCell(*grid, row, 4, ThresholdBinomialP(values.data(), n));
    }
  }
  if (run.failCount != 0) {
    grid->SetCellSize(0, 0, 2, 1);
    grid->SetCellAlignment(0, 0, wxALIGN_CENTRE, wxALIGN_CENTRE);
    grid->SetCellValue(0, 0, "WARNING!\nBig failure");
    grid->SetCellTextColour(0, 0, *wxRED);
  }
  if (run.rows > 1) {
    SummaryCells(grid, ks, 0, 2);
    SummaryCells(grid, ad, 1, 3);
  }
}

void EmptyResultLists() {
  for (int s = 0; s < TEST_SLOTS; ++s) {
    if (!testTable[s].enabled) continue;
    for (char* label : resultLabels[s]) delete[] label;
    resultLabels[s].clear();
    resultPValues[s].clear();
  }
}

void ShowProgress(RunContext& run) {
  if (seqCount <= 2) return;
  const int64_t now = platform::CounterTicks();
  if (seqIndex == 1) {
    run.firstSequenceEnd = now;
    run.firstSequenceSeconds = run.Seconds(run.runStart, now);
    return;
  }
  const double x = run.Seconds(run.firstSequenceEnd, now);
  const double left = x / (seqIndex - 1) * (seqCount - seqIndex);
  char text[100];
  wxStatusBar* status = mainFrame->statusBar;
  status->SetStatusText(wxString::Format("Elapsed: %s", FormatDuration(text, 0, run.firstSequenceSeconds + x)), 1);
  status->SetStatusText(wxString::Format("Left: %s", FormatDuration(text, 0, left)), 2);
  const time_t end = time(nullptr) + static_cast<time_t>(left);
  strftime(text, sizeof text, "Date end: %Y-%m-%d %H:%M", localtime(&end));
  status->SetStatusText(text, 3);
}

}  // namespace

std::vector<double> RowValues(const RunContext& run, int r, int sequences, bool* failed) {
  std::vector<double> values;
  for (int s = 0; s < sequences; ++s) {
    const double p = run.pvalues[static_cast<size_t>(s) * run.rows + r];
    if (p > -1)
      values.push_back(p);
    else if (p == PVALUE_FAIL && failed != nullptr)
      *failed = true;
  }
  if (values.size() > 1) SortDoubles(values.data(), 0, static_cast<int>(values.size()) - 1);
  return values;
}

bool RunSequences(RunContext& run) {
  for (; seqIndex <= seqCount; ++seqIndex) {
    if (!Fill(run)) break;
    if (!Dispatch(run)) return false;
    Collect(run);
    ReadCpuTimes(run);
    SortStartOrder(run);
    if (seqIndex == 1) run.rows = static_cast<int>(run.pvalues.size());
    RowStatistics(run);
    if (seqIndex <= 2) mainFrame->tableGrid->AutoSizeColumns();
    EmptyResultLists();
    ShowProgress(run);
    DispatchPendingEvents();
    if (runState == RunState::StopRequested) seqCount = seqIndex;
  }
  return true;
}
