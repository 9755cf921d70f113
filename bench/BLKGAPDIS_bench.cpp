#include "BenchSequence.h"
#include "battery/BLKGAPDIS.h"

// The window's default grid (1 .. 12, step -1) as the engine leaves it for
// 2^20 bits (word sizes 1, 2 and 4), and 8-bit words on 2^21 bits, the
// shortest sequence that admits them.
static void BLKGAPDIS_(benchmark::State& state) {
  blkGapDstSmin = static_cast<int>(state.range(0));
  blkGapDstSmax = static_cast<int>(state.range(1));
  blkGapDstSstp = -1;
  BenchSequence sequence(static_cast<uint32_t>(state.range(2)));
  BLKGAPDIS test;
  TimeRunTest(state, test, SLOT_BLKGAPDIS);
}
BENCHMARK(BLKGAPDIS_)->Name("BLKGAPDIS")->Args({1, 4, 1 << 20})->Args({8, 8, 1 << 21});
