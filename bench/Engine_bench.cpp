// The engine's per-sequence work on its results: collecting one sequence
// into the results model and bringing every row's statistics up to date,
// at 300 rows after 1,000 sequences (and, for comparison, the same
// statistics gathered and sorted from scratch); and the cumulative-sums
// p-value over a range of (n, z).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "battery/CUSUM.h"
#include "battery/PValueTests.h"
#include "battery/RunState.h"
#include "engine/ResultsModel.h"

namespace {

constexpr int ROWS = 300;
constexpr int SEQUENCES = 1000;

std::vector<double> RandomValues(size_t count, uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> v(count);
  for (double& x : v) x = uniform(gen);
  return v;
}

ResultsModel ModelAfter(int sequences, const std::vector<double>& values) {
  ResultsModel m;
  m.Reset(4, 0.001);
  for (int r = 0; r < ROWS; ++r) m.AddRow("row");
  for (int k = 0; k < sequences; ++k) m.AddSequence(values.data() + static_cast<size_t>(k) * ROWS);
  // As after a window update: every row's values sorted.
  for (int r = 0; r < ROWS; ++r) benchmark::DoNotOptimize(m.Sorted(r).data());
  return m;
}

// A copy of the model after `sequences - 1` sequences that has taken its
// sequence number `sequences` as well: the copy's array of all values then
// has the spare room a run's array has, so the timed sequence measures the
// collection and not one regrowth of a freshly copied array.
ResultsModel Prepared(const ResultsModel& before, const std::vector<double>& values, int sequences) {
  ResultsModel m = before;
  m.AddSequence(values.data() + static_cast<size_t>(sequences - 1) * ROWS);
  return m;
}

// Collecting the sequence after SEQUENCES ones, and with `statistics` the
// update of every row's statistics that the window's refresh asks for.
void CollectSequence(benchmark::State& state, bool statistics) {
  const std::vector<double> values = RandomValues(static_cast<size_t>(SEQUENCES + 1) * ROWS, 1);
  const ResultsModel base = ModelAfter(SEQUENCES - 1, values);
  const double* next = values.data() + static_cast<size_t>(SEQUENCES) * ROWS;
  for (auto _ : state) {
    state.PauseTiming();
    ResultsModel m = Prepared(base, values, SEQUENCES);
    state.ResumeTiming();
    m.AddSequence(next);
    if (statistics) {
      m.UpdateStatistics();
      benchmark::DoNotOptimize(m.Stats(ROWS - 1).ad);
    } else {
      benchmark::DoNotOptimize(m.Sorted(ROWS - 1).data());
    }
  }
  state.SetItemsProcessed(state.iterations() * ROWS);
}

void Engine_CollectAndStatistics(benchmark::State& state) { CollectSequence(state, true); }
BENCHMARK(Engine_CollectAndStatistics)->Unit(benchmark::kMillisecond);

// Collecting one sequence alone (what every sequence costs between two
// updates of the window's statistics).
void Engine_Collect(benchmark::State& state) { CollectSequence(state, false); }
BENCHMARK(Engine_Collect)->Unit(benchmark::kMicrosecond);

// The same statistics with every row's values gathered and sorted anew, as
// a loop without the model would do after each sequence.
void Engine_StatisticsFromScratch(benchmark::State& state) {
  const std::vector<double> values = RandomValues(static_cast<size_t>(SEQUENCES + 1) * ROWS, 1);
  const int sequences = SEQUENCES + 1;
  std::vector<double> row;
  for (auto _ : state) {
    double sink = 0;
    for (int r = 0; r < ROWS; ++r) {
      row.clear();
      for (int k = 0; k < sequences; ++k) {
        const double p = values[static_cast<size_t>(k) * ROWS + r];
        if (p > -1) row.push_back(p);
      }
      SortDoubles(row.data(), 0, static_cast<int>(row.size()) - 1);
      const int n = static_cast<int>(row.size());
      sink += KsUniformPValue(row.data(), n) + AdUniformPValue(row.data(), n) + ThresholdBinomialP(row.data(), n);
    }
    benchmark::DoNotOptimize(sink);
  }
  state.SetItemsProcessed(state.iterations() * ROWS);
}
BENCHMARK(Engine_StatisticsFromScratch)->Unit(benchmark::kMillisecond);

// CusumPValue over lengths up to 2^32 - 1 and excursions from 1 (the
// longest series) to far in the tail.
void Engine_CusumPValue(benchmark::State& state) {
  std::vector<std::pair<uint32_t, uint32_t>> cases;
  for (uint32_t n : {1000u, 1u << 20, 100000007u, 4294967295u})
    for (double f : {0.0, 0.25, 1.0, 2.0, 4.0}) {
      const double z = f * std::sqrt(static_cast<double>(n));
      cases.emplace_back(n, static_cast<uint32_t>(std::max(1.0, z)));
    }
  for (auto _ : state) {
    double sink = 0;
    for (const auto& c : cases) sink += CusumPValue(c.first, c.second);
    benchmark::DoNotOptimize(sink);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(cases.size()));
}
BENCHMARK(Engine_CusumPValue)->Unit(benchmark::kMillisecond);

}  // namespace
