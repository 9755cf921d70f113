// The sequence loop: fill, release under the concurrency limit, collect the
// p-values into the results model, and show the results, the per-row
// statistics and the progress at a pace a person can follow.
#include <wx/string.h>

#include <algorithm>
#include <ctime>

#include "battery/PValueTests.h"
#include "engine/Helpers.h"
#include "engine/RunTests.h"
#include "engine/InputFiles.h"
#include "engine/ResultsModel.h"
#include "engine/RunContext.h"
#include "platform/Counter.h"
#include "platform/Event.h"
#include "engine/Workers.h"
#include "platform/LastError.h"

namespace {

constexpr int WAIT_SLICE_MS = 100;
// The view is brought up to date at most this often (seconds).
constexpr double WINDOW_PERIOD = 0.1;
// ... and never sooner than this many times the last update took: the
// statistics of every row grow with the sequences, and their refresh holds
// up the next sequence, so it may take about 1 % of the run.
constexpr double WINDOW_COST_FACTOR = 100.0;

// A released worker that left its loop on a failed event call will never
// signal again: the run cannot go on.
bool WorkerFailed(const RunContext& run) {
  const int s = run.workers.FailedWorker();
  if (s < 0) return false;
  RunLog("\n\t!! ERROR !!\nThe worker of the test \"%s\" stopped on a failed event call.\n", testTable[s].name);
  return true;
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
  const std::string utf8(text.utf8_str().data());
  if (run.statusShown[field] == utf8) return;
  run.statusShown[field] = utf8;
  run.view->SetStatus(field, utf8);
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
  run.view->DispatchEvents();
  run.lastDispatch = platform::CounterTicks();
}

// Releases the tests in startOrder, never more at once than the limit, and
// waits for all of them. False after a mid-run error.
bool Dispatch(RunContext& run) {
  Workers& workers = run.workers;
  for (int j = 0; j < TEST_SLOTS; ++j) {
    const int s = startOrder[j];
    if (!testTable[s].enabled) continue;
    run.releasedLeft = seqCount - seqIndex;
    run.releasedSlot = s;
    DispatchWhileTesting(run);
    if (!workers.Release(s)) {
      RunLog("SetEvent hINI failed, i= %d (%d)\n", s, platform::LastError());
      return false;
    }
    while (!workers.HasRoom()) {
      int q;
      for (;;) {
        q = workers.AwaitAny(WAIT_SLICE_MS);
        DispatchWhileTesting(run);
        if (q == platform::WAIT_ANY_FAILED) {
          RunLog("WaitForMultipleObjects hEND failed (%d)\n", platform::LastError());
          return false;
        }
        if (q >= 0) break;
        if (WorkerFailed(run)) return false;
      }
      workers.TakeDone();
    }
  }
  for (int s = 0; s < TEST_SLOTS; ++s) {
    if (!workers.Released(s)) continue;
    for (;;) {
      const Workers::Wait r = workers.AwaitOne(s, WAIT_SLICE_MS);
      DispatchWhileTesting(run);
      if (r == Workers::Wait::Done) break;
      if (r == Workers::Wait::Failed) {
        RunLog("WaitForSingleObject hEND failed (%d)\n", platform::LastError());
        return false;
      }
      if (WorkerFailed(run)) return false;
    }
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
    if (testTable[s].enabled) run.cpuSeconds[s] = run.workers.CpuSeconds(s);
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
  run.windowComplete = run.view->ShowResults(runResults, final);
  run.windowSequences = done;
  run.lastWindowUpdate = platform::CounterTicks();
}

bool RunSequences(RunContext& run) {
  double updateSeconds = 0;  // the last update's duration
  for (; seqIndex <= seqCount; ++seqIndex) {
    if (!Fill(run)) break;
    if (!Dispatch(run)) {
      // The view keeps what the run collected before the error.
      UpdateWindow(run, true);
      return false;
    }
    const int64_t ownFrom = platform::CounterTicks();
    Collect(run);
    ReadCpuTimes(run);
    SortStartOrder(run);
    if (seqIndex == 1) run.rows = runResults.Rows();
    EmptyResultLists();
    NoteProgress(run);
    // One look at the window's events per sequence: cheap when nothing is
    // pending, and a stop request is seen after the sequence it came in.
    run.view->DispatchEvents();
    run.lastDispatch = platform::CounterTicks();
    if (runState == RunState::StopRequested) seqCount = seqIndex;
    const int64_t now = platform::CounterTicks();
    const bool due =
        run.Seconds(run.lastWindowUpdate, now) >= std::max(WINDOW_PERIOD, WINDOW_COST_FACTOR * updateSeconds);
    if (seqIndex <= 2 || seqIndex == seqCount || due) {
      UpdateWindow(run, seqIndex == seqCount);
      updateSeconds = run.Seconds(now, run.lastWindowUpdate);
    }
    run.ownSeconds += run.Seconds(ownFrom, platform::CounterTicks());
  }
  // The input ran out before the sequence after the last one shown, or the
  // view kept sequence columns for later.
  if (run.windowSequences != runResults.Sequences() || !run.windowComplete) UpdateWindow(run, true);
  return true;
}
