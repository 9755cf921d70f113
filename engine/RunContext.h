#pragma once
// What one run of the engine keeps from its preparation through the
// sequence loop to its end. Internal to the engine.
#include <cstdint>
#include <vector>

#include <wx/string.h>

#include "battery/RunState.h"
#include "platform/DynamicLibrary.h"


using ZarGetUL = uint32_t (*)();

struct RunContext {
  platform::DynamicLibrary* plugin = nullptr;
  ZarGetUL getUL = nullptr;

  // Files mode: the sorted input list and the total size of the files.
  char** inputNames = nullptr;
  int inputCount = 0;
  uint64_t inputSize = 0;

  // Counter readings in ticks; every interval subtracts the overhead of one
  // reading.
  int64_t overhead = 0;
  double frequency = 1;
  int64_t runStart = 0;
  int64_t testStart = 0;
  int64_t firstSequenceEnd = 0;
  double firstSequenceSeconds = 0;
  double generationSeconds = 0;

  int askedSeqCount = 0;
  int concurrency = 1;
  double cpuSeconds[TEST_SLOTS] = {};

  // The number of result rows (the pairs collected at sequence 1); the
  // p-values themselves are kept by runResults.
  int rows = 0;
  // Pairs each slot gave at sequence 1; later sequences are held to it.
  int slotPairs[TEST_SLOTS] = {};

  // The window is brought up to date at most every WINDOW_PERIOD seconds:
  // the counter readings of its last update and of the last dispatch of
  // its events, the slot released last (for status field 0, -1 when none),
  // and whether the failure warning's cell has its span.
  int64_t lastWindowUpdate = 0;
  int64_t lastDispatch = 0;
  int64_t lastColumnsUpdate = 0;
  int releasedSlot = -1;
  int releasedLeft = 0;
  int windowSequences = 0;  // sequences the window shows
  std::vector<double> sequenceValues;  // scratch: one sequence's values in row order
  bool warningShown = false;
  wxString statusShown[4];  // the texts of status fields 0 to 3 this run wrote

  // Slots whose events exist, and slots whose worker thread was started.
  int eventSlots = 0;
  bool threadRunning[TEST_SLOTS] = {};

  double Seconds(int64_t from, int64_t to) const { return (to - overhead - from) / frequency; }
};

// Formats into pathBuf and appends it to the log pane.
void RunLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Dispatches every pending event of the window, so that it stays alive
// while the engine works.
void DispatchPendingEvents();

// Brings the Table grid (rows, sequence columns, statistics, warning) and
// the status fields up to date with the results model; the new sequence
// columns wait for their own period unless `final`.
void UpdateWindow(RunContext& run, bool final);

// The sequence loop; false after a mid-run error (already logged).
bool RunSequences(RunContext& run);
// The end of a run after the loop: statistics, report, release. Returns 0.
int FinishRun(RunContext& run);

// Tells every started worker to leave, joins it, reads its CPU time, and
// closes the events of every slot that has them.
void EndWorkers(RunContext& run);
// Releases what a run holds (sequence, buffers, tables, tests, input list)
// and sets runState to Idle.
void ReleaseRun(RunContext& run);
