// The seven goodness-of-fit statistics of a sorted sample, and the medians
// of uniform order statistics they use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "battery/GofStatistics.h"
#include "battery/GofTables.h"

namespace {

std::vector<double> Statistics(const std::vector<double>& x) {
  const int n = int(x.size());
  GofMedians medians;
  EXPECT_TRUE(ComputeGofMedians(n, medians));
  ShapiroWilkCoefficients(n);
  std::vector<double> s(GOF_STATISTICS);
  ComputeGofStatistics(x.data(), n, medians, s.data());
  return s;
}

TEST(GofMedians, AreTheMediansOfBetaOrderStatistics) {
  GofMedians medians;
  ASSERT_TRUE(ComputeGofMedians(7, medians));
  ASSERT_EQ(medians.m.size(), 7u);
  // The smallest of n: 1 - 2^(-1/n); the middle one: 1/2; symmetry.
  EXPECT_NEAR(medians.m[0], 1 - std::pow(2.0, -1.0 / 7), 2e-9);
  EXPECT_NEAR(medians.m[3], 0.5, 2e-9);
  double sum = 0, sumSquares = 0, spread = 0, normalisedSpread = 0;
  for (int i = 0; i < 7; ++i) {
    EXPECT_NEAR(medians.m[i] + medians.m[6 - i], 1.0, 4e-9);
    sum += medians.m[i];
    sumSquares += medians.m[i] * medians.m[i];
  }
  EXPECT_DOUBLE_EQ(medians.sum, sum);
  EXPECT_DOUBLE_EQ(medians.sumSquares, sumSquares);
  for (int i = 0; i < 7; ++i) {
    spread += std::fabs(medians.m[i] - sum / 7);
    normalisedSpread += std::fabs(medians.normalised[i]);
  }
  EXPECT_NEAR(normalisedSpread, 1.0, 1e-14);
  EXPECT_NEAR(medians.normalised[0], (medians.m[0] - sum / 7) / spread, 1e-15);
}

// Values worked by hand for the sample 0.25, 0.5, 0.75.
TEST(GofStatistics, ThreeValuesWorkedByHand) {
  std::vector<double> s = Statistics({0.25, 0.5, 0.75});
  EXPECT_NEAR(s[GOF_KS], 0.25, 1e-15);
  EXPECT_NEAR(s[GOF_SL], 0.0972222222222222, 1e-15);
  EXPECT_NEAR(s[GOF_CM], 0.0416666666666667, 1e-15);
  EXPECT_NEAR(s[GOF_AD], -3 - (std::log(0.0625) + 3 * std::log(0.25) + 5 * std::log(0.5625)) / 3, 1e-14);
  EXPECT_NEAR(s[GOF_AD], 0.269430, 1e-6);
  // Evenly spaced values lie on a line with the (symmetric) medians and with
  // the Shapiro-Wilk coefficients of n = 3 (the medians are bisected to
  // 1e-9, which bounds how far AV is from 1).
  EXPECT_NEAR(s[GOF_CC], 0.0, 1e-12);
  EXPECT_NEAR(s[GOF_SW], 0.0, 1e-12);
  EXPECT_NEAR(s[GOF_AV], 1.0, 1e-8);
}

// CC and AV against their other forms: 1 - r^2 with r the Pearson
// correlation from centred sums, and the sum of sign(a b) min(|a|, |b|).
TEST(GofStatistics, CorrelationAndAgreementByTheirOtherForms) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  for (int n : {3, 4, 17, 250}) {
    std::vector<double> x(n);
    for (double& v : x) v = uniform(rng);
    std::sort(x.begin(), x.end());
    std::vector<double> s = Statistics(x);
    GofMedians medians;
    ASSERT_TRUE(ComputeGofMedians(n, medians));
    double mx = 0, mm = 0;
    for (int i = 0; i < n; ++i) mx += x[i] / n, mm += medians.m[i] / n;
    double sxy = 0, sxx = 0, syy = 0, spread = 0;
    for (int i = 0; i < n; ++i) {
      sxy += (x[i] - mx) * (medians.m[i] - mm);
      sxx += (x[i] - mx) * (x[i] - mx);
      syy += (medians.m[i] - mm) * (medians.m[i] - mm);
      spread += std::fabs(x[i] - mx);
    }
    EXPECT_NEAR(s[GOF_CC], 1 - sxy * sxy / (sxx * syy), 1e-10) << n;
    double agreement = 0;
    for (int i = 0; i < n; ++i) {
      const double a = medians.normalised[i], b = (x[i] - mx) / spread;
      agreement += (a * b >= 0 ? 1 : -1) * std::min(std::fabs(a), std::fabs(b));
    }
    EXPECT_NEAR(s[GOF_AV], agreement, 1e-12) << n;
    // KS against the definition by the empirical distribution function.
    double d = 0;
    for (int i = 0; i < n; ++i) d = std::max({d, (i + 1.0) / n - x[i], x[i] - double(i) / n});
    EXPECT_NEAR(s[GOF_KS], d, 1e-15) << n;
  }
}

TEST(GofStatistics, ValueOfOneMakesAdInfinite) {
  std::vector<double> s = Statistics({0.1, 0.4, 0.7, 1.0});
  EXPECT_TRUE(std::isinf(s[GOF_AD]) && s[GOF_AD] > 0);
  for (int k : {GOF_KS, GOF_SL, GOF_CM, GOF_SW, GOF_CC, GOF_AV}) EXPECT_TRUE(std::isfinite(s[k])) << k;
}

// Without spread, SW, CC and AV have no value; the other four still do.
TEST(GofStatistics, EqualValuesLeaveShapeStatisticsWithoutValue) {
  for (double v : {0.3, 0.5, 0.1}) {
    std::vector<double> s = Statistics(std::vector<double>(20, v));
    EXPECT_TRUE(std::isnan(s[GOF_SW])) << v;
    EXPECT_TRUE(std::isnan(s[GOF_CC])) << v;
    EXPECT_TRUE(std::isnan(s[GOF_AV])) << v;
    for (int k : {GOF_KS, GOF_AD, GOF_SL, GOF_CM}) EXPECT_TRUE(std::isfinite(s[k])) << v << " " << k;
  }
}

}  // namespace
