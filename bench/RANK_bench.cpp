#include "BenchSequence.h"
#include "battery/RANK.h"

// The window's default: rows 16 .. 1024 doubling, columns R - 2 .. R + 2.
static void RANK_(benchmark::State& state) {
  rankM = 1;
  rankRmin = 16;
  rankRmax = 1024;
  rankRstp = -1;
  rankCmin = -2;
  rankCmax = 2;
  rankCstp = 1;
  BenchSequence sequence;
  RANK test;
  // The exact laws of three-class sizes are made at a run's first sequence
  // (0.2 s at 2^20 bits for this grid): made here before the timing.
  test.slot = SLOT_RANK;
  test.RunTest();
  ClearSlot(SLOT_RANK);
  TimeRunTest(state, test, SLOT_RANK);
}
BENCHMARK(RANK_)->Name("RANK");
