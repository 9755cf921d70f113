#include "BenchSequence.h"
#include "battery/MAURER.h"

// The window's default: L = 2 .. 16 doubling (2, 4, 8 at 2^20 bits).
static void MAURER_(benchmark::State& state) {
  maurerSmin = 2;
  maurerSmax = 16;
  maurerSstp = -1;
  BenchSequence sequence;
  MAURER test;
  TimeRunTest(state, test, SLOT_MAURER);
}
BENCHMARK(MAURER_)->Name("MAURER");
