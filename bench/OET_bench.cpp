#include "BenchSequence.h"
#include "battery/OET.h"

// The window's default grid (2 .. 14, step -1, lowered by the engine to
// its bound 11 at 2^20 bits: m = 2, 4, 8) and the single length m = 11;
// then NIST SP 800-22's approximate entropy, the single length m = 10.
static void OET_(benchmark::State& state) {
  oetSmin = static_cast<int>(state.range(0));
  oetSmax = static_cast<int>(state.range(1));
  oetSstp = -1;
  BenchSequence sequence;
  OET test;
  TimeRunTest(state, test, SLOT_OET);
}
BENCHMARK(OET_)->Name("OET")->Args({2, 11})->Args({11, 11});
BENCHMARK(OET_)->Name("OET/NIST m=10")->Args({10, 10});
