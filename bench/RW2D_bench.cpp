#include <vector>

#include "BenchDataDir.h"
#include "BenchSequence.h"
#include "battery/RW2D.h"

namespace {

// The window's default preset: levels 1 to 6, fixed walks of 8 steps.
void RW2D_(benchmark::State& state) {
  BenchDataDir data;
  EnsureLnFactorial(1000);
  rw2dLmin = 1;
  rw2dLmax = 6;
  rw2dLstp = 1;
  BenchSequence sequence;
  RW2D test;
  if (test.status != TEST_OK) {
    state.SkipWithError("DAT_ZarWlk.bin missing beside the program");
    return;
  }
  TimeRunTest(state, test, SLOT_RW2D);
}

// For comparison: what a dense grid of end-point counters costs per
// sequence alone, cleared and scanned for each level 1..6 ((2 4^c + 1)^2
// cells, 8193^2 at level 6), before any walk is counted.
void RW2D_denseGrid(benchmark::State& state) {
  std::vector<uint32_t> grid(size_t{8193} * 8193);
  for (auto _ : state) {
    uint64_t sum = 0;
    for (int c = 1; c <= 6; ++c) {
      const size_t side = 2 * (size_t{1} << (2 * c)) + 1;
      std::fill(grid.begin(), grid.begin() + side * side, 0u);
      for (size_t j = 0; j < side * side; ++j) sum += grid[j];
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * ((1u << 20) / 8));
}

}  // namespace

BENCHMARK(RW2D_)->Name("RW2D");
BENCHMARK(RW2D_denseGrid)->Name("RW2D/dense_grid_clear_and_scan_only");
