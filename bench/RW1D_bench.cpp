#include "BenchSequence.h"
#include "battery/RW1D.h"

// The window's default walk lengths (2 .. 256, doubling, level 1) and the
// single length 64.
static void RW1D_(benchmark::State& state) {
  zarWlkLmin = static_cast<int>(state.range(0));
  zarWlkLmax = static_cast<int>(state.range(1));
  zarWlkLstp = -1;
  zarWlkSk = 1;
  EnsureLnFactorial(zarWlkLmax);
  BenchSequence sequence;
  RW1D test;
  TimeRunTest(state, test, SLOT_RW1D);
}
BENCHMARK(RW1D_)->Name("RW1D")->Args({2, 256})->Args({64, 64});
