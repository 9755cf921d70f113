// The p-value distribution tests as the results grid calls them: one
// Kolmogorov-Smirnov p-value of a row of n uniform values (n = 50, 160 (the
// largest exact matrix), 1,000 and 9,999), a row in the far tail, and a
// window update of 500 rows of 9,999 values (KS, AD and the
// binomial threshold p-value of every row); the Anderson-Darling p-value of
// one row (n = 10, 50, 9,999) and its law alone at A^2 spread over the
// null's range.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

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
