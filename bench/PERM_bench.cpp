#include "BenchSequence.h"
#include "battery/PERM.h"

// The window's default grid: s = 2, 4, 8, 16, 32 and t = 2 .. 12.
static void PERM_(benchmark::State& state) {
  permutationSmin = 2, permutationSmax = 32, permutationSstp = -1;
  permutationGmin = 2, permutationGmax = 12, permutationGstp = 1;
  BenchSequence sequence;
  PERM test;
  TimeRunTest(state, test, SLOT_PERM);
}
BENCHMARK(PERM_)->Name("PERM");
