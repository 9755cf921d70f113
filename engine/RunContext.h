#pragma once
// What one run of the engine keeps from its preparation through the
// sequence loop to its end. Internal to the engine.
#include <cstdint>
#include <string>
#include <vector>

#include "battery/RunState.h"
#include "engine/RunView.h"
#include "engine/Workers.h"
#include "platform/DynamicLibrary.h"

using ZarGetUL = uint32_t (*)();

struct RunContext {
  RunView* view = nullptr;
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
  double ownSeconds = 0;  // the loop's own work between the sequences' tests

  // The log lines the report leaves out, as it says the same in its header:
  // the input line of files mode and the run's first line ("n= ..."); -1
  // when not written.
  int inputLogLine = -1;
  int startLogLine = -1;

  int askedSeqCount = 0;
  double cpuSeconds[TEST_SLOTS] = {};

  // The number of result rows (the pairs collected at sequence 1); the
  // p-values themselves are kept by runResults.
  int rows = 0;
  // Pairs each slot gave at sequence 1; later sequences are held to it.
  int slotPairs[TEST_SLOTS] = {};

  // The view is brought up to date at most every WINDOW_PERIOD seconds:
  // the counter readings of its last update and of the last dispatch of
  // its events, and the slot released last (for status field 0, -1 when
  // none).
  int64_t lastWindowUpdate = 0;
  int64_t lastDispatch = 0;
  int releasedSlot = -1;
  int releasedLeft = 0;
  int windowSequences = 0;      // sequences the view was last given
  bool windowComplete = true;   // and whether it shows them all
  std::vector<double> sequenceValues;  // scratch: one sequence's values in row order
  std::string statusShown[4];  // the texts of status fields 0 to 3 this run wrote

  // The tests' worker threads and their events; the concurrency limit.
  Workers workers;

  double Seconds(int64_t from, int64_t to) const { return (to - overhead - from) / frequency; }
};

// Formats into pathBuf and appends it to the log pane.
void RunLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Brings the view's results (rows, sequence columns, statistics, warning)
// and the status fields up to date with the results model; the view may
// keep new sequence columns for a later update unless `final`.
void UpdateWindow(RunContext& run, bool final);

// The sequence loop; false after a mid-run error (already logged).
bool RunSequences(RunContext& run);
// The end of a run after the loop: statistics, report, release. Returns 0.
int FinishRun(RunContext& run);

// Ends the workers (Workers::End), reading their CPU times.
void EndWorkers(RunContext& run);
// Releases what a run holds (sequence, buffers, tables, tests, input list)
// and sets runState to Idle.
void ReleaseRun(RunContext& run);
