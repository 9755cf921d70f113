#include "BenchSequence.h"
#include "battery/RANK.h"

// The window's default: rows 16 .. 1024 doubling, columns R - 2 .. R + 2.
// Then NIST SP 800-22's binary matrix rank test: 32 x 32 only.
static void RANK_(benchmark::State& state) {
  rankM = 1;
  rankRmin = static_cast<int>(state.range(0));
  rankRmax = static_cast<int>(state.range(1));
  rankRstp = -1;
  rankCmin = static_cast<int>(state.range(2));
  rankCmax = static_cast<int>(state.range(3));
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
BENCHMARK(RANK_)->Name("RANK")->Args({16, 1024, -2, 2});
BENCHMARK(RANK_)->Name("RANK/NIST 32x32")->Args({32, 32, 0, 0});
