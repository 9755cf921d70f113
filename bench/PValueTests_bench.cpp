// The p-value distribution tests as the results grid calls them: one
// Kolmogorov-Smirnov p-value of a row of n uniform values (n = 50, 160 (the
// largest exact matrix), 1,000 and 9,999), a row in the far tail, the
// binomial threshold p-value of a row (its law kept for the row's N, and
// with a law to build for each new N), the Pearson column's p-value of a
// row (a law to build for each n), and a window update of 500 rows of 9,999
// values (KS, AD and the binomial threshold p-value of every row);
// the Anderson-Darling p-value of one row (n = 10, 50, 9,999) and its law
// alone at A^2 spread over the null's range.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "battery/BinoLaw.h"
#include "battery/PValueTests.h"

namespace {

// rows sorted rows of n uniform values from a fixed seed.
std::vector<std::vector<double>> SortedRows(int rows, int n, uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::vector<std::vector<double>> out(rows, std::vector<double>(n));
  for (auto& row : out) {
    for (double& v : row) v = static_cast<double>(gen() >> 11) * 0x1p-53;
    std::sort(row.begin(), row.end());
  }
  return out;
}

// One call per iteration, cycling over 64 rows so that every regime of the
// law a good generator's rows reach is timed in proportion.
void PValueTests_KsUniformPValue(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto rows = SortedRows(64, n, 104);
  size_t r = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(KsUniformPValue(rows[r].data(), n));
    r = (r + 1) % rows.size();
  }
}
BENCHMARK(PValueTests_KsUniformPValue)->Name("PValueTests/KsUniformPValue")->Arg(50)->Arg(160)->Arg(1000)->Arg(9999);

// A row far out in the tail (values u^1.1, n d^2 about 12), where the
// law is the one-sided exact sum over n terms: a plainly bad row.
void PValueTests_KsUniformPValueTail(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto rows = SortedRows(64, n, 106);
  for (auto& row : rows)
    for (double& v : row) v = std::pow(v, 1.1);
  size_t r = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(KsUniformPValue(rows[r].data(), n));
    r = (r + 1) % rows.size();
  }
}
BENCHMARK(PValueTests_KsUniformPValueTail)->Name("PValueTests/KsUniformPValueTail")->Arg(1000)->Arg(9999);

// Rows of N values, the law of N kept from the first call.
void PValueTests_ThresholdBinomialPSorted(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto rows = SortedRows(64, n, 107);
  size_t r = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ThresholdBinomialPSorted(rows[r].data(), n));
    r = (r + 1) % rows.size();
  }
}
BENCHMARK(PValueTests_ThresholdBinomialPSorted)
    ->Name("PValueTests/ThresholdBinomialPSorted")
    ->Arg(50)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(9999);

// Rows of N, N + 1, ..., N + 39 values in turn: more N than the laws kept, so
// each call builds the law of its N (the cost of a window update's first
// row after a new sequence).
void PValueTests_ThresholdBinomialPSortedNewN(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<std::vector<double>> rows;
  for (int k = 0; k < 40; ++k) rows.push_back(SortedRows(1, n + k, 108 + k)[0]);
  size_t r = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ThresholdBinomialPSorted(rows[r].data(), static_cast<int>(rows[r].size())));
    r = (r + 1) % rows.size();
  }
}
BENCHMARK(PValueTests_ThresholdBinomialPSortedNewN)
    ->Name("PValueTests/ThresholdBinomialPSortedNewN")
    ->Arg(50)
    ->Arg(100)
    ->Arg(250)
    ->Arg(499)
    ->Arg(1000)
    ->Arg(4999)
    ->Arg(9999)
    ->Unit(benchmark::kMicrosecond);

// The Pearson column's p-value of a row of n values in round(sqrt(n)) equal
// bins, n = n0, n0 + 1, ..., n0 + 39 in turn: where the bins expect fewer
// than 25 values each call builds its law, as a run's end does once for its
// rows' n; from 25 on (n >= 600) the chi-square law with its 1/n term.
void PValueTests_EqualBinsPearsonP(benchmark::State& state) {
  const int n0 = static_cast<int>(state.range(0));
  std::vector<std::vector<int>> bins;
  for (int k = 0; k < 40; ++k) {
    const int n = n0 + k, m = static_cast<int>(std::sqrt(static_cast<double>(n)) + 0.5);
    std::vector<int> b(m, 0);
    const auto row = SortedRows(1, n, 109 + k);
    for (double x : row[0]) ++b[std::min(static_cast<int>(m * x), m - 1)];
    bins.push_back(b);
  }
  size_t r = 0;
  for (auto _ : state) {
    const int m = static_cast<int>(bins[r].size());
    benchmark::DoNotOptimize(EqualBinsPearsonP(bins[r].data(), m, n0 + static_cast<int>(r)));
    r = (r + 1) % bins.size();
  }
}
BENCHMARK(PValueTests_EqualBinsPearsonP)
    ->Name("PValueTests/EqualBinsPearsonP")
    ->Arg(50)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Arg(530)
    ->Arg(1000)
    ->Arg(9999)
    ->Unit(benchmark::kMicrosecond);

// The Anderson-Darling p-value of a row of n uniform values (its statistic's
// n logarithms and the law), cycling over 64 rows.
void PValueTests_AdUniformPValue(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto rows = SortedRows(64, n, 107);
  size_t r = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(AdUniformPValue(rows[r].data(), n));
    r = (r + 1) % rows.size();
  }
}
BENCHMARK(PValueTests_AdUniformPValue)->Name("PValueTests/AdUniformPValue")->Arg(10)->Arg(50)->Arg(9999);

void PValueTests_Update500Rows(benchmark::State& state) {
  const int n = 9999;
  const auto rows = SortedRows(500, n, 105);
  for (auto _ : state) {
    double sink = 0;
    for (const auto& row : rows)
      sink += KsUniformPValue(row.data(), n) + AdUniformPValue(row.data(), n) + ThresholdBinomialPSorted(row.data(), n);
    benchmark::DoNotOptimize(sink);
  }
}
BENCHMARK(PValueTests_Update500Rows)->Name("PValueTests/Update500Rows9999")->Unit(benchmark::kMillisecond);

}  // namespace
