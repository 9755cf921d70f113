#include <vector>

#include "BenchSequence.h"
#include "battery/PERM.h"
#include "battery/RandomisedPValue.h"

// The window's default grid: s = 2, 4, 8, 16, 32 and t = 2 .. 12.
static void PERM_(benchmark::State& state) {
  permutationSmin = 2, permutationSmax = 32, permutationSstp = -1;
  permutationGmin = 2, permutationGmax = 12, permutationGstp = 1;
  BenchSequence sequence;
  PERM test;
  TimeRunTest(state, test, SLOT_PERM);
}
BENCHMARK(PERM_)->Name("PERM");

// The smoothed chi-square of one row's order counts (t = 6: 720 orders, the
// row 32_6 at 2^20 bits), drawn from the sequence's hash.
static void PERM_Smoothed(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  std::vector<uint32_t> counts(k);
  for (int i = 0; i < k; ++i) counts[i] = 7 + static_cast<uint32_t>(i * 2654435761u >> 29);
  uint64_t hash = 0x9E3779B97F4A7C15ull;
  for (auto _ : state) {
    benchmark::DoNotOptimize(SmoothedUniformChiSquare(counts.data(), k, hash, 0x5045524D00000000ull));
    ++hash;
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * k);
}
BENCHMARK(PERM_Smoothed)->Name("PERM/smoothed chi-square")->Arg(6)->Arg(720)->Arg(5040);
