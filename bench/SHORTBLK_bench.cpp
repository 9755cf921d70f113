#include "BenchSequence.h"
#include "battery/SHORTBLK.h"

// The window's default grids (S = 1 .. 31 doubling, d = 1 k .. 1024 M
// doubling, which the engine clips to n / 2), and single points: S-bit
// words of consecutive bits (d = 1) and of bits d apart.
static void SHORTBLK_(benchmark::State& state) {
  shortBlkSmin = static_cast<int>(state.range(0));
  shortBlkSmax = static_cast<int>(state.range(1));
  shortBlkSstp = -1;
  shortBlkDmin = static_cast<int>(state.range(2));
  shortBlkDmax = static_cast<int>(state.range(3));
  shortBlkDstp = -1;
  BenchSequence sequence;
  SHORTBLK test;
  TimeRunTest(state, test, SLOT_SHORTBLK);
}
BENCHMARK(SHORTBLK_)
    ->Name("SHORTBLK")
    ->Args({1, 31, 1024, 1 << 19})
    ->Args({2, 2, 1, 1})
    ->Args({8, 8, 1, 1})
    ->Args({2, 2, 1024, 1024})
    ->Args({4, 4, 1024, 1024})
    ->Args({8, 8, 1000, 1000})
    ->Args({12, 12, 1000, 1000});
// NIST SP 800-22's frequency test: one-bit words of consecutive bits.
BENCHMARK(SHORTBLK_)->Name("SHORTBLK/NIST frequency")->Args({1, 1, 1, 1});
