#include "BenchSequence.h"
#include "battery/AMLS.h"

// The window's default: L = 1 kbit doubling to the largest the length
// admits (1 .. 128 at 2^20 bits), no block limit.
static void AMLS_(benchmark::State& state) {
  amlsLmin = 1;
  amlsLmax = 128;
  amlsLstp = -1;
  amlsBlkmax = 0x7FFFFFFF;
  BenchSequence sequence;
  AMLS test;
  TimeRunTest(state, test, SLOT_AMLS);
}
BENCHMARK(AMLS_)->Name("AMLS")->Unit(benchmark::kMillisecond);
