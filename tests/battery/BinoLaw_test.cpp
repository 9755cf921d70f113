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

TEST(EqualBinsPearsonP, BinsExpectingEnoughKeepTheChiSquareLaw) {
  // 900 values in 30 bins expect 30 each: the chi-square p-value as before.
  std::vector<int> bins(30, 30);
  bins[0] = 45;
  bins[1] = 15;
  const double chi2 = (15.0 * 15 + 15.0 * 15) / 30;
  EXPECT_EQ(EqualBinsPearsonP(bins.data(), 30, 900), ChiSquarePValue(29, chi2));
  // All values in one bin: a tiny p-value, never short.
  std::vector<int> one(10, 0);
  one[3] = 100;
  const double p = EqualBinsPearsonP(one.data(), 10, 100);
  EXPECT_TRUE(p == PVALUE_FAIL || (p >= 0 && p < 1e-12)) << p;
}

}  // namespace
