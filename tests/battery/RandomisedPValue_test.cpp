#include "battery/RandomisedPValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "battery/Distributions.h"

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
