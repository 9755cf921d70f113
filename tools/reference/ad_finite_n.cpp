// g++ -O2 -std=c++17 -I. -pthread tools/reference/ad_finite_n.cpp battery/AdLaw.cpp -o build/ad_finite_n && build/ad_finite_n > tools/reference/ad_finite_n.txt && build/ad_finite_n tail > tools/reference/ad_finite_n_tail.txt
//
// The finite-n law of the Anderson-Darling statistic A^2 of n independent
// uniform values, measured by simulation (xoshiro256**, 3 threads, fixed
// seeds: the output is the same on every run), against the battery's law:
//  * the share of samples whose p-value falls below each level, for the
//    former piecewise approximation of the limit law, the exact limit law
//    alone and the finite-n law AdUpperTail (the null law is uniform when the
//    share / level is 1; its standard error is about 1 / sqrt(level N));
//  * the finite-n correction of the distribution function, measured
//    (empirical P_n(A^2 <= z) - x at the z where the limit law's
//    distribution function is x) beside the one the battery applies;
//  * the tail ratio P_n(A^2 > z) / P(A^2 > z), measured and applied.
// With the argument "tail": the counts above the limit law's quantiles from
// p = 0.2 down to 1e-6 for n from 2 to 100 (5 10^7 samples each),
// the data tools/reference/ad_law.py fits the tail correction to.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "battery/AdLaw.h"
#include "tools/Xoshiro256.h"

namespace {

// The battery's former p-value: a piecewise approximation of the limit law.
double FormerLaw(double a2) {
  if (a2 < 0.01) return 1.0;
  if (a2 <= 2.0)
    return 1.0 - 2.0 * std::exp(-1.2337 / a2) * (1.0 + a2 / 8.0 - 0.04958 * a2 * a2 / (1.325 + a2)) / std::sqrt(a2);
  if (a2 <= 4.0) return 0.6621361 * std::exp(-1.091638 * a2) + 0.95059 * std::exp(-2.005138 * a2);
  return 0.5946335 * std::exp(-1.527198 * a2) + 0.4938691 * std::exp(-1.050321 * a2);
}

constexpr int BLOCK = 100000;
constexpr int THREADS = 3;

// Calls record(sample index, A^2) for count samples of n values; the blocks
// of samples are spread over the threads, each block with its own seed
// (from base, so that the fit's samples and the check's differ).
template <typename Record>
void Simulate(uint64_t base, int n, int64_t count, Record record) {
  const int64_t blocks = (count + BLOCK - 1) / BLOCK;
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t)
    threads.emplace_back([&, t] {
      std::vector<double> u(n);
      for (int64_t b = t; b < blocks; b += THREADS) {
        Xoshiro256 gen(base + 1000003ULL * n + b);
        const int64_t end = std::min(count, (b + 1) * BLOCK);
        for (int64_t s = b * BLOCK; s < end; ++s) {
          for (double& v : u) v = gen.Uniform();
          std::sort(u.begin(), u.end());
          record(t, s, AdStatistic(u.data(), n));
        }
      }
    });
  for (auto& th : threads) th.join();
}

// count samples of A^2 for n values, sorted ascending.
std::vector<double> SortedSamples(int n, int64_t count) {
  std::vector<double> a2(count);
  Simulate(0xAD0000ULL, n, count, [&](int, int64_t s, double v) { a2[s] = v; });
  std::sort(a2.begin(), a2.end());
  return a2;
}

const double TAIL_P[] = {0.2, 0.15, 0.1, 0.07, 0.05, 0.03, 0.02, 0.01, 5e-3, 3e-3, 2e-3, 1e-3,
                         5e-4, 2e-4, 1e-4, 5e-5, 2e-5, 1e-5, 5e-6, 2e-6, 1e-6};

// The z where the limit law's upper tail is p, by bisection (it decreases).
double LimitQuantile(double p) {
  double lo = 0.0, hi = 200.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (AdLimitUpperTail(mid) > p ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// The share of sorted samples above z.
double ShareAbove(const std::vector<double>& a2, double z) {
  return double(a2.end() - std::upper_bound(a2.begin(), a2.end(), z)) / a2.size();
}

}  // namespace

void TailCounts() {
  struct Run { int n; int64_t count; };
  const Run runs[] = {{2, 50000000},  {3, 50000000},  {4, 50000000}, {5, 50000000}, {7, 50000000},
                      {10, 50000000}, {14, 50000000}, {20, 50000000}, {30, 50000000}, {50, 50000000},
                      {100, 50000000}};
  constexpr int K = sizeof TAIL_P / sizeof TAIL_P[0];
  double z[K];
  for (int k = 0; k < K; ++k) z[k] = LimitQuantile(TAIL_P[k]);
  std::printf("columns: n, samples, then for each p of the limit law (z = its quantile) the count of samples with A^2 > z\n");
  std::printf("p");
  for (int k = 0; k < K; ++k) std::printf(" %g", TAIL_P[k]);
  std::printf("\nz");
  for (int k = 0; k < K; ++k) std::printf(" %.17g", z[k]);
  std::printf("\n");
  for (const Run r : runs) {
    std::vector<std::vector<int64_t>> counts(THREADS, std::vector<int64_t>(K, 0));
    Simulate(0x7A11000000ULL, r.n, r.count, [&](int t, int64_t, double v) {
      for (int k = 0; k < K && v > z[k]; ++k) ++counts[t][k];
    });
    std::printf("%d %lld", r.n, static_cast<long long>(r.count));
    for (int k = 0; k < K; ++k) {
      int64_t c = 0;
      for (int t = 0; t < THREADS; ++t) c += counts[t][k];
      std::printf(" %lld", static_cast<long long>(c));
    }
    std::printf("\n");
    std::fflush(stdout);
  }
}

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "tail") {
    TailCounts();
    return 0;
  }
  struct Run { int n; int64_t count; };
  const Run runs[] = {{2, 2000000},  {3, 2000000},   {5, 2000000},    {10, 10000000}, {20, 2000000},
                      {50, 10000000}, {100, 10000000}, {200, 2000000}, {1000, 1000000}};
  const double levels[] = {0.1, 0.05, 0.01, 0.001, 1e-4, 1e-5};
  const double xs[] = {0.001, 0.01, 0.02, 0.05, 0.1, 0.15, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.95, 0.99};
  for (const Run r : runs) {
    const std::vector<double> a2 = SortedSamples(r.n, r.count);
    std::printf("n %d, %lld samples\n", r.n, static_cast<long long>(r.count));
    std::printf("  share of p-values below the level / level (former law, limit law, finite-n law; standard error):\n");
    for (double level : levels) {
      int64_t former = 0, limit = 0, finite = 0;
      for (double z : a2) {
        former += FormerLaw(z) < level;
        limit += AdLimitUpperTail(z) < level;
        finite += AdUpperTail(r.n, z) < level;
      }
      const double scale = 1.0 / (level * a2.size());
      std::printf("    %-7g %.4f  %.4f  %.4f   (%.4f)\n", level, former * scale, limit * scale, finite * scale,
                  1.0 / std::sqrt(level * a2.size()));
    }
    std::printf("  correction of P(A^2 <= z) at the limit law's x (measured, applied; standard error):\n");
    for (double x : xs) {
      const double z = LimitQuantile(1.0 - x);
      const double measured = (1.0 - ShareAbove(a2, z)) - x;
      const double applied = (1.0 - AdUpperTail(r.n, z)) - x;
      std::printf("    x %-6g z %-8.5f %+.6f  %+.6f   (%.6f)\n", x, z, measured, applied,
                  std::sqrt(x * (1.0 - x) / a2.size()));
    }
    std::printf("  tail ratio P_n(A^2 > z) / P(A^2 > z) (measured, applied):\n");
    for (double p : {0.2, 0.1, 0.05, 0.02, 0.01, 0.001, 1e-4, 1e-5}) {
      const double z = LimitQuantile(p);
      std::printf("    p %-6g z %-8.5f %.4f  %.4f\n", p, z, ShareAbove(a2, z) / p, AdUpperTail(r.n, z) / p);
    }
    std::fflush(stdout);
  }
  return 0;
}
