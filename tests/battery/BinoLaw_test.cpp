// The multinomial law of Pearson's statistic (battery/BinoLaw.h): its lattice
// law against a full enumeration of the multinomial, the plain chi-square
// where no class is small, and the Pearson column's p-value against
// tools/reference/bino_law.py.
#include "battery/BinoLaw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "battery/Distributions.h"
#include "battery/PValueTests.h"
#include "battery/RunState.h"
#include "tests/battery/BinoLawReference.h"
#include "tests/battery/NumericCheck.h"

namespace {

// Calls visit(counts, probability) for every vector of K counts summing to N.
void EachOutcome(const std::vector<double>& q, int N,
                 const std::function<void(const std::vector<int>&, double)>& visit) {
  const int K = static_cast<int>(q.size());
  std::vector<int> counts(K, 0);
  std::function<void(int, int, double)> step = [&](int k, int left, double logP) {
    if (k == K - 1) {
      counts[k] = left;
      visit(counts, std::exp(logP + left * std::log(q[k]) - std::lgamma(left + 1.0)));
      return;
    }
    for (int o = 0; o <= left; ++o) {
      counts[k] = o;
      step(k + 1, left - o, logP + o * std::log(q[k]) - std::lgamma(o + 1.0));
    }
  };
  step(0, N, std::lgamma(N + 1.0));
}

TEST(MultinomialPearsonLaw, TheLatticeLawIsExactlyUniformOverTheWholeMultinomial) {
  // Every class small: the randomised p-value lies uniformly in
  // [P(T > t), P(T >= t)] (u = 0 and u = 1 give its ends), so over all
  // outcomes P(p < a) must be a itself. Unequal classes (6, 6 and 8
  // expected) round their terms.
  struct Case { std::vector<double> q; int n; };
  const Case cases[] = {{{0.5, 0.5}, 10}, {{0.3, 0.3, 0.4}, 20}, {{1 / 3.0, 1 / 3.0, 1 / 3.0}, 12},
                        {{0.2, 0.2, 0.2, 0.2, 0.2}, 45}, {{0.1, 0.2, 0.3, 0.4}, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "N " << c.n << ", " << c.q.size() << " classes");
    MultinomialPearsonLaw law;
    law.Build(c.q, c.n);
    ASSERT_TRUE(law.Lattice());
    for (double a : {0.5, 0.1, 0.01, 0.001}) {
      double below = 0, total = 0;
      EachOutcome(c.q, c.n, [&](const std::vector<int>& counts, double p) {
        const double lo = law.PValue(counts.data(), 0.0), hi = law.PValue(counts.data(), 1.0);
        ASSERT_LE(lo, hi);
        total += p;
        below += p * (hi > lo ? std::clamp((a - lo) / (hi - lo), 0.0, 1.0) : (lo < a ? 1.0 : 0.0));
      });
      EXPECT_NEAR(total, 1.0, 1e-12);
      EXPECT_NEAR(below, a, 1e-12 + 1e-9 * a) << "level " << a;
    }
  }
}

TEST(MultinomialPearsonLaw, NoSmallClassGivesTheChiSquareLaw) {
  const std::vector<double> q = {0.25, 0.25, 0.5};
  const int counts[] = {30, 19, 51};
  MultinomialPearsonLaw law;
  law.Build(q, 100, 0.0);
  EXPECT_FALSE(law.Lattice());
  const double chi2 = 25.0 / 25 + 36.0 / 25 + 1.0 / 50;
  EXPECT_DOUBLE_EQ(law.Statistic(counts), chi2);
  EXPECT_EQ(law.PValue(counts, 0.5), ChiSquarePValue(2, law.Statistic(counts)));
  // One class: short.
  law.Build({1.0}, 100);
  const int all[] = {100};
  EXPECT_EQ(law.PValue(all, 0.5), PVALUE_SHORT);
}

TEST(EqualBinsPearsonP, MatchesReference) {
  for (const auto& c : binoref::BINS) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << ", m " << c.m);
    const double p = EqualBinsPearsonP(c.bins, c.m, c.n);
    if (c.p.kind == 0)
      EXPECT_TRUE(NearReference(p, c.p.lower, GammaTolerance(c.m / 2.0), 1e-300));
    else
      EXPECT_TRUE(WithinBounds(p, c.p.lower, c.p.upper, 1e-9, 1e-13));
    EXPECT_EQ(EqualBinsPearsonP(c.bins, c.m, c.n), p) << "the same bins, the same value";
  }
}

TEST(EqualBinsPearsonP, PlainChiSquareOnRequestAndTinyTails) {
  // 900 values in 30 bins expect 30 each: exactBelow 0 gives the plain
  // chi-square law (the default, its 1/n term, is in the table above).
  std::vector<int> bins(30, 30);
  bins[0] = 45;
  bins[1] = 15;
  const double chi2 = (15.0 * 15 + 15.0 * 15) / 30;
  EXPECT_EQ(EqualBinsPearsonP(bins.data(), 30, 900, 0.0), ChiSquarePValue(29, chi2));
  // All values in one bin: a tiny p-value, never short, on either side of
  // 25 expected.
  for (int n : {100, 2500}) {
    const int m = static_cast<int>(std::sqrt(static_cast<double>(n)) + 0.5);
    std::vector<int> one(m, 0);
    one[3] = n;
    const double p = EqualBinsPearsonP(one.data(), m, n);
    EXPECT_TRUE(p == PVALUE_FAIL || (p >= 0 && p < 1e-12)) << n << ": " << p;
  }
}

TEST(EqualBinsTail, MatchesReference) {
  // The chi-square law with its 1/n term at chi-square quantiles from 0.5 to
  // 1e-12, from 24 bins expecting 25 to 1000 bins expecting 1000.
  for (const auto& c : binoref::TAILS) {
    SCOPED_TRACE(testing::Message() << "m " << c.m << ", n " << c.n << ", x " << c.x);
    EXPECT_TRUE(NearReference(EqualBinsTail(c.m, c.n, c.x), c.tail, 1e-10));
  }
}

TEST(EqualBinsTail, DecreasesFromOneAndApproachesTheChiSquareLaw) {
  for (int m : {3, 5, 24, 100, 1000}) {
    for (double e : {25.0, 100.0}) {
      const int n = static_cast<int>(m * e);
      SCOPED_TRACE(testing::Message() << "m " << m << ", n " << n);
      EXPECT_EQ(EqualBinsTail(m, n, 0.0), 1.0);
      double last = 1.0;
      const double top = m + 40 * std::sqrt(2.0 * m) + 60;
      for (double x = 0; x <= top; x += top / 4000) {
        const double t = EqualBinsTail(m, n, x);
        ASSERT_GE(t, 0.0) << x;
        ASSERT_LE(t, last) << x;
        last = t;
      }
    }
    // Many values per bin: the chi-square law.
    const double x = m + 3 * std::sqrt(2.0 * m);
    EXPECT_TRUE(NearReference(EqualBinsTail(m, 100000000, x), ChiSquarePValue(m - 1, x), 1e-5));
  }
}

}  // namespace
