#include "BenchSequence.h"
#include "battery/OTM.h"

// OTM has no parameters: its default is NIST SP 800-22's (m = 9, blocks of
// 1032 bits), both templates (all zeros, all ones).
static void OTM_(benchmark::State& state) {
  BenchSequence sequence;
  OTM test;
  TimeRunTest(state, test, SLOT_OTM);
}
BENCHMARK(OTM_)->Name("OTM");
