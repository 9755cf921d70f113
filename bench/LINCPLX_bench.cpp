#include "BenchSequence.h"
#include "battery/LINCPLX.h"

// The window's default at 2^20 bits: length 1000 optimised to M = 1024,
// N = 1024 blocks, K = 6; then NIST SP 800-22's linear complexity test,
// M = 500 (no optimised length), N = 2097 blocks.
static void LINCPLX_(benchmark::State& state) {
  liCoLen = static_cast<int>(state.range(0));
  liCoOptlen = static_cast<int>(state.range(1));
  liCoK = 0;
  BenchSequence sequence;
  LINCPLX test;
  TimeRunTest(state, test, SLOT_LINCPLX);
}
BENCHMARK(LINCPLX_)->Name("LINCPLX")->Args({1000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(LINCPLX_)->Name("LINCPLX/NIST M=500")->Args({500, 0})->Unit(benchmark::kMillisecond);
