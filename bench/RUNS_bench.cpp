#include "BenchSequence.h"
#include "battery/RUNS.h"

// The window's default grid: s = 2, 4, ..., 32 and t = 2, 4, ..., 10.
static void RUNS_(benchmark::State& state) {
  runsSmin = 2, runsSmax = 32, runsSstp = 2;
  runsLmin = 2, runsLmax = 10, runsLstp = 2;
  BenchSequence sequence;
  RUNS test;
  TimeRunTest(state, test, SLOT_RUNS);
}
BENCHMARK(RUNS_)->Name("RUNS");
