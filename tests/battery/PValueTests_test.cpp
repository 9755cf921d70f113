// The p-value distribution tests against independent references (scipy's
// chi2 and kstwobign, Anderson and Darling's series for the limit law of A^2
// in mpmath) read from tools/reference/NumericReference.h.
#include "battery/PValueTests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "battery/RunState.h"
#include "tests/battery/NumericCheck.h"
#include "tools/reference/NumericReference.h"

namespace {

TEST(ChiSquarePValue, MatchesReference) {
  for (const auto& c : numref::CHI_SQUARE) {
    SCOPED_TRACE(testing::Message() << "df " << c.df << ", x " << c.x);
    double got = ChiSquarePValue(c.df, c.x);
    if (c.expected == PVALUE_FAIL)
      EXPECT_EQ(got, PVALUE_FAIL);
    else
      EXPECT_TRUE(NearReference(got, c.expected, GammaTolerance(c.df / 2.0), 1e-320));
  }
}

TEST(ChiSquarePValue, OddDegreesOfFreedomAreHalfIntegerShapes) {
  // With df / 2 taken as an integer division one degree of freedom would
  // become a shape of 0 and every p-value 1.
  EXPECT_NEAR(ChiSquarePValue(1, 3.841458820694124), 0.05, 1e-15);
  EXPECT_NEAR(ChiSquarePValue(3, 7.814727903251178), 0.05, 1e-14);
}

void ExpectSortedLikeStdSort(std::vector<double> values, int first, int last) {
  std::vector<double> expected = values;
  std::sort(expected.begin() + first, expected.begin() + last + 1);
  SortDoubles(values.data(), first, last);
  EXPECT_EQ(values, expected);
}

TEST(SortDoubles, AgreesWithStdSort) {
  std::mt19937 gen(12345);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::uniform_int_distribution<int> few(0, 4);
  for (int n : {1, 2, 3, 5, 16, 17, 100, 1001, 20000}) {
    SCOPED_TRACE(n);
    std::vector<double> distinct(n), duplicates(n), equal(n, 0.25), ascending(n), descending(n), organ(n);
    for (int i = 0; i < n; ++i) {
      distinct[i] = uniform(gen);
      duplicates[i] = few(gen) / 4.0;
      ascending[i] = i;
      descending[i] = n - i;
      organ[i] = std::min(i, n - i);
    }
    for (const auto& v : {distinct, duplicates, equal, ascending, descending, organ}) ExpectSortedLikeStdSort(v, 0, n - 1);
  }
}

TEST(SortDoubles, SortsOnlyTheGivenRange) {
  std::vector<double> v = {9, 8, 7, 3, 1, 2, 2, 0, 6, 5};
  ExpectSortedLikeStdSort(v, 3, 7);
  ExpectSortedLikeStdSort(v, 4, 4);
  ExpectSortedLikeStdSort(v, 0, 9);
  // An empty range touches nothing, not even the first element.
  double one[1] = {0.5};
  SortDoubles(one, 0, -1);
  EXPECT_EQ(one[0], 0.5);
}

TEST(KsUniformPValue, MatchesKolmogorovLimitLaw) {
  // The series stops after the first term below 1e-7; the terms it leaves
  // out change p by less than 2.6e-9 (most for the smallest lambda, 0.2), so
  // the result lies within 1e-8 of the limit law at the same lambda.
  for (const auto& c : numref::KS_UNIFORM) {
    SCOPED_TRACE(testing::Message() << "n " << c.n);
    EXPECT_TRUE(NearReference(KsUniformPValue(c.values, c.n), c.expected, 0.0, 1e-8));
  }
  // A sample so regular that lambda < 0.2 gives exactly 1.
  std::vector<double> regular(400);
  for (int i = 0; i < 400; ++i) regular[i] = (i + 0.5) / 400;
  EXPECT_EQ(KsUniformPValue(regular.data(), 400), 1.0);
}

TEST(KsNormalPValue, MatchesKolmogorovLimitLawAndLeavesValuesSorted) {
  for (const auto& c : numref::KS_NORMAL) {
    SCOPED_TRACE(testing::Message() << "n " << c.n);
    std::vector<double> values(c.values, c.values + c.n);
    EXPECT_TRUE(NearReference(KsNormalPValue(values.data(), c.n), c.expected, 0.0, 1e-8));
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    std::vector<double> original(c.values, c.values + c.n);
    std::sort(original.begin(), original.end());
    EXPECT_EQ(values, original);
  }
}

TEST(AdUniformPValue, MatchesPublishedApproximationAndLimitLaw) {
  // Against the piecewise approximation evaluated at 40 digits on the
  // independently computed A^2, to rounding (A^2 = -n - sum / n cancels, so
  // its rounding grows with n); against Anderson and Darling's limit law
  // within the approximation's own error (at most 2.8e-4).
  int below2 = 0, middle = 0, above4 = 0;
  for (const auto& c : numref::AD_UNIFORM) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << ", A2 " << c.a2);
    double got = AdUniformPValue(c.values, c.n);
    EXPECT_TRUE(NearReference(got, c.formula, 1e-12, 2e-15 * c.n));
    EXPECT_TRUE(NearReference(got, c.limit, 0.0, 3e-4));
    if (c.a2 >= 0.01 && c.a2 <= 2) ++below2;
    if (c.a2 > 2 && c.a2 <= 4) ++middle;
    if (c.a2 > 4) ++above4;
  }
  EXPECT_GE(below2, 3);
  EXPECT_GE(middle, 3);
  EXPECT_GE(above4, 3);
}

TEST(AdUniformPValue, RegularSampleGivesOneAndEndValuesStayFinite) {
  std::vector<double> regular(200);
  for (int i = 0; i < 200; ++i) regular[i] = (i + 0.5) / 200;
  EXPECT_EQ(AdUniformPValue(regular.data(), 200), 1.0);
  const double ends[4] = {0.0, 0.0, 1.0, 1.0};
  double p = AdUniformPValue(ends, 4);
  EXPECT_TRUE(std::isfinite(p));
  EXPECT_GE(p, 0.0);
  EXPECT_LT(p, 1e-6);
}

TEST(ThresholdBinomialP, MatchesReference) {
  for (const auto& c : numref::THRESHOLD_BINOMIAL) {
    SCOPED_TRACE(testing::Message() << "N " << c.n);
    double got = ThresholdBinomialP(c.values, c.n);
    if (c.expected < 0)
      EXPECT_EQ(got, c.expected);
    else
      EXPECT_TRUE(NearReference(got, c.expected, GammaTolerance(7.0), 1e-300));
  }
}

TEST(ThresholdBinomialP, TooFewValuesAndTheTwoCellCase) {
  const double one[1] = {0.3};
  EXPECT_EQ(ThresholdBinomialP(one, 1), PVALUE_FAIL);
  EXPECT_EQ(ThresholdBinomialP(one, 0), PVALUE_FAIL);
  // Two values close two cells (at 0.7 and at 0.95), one degree of freedom.
  // Of 0.3 and 0.6, the cumulative counts below 0.4, 0.5, 0.6 and 0.7 are
  // 1, 1, 1, 2 (a value equal to a threshold is not below it) and below 0.8,
  // 0.9 and 0.95 are 2 each: observed 5 and 6 against 5.722 and 5.3.
  const double two[2] = {0.3, 0.6};
  double chi2 = (5 - 5.722) * (5 - 5.722) / 5.722 + (6 - 5.3) * (6 - 5.3) / 5.3;
  EXPECT_NEAR(ThresholdBinomialP(two, 2), std::erfc(std::sqrt(chi2 / 2)), 1e-12);
}

}  // namespace
