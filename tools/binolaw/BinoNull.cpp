// The null law of the binomial threshold p-value ("Bino") and of the Pearson
// column's p-value over rows of N independent uniform values, before (the
// chi-square law) and after (battery/BinoLaw.h): the share of rows below
// 1e-2, 1e-3 and 1e-4 against its expectation. Each row counts N uniform
// values (xoshiro256**) into the cells. (Drawing the cell counts as
// conditional binomials would be cheaper, but libstdc++'s
// std::binomial_distribution is not exact: 3e7 draws of binomial (1000, 1/32)
// give a chi-square of 507 on 52 classes, of (9999, 0.01) 243 on 91.)
//
//   bino_null bino N ROWS SEED THREADS      the 16 threshold cells
//   bino_null pearson n ROWS SEED THREADS   m = round(sqrt(n)) equal bins
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "battery/BinoLaw.h"
#include "battery/PValueTests.h"
#include "tools/Xoshiro256.h"

namespace {

constexpr int LEVELS = 3;
const double LEVEL[LEVELS] = {1e-2, 1e-3, 1e-4};

struct Tally {
  long long below[2][LEVELS] = {};
  double sum[2] = {};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: bino_null bino|pearson N ROWS SEED THREADS\n");
    return 2;
  }
  const bool bino = std::string(argv[1]) == "bino";
  const int N = std::atoi(argv[2]);
  const long long rows = std::atoll(argv[3]);
  const uint64_t seed = std::strtoull(argv[4], nullptr, 10);
  const int threads = std::atoi(argv[5]);
  const int cells = bino ? BINOMIAL_THRESHOLD_COUNT + 1 : static_cast<int>(std::sqrt(static_cast<double>(N)) + 0.5);
  // Bino's cell of x: the number of thresholds at or below it (they are
  // multiples of 1/1000), from the cell of floor(1000 x), corrected where x
  // lies within rounding of a threshold.
  int cellOf[1001];
  for (int j = 0; j <= 1000; ++j)
    cellOf[j] = static_cast<int>(
        std::upper_bound(BINOMIAL_THRESHOLDS, BINOMIAL_THRESHOLDS + BINOMIAL_THRESHOLD_COUNT, (j + 0.5) / 1000) -
        BINOMIAL_THRESHOLDS);
  std::vector<Tally> tally(threads);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      Xoshiro256 rng(seed * 1000 + t);
      std::vector<int> counts(cells);
      Tally& my = tally[t];
      for (long long r = t; r < rows; r += threads) {
        std::fill(counts.begin(), counts.end(), 0);
        for (int i = 0; i < N; ++i) {
          const double x = rng.Uniform() - 0x1.0p-54;  // (0, 1) centred on the 2^-53 grid
          if (bino) {
            int c = cellOf[static_cast<int>(1000 * x)];
            if (c < BINOMIAL_THRESHOLD_COUNT && x >= BINOMIAL_THRESHOLDS[c]) ++c;
            if (c > 0 && x < BINOMIAL_THRESHOLDS[c - 1]) --c;
            ++counts[c];
          } else {
            ++counts[std::min(static_cast<int>(cells * x), cells - 1)];
          }
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
  std::printf("%-7s N %5d cells %3d rows %lld values:", bino ? "bino" : "pearson", N, cells, rows);
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
