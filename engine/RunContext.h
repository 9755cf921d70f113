#pragma once
// What one run of the engine keeps from its preparation through the
// sequence loop to its end. Internal to the engine.
#include <cstdint>
#include <vector>

#include "battery/RunState.h"
#include "platform/DynamicLibrary.h"

class wxString;

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

  // Every p-value of the run, sequence after sequence: row r of sequence s
  // (both from 0) at s * rows + r.
  std::vector<double> pvalues;
  int rows = 0;
  // Pairs each slot gave at sequence 1; later sequences are held to it.
  int slotPairs[TEST_SLOTS] = {};
  int failCount = 0;

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

// The valid values (above -1) of result row r over the first `sequences`
// sequences, sorted ascending; *failed (when given) is set when the row met
// a PVALUE_FAIL.
std::vector<double> RowValues(const RunContext& run, int r, int sequences, bool* failed);

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
