#include "BenchSequence.h"
#include "battery/TWOBIT.h"

static void TWOBIT_(benchmark::State& state) {
  BenchSequence sequence;
  TWOBIT test;
  TimeRunTest(state, test, SLOT_TWOBIT);
}
BENCHMARK(TWOBIT_)->Name("TWOBIT");
