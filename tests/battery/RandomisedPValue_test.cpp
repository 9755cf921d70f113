#include "battery/RandomisedPValue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "battery/Distributions.h"
#include "battery/PValueTests.h"


namespace {

double Pmf(int n, double q, int k) {
  return std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) + k * std::log(q) +
                  (n - k) * std::log(1 - q));
}

}  // namespace

// Under its own law the randomised p-value is exactly uniform: over the
// outcomes k, each with P(farther) and P(as far) at u = 0 and u = 1,
// P(p <= a) = sum over k of pmf(k) * clamp((a - lo_k) / (hi_k - lo_k)) = a.
TEST(RandomisedPValue, BinomialIsExactlyUniformUnderItsLaw) {
  const struct {
    int n;
    double q;
  } cases[] = {{7, 0.3}, {10, 0.5}, {11, 0.5}, {40, 0.75}, {25, 257.0 / 512}};
  for (const auto& c : cases) {
    for (double a : {0.001, 0.05, 0.2, 0.5, 0.77, 0.99}) {
      double below = 0;
      for (int k = 0; k <= c.n; ++k) {
        const double lo = BinomialTwoSidedRandomisedP(c.n, c.q, k, 0.0);
        const double hi = BinomialTwoSidedRandomisedP(c.n, c.q, k, 1.0);
        ASSERT_LT(lo, hi) << c.n << " " << k;
        below += Pmf(c.n, c.q, k) * std::fmin(1.0, std::fmax(0.0, (a - lo) / (hi - lo)));
      }
      EXPECT_NEAR(below, a, 1e-12) << "n " << c.n << " q " << c.q << " a " << a;
    }
  }
}

TEST(RandomisedPValue, MirrorCountsShareTheirAtom) {
  // Binomial (10, 1/2): 3 and 7 are equally far from 5. Farther: 0, 1, 2,
  // 8, 9, 10 (112 / 1024); as far: also 3 and 7 (352 / 1024).
  EXPECT_NEAR(BinomialTwoSidedRandomisedP(10, 0.5, 3, 0.0), 112.0 / 1024, 1e-14);
  EXPECT_NEAR(BinomialTwoSidedRandomisedP(10, 0.5, 7, 1.0), 352.0 / 1024, 1e-14);
  EXPECT_NEAR(BinomialTwoSidedRandomisedP(10, 0.5, 7, 0.25), (112.0 + 0.25 * 240) / 1024, 1e-14);
  // The mean itself: nothing nearer, so the p-value spans (1 - P(5), 1).
  EXPECT_DOUBLE_EQ(BinomialTwoSidedRandomisedP(10, 0.5, 5, 1.0), 1.0);
  EXPECT_NEAR(BinomialTwoSidedRandomisedP(10, 0.5, 5, 0.0), 1 - 252.0 / 1024, 1e-15);
  EXPECT_DOUBLE_EQ(RandomisedPValue(0.2, 0.6, 0.5), 0.4);
}

TEST(RandomisedPValue, TheUniformComesFromTheSequencesOwnBits) {
  std::vector<uint32_t> words = {0x12345678u, 0x9abcdef0u, 0x0f0f0f0fu, 0xffffffffu};
  const uint64_t h = SequenceHash(words.data(), 100);
  EXPECT_EQ(SequenceHash(words.data(), 100), h);
  const double u = HashUniform(h, 7);
  EXPECT_GT(u, 0);
  EXPECT_LT(u, 1);
  EXPECT_NE(HashUniform(h, 8), u);  // rows of one sequence draw apart
  // Bits from 100 on do not count; every bit before does.
  words[3] ^= 0x10u;
  EXPECT_EQ(SequenceHash(words.data(), 100), h);
  words[3] ^= 0x10u;
  for (int bit : {0, 31, 32, 63, 64, 99}) {
    words[bit / 32] ^= 1u << (bit % 32);
    EXPECT_NE(SequenceHash(words.data(), 100), h) << bit;
    words[bit / 32] ^= 1u << (bit % 32);
  }
}

TEST(SmoothedChiSquare, KeepsTheStatisticsExpectationAndTheUniformCaseAgrees) {
  // The shift xi has mean 0 and covariance (1/2) (I - J / k) in the uniform
  // case, so over many salts the smoothed statistic averages
  // (sum d_i^2 + (k - 1) / 2) / (E + 1/2).
  const uint32_t counts[6] = {230, 219, 241, 226, 228, 221};  // 1365 tuples
  const double e = 1365.0 / 6;
  double plain = 0;
  for (uint32_t c : counts) plain += (c - e) * (c - e);
  const double expected = (plain + 5 * 0.5) / (e + 0.5);
  const uint64_t hash = 0x0123456789ABCDEFull;
  double sum = 0;
  const int draws = 200000;
  std::vector<double> observed(counts, counts + 6), cells(6, e);
  for (int r = 0; r < draws; ++r) {
    const uint64_t salt = static_cast<uint64_t>(r) << 32;
    const double x = SmoothedUniformChiSquare(counts, 6, hash, salt);
    sum += x;
    // Equal expected counts and no remainder: the general form is the same.
    if (r < 100) {
      EXPECT_NEAR(SmoothedChiSquare(observed.data(), cells.data(), 6, 1365, hash, salt), x, 1e-11 * x);
    }
  }
  // The shift moves the statistic by about 0.11 per draw (2 |d| |xi| / E):
  // 2.4e-4 on the mean of the draws. The plain statistic is 0.0078 lower.
  EXPECT_NEAR(sum / draws, expected, 1e-3);
  EXPECT_NE(SmoothedUniformChiSquare(counts, 6, hash, 1), SmoothedUniformChiSquare(counts, 6, hash + 1, 1));
}

TEST(SmoothedChiSquare, UniformUnderTheNullWithoutAtoms) {
  // Multinomial counts whose plain chi-square p-values pile up on few
  // values: three classes (1/4, 1/2, 1/4) of 1000 draws and six equal ones
  // of 1365. Their smoothed p-values take no value twice, and spread evenly
  // over 100 bins (Pearson's statistic over 10^5 values) and by KS.
  struct Case {
    std::vector<double> q;
    int trials;
  };
  const Case cases[] = {{{0.25, 0.5, 0.25}, 1000}, {std::vector<double>(6, 1.0 / 6), 1365}};
  std::mt19937_64 gen(2026);
  for (const Case& c : cases) {
    const int k = static_cast<int>(c.q.size());
    std::vector<double> expected(k);
    for (int i = 0; i < k; ++i) expected[i] = c.trials * c.q[i];
    const int draws = 100000;
    std::vector<double> smoothed, plain, observed(k);
    for (int r = 0; r < draws; ++r) {
      // The multinomial as a chain of binomials.
      int left = c.trials;
      double rest = 1;
      for (int i = 0; i < k; ++i) {
        const double q = i + 1 < k ? std::min(1.0, c.q[i] / rest) : 1.0;
        const int ci = std::binomial_distribution<int>(left, q)(gen);
        observed[i] = ci;
        left -= ci;
        rest -= c.q[i];
      }
      double x = 0;
      for (int i = 0; i < k; ++i) x += (observed[i] - expected[i]) * (observed[i] - expected[i]) / expected[i];
      plain.push_back(IncompleteGammaQ((k - 1) / 2.0, x / 2));
      const double y = SmoothedChiSquare(observed.data(), expected.data(), k, c.trials, gen(), 77);
      smoothed.push_back(IncompleteGammaQ((k - 1) / 2.0, y / 2));
    }
    auto largestAtom = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      int largest = 1;
      for (size_t i = 0, j; i < v.size(); i = j) {
        for (j = i + 1; j < v.size() && v[j] == v[i]; ++j) {
        }
        largest = std::max(largest, static_cast<int>(j - i));
      }
      return largest;
    };
    auto binsP = [](const std::vector<double>& v) {
      std::vector<double> bins(100, 0.0);
      for (double p : v) ++bins[std::min(99, static_cast<int>(p * 100))];
      const double e = v.size() / 100.0;
      double x = 0;
      for (double b : bins) x += (b - e) * (b - e) / e;
      return IncompleteGammaQ(99 / 2.0, x / 2);
    };
    EXPECT_GT(largestAtom(plain), 100) << k;  // the fixture has the atoms it is about
    EXPECT_LT(binsP(plain), 1e-6) << k;
    EXPECT_EQ(largestAtom(smoothed), 1) << k;
    EXPECT_GT(binsP(smoothed), 1e-4) << k;
    std::sort(smoothed.begin(), smoothed.end());
    EXPECT_GT(KsUniformPValue(smoothed.data(), draws), 1e-4) << k;
  }
}

TEST(SmoothedChiSquare, TwoDrawsGiveTheLawOfANormalPerClass) {
  // Given the counts, the shifted sum is drawn from its own law (a normal
  // along the deviations and a chi-square across them) instead of a normal
  // vector per class: over many salts its values follow the law of the sum
  // formed from a normal per class (std::normal_distribution), by the
  // two-sample Kolmogorov-Smirnov distance. Few trials per class, so that
  // the shift weighs as much as the deviations: 24 equal classes of 48
  // trials, and four unequal ones of 20 trials (lambda = 5), one class
  // holding all the excess.
  struct Case {
    std::vector<double> observed, q;
    double trials;
  };
  std::vector<double> equal(24, 1.0 / 24), counts24(24);
  for (int i = 0; i < 24; ++i) counts24[i] = (i * 7) % 5;  // 47
  counts24[0] = 1;
  const Case cases[] = {{counts24, equal, 48}, {{0, 3, 9, 8}, {0.1, 0.2, 0.3, 0.4}, 20}};
  std::mt19937_64 gen(31);
  std::normal_distribution<double> normal;
  for (const Case& c : cases) {
    const int k = static_cast<int>(c.q.size());
    std::vector<double> expected(k);
    for (int i = 0; i < k; ++i) expected[i] = c.trials * c.q[i];
    const double lambda = 0.5 / *std::min_element(c.q.begin(), c.q.end());
    std::vector<uint32_t> whole(c.observed.begin(), c.observed.end());
    const int draws = 100000;
    std::vector<double> drawn, formed;
    for (int r = 0; r < draws; ++r) {
      const uint64_t salt = static_cast<uint64_t>(r) << 32;
      const double x = SmoothedChiSquare(c.observed.data(), expected.data(), k, c.trials, 0x5EEDull, salt);
      drawn.push_back(x);
      if (k == 24) {
        EXPECT_NEAR(SmoothedUniformChiSquare(whole.data(), k, 0x5EEDull, salt), x, 1e-11 * x);
      }
      std::vector<double> g(k);
      double projection = 0;
      for (int i = 0; i < k; ++i) {
        g[i] = normal(gen);
        projection += std::sqrt(c.q[i]) * g[i];
      }
      double sum = 0;
      for (int i = 0; i < k; ++i) {
        const double xi = std::sqrt(lambda) * (std::sqrt(c.q[i]) * g[i] - c.q[i] * projection);
        const double d = c.observed[i] - expected[i] + xi;
        sum += d * d / c.q[i];
      }
      formed.push_back(sum / (c.trials + lambda));
    }
    std::sort(drawn.begin(), drawn.end());
    std::sort(formed.begin(), formed.end());
    // The two-sample Kolmogorov-Smirnov distance, the drawn values moved up
    // by `shift`.
    auto distance = [&](double shift) {
      double most = 0;
      for (size_t i = 0, j = 0; i < drawn.size() && j < formed.size();) {
        if (drawn[i] + shift <= formed[j]) ++i; else ++j;
        most = std::max(most, std::fabs(static_cast<double>(i) - static_cast<double>(j)) / draws);
      }
      return most;
    };
    // P(D > 1.95 sqrt(2 / draws)) is about 0.001 under one law.
    EXPECT_LT(distance(0), 1.95 * std::sqrt(2.0 / draws)) << k;
    // A wrong law within the same draws, W of k - 1 degrees of freedom
    // instead of k - 2 (a mean lambda / (N + lambda) higher), is seen.
    EXPECT_GT(distance(lambda / (c.trials + lambda)), 1.95 * std::sqrt(2.0 / draws)) << k;
  }
}

TEST(RandomisedPValue, TheSampledHashReadsItsPlacesOnly) {
  // Short sequences: every bit, as SequenceHash. Long ones: the 64-bit
  // pairs at j * pairs / 256 and the length.
  std::vector<uint32_t> words(2 * 4096 + 2);
  for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint32_t>(i * 2654435761u);
  EXPECT_EQ(SampledSequenceHash(words.data(), 64 * 511 + 5), SequenceHash(words.data(), 64 * 511 + 5));
  const uint64_t n = 64 * 4096, h = SampledSequenceHash(words.data(), n);
  EXPECT_NE(SampledSequenceHash(words.data(), n - 64), h);
  for (uint64_t j : {0u, 1u, 100u, 255u}) {
    const uint64_t pair = j * 4096 / 256;
    for (uint64_t word : {2 * pair, 2 * pair + 1}) {
      words[word] ^= 0x100u;
      EXPECT_NE(SampledSequenceHash(words.data(), n), h) << j;
      words[word] ^= 0x100u;
    }
    words[2 * pair + 2] ^= 0x100u;  // the pair after: not read
    EXPECT_EQ(SampledSequenceHash(words.data(), n), h) << j;
    words[2 * pair + 2] ^= 0x100u;
  }
}

// A chi-square statistic on a lattice of step h, its law the chi-square
// law's mass within h / 2 of each point: the moved point's p-value runs
// over [Q(x + h / 2), Q(x - h / 2)] as u runs from 0 to 1, and its law is
// uniform, exactly at the cells' edges and within a small share of a
// cell's mass between them (the p-value at an edge is the chi-square's).
TEST(RandomisedPValue, LatticePointsSpreadTheirCellUniformly) {
  for (double df : {3.0, 10.0}) {
    for (double h : {0.25, 0.7}) {
      const auto q = [df](double x) { return x > 0 ? IncompleteGammaQ(df / 2, x / 2) : 1.0; };
      EXPECT_DOUBLE_EQ(LatticeChiSquarePValue(df, 4 * h, h, 0.0), q(4.5 * h));
      EXPECT_DOUBLE_EQ(LatticeChiSquarePValue(df, 4 * h, h, 1.0), q(3.5 * h));
      EXPECT_DOUBLE_EQ(LatticeChiSquarePValue(df, 0, h, 1.0), 1.0);
      EXPECT_DOUBLE_EQ(LatticeChiSquarePValue(df, 0, h, 0.0), q(h / 2));
      for (double a : {0.003, 0.05, 0.3, 0.61, 0.95}) {
        // t: Q(t) = a, by bisection.
        double lo = 0, hi = 400;
        for (int i = 0; i < 200; ++i) (q((lo + hi) / 2) > a ? lo : hi) = (lo + hi) / 2;
        const double t = (lo + hi) / 2;
        // P(p <= a) = P(moved point >= t): the cells above t whole, t's
        // cell (k h - h / 2, k h + h / 2] in the share above t.
        const double k = std::ceil(t / h - 0.5);
        const double top = k * h + h / 2, bottom = std::max(0.0, k * h - h / 2);
        const double cell = q(bottom) - q(top);
        const double below = q(top) + cell * (top - t) / (top - bottom);
        // Off by the density's relative change across the cell, h |f'/f|
        // (below 1 where t lies here), times the cell's mass, over 8.
        EXPECT_NEAR(below, a, cell * h / 8) << "df " << df << " h " << h << " a " << a;
        EXPECT_GT(std::fabs(below - a), 0.0);  // not exact inside a cell
      }
    }
  }
}
