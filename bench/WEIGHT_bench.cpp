#include "BenchSequence.h"
#include "battery/RunState.h"
#include "battery/WEIGHT.h"

// The window's default grid (s = 1 .. 32 doubling, 4 thresholds), and the
// single word sizes 1, 2, 8 and 32.
static void WEIGHT_(benchmark::State& state) {
  EnsureLnFactorial(WEIGHT::GROUP);
  weightSmin = static_cast<int>(state.range(0));
  weightSmax = static_cast<int>(state.range(1));
  weightSstp = -1;
  weightProb = 4;
  BenchSequence sequence;
  WEIGHT test;
  TimeRunTest(state, test, SLOT_WEIGHT);
}
BENCHMARK(WEIGHT_)->Name("WEIGHT")->Args({1, 32})->Args({1, 1})->Args({2, 2})->Args({8, 8})->Args({32, 32});
