#include "BenchSequence.h"
#include "battery/BLKGAP.h"

// No parameters: both histograms of 2^20 bits.
static void BLKGAP_(benchmark::State& state) {
  BenchSequence sequence;
  BLKGAP test;
  TimeRunTest(state, test, SLOT_BLKGAP);
}
BENCHMARK(BLKGAP_)->Name("BLKGAP");
