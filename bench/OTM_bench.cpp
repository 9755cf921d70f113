#include "BenchSequence.h"
#include "battery/OTM.h"

static void OTM_(benchmark::State& state) {
  BenchSequence sequence;
  OTM test;
  TimeRunTest(state, test, SLOT_OTM);
}
BENCHMARK(OTM_)->Name("OTM");
