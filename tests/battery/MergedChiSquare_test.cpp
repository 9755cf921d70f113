#include "battery/MergedChiSquare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "MergedChiSquareReference.h"
#include "battery/Distributions.h"
#include "battery/RunState.h"

namespace {

// Counts observed cell counts into classes as a counting loop does: one
// increment per cell through the class table (dropped cells in the extra
// counter).
std::vector<long long> CountIntoClasses(const MergedChiSquare& merged, const std::vector<int>& observed) {
  std::vector<long long> counts(merged.Classes() + 1, 0);
  for (size_t c = 0; c < observed.size(); ++c) counts[merged.ClassTable()[c]] += observed[c];
  return counts;
}

}  // namespace

TEST(MergedChiSquare, HandWorkedTableUnderBothRules) {
  const std::vector<double> expected = {2.5, 2.5, 5, 1, 4, 3, 3};
  const std::vector<int> observed = {1, 4, 6, 0, 7, 2, 5};
  struct Case {
    MergeRule rule;
    std::vector<int> table;
    std::vector<double> classExpected;
    double chi2;
  } cases[] = {
      // 2.5 + 2.5 reaches 5 | 5 | 1 + 4 | 3 + 3: observed 5, 6, 7, 7.
      {MergeRule::AtLeast, {0, 0, 1, 2, 2, 3, 3}, {5, 5, 5, 6}, 0.0 / 5 + 1.0 / 5 + 4.0 / 5 + 1.0 / 6},
      // 5 is not more than 5: 2.5 + 2.5 + 5 | 1 + 4 + 3 | 3 dropped:
      // observed 11, 9.
      {MergeRule::MoreThan, {0, 0, 0, 1, 1, 1, 2}, {10, 8}, 1.0 / 10 + 1.0 / 8},
  };
  for (const auto& c : cases) {
    MergedChiSquare merged;
    merged.Build(expected, {}, c.rule);
    EXPECT_EQ(merged.ClassTable(), c.table);
    EXPECT_EQ(merged.ClassExpected(), c.classExpected);
    const auto counts = CountIntoClasses(merged, observed);
    EXPECT_NEAR(merged.Statistic(counts.data()), c.chi2, 1e-15);
  }
}

TEST(MergedChiSquare, AgreesWithScipyOnEveryFixture) {
  MergedChiSquare merged;  // rebuilt for every fixture, as a run rebuilds it
  for (const auto& ref : MERGED_CHI_SQUARE_REF) {
    const MergeRule rule = ref.moreThan ? MergeRule::MoreThan : MergeRule::AtLeast;
    merged.Build(ref.expected, ref.order, rule);
    ASSERT_EQ(merged.Classes(), ref.classes) << ref.name << " " << ref.moreThan;
    const auto counts = CountIntoClasses(merged, ref.observed);
    const double chi2 = merged.Statistic(counts.data());
    EXPECT_NEAR(chi2, ref.chi2, 1e-12 * ref.chi2) << ref.name << " " << ref.moreThan;
    EXPECT_NEAR(merged.PValueOf(counts.data()), ref.p, 1e-10 * ref.p) << ref.name << " " << ref.moreThan;

    // The same merging on the fly, cell by cell in visiting order.
    MergedChiSquareSum sum(rule);
    if (ref.order.empty()) {
      for (size_t c = 0; c < ref.expected.size(); ++c) sum.Add(ref.observed[c], ref.expected[c]);
    } else {
      for (int c : ref.order) sum.Add(ref.observed[c], ref.expected[c]);
    }
    EXPECT_EQ(sum.Classes(), ref.classes) << ref.name;
    EXPECT_NEAR(sum.Statistic(), ref.chi2, 1e-12 * ref.chi2) << ref.name;
    EXPECT_NEAR(sum.PValue(), ref.p, 1e-10 * ref.p) << ref.name;
  }
}

// The Cressie-Read power divergence (lambda = 1/2) over the same classes and
// its moment-law p-value, against the 40-digit reference, in both forms of
// the merging.
TEST(MergedChiSquare, PowerDivergenceAgreesWithTheReference) {
  MergedChiSquare merged;
  for (const auto& ref : MERGED_CHI_SQUARE_REF) {
    const MergeRule rule = ref.moreThan ? MergeRule::MoreThan : MergeRule::AtLeast;
    merged.Build(ref.expected, ref.order, rule);
    const auto counts = CountIntoClasses(merged, ref.observed);
    EXPECT_NEAR(merged.Statistic(counts.data(), Divergence::CressieRead), ref.cressieRead, 1e-12 * ref.cressieRead)
        << ref.name << " " << ref.moreThan;
    EXPECT_NEAR(merged.PValueOf(counts.data(), Divergence::CressieRead), ref.cressieReadP,
                1e-10 * std::abs(ref.cressieReadP))
        << ref.name << " " << ref.moreThan;
    MergedChiSquareSum sum(rule, 5.0, Remainder::Drop, 1.0, Divergence::CressieRead);
    if (ref.order.empty()) {
      for (size_t c = 0; c < ref.expected.size(); ++c) sum.Add(ref.observed[c], ref.expected[c]);
    } else {
      for (int c : ref.order) sum.Add(ref.observed[c], ref.expected[c]);
    }
    EXPECT_NEAR(sum.Statistic(), ref.cressieRead, 1e-12 * ref.cressieRead) << ref.name;
    EXPECT_NEAR(sum.PValue(), ref.cressieReadP, 1e-10 * std::abs(ref.cressieReadP)) << ref.name;
  }
}

TEST(MergedChiSquare, PowerDivergenceTerms) {
  // 8/3 [O (sqrt(O / E) - 1) - (O - E) / 2]: 0 where O = E; 4/3 E for an
  // empty class; O = 4 E gives 8/3 (4 E - 3/2 E) = 20/3 E; never below 0,
  // also where the classes do not hold every observation; near O = E it is
  // Pearson's term to first order.
  EXPECT_EQ(DivergenceTerm(Divergence::CressieRead, 7, 7), 0.0);
  EXPECT_DOUBLE_EQ(DivergenceTerm(Divergence::CressieRead, 0, 6), 8.0);
  EXPECT_DOUBLE_EQ(DivergenceTerm(Divergence::CressieRead, 12, 3), 20.0);
  for (double o : {0.0, 1.0, 3.0, 4.5, 6.0, 12.0}) EXPECT_GE(DivergenceTerm(Divergence::CressieRead, o, 5), 0.0);
  EXPECT_NEAR(DivergenceTerm(Divergence::CressieRead, 1001, 1000), DivergenceTerm(Divergence::Pearson, 1001, 1000),
              1e-6);
  // With the remainder joined, the classes hold every observation, and the
  // p-value's law is that of the classes as joined: 5 and 6.
  MergedChiSquareSum joined(MergeRule::AtLeast, 5.0, Remainder::JoinLast, 1.0, Divergence::CressieRead);
  for (double e : {5.0, 5.0, 1.0}) joined.Add(e == 1.0 ? 3 : 5, e);
  EXPECT_DOUBLE_EQ(joined.Statistic(), DivergenceTerm(Divergence::CressieRead, 8, 6));
  ClassSums sums;
  for (double e : {5.0, 6.0}) sums.Add(e);
  EXPECT_DOUBLE_EQ(joined.PValue(), DivergencePValue(Divergence::CressieRead, 2, joined.Statistic(), sums));
}

// With large expected counts the moment law is the chi-square law: its
// corrections are O(1 / expected count).
TEST(MergedChiSquare, MomentLawTendsToChiSquare) {
  ClassSums large;
  for (int c = 0; c < 10; ++c) large.Add(1e8);
  for (double t : {2.0, 9.0, 25.0})
    EXPECT_NEAR(DivergencePValue(Divergence::CressieRead, 10, t, large), MergedChiSquarePValue(10, t), 1e-6);
  ClassSums one;
  one.Add(10.0);
  EXPECT_EQ(DivergencePValue(Divergence::CressieRead, 1, 3.0, one), PVALUE_SHORT);
}

TEST(MergedChiSquare, CellsLeftOutOrStillOpenAreDropped) {
  MergedChiSquare merged;
  // Cells 1 and 3 are not visited; cell 4 is visited but its class never closes.
  merged.Build({6, 9, 7, 9, 2}, {2, 0, 4});
  EXPECT_EQ(merged.Classes(), 2);
  EXPECT_EQ(merged.ClassTable(), (std::vector<int>{1, 2, 0, 2, 2}));
}

TEST(MergedChiSquare, FewerThanTwoClassesIsShort) {
  MergedChiSquare merged;
  for (const auto& expected : {std::vector<double>{}, std::vector<double>{1, 2, 1.5}, std::vector<double>{3, 2, 4}}) {
    merged.Build(expected);
    EXPECT_LE(merged.Classes(), 1);
    const std::vector<long long> counts(merged.Classes() + 1, 3);
    EXPECT_EQ(merged.PValueOf(counts.data()), PVALUE_SHORT);
  }
  MergedChiSquareSum sum;
  sum.Add(4, 5);
  sum.Add(1, 1);
  EXPECT_EQ(sum.Classes(), 1);
  EXPECT_EQ(sum.PValue(), PVALUE_SHORT);
}

TEST(MergedChiSquare, TheRemainderIsDroppedOrJoinsTheLastClass) {
  // Expected 3, 3 | 1, 1: one class closes at 6, the remainder expects 2.
  const std::vector<double> expected = {3, 3, 1, 1};
  const double observed[] = {4, 4, 2, 0};
  MergedChiSquare dropped, joined;
  dropped.Build(expected);
  joined.Build(expected, {}, MergeRule::AtLeast, 5.0, Remainder::JoinLast);
  EXPECT_EQ(dropped.ClassTable(), (std::vector<int>{0, 0, 1, 1}));
  EXPECT_EQ(joined.ClassTable(), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(joined.ClassExpected(), (std::vector<double>{8}));
  MergedChiSquareSum droppedSum, joinedSum(MergeRule::AtLeast, 5.0, Remainder::JoinLast);
  for (int c = 0; c < 4; ++c) {
    droppedSum.Add(observed[c], expected[c]);
    joinedSum.Add(observed[c], expected[c]);
  }
  EXPECT_DOUBLE_EQ(droppedSum.Statistic(), 4.0 / 6);  // (8 - 6)^2 / 6
  EXPECT_DOUBLE_EQ(joinedSum.Statistic(), 0.5);       // (10 - 8)^2 / 8
  // With two closed classes the remainder's term joins the second one's.
  MergedChiSquareSum twoClasses(MergeRule::AtLeast, 5.0, Remainder::JoinLast);
  for (double e : {5.0, 5.0, 1.0}) twoClasses.Add(e == 1.0 ? 3 : 5, e);
  EXPECT_EQ(twoClasses.Classes(), 2);
  EXPECT_DOUBLE_EQ(twoClasses.Statistic(), 4.0 / 6);  // 0 + (8 - 6)^2 / 6
  EXPECT_DOUBLE_EQ(twoClasses.PValue(), IncompleteGammaQ(0.5, 2.0 / 6));
}

TEST(MergedChiSquare, CellsGivenAsProbabilitiesOfDraws) {
  // The hand-worked table as probabilities of 64 draws (all exact in
  // binary): the same classes and statistics as with expected counts.
  const std::vector<double> expected = {2.5, 2.5, 5, 1, 4, 3, 3};
  const std::vector<int> observed = {1, 4, 6, 0, 7, 2, 5};
  for (MergeRule rule : {MergeRule::AtLeast, MergeRule::MoreThan}) {
    MergedChiSquareSum counts(rule), draws(rule, 5.0, Remainder::Drop, 64);
    for (size_t c = 0; c < expected.size(); ++c) {
      counts.Add(observed[c], expected[c]);
      draws.Add(observed[c], expected[c] / 64);
    }
    EXPECT_EQ(draws.Classes(), counts.Classes());
    EXPECT_EQ(draws.Statistic(), counts.Statistic());
  }
  EXPECT_EQ(MergedChiSquareSum(MergeRule::AtLeast, 5.0, Remainder::Drop, 64).Classes(), 0);
  // The remainder joins the last class in the draws' unit too: expected
  // 3, 3 | 1, 1 as eighths of 8 draws.
  MergedChiSquareSum joined(MergeRule::AtLeast, 5.0, Remainder::JoinLast, 8);
  const double observedJoined[] = {4, 4, 2, 0};
  for (int c = 0; c < 4; ++c) joined.Add(observedJoined[c], c < 2 ? 0.375 : 0.125);
  EXPECT_EQ(joined.Classes(), 1);
  EXPECT_DOUBLE_EQ(joined.Statistic(), 0.5);  // (10 - 8)^2 / 8
}

TEST(MergedChiSquare, ClosesFollowsTheRule) {
  EXPECT_TRUE(MergedChiSquareSum(MergeRule::AtLeast).Closes(5));
  EXPECT_FALSE(MergedChiSquareSum(MergeRule::AtLeast).Closes(4.999));
  EXPECT_FALSE(MergedChiSquareSum(MergeRule::MoreThan).Closes(5));
  EXPECT_TRUE(MergedChiSquareSum(MergeRule::MoreThan, 10.0).Closes(10.5));
  EXPECT_FALSE(MergedChiSquareSum(MergeRule::MoreThan, 10.0).Closes(10));
  EXPECT_EQ(MergedChiSquarePValue(1, 3.0), PVALUE_SHORT);
  EXPECT_DOUBLE_EQ(MergedChiSquarePValue(3, 2.0), IncompleteGammaQ(1.0, 1.0));
}

// The exact cumulants of Pearson's statistic against tools/reference/exact_moments.py
// (50-digit factorial moments; the first two cases also enumerated there).
TEST(PearsonTailLaw, ExactCumulantsAgreeWithTheReference) {
  struct Case {
    std::vector<double> expected;
    double total, mean, variance, third;
  };
  const std::vector<Case> cases = {
      {{1.4, 2.1, 3.5}, 7, 2.0, 3.619047619047619, 14.390022675736961},
      {{1.4, 2.1}, 7, 1.5, 2.3333333333333333, 9.0022675736961447},
      {{10.526731644742544, 16.646055883466033, 35.85304344131153, 69.14515520824361, 119.8516023609556,
        187.26812868899245, 264.37853461975453, 337.81701645857515, 391.156545373087, 410.7143726417412,
        10.526731644742544, 16.646055883466033, 35.85304344131153, 69.14515520824361, 119.85160236095558,
        187.26812868899276, 264.37853461975453, 337.8170164585754, 391.15654537308706},
       3276, 18.0, 36.322064909633389, 151.58768867603928},
      {{499995, 499995, 10}, 1e6, 2.0, 4.0999910000400004, 18.209846901040008},
  };
  for (const Case& c : cases) {
    PearsonTailLaw law;
    law.Build(c.expected, c.total);
    EXPECT_NEAR(law.Mean(), c.mean, 1e-10 * c.mean);
    EXPECT_NEAR(law.Variance(), c.variance, 1e-9 * c.variance);
    EXPECT_NEAR(law.ThirdCumulant(), c.third, 1e-8 * c.third);
  }
}

// Where the statistic is small the chi-square law holds; in its upper tail
// the p-value is above the chi-square one (the tail is heavier); it stays
// within [0, 1] and falls as the statistic grows.
TEST(PearsonTailLaw, ChiSquareBelowAHeavierUpperTail) {
  PearsonTailLaw law;
  law.Build({5, 6, 400, 7, 5}, 423);
  EXPECT_EQ(law.PValue(0.0), 1.0);
  EXPECT_NEAR(law.PValue(0.3), MergedChiSquarePValue(5, 0.3), 1e-3);
  EXPECT_GT(law.PValue(20.0), MergedChiSquarePValue(5, 20.0));
  double last = 1.0;
  for (double x = 0; x < 60; x += 0.25) {
    const double p = law.PValue(x);
    EXPECT_GE(p, 0.0);
    EXPECT_LE(p, last + 1e-15) << x;
    last = p;
  }
  PearsonTailLaw one;
  one.Build({10}, 10);
  EXPECT_EQ(one.PValue(1.0), PVALUE_SHORT);
}
