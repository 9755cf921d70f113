#include "BenchSequence.h"
#include "battery/AQL.h"

// The window's defaults (s = 9, m = 1 .. 100 step 5: three points pass the
// gate) on 2^20 bits.
static void AQL_(benchmark::State& state) {
  aqlSmin = 9, aqlSmax = 9, aqlSstp = 1;
  aqlMmin = 1, aqlMmax = 100, aqlMstp = 5;
  BenchSequence sequence;
  AQL test;
  TimeRunTest(state, test, SLOT_AQL);
}
BENCHMARK(AQL_)->Name("AQL");
