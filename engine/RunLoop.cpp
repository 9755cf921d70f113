// The sequence loop: fill, release under the concurrency limit, collect the
// p-values into the results model, and show the Table grid, the per-row
// statistics and the progress at a pace a person can follow.
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
#include "engine/ResultsModel.h"
#include "engine/RunContext.h"
#include "platform/Counter.h"
#include "platform/Event.h"
#include "platform/LastError.h"
#include "ui/MainFrame.h"
#include "ui/ResultTable.h"

namespace {

constexpr int WAIT_SLICE_MS = 100;
// The window is brought up to date at most this often (seconds).
constexpr double WINDOW_PERIOD = 0.1;
// The Table grid takes its new sequence columns at most this often: a new
// column changes the grid's scrolled size, which redraws all of it.
constexpr double COLUMNS_PERIOD = 0.5;

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

// Sets a status field when its text changed: the status bar repaints at
// once on every change.
void SetStatus(RunContext& run, int field, const wxString& text) {
  if (run.statusShown[field] == text) return;
  run.statusShown[field] = text;
  mainFrame->statusBar->SetStatusText(text, field);
}

// Status field 0: the sequences left and the slot released last.
void ShowReleased(RunContext& run) {
  if (run.releasedSlot < 0) return;
  SetStatus(run, 0, wxString::Format("%d:%d", run.releasedLeft, run.releasedSlot));
  run.releasedSlot = -1;
}

// Status fields 1 to 3 after `done` sequences, from sequence 2 on.
void ShowProgress(RunContext& run, int done) {
  // A stop request shows "STOPPING..." in field 2 until the run is done.
  if (seqCount <= 2 || done < 2 || runState == RunState::StopRequested) return;
  const int64_t now = platform::CounterTicks();
  const double x = run.Seconds(run.firstSequenceEnd, now);
  const double left = x / (done - 1) * (seqCount - done);
  char text[100];
  SetStatus(run, 1, wxString::Format("Elapsed: %s", FormatDuration(text, 0, run.firstSequenceSeconds + x)));
  SetStatus(run, 2, wxString::Format("Left: %s", FormatDuration(text, 0, left)));
  const time_t end = time(nullptr) + static_cast<time_t>(left);
  strftime(text, sizeof text, "Date end: %Y-%m-%d %H:%M", localtime(&end));
  SetStatus(run, 3, text);
}

// The events of the window, at most every WINDOW_PERIOD seconds while the
// tests run; status field 0 shows the slot released last.
void DispatchWhileTesting(RunContext& run) {
  if (run.Seconds(run.lastDispatch, platform::CounterTicks()) < WINDOW_PERIOD) return;
  ShowReleased(run);
  DispatchPendingEvents();
  run.lastDispatch = platform::CounterTicks();
}

// Releases the tests in startOrder, never more at once than the limit, and
// waits for all of them. False after a mid-run error.
bool Dispatch(RunContext& run) {
  int running = 0;
  for (int j = 0; j < TEST_SLOTS; ++j) {
    const int s = startOrder[j];
    if (!testTable[s].enabled) continue;
    run.releasedLeft = seqCount - seqIndex;
    run.releasedSlot = s;
    DispatchWhileTesting(run);
    Test(s)->command = CMD_RUN;
    if (!platform::SetEvent(startEvents[s])) {
      RunLog("SetEvent hINI failed, i= %d (%d)\n", s, platform::LastError());
      return false;
    }
    if (++running < run.concurrency) continue;
    int q;
    for (;;) {
      q = platform::WaitAnyEvent(doneEvents, TEST_SLOTS, WAIT_SLICE_MS);
      DispatchWhileTesting(run);
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
      DispatchWhileTesting(run);
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

// Puts the pairs of every enabled slot, in rowOrder, into the results model
// as the next sequence. Sequence 1 makes the rows; later sequences are held
// to the number of pairs each slot gave then (a missing pair counts as
// short, an extra one is dropped).
void Collect(RunContext& run) {
  run.sequenceValues.clear();
  for (int j = 0; j < TEST_SLOTS; ++j) {
    const int s = rowOrder[j];
    if (!testTable[s].enabled) continue;
    const int given = static_cast<int>(resultPValues[s].size());
    if (seqIndex == 1) run.slotPairs[s] = given;
    for (int k = 0; k < run.slotPairs[s]; ++k) {
      run.sequenceValues.push_back(k < given ? resultPValues[s][k] : PVALUE_SHORT);
      if (seqIndex == 1) runResults.AddRow(resultLabels[s][k]);
    }
  }
  runResults.AddSequence(run.sequenceValues.data());
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

void EmptyResultLists() {
  for (int s = 0; s < TEST_SLOTS; ++s) {
    if (!testTable[s].enabled) continue;
    for (char* label : resultLabels[s]) delete[] label;
    resultLabels[s].clear();
    resultPValues[s].clear();
  }
}

// The counter reading at the end of sequence 1, from which the progress
// fields count.
void NoteProgress(RunContext& run) {
  if (seqCount <= 2 || seqIndex != 1) return;
  run.firstSequenceEnd = platform::CounterTicks();
  run.firstSequenceSeconds = run.Seconds(run.runStart, run.firstSequenceEnd);
}

}  // namespace

void UpdateWindow(RunContext& run, bool final) {
  const int done = runResults.Sequences();
  runResults.UpdateStatistics();
  // The status bar first: it repaints at once, and should not take the
  // grid's repaint with it.
  ShowReleased(run);
  ShowProgress(run, done);
  wxGrid* grid = mainFrame->tableGrid;
  auto* table = static_cast<ResultTable*>(grid->GetTable());
  const int oldRows = grid->GetNumberRows(), oldCols = grid->GetNumberCols();
  const bool newRows = oldRows < 3 + runResults.Rows();
  const bool newWarning = runResults.Failed() && !run.warningShown;
  if (done <= 2 || newRows || newWarning) {
    // The first sequences size every column to its texts; later sequence
    // columns take the width of the first ones (their texts share one
    // format) as the grid's default width for new columns.
    grid->BeginBatch();
    table->FollowModel();
    const int height = mainFrame->rowHeightSpin->GetValue();
    for (int row = std::max(oldRows, 3); row < grid->GetNumberRows(); ++row) grid->SetRowSize(row, height);
    if (newWarning) {
      grid->SetCellSize(0, 0, 2, 1);
      grid->SetCellAlignment(0, 0, wxALIGN_CENTRE, wxALIGN_CENTRE);
      run.warningShown = true;
    }
    if (done <= 2) {
      grid->AutoSizeColumns();
      int width = 0;
      for (int c = 7; c < grid->GetNumberCols(); ++c) width = std::max(width, grid->GetColSize(c));
      if (width > 0) grid->SetDefaultColSize(width);
    }
    ForgetCachedAttribute(grid);
    grid->EndBatch();  // redraws the whole grid
  } else {
    // Only the statistics columns and the new sequence columns change.
    const int64_t now = platform::CounterTicks();
    if (final || run.Seconds(run.lastColumnsUpdate, now) >= COLUMNS_PERIOD) {
      table->FollowModel();
      run.lastColumnsUpdate = now;
    }
    ForgetCachedAttribute(grid);
    const int rows = grid->GetNumberRows();
    grid->RefreshBlock(0, 1, rows - 1, 6);
    if (grid->GetNumberCols() > oldCols) grid->RefreshBlock(0, oldCols, rows - 1, grid->GetNumberCols() - 1);
  }
  run.windowSequences = done;
  run.lastWindowUpdate = platform::CounterTicks();
}

bool RunSequences(RunContext& run) {
  for (; seqIndex <= seqCount; ++seqIndex) {
    if (!Fill(run)) break;
    if (!Dispatch(run)) {
      // The grid keeps what the run collected before the error.
      UpdateWindow(run, true);
      return false;
    }
    Collect(run);
    ReadCpuTimes(run);
    SortStartOrder(run);
    if (seqIndex == 1) run.rows = runResults.Rows();
    EmptyResultLists();
    NoteProgress(run);
    // One look at the window's events per sequence: cheap when nothing is
    // pending, and a stop request is seen after the sequence it came in.
    DispatchPendingEvents();
    run.lastDispatch = platform::CounterTicks();
    if (runState == RunState::StopRequested) seqCount = seqIndex;
    const bool due = run.Seconds(run.lastWindowUpdate, platform::CounterTicks()) >= WINDOW_PERIOD;
    if (seqIndex <= 2 || seqIndex == seqCount || due) UpdateWindow(run, seqIndex == seqCount);
  }
  // The input ran out before the sequence after the last one shown.
  const int columns = 7 + runResults.Sequences();
  if (run.windowSequences != runResults.Sequences() || mainFrame->tableGrid->GetNumberCols() != columns)
    UpdateWindow(run, true);
  return true;
}
