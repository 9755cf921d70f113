#include "BenchSequence.h"
#include "battery/RWDST.h"

// No parameters: walks of 14 steps on 2^20 bits.
static void RWDST_(benchmark::State& state) {
  BenchSequence sequence;
  RWDST test;
  TimeRunTest(state, test, SLOT_RWDST);
}
BENCHMARK(RWDST_)->Name("RWDST");
