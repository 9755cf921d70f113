// The null law of the binomial threshold p-value ("Bino") and of the Pearson
// column's p-value over rows of N independent uniform values, before (the
// chi-square law) and after (battery/BinoLaw.h): the share of rows below
// 1e-2, 1e-3 and 1e-4 against its expectation. A row's values enter both
// p-values only through their cell counts, so each row draws its counts
// straight from their multinomial law (conditional binomials), or, with
// "values", counts N uniform values (xoshiro256**) into the cells.
//
//   bino_null bino N ROWS SEED THREADS [values]      the 16 threshold cells
//   bino_null pearson n ROWS SEED THREADS [values]   m = round(sqrt(n)) equal bins
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "battery/BinoLaw.h"
#include "battery/PValueTests.h"
#include "tools/Xoshiro256.h"

namespace {

struct Engine {
  Xoshiro256 x;
  using result_type = uint64_t;
  static constexpr uint64_t min() { return 0; }
  static constexpr uint64_t max() { return ~0ull; }
  uint64_t operator()() { return x.Next(); }
};

constexpr int LEVELS = 3;
const double LEVEL[LEVELS] = {1e-2, 1e-3, 1e-4};

struct Tally {
  long long below[2][LEVELS] = {};
  double sum[2] = {};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr, "usage: bino_null bino|pearson N ROWS SEED THREADS [values]\n");
    return 2;
  }
  const bool bino = std::string(argv[1]) == "bino";
  const int N = std::atoi(argv[2]);
  const long long rows = std::atoll(argv[3]);
  const uint64_t seed = std::strtoull(argv[4], nullptr, 10);
  const int threads = std::atoi(argv[5]);
  const bool values = argc == 7 && std::string(argv[6]) == "values";
  std::vector<double> widths;
  if (bino) {
    double lower = 0;
    for (double t : BINOMIAL_THRESHOLDS) {
      widths.push_back(t - lower);
      lower = t;
    }
    widths.push_back(1 - lower);
  } else {
    const int m = static_cast<int>(std::sqrt(static_cast<double>(N)) + 0.5);
    widths.assign(m, 1.0 / m);
  }
  const int cells = static_cast<int>(widths.size());
  std::vector<Tally> tally(threads);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      Engine rng{Xoshiro256(seed * 1000 + t)};
      std::vector<int> counts(cells);
      Tally& my = tally[t];
      for (long long r = t; r < rows; r += threads) {
        int left = N;
        double rest = 1;
        if (values) {
          std::fill(counts.begin(), counts.end(), 0);
          for (int i = 0; i < N; ++i) {
            const double x = rng.x.Uniform() - 0x1.0p-54;  // (0, 1) centred on the 2^-53 grid
            if (bino)
              ++counts[std::upper_bound(BINOMIAL_THRESHOLDS, BINOMIAL_THRESHOLDS + BINOMIAL_THRESHOLD_COUNT, x) -
                       BINOMIAL_THRESHOLDS];
            else
              ++counts[std::min(static_cast<int>(cells * x), cells - 1)];
          }
          left = 0;
        }
        for (int c = 0; c < cells && !values; ++c) {
          if (c == cells - 1 || left == 0) {
            counts[c] = left;
          } else {
            std::binomial_distribution<int> b(left, std::min(1.0, widths[c] / rest));
            counts[c] = b(rng);
          }
          left -= counts[c];
          rest -= widths[c];
        }
        for (int law = 0; law < 2; ++law) {
          const double exact = law == 0 ? 0.0 : MultinomialPearsonLaw::EXACT_BELOW;
          const double p = bino ? ThresholdBinomialFromCells(N, counts.data(), exact)
                                : EqualBinsPearsonP(counts.data(), cells, N, exact);
          my.sum[law] += p;
          for (int k = 0; k < LEVELS; ++k) my.below[law][k] += p < LEVEL[k];
        }
      }
    });
  for (auto& th : pool) th.join();
  Tally all;
  for (const Tally& t : tally)
    for (int law = 0; law < 2; ++law) {
      all.sum[law] += t.sum[law];
      for (int k = 0; k < LEVELS; ++k) all.below[law][k] += t.below[law][k];
    }
  std::printf("%-7s N %5d cells %2d rows %lld%s:", bino ? "bino" : "pearson", N, cells, rows, values ? " values" : "");
  for (int law = 0; law < 2; ++law) {
    std::printf("  %s mean %.4f", law == 0 ? "chi2" : "law", all.sum[law] / rows);
    for (int k = 0; k < LEVELS; ++k) {
      const double e = rows * LEVEL[k];
      std::printf("  <%g %.3f (+-%.3f)", LEVEL[k], all.below[law][k] / e, 1 / std::sqrt(e));
    }
  }
  std::printf("\n");
  return 0;
}
