#include <cmath>

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

// The p-value alone, over statistics spread as under the null (8,192
// blocks of 128 bits, the rows of one 2^20-bit sequence): the law made once
// (1) against the constants and series made per call (0).
static void LONGBLK_pvalue(benchmark::State& state) {
  const uint64_t blocks = 8192, m = 128;
  const LongBlocksLaw law(blocks, m);
  const bool stored = state.range(0) == 1;
  const double n = static_cast<double>(blocks), sd = std::sqrt(2 * n);
  double x[64];
  for (int i = 0; i < 64; ++i) x[i] = n + sd * (-2.5 + 5.0 * (i + 0.5) / 64);
  int i = 0;
  for (auto _ : state) {
    const double p = stored ? law.PValue(x[i]) : LongBlocksPValue(blocks, m, x[i]);
    benchmark::DoNotOptimize(p);
    i = (i + 1) & 63;
  }
}
BENCHMARK(LONGBLK_pvalue)->Name("LONGBLK/pvalue")->Arg(0)->Arg(1);
