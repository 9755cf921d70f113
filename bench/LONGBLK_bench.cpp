#include "BenchSequence.h"
#include "battery/LONGBLK.h"

// The window's default grid (8 b .. 1024 M, step -2) and the single block
// length 128.
static void LONGBLK_(benchmark::State& state) {
  longBlkSmin = static_cast<int>(state.range(0));
  longBlkSmax = static_cast<int>(state.range(1));
  longBlkSstp = -2;
  BenchSequence sequence;
  LONGBLK test;
  TimeRunTest(state, test, SLOT_LONGBLK);
}
BENCHMARK(LONGBLK_)->Name("LONGBLK")->Args({8, 1024 << 20})->Args({128, 128});
