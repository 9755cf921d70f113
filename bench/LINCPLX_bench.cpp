#include "BenchSequence.h"
#include "battery/LINCPLX.h"

// The window's default at 2^20 bits: length 1000 optimised to M = 1024,
// N = 1024 blocks, K = 6.
static void LINCPLX_(benchmark::State& state) {
  liCoLen = 1000;
  liCoOptlen = 1;
  liCoK = 0;
  BenchSequence sequence;
  LINCPLX test;
  TimeRunTest(state, test, SLOT_LINCPLX);
}
BENCHMARK(LINCPLX_)->Name("LINCPLX")->Unit(benchmark::kMillisecond);
