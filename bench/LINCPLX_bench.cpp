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

// NIST SP 800-22's linear complexity test: M = 500 (no optimised length),
// N = 2097 blocks of 2^20 bits.
static void LINCPLX_Nist(benchmark::State& state) {
  liCoLen = 500;
  liCoOptlen = 0;
  liCoK = 0;
  BenchSequence sequence;
  LINCPLX test;
  TimeRunTest(state, test, SLOT_LINCPLX);
}
BENCHMARK(LINCPLX_Nist)->Name("LINCPLX/NIST M=500")->Unit(benchmark::kMillisecond);
