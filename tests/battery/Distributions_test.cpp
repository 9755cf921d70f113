// The special functions against values computed independently (mpmath at
// 40 digits, scipy), read from tools/reference/NumericReference.h, with a
// tolerance per function that reflects what its algorithm achieves.
#include "battery/Distributions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "battery/RunState.h"
#include "tests/battery/NumericCheck.h"
#include "tools/reference/NumericReference.h"

namespace {

constexpr double MAXNUM = 1.7976931348623157e308;
// The smallest subnormal step: results below the normal range carry fewer
// significant bits.
constexpr double DENORM = 4.9406564584124654e-324;

TEST(IncompleteGamma, UpperTailMatchesReference) {
  for (const auto& c : numref::INCOMPLETE_GAMMA_Q) {
    double got = IncompleteGammaQ(c.a, c.x);
    SCOPED_TRACE(testing::Message() << "Q(" << c.a << ", " << c.x << ")");
    if (c.expected == PVALUE_FAIL)
      EXPECT_EQ(got, PVALUE_FAIL);
    else
      EXPECT_TRUE(NearReference(got, c.expected, GammaTolerance(c.a), 16 * DENORM));
  }
}

TEST(IncompleteGamma, LowerTailMatchesReference) {
  // The power series keeps P within a tenth of Q's relative error; where P
  // is formed as 1 - Q, its error is absolute, about 1e-16.
  for (const auto& c : numref::INCOMPLETE_GAMMA_P) {
    SCOPED_TRACE(testing::Message() << "P(" << c.a << ", " << c.x << ")");
    EXPECT_TRUE(NearReference(IncompleteGammaP(c.a, c.x), c.expected, GammaTolerance(c.a) / 10, 2e-16));
  }
}

TEST(IncompleteGamma, ChiSquareWithTwoDegreesOfFreedomIsExponential) {
  // Q(1, x) = exp(-x): a chi-square X with 2 degrees of freedom has the
  // p-value exp(-X / 2).
  for (double x : {1e-8, 0.01, 0.5, 1.0, 3.0, 10.0, 50.0, 300.0, 700.0}) {
    SCOPED_TRACE(x);
    EXPECT_TRUE(NearReference(IncompleteGammaQ(1.0, x), std::exp(-x), 1e-13));
  }
  EXPECT_NEAR(IncompleteGammaQ(0.5, 3.841458820694124 / 2.0), 0.05, 1e-15);
}

TEST(IncompleteGamma, EdgesAndUnderflow) {
  EXPECT_EQ(IncompleteGammaQ(3.0, 0.0), 1.0);
  EXPECT_EQ(IncompleteGammaQ(3.0, -2.0), 1.0);
  EXPECT_EQ(IncompleteGammaQ(0.0, 2.0), 1.0);
  EXPECT_EQ(IncompleteGammaQ(10.0, 2000.0), PVALUE_FAIL);
  EXPECT_EQ(IncompleteGammaP(3.0, 0.0), 0.0);
  EXPECT_EQ(IncompleteGammaP(-1.0, 2.0), 0.0);
  // Where Q underflows P is 1, not 1 - PVALUE_FAIL = 2.
  EXPECT_EQ(IncompleteGammaP(10.0, 2000.0), 1.0);
  EXPECT_EQ(IncompleteGammaP(0.5, 800.0), 1.0);
  // A statistic that is NaN or infinite gives the failure code at once
  // instead of a continued fraction that never converges.
  EXPECT_EQ(IncompleteGammaQ(2.5, std::numeric_limits<double>::quiet_NaN()), PVALUE_FAIL);
  EXPECT_EQ(IncompleteGammaQ(std::numeric_limits<double>::quiet_NaN(), 4.0), PVALUE_FAIL);
  EXPECT_EQ(IncompleteGammaQ(2.5, HUGE_VAL), PVALUE_FAIL);
}

TEST(LogGamma, MatchesReferenceWithSign) {
  for (const auto& c : numref::LOG_GAMMA) {
    gammaSign = 0;
    double got = LogGamma(c.x);
    SCOPED_TRACE(testing::Message() << "LogGamma(" << c.x << ")");
    if (c.expected == MAXNUM) {
      EXPECT_EQ(got, MAXNUM);
      continue;
    }
    EXPECT_TRUE(NearReference(got, c.expected, 2e-15, 2e-15));
    EXPECT_EQ(gammaSign, c.sign);
  }
}

TEST(LogGamma, NamedValues) {
  EXPECT_EQ(LogGamma(1.0), 0.0);
  EXPECT_EQ(gammaSign, 1);
  EXPECT_EQ(LogGamma(2.0), 0.0);
  EXPECT_EQ(gammaSign, 1);
  EXPECT_NEAR(LogGamma(0.5), std::log(std::sqrt(M_PI)), 1e-15);
  EXPECT_NEAR(LogGamma(-0.5), std::log(2.0 * std::sqrt(M_PI)), 1e-15);
  EXPECT_EQ(gammaSign, -1);
  EXPECT_EQ(LogGamma(-40.0), MAXNUM);
}

TEST(LogGamma, LargeNegativeArgumentsNeedNoIntegerConversion) {
  // Beyond the int range the sign alternates with the parity of floor(-x)
  // exactly as below it: Gamma(x) < 0 on (-k-1, -k) for even k.
  for (double k : {2147483648.0, 4294967296.0, 1099511627776.0, 4503599627370494.0}) {
    LogGamma(-(k + 0.5));
    EXPECT_EQ(gammaSign, -1) << k;
    LogGamma(-(k + 1.5));
    EXPECT_EQ(gammaSign, 1) << k;
  }
  EXPECT_EQ(LogGamma(-1e300), MAXNUM);
  EXPECT_EQ(LogGamma(-HUGE_VAL), MAXNUM);
}

TEST(LogGammaAS245, MatchesReference) {
  // The rational approximations below 12 are minimax in relative error,
  // which oscillates at +-9.4e-10 on [4, 12) (1.6e-8 absolute near 12) and
  // stays below 3.1e-10 absolute under 4. Above 12 Stirling's series is near
  // double precision; past 510000 its correction 1/(12 x) is dropped, under
  // 3e-14 relative.
  for (const auto& c : numref::LOG_GAMMA_AS245) {
    SCOPED_TRACE(testing::Message() << "LogGammaAS245(" << c.x << ")");
    if (c.x < 12.0)
      EXPECT_TRUE(NearReference(LogGammaAS245(c.x), c.expected, 1e-9, 5e-10));
    else
      EXPECT_TRUE(NearReference(LogGammaAS245(c.x), c.expected, 3e-14, 1e-14));
  }
}

TEST(IncompleteBetaRatio, MatchesReference) {
  for (const auto& c : numref::INCOMPLETE_BETA) {
    int fault = -1;
    double got = IncompleteBetaRatio(c.x, c.p, c.q, c.lnBeta, fault);
    SCOPED_TRACE(testing::Message() << "I_" << c.x << "(" << c.p << ", " << c.q << ")");
    EXPECT_EQ(fault, 0);
    EXPECT_TRUE(NearReference(got, c.expected, 1e-12, 1e-15));
  }
}

TEST(IncompleteBetaRatio, FaultsReturnTheArgument) {
  const double lnBeta = std::log(0.5);  // B(1, 2)
  int fault = -1;
  EXPECT_EQ(IncompleteBetaRatio(0.0, 1.0, 2.0, lnBeta, fault), 0.0);
  EXPECT_EQ(fault, 0);
  EXPECT_EQ(IncompleteBetaRatio(1.0, 1.0, 2.0, lnBeta, fault), 1.0);
  EXPECT_EQ(fault, 0);
  EXPECT_EQ(IncompleteBetaRatio(0.3, 0.0, 2.0, lnBeta, fault), 0.3);
  EXPECT_EQ(fault, 1);
  EXPECT_EQ(IncompleteBetaRatio(0.3, 1.0, -2.0, lnBeta, fault), 0.3);
  EXPECT_EQ(fault, 1);
  EXPECT_EQ(IncompleteBetaRatio(1.5, 1.0, 2.0, lnBeta, fault), 1.5);
  EXPECT_EQ(fault, 2);
  EXPECT_EQ(IncompleteBetaRatio(-0.1, 1.0, 2.0, lnBeta, fault), -0.1);
  EXPECT_EQ(fault, 2);
  EXPECT_TRUE(std::isnan(IncompleteBetaRatio(std::nan(""), 1.0, 2.0, lnBeta, fault)));
  EXPECT_EQ(fault, 2);
}

TEST(OrderStatisticMedian, MatchesReference) {
  // Bisection to 1e-9 on a ratio whose ln B carries up to 5e-9 from
  // LogGammaAS245 for small arguments.
  for (const auto& c : numref::ORDER_STATISTIC_MEDIAN) {
    int fault = -1;
    double got = OrderStatisticMedian(c.n, c.i, fault);
    SCOPED_TRACE(testing::Message() << "median(" << c.n << ", " << c.i << ")");
    EXPECT_EQ(fault, 0);
    EXPECT_TRUE(NearReference(got, c.expected, 0.0, 2e-9));
  }
}

TEST(OrderStatisticMedian, SmallestOfNHasClosedForm) {
  for (int n : {1, 2, 3, 7, 30, 500}) {
    int fault = -1;
    EXPECT_NEAR(OrderStatisticMedian(n, 1, fault), 1.0 - std::pow(2.0, -1.0 / n), 2e-9) << n;
    EXPECT_EQ(fault, 0);
  }
}

TEST(NormalCdf, MatchesReference) {
  for (const auto& c : numref::NORMAL_CDF) {
    SCOPED_TRACE(testing::Message() << "NormalCdf(" << c.x << ")");
    EXPECT_TRUE(NearReference(NormalCdf(c.x), c.expected, 1e-12));
  }
  EXPECT_EQ(NormalCdf(0.0), 0.5);
  EXPECT_EQ(NormalCdf(-1000.0), 0.0);
  EXPECT_EQ(NormalCdf(999.9), 1.0);
}

TEST(NormalQuantile, MatchesReference) {
  // PPND7 is accurate to about 1 part in 10^7, in the far tails (p below
  // about 1e-11, its third rational function) as in the middle.
  for (const auto& c : numref::NORMAL_QUANTILE) {
    SCOPED_TRACE(testing::Message() << "NormalQuantile(" << c.x << ")");
    EXPECT_TRUE(NearReference(NormalQuantile(c.x), c.expected, 2e-7, 1e-12));
  }
  for (double p : {0.0, 1.0, -0.5, 1.5, std::numeric_limits<double>::quiet_NaN()}) EXPECT_EQ(NormalQuantile(p), 0.0);
}

}  // namespace
