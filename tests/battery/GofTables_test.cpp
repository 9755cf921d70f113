// Shapiro-Wilk W against R's shapiro.test (tools/reference), the Hermite
// curves, and the probability look-up over quantile curves built from
// synthetic tables whose exact answer is known (never the program's own
// generated table, which this program does not link).
#include "battery/GofTables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "battery/RunState.h"
#include "battery/Distributions.h"
#include "tests/battery/NumericCheck.h"
#include "tools/reference/NumericReference.h"

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(GofTables, LevelsAndSizes) {
  for (int j = 1; j < GOF_LEVELS; ++j) EXPECT_LT(gofLevels[j - 1], gofLevels[j]) << j;
  EXPECT_EQ(gofLevels[0], 1e-05);
  EXPECT_EQ(gofLevels[GOF_LEVELS - 1], 0.99999);
  // The 41 levels 0.1 .. 0.9 are the doubles nearest their decimal values.
  for (int k = 0; k <= 40; ++k) {
    char text[8];
    std::snprintf(text, sizeof text, "0.%02d", 10 + 2 * k);
    EXPECT_EQ(gofLevels[16 + k], std::strtod(text, nullptr)) << text;
  }
  EXPECT_EQ(gofLevels[36], 0.5);
  for (int k = 1; k < GOF_SIZES; ++k) EXPECT_LT(gofSizes[k - 1], gofSizes[k]) << k;
  for (double n : gofSizes) EXPECT_EQ(n, std::floor(n));
  EXPECT_EQ(gofSizes[0], 3.0);
  EXPECT_EQ(gofSizes[GOF_SIZES - 1], 13625.0);
}

TEST(ShapiroWilkCoefficients, NormalisedPositiveAndDecreasing) {
  ShapiroWilkCoefficients(3);
  ASSERT_EQ(swCoefficients.size(), 2u);
  EXPECT_EQ(swCoefficients[1], std::sqrt(0.5));
  // AS R94 scales the coefficients so that the whole antisymmetric vector
  // has unit length: 2 (a_1^2 + ... + a_(n/2)^2) = 1.
  for (int n : {4, 5, 6, 7, 10, 11, 50, 501, 5000, 13625}) {
    SCOPED_TRACE(n);
    ShapiroWilkCoefficients(n);
    ASSERT_EQ(swCoefficients.size(), size_t(n / 2 + 1));
    double sum = 0.0;
    for (int i = 1; i <= n / 2; ++i) {
      sum += 2.0 * swCoefficients[i] * swCoefficients[i];
      EXPECT_GT(swCoefficients[i], 0.0);
      if (i > 1) {
        EXPECT_LT(swCoefficients[i], swCoefficients[i - 1]);
      }
    }
    EXPECT_NEAR(sum, 1.0, 1e-12);
  }
  ShapiroWilkCoefficients(2);
  EXPECT_TRUE(swCoefficients.empty());
}

TEST(ShapiroWilkW, MatchesR) {
  // R computes the normal scores exactly, the battery with PPND7 (1e-7).
  for (const auto& c : numref::SHAPIRO_WILK) {
    SCOPED_TRACE(testing::Message() << "n " << c.n);
    ShapiroWilkCoefficients(c.n);
    EXPECT_TRUE(NearReference(ShapiroWilkW(c.values, c.n), c.expected, 0.0, 1e-7));
  }
}

TEST(ShapiroWilkW, NormalScoresAllEqualAndMismatchedCoefficients) {
  std::vector<double> scores(50);
  for (int i = 0; i < 50; ++i) scores[i] = NormalQuantile((i + 1 - 0.375) / 50.25);
  ShapiroWilkCoefficients(50);
  double w = ShapiroWilkW(scores.data(), 50);
  EXPECT_GT(w, 0.998);
  EXPECT_LE(w, 1.0);
  std::vector<double> equal(50, 0.3);
  EXPECT_TRUE(std::isnan(ShapiroWilkW(equal.data(), 50)));
  EXPECT_TRUE(std::isnan(ShapiroWilkW(scores.data(), 48)));
}

TEST(HermiteSpline, StraightLineIsExactAlsoWhenExtrapolating) {
  const double x[5] = {-2.0, 0.0, 0.5, 3.0, 10.0};
  double y[5];
  for (int i = 0; i < 5; ++i) y[i] = 0.75 * x[i] - 2.0;
  HermiteSpline line(5, x, y);
  // Far out the end cubic's terms grow as t^3 and cancel, so rounding grows
  // with the distance; a few intervals out it stays at rounding level.
  for (double v : {-6.0, -2.5, -2.0, -1.0, 0.0, 0.3, 0.5, 2.0, 3.0, 7.7, 10.0, 11.0, 24.0})
    EXPECT_NEAR(line.Evaluate(v), 0.75 * v - 2.0, 1e-12 * (1.0 + std::fabs(v))) << v;
}

TEST(HermiteSpline, PassesThroughItsPointsAndReproducesQuadraticsInside) {
  // On equal steps the mean of two secants is the exact slope of a
  // quadratic, so every interval away from the ends reproduces it.
  const int count = 7;
  double x[count], y[count];
  for (int i = 0; i < count; ++i) {
    x[i] = 1.0 + 0.5 * i;
    y[i] = 3.0 * x[i] * x[i] - x[i] + 0.25;
  }
  HermiteSpline curve(count, x, y);
  for (int i = 0; i < count; ++i) EXPECT_EQ(curve.Evaluate(x[i]), y[i]) << i;
  for (double v = x[1]; v <= x[count - 2]; v += 0.0625) EXPECT_NEAR(curve.Evaluate(v), 3.0 * v * v - v + 0.25, 1e-12) << v;
}

// A synthetic table: q[s][j][k] = centre_s + scale_s * shape_s(L_j) * size_s(N_k).
std::vector<double> SyntheticQ(double (*quantile)(int s, double level, double n)) {
  std::vector<double> q(GOF_STATISTICS * GOF_LEVELS * GOF_SIZES);
  for (int s = 0; s < GOF_STATISTICS; ++s)
    for (int j = 0; j < GOF_LEVELS; ++j)
      for (int k = 0; k < GOF_SIZES; ++k) q[(s * GOF_LEVELS + j) * GOF_SIZES + k] = quantile(s, gofLevels[j], gofSizes[k]);
  return q;
}

// Linear in the level and in n, so the curves over n and the curve over
// the levels are exact everywhere inside the table.
double LinearQuantile(int s, double level, double n) { return 0.1 * s + 0.5 * level * (1.0 + n / 10000.0); }

// Quantiles that follow each statistic's scaling with n beyond the table.
double ScalingQuantile(int s, double level, double n) {
  switch (s) {
    case GOF_KS:
      return (0.6 + level) / (std::sqrt(n) + 0.12 + 0.11 / std::sqrt(n));
    case GOF_SW:
      return 0.045 + 0.3 * (level - 0.5) / std::sqrt(n);
    case GOF_CC:
      return (0.2 + 3.0 * level) / n;
    case GOF_AV:
      return 1.0 - (1.2 - level) / std::sqrt(n);
    default:  // AD, SL, CM: a limit law
      return 0.3 + 2.0 * level;
  }
}

class GofLookUp : public testing::Test {
 protected:
  void Build(double (*quantile)(int, double, double)) {
    FreeGofSplineTables(tables);
    q = SyntheticQ(quantile);
    BuildGofSplineTables(tables, q.data());
  }
  void TearDown() override { FreeGofSplineTables(tables); }

  // The probability the look-up should give for a value at level p.
  static double Expected(int s, double p) { return s == GOF_AV ? 1.0 - p : p; }

  std::vector<double> q;
  GofSplineTables tables;
};

TEST_F(GofLookUp, CurvesPassThroughTheTableAndFreeLeavesTablesEmpty) {
  Build(ScalingQuantile);
  for (int s = 0; s < GOF_STATISTICS; ++s)
    for (int j = 0; j < GOF_LEVELS; j += 9)
      for (int k = 0; k < GOF_SIZES; ++k)
        ASSERT_EQ(tables.curves[s][j]->Evaluate(gofSizes[k]), ScalingQuantile(s, gofLevels[j], gofSizes[k]));
  FreeGofSplineTables(tables);
  for (auto* curves : tables.curves) EXPECT_EQ(curves, nullptr);
  FreeGofSplineTables(tables);  // again: nothing left to free
  EXPECT_EQ(GofStatisticPValue(0, 100, 1e-5, tables, 0.5), PVALUE_FAIL);
}

TEST_F(GofLookUp, FindsTheLevelInsideTheTable) {
  Build(LinearQuantile);
  const double tolerance = 1e-5;
  for (int s = 0; s < GOF_STATISTICS; ++s)
    for (int n : {3, 4, 14, 100, 961, 5000, 13625})
      for (double p : {2e-5, 0.001, 0.0123, 0.3, 0.5, 0.77, 0.999, 0.99998}) {
        SCOPED_TRACE(testing::Message() << "statistic " << s << ", n " << n << ", level " << p);
        double f = GofStatisticPValue(s, n, tolerance, tables, LinearQuantile(s, p, n));
        EXPECT_NEAR(f, Expected(s, p), 1.01 * tolerance * p + 1e-15);
      }
}

TEST_F(GofLookUp, ValuesBeyondTheCurvesGiveExactlyZeroOrOne) {
  Build(LinearQuantile);  // at a knot the curves give the table's values exactly
  for (int s = 0; s < GOF_STATISTICS; ++s) {
    SCOPED_TRACE(s);
    const double top = LinearQuantile(s, 0.99999, 479);
    const double bottom = LinearQuantile(s, 1e-5, 479);
    const double high = s == GOF_AV ? 0.0 : 1.0;
    EXPECT_EQ(GofStatisticPValue(s, 479, 1e-5, tables, top * 1.001), high);
    EXPECT_EQ(GofStatisticPValue(s, 479, 1e-5, tables, HUGE_VAL), high);
    EXPECT_EQ(GofStatisticPValue(s, 479, 1e-5, tables, bottom * 0.999), 1.0 - high);
    EXPECT_EQ(GofStatisticPValue(s, 479, 1e-5, tables, -HUGE_VAL), 1.0 - high);
    // The lowest quantile itself goes through the bisection.
    EXPECT_NEAR(GofStatisticPValue(s, 479, 1e-5, tables, bottom), Expected(s, 1e-5), 2e-10);
  }
}

TEST_F(GofLookUp, NotANumberAndTooSmallSamplesFail) {
  Build(LinearQuantile);
  // An all-equal sample has no W: 1 - W is NaN, and the look-up answers
  // at once instead of bisecting forever.
  std::vector<double> equal(20, 0.5);
  ShapiroWilkCoefficients(20);
  const double sw = 1.0 - ShapiroWilkW(equal.data(), 20);
  EXPECT_EQ(GofStatisticPValue(GOF_SW, 20, 1e-5, tables, sw), PVALUE_FAIL);
  for (int s = 0; s < GOF_STATISTICS; ++s) EXPECT_EQ(GofStatisticPValue(s, 20, 1e-5, tables, NaN), PVALUE_FAIL);
  EXPECT_EQ(GofStatisticPValue(GOF_KS, 2, 1e-5, tables, 0.3), PVALUE_FAIL);
  EXPECT_EQ(GofStatisticPValue(-1, 20, 1e-5, tables, 0.3), PVALUE_FAIL);
  EXPECT_EQ(GofStatisticPValue(GOF_STATISTICS, 20, 1e-5, tables, 0.3), PVALUE_FAIL);
}

// Every level at one value: the bisection keeps its lower end at 0 and
// would never meet the relative tolerance; it ends after its bound.
double FlatQuantile(int, double, double) { return 0.25; }

TEST_F(GofLookUp, BisectionThatCannotConvergeEnds) {
  Build(FlatQuantile);
  double f = GofStatisticPValue(GOF_KS, 100, 1e-5, tables, 0.25);
  EXPECT_GE(f, 0.0);
  EXPECT_LE(f, 1e-5);
  EXPECT_GE(GofStatisticPValue(GOF_AV, 100, 1e-5, tables, 0.25), 1.0 - 1e-5);
  // A tolerance of 0 is never met either.
  EXPECT_LE(GofStatisticPValue(GOF_KS, 100, 0.0, tables, 0.25), 1e-5);
}

TEST_F(GofLookUp, SizesBeyondTheTableFollowEachStatisticsScaling) {
  Build(ScalingQuantile);
  const double tolerance = 1e-5;
  for (int s = 0; s < GOF_STATISTICS; ++s)
    for (int n : {13626, 20000, 100000, 2000000, 1000000000})
      for (double p : {0.0001, 0.01, 0.5, 0.95, 0.9999}) {
        SCOPED_TRACE(testing::Message() << "statistic " << s << ", n " << n << ", level " << p);
        double f = GofStatisticPValue(s, n, tolerance, tables, ScalingQuantile(s, p, n));
        EXPECT_NEAR(f, Expected(s, p), 1.01 * tolerance * p + 1e-9);
      }
}

}  // namespace
