#include "BenchSequence.h"
#include "battery/MAURER.h"

// The window's default: L = 2 .. 16 doubling (2, 4, 8 at 2^20 bits); then
// NIST SP 800-22's universal test at 2^20 bits, L = 7.
static void MAURER_(benchmark::State& state) {
  maurerSmin = static_cast<int>(state.range(0));
  maurerSmax = static_cast<int>(state.range(1));
  maurerSstp = -1;
  BenchSequence sequence;
  MAURER test;
  TimeRunTest(state, test, SLOT_MAURER);
}
BENCHMARK(MAURER_)->Name("MAURER")->Args({2, 16});
BENCHMARK(MAURER_)->Name("MAURER/NIST L=7")->Args({7, 7});
