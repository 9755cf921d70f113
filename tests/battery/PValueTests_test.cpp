// The p-value distribution tests against independent references (scipy's
// chi2, Anderson and Darling's series for the limit law of A^2 in mpmath)
// read from tools/reference/NumericReference.h; the finite-n law of A^2 from
// the series in tools/reference/ad_law.py; the exact law of the
// Kolmogorov-Smirnov distance (Durbin's matrix and the one-sided exact sum)
// from tools/reference/ks_exact.py; the threshold cells' p-values from
// the multinomial law of tools/reference/bino_law.py (fixtures of
// tools/reference/threshold_cells.py among them).
#include "battery/PValueTests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>
#include <vector>

#include "battery/AdLaw.h"
#include "battery/BinoLaw.h"
#include "battery/RunState.h"
#include "tests/battery/AdLawReference.h"
#include "tests/battery/BinoLawReference.h"
#include "tests/battery/KsExactReference.h"
#include "tests/battery/NumericCheck.h"
#include "tests/battery/ThresholdCellsReference.h"
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

TEST(KsDistancePValue, MatchesExactLawFromOneToNineThousandValues) {
  // Every regime of the law, down to p = 1e-10 to 1e-8 relative; below, to
  // 1e-8 relative or 1e-300. Up to 140 values scipy's kstwo.sf is exact too
  // (above, its Pelz-Good series departs from the exact law by up to 2e-5).
  int points = 0;
  for (const auto& c : ksref::POINTS) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << ", d " << c.d);
    const double got = KsDistancePValue(c.n, c.d);
    EXPECT_TRUE(NearReference(got, c.exact, 1e-8, c.exact > 1e-10 ? 0.0 : 1e-300));
    if (c.n <= 140 && c.exact > 1e-10) {
      EXPECT_TRUE(NearReference(got, c.scipy, 1e-8));
    }
    ++points;
  }
  EXPECT_GE(points, 500);
}

TEST(KsDistancePValue, NeverAboveOneAndFallsWithTheDistance) {
  // Across every boundary between the methods (nd = 1, n = 160 / 161,
  // n d^2 = 3.5, d = 1/2, the sampled tail sum from 2,000 values), on a
  // fine grid of lambda = d sqrt(n).
  for (int n : {1, 2, 3, 10, 50, 159, 160, 161, 162, 1000, 1999, 2000, 9999, 20000}) {
    SCOPED_TRACE(n);
    double previous = 1.0;
    for (double lambda = 0.001; lambda < 6.0; lambda += lambda < 2.0 ? 0.001 : 0.01) {
      const double d = lambda / std::sqrt(double(n));
      if (d >= 1.0) break;
      const double p = KsDistancePValue(n, d);
      ASSERT_GE(p, 0.0) << lambda;
      ASSERT_LE(p, 1.0) << lambda;
      ASSERT_LE(p, previous * (1 + 1e-9) + 1e-300) << lambda;
      previous = p;
    }
  }
  EXPECT_LE(KsDistancePValue(50, 0.218 / std::sqrt(50.0)), 1.0);
}

TEST(KsUniformPValue, MatchesExactLaw) {
  int k = 0;
  for (const auto& c : numref::KS_UNIFORM) {
    SCOPED_TRACE(testing::Message() << "n " << c.n);
    EXPECT_TRUE(NearReference(KsUniformPValue(c.values, c.n), ksref::KS_UNIFORM_EXACT[k++], 1e-8, 1e-300));
  }
  // One value u has D = max(u, 1 - u) >= 1/2: the value 0.5 gives exactly 1
  // and 0.9 gives P(D_1 >= 0.9) = P(u <= 0.1 or u >= 0.9) = 0.2.
  const double half = 0.5, high = 0.9;
  EXPECT_EQ(KsUniformPValue(&half, 1), 1.0);
  EXPECT_NEAR(KsUniformPValue(&high, 1), 0.2, 1e-15);
  // A sample so regular that D = 1/(2n) gives exactly 1.
  std::vector<double> regular(400);
  for (int i = 0; i < 400; ++i) regular[i] = (i + 0.5) / 400;
  EXPECT_EQ(KsUniformPValue(regular.data(), 400), 1.0);
}

TEST(KsNormalPValue, MatchesExactLawAndLeavesValuesSorted) {
  int k = 0;
  for (const auto& c : numref::KS_NORMAL) {
    SCOPED_TRACE(testing::Message() << "n " << c.n);
    std::vector<double> values(c.values, c.values + c.n);
    EXPECT_TRUE(NearReference(KsNormalPValue(values.data(), c.n), ksref::KS_NORMAL_EXACT[k++], 1e-8, 1e-300));
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    std::vector<double> original(c.values, c.values + c.n);
    std::sort(original.begin(), original.end());
    EXPECT_EQ(values, original);
  }
}

// Uniform values from a fixed seed, the same on every platform.
double NextUniform(std::mt19937_64& gen) { return static_cast<double>(gen() >> 11) * 0x1p-53; }

// rows p-values, each from one row of n uniform values.
template <typename RowPValue>
std::vector<double> NullRows(int rows, int n, uint64_t seed, RowPValue pvalue) {
  std::mt19937_64 gen(seed);
  std::vector<double> row(n), out(rows);
  for (double& p : out) {
    for (double& v : row) v = NextUniform(gen);
    std::sort(row.begin(), row.end());
    p = pvalue(row.data(), n);
  }
  std::sort(out.begin(), out.end());
  return out;
}

double Mean(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return s / v.size();
}

TEST(KsUniformPValue, RowPValuesAreUniformUnderTheNull) {
  // Kolmogorov's limit law at Stephens' lambda failed these: a single value
  // gave p in [0.097, 0.843] only (KS 6e-12); 20 values: KS 9e-11, mean
  // 0.511; 50 values: KS 6e-4, mean 0.509 (the mean of 20,000 exact p-values
  // has standard error 0.002).
  struct Case { int n, rows; };
  for (const Case c : {Case{1, 300}, Case{2, 300}, Case{3, 300}, Case{5, 300}, Case{20, 20000}, Case{50, 20000}}) {
    SCOPED_TRACE(c.n);
    const std::vector<double> p = NullRows(c.rows, c.n, 1104 + c.n, KsUniformPValue);
    EXPECT_GT(KsUniformPValue(p.data(), c.rows), 1e-3);
    EXPECT_NEAR(Mean(p), 0.5, 3.3 * 0.2887 / std::sqrt(double(c.rows)));
  }
}
TEST(AdUniformPValue, MatchesTheFiniteNLawAndTheLimitSeries) {
  // Against the finite-n law evaluated in 50 digits from Anderson and
  // Darling's series on A^2 computed there too (tools/reference/ad_law.py),
  // to the rounding of A^2 (A^2 = -n - sum / n cancels, so its rounding
  // grows with n, and |d ln p / d A^2| stays below 2); the limit law against
  // the series of NumericReference.h, a separate evaluation.
  ASSERT_EQ(std::size(adref::AD_SAMPLES), std::size(numref::AD_UNIFORM));
  int lower = 0, middle = 0, tail = 0;
  for (size_t k = 0; k < std::size(numref::AD_UNIFORM); ++k) {
    const auto& c = numref::AD_UNIFORM[k];
    const auto& r = adref::AD_SAMPLES[k];
    SCOPED_TRACE(testing::Message() << "n " << c.n << ", A2 " << c.a2);
    ASSERT_EQ(r.n, c.n);
    EXPECT_TRUE(NearReference(c.a2, r.a2, 1e-15, 1e-15 * c.n));
    EXPECT_TRUE(NearReference(AdUniformPValue(c.values, c.n), r.upper, 1e-12 + 4e-15 * c.n));
    EXPECT_TRUE(NearReference(AdLimitUpperTail(c.a2), c.limit, 1e-12));
    if (c.a2 >= 0.01 && r.upper > 0.9) ++lower;
    if (r.upper <= 0.9 && r.upper > 0.2) ++middle;
    if (r.upper <= 0.2) ++tail;
  }
  EXPECT_GE(lower, 1);
  EXPECT_GE(middle, 3);
  EXPECT_GE(tail, 3);
}

TEST(AdUniformPValue, RowPValuesAreUniformUnderTheNull) {
  // The limit law alone put 1.09 times the level below 1e-3 at 10 values
  // (10^7 samples, tools/reference/ad_finite_n.txt); here the p-values of
  // 20,000 null rows must look uniform.
  for (const int n : {2, 10, 50}) {
    SCOPED_TRACE(n);
    const std::vector<double> p = NullRows(20000, n, 3104 + n, AdUniformPValue);
    EXPECT_GT(KsUniformPValue(p.data(), 20000), 1e-3);
    EXPECT_NEAR(Mean(p), 0.5, 3.3 * 0.2887 / std::sqrt(20000.0));
  }
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

// A Bino p-value against its reference bounds (tools/reference/bino_law.py):
// the lattice law's randomised value within its atom, the mixed law within
// 5e-4 relative (its table's lattice: the large classes' shift split between
// two points, 3e-4 at most where the tail falls as e^(-t/2)), a tail below
// 1e-12 as such.
::testing::AssertionResult MatchesBinoReference(double got, const binoref::Bounds& b) {
  if (b.lower < 0) {
    if (got == b.lower) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got << ", expected " << b.lower;
  }
  switch (b.kind) {
    case 0: return NearReference(got, b.lower, GammaTolerance(7.5), 1e-300);
    case 1: return WithinBounds(got, b.lower, b.upper, 1e-9, 1e-13);
    case 2: return WithinBounds(got, b.lower, b.upper, 5e-4, 1e-15);
    default:
      if (got == PVALUE_FAIL || (got >= 0 && got <= b.upper)) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure() << "got " << got << ", expected below " << b.upper;
  }
}

TEST(ThresholdBinomialP, MatchesReference) {
  int k = 0;
  for (const auto& c : numref::THRESHOLD_BINOMIAL) {
    SCOPED_TRACE(testing::Message() << "N " << c.n);
    EXPECT_TRUE(MatchesBinoReference(ThresholdBinomialP(c.values, c.n), binoref::NUMREF[k++]));
  }
  k = 0;
  for (const auto& c : cellsref::EXTRA) {
    SCOPED_TRACE(testing::Message() << "N " << c.n);
    EXPECT_TRUE(MatchesBinoReference(ThresholdBinomialP(c.values, c.n), binoref::EXTRA[k++]));
    std::vector<double> sorted(c.values, c.values + c.n);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(ThresholdBinomialPSorted(sorted.data(), c.n), ThresholdBinomialP(c.values, c.n));
  }
}

TEST(ThresholdBinomialP, CellFixturesMatchReferenceInAnyOrder) {
  // Values at the middle of each cell, in a shuffled and in sorted order.
  const double edges[17] = {0,   0.001, 0.01, 0.05, 0.1, 0.2,  0.3,  0.4,  0.5,
                            0.6, 0.7,   0.8,  0.9,  0.95, 0.99, 0.999, 1};
  std::mt19937_64 gen(31);
  for (const auto& c : binoref::CELLS) {
    std::vector<double> values;
    for (int cell = 0; cell < 16; ++cell) values.insert(values.end(), c.cells[cell], (edges[cell] + edges[cell + 1]) / 2);
    const int n = static_cast<int>(values.size());
    SCOPED_TRACE(testing::Message() << "N " << n);
    std::shuffle(values.begin(), values.end(), gen);
    const double p = ThresholdBinomialP(values.data(), n);
    EXPECT_TRUE(MatchesBinoReference(p, c.p));
    EXPECT_EQ(ThresholdBinomialFromCells(n, c.cells), p);
    std::sort(values.begin(), values.end());
    EXPECT_EQ(ThresholdBinomialPSorted(values.data(), n), p);
  }
}

TEST(ThresholdBinomialP, TooFewValuesAndTheTwoClassCase) {
  const double one[1] = {0.3};
  EXPECT_EQ(ThresholdBinomialP(one, 1), PVALUE_FAIL);
  EXPECT_EQ(ThresholdBinomialP(one, 0), PVALUE_FAIL);
  // Two values expect 2 in all: no class reaches 5; nine close one class.
  const double two[2] = {0.3, 0.6};
  EXPECT_EQ(ThresholdBinomialP(two, 2), PVALUE_SHORT);
  std::vector<double> nine(9, 0.5);
  EXPECT_EQ(ThresholdBinomialP(nine.data(), 9), PVALUE_SHORT);
  // Ten values: the cells up to 0.5 expect 0.01 + 0.09 + 0.4 + 0.5 + 4 x 1 =
  // 5 and close the first class (also in rounded arithmetic); the rest, 5,
  // the second. Three values lie below 0.5 (0.5 itself counts above):
  // T = (3 - 5)^2 / 5 + (7 - 5)^2 / 5 = 1.6, and the first class's count is
  // binomial (10, 1/2): P(T > 1.6) = P(O <= 2 or O >= 8) = 112 / 1024,
  // P(T >= 1.6) = 352 / 1024; the randomised p-value lies between.
  const double ten[10] = {0.0005, 0.2, 0.45, 0.5, 0.6, 0.7, 0.8, 0.9, 0.99, 1.0};
  const double p = ThresholdBinomialP(ten, 10);
  EXPECT_TRUE(WithinBounds(p, 112.0 / 1024, 352.0 / 1024, 1e-12, 0));
  EXPECT_EQ(ThresholdBinomialPSorted(ten, 10), p);
}

TEST(ThresholdBinomialP, AConstantRowFailsWithATinyPValue) {
  // Every value in one cell: far beyond the law's table, never "short".
  for (int n : {10, 50, 100, 600, 9999}) {
    SCOPED_TRACE(n);
    const std::vector<double> same(n, 0.55);
    const double p = ThresholdBinomialPSorted(same.data(), n);
    EXPECT_TRUE(p == PVALUE_FAIL || (p >= 0 && p < (n == 10 ? 0.01 : 1e-12))) << p;
  }
}

TEST(ThresholdBinomialP, RowPValuesAreUniformUnderTheNull) {
  // Pooling cumulative counts gave a null mean of 0.84 at each N here (KS
  // below 1e-130); the cells give uniform p-values.
  for (int n : {50, 100, 2000, 9999}) {
    SCOPED_TRACE(n);
    const std::vector<double> p = NullRows(500, n, 2104 + n, ThresholdBinomialPSorted);
    EXPECT_GT(KsUniformPValue(p.data(), 500), 1e-3);
    EXPECT_NEAR(Mean(p), 0.5, 3.3 * 0.2887 / std::sqrt(500.0));
  }
}

}  // namespace
