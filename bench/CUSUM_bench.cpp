#include "BenchSequence.h"
#include "battery/CUSUM.h"

static void CUSUM_(benchmark::State& state) {
  BenchSequence sequence;
  CUSUM test;
  TimeRunTest(state, test, SLOT_CUSUM);
}
BENCHMARK(CUSUM_)->Name("CUSUM");
