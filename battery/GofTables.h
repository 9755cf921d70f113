#pragma once
// What the goodness-of-fit table of a run needs from the battery: the
// Shapiro-Wilk coefficients and W statistic, a cubic Hermite interpolation
// curve, and the quantile curves that turn the value of one of seven
// statistics for a sample of n values into a probability.
#include <vector>

// The seven statistics, in the order of the tables and of the results view.
enum GofStatistic : int { GOF_KS, GOF_AD, GOF_SL, GOF_CM, GOF_SW, GOF_CC, GOF_AV };
constexpr int GOF_STATISTICS = 7;
constexpr int GOF_LEVELS = 73;
constexpr int GOF_SIZES = 62;

// The probability levels L[j] of the quantile curves, increasing from 1e-5
// to 0.99999.
extern const double gofLevels[GOF_LEVELS];
// The sample sizes N[k] of the curves' knots, increasing from 3 to 13625.
extern const double gofSizes[GOF_SIZES];
// gofQuantiles[s][j][k]: the value q such that a sample of gofSizes[k]
// values under the null hypothesis gives statistic s at most q with
// probability gofLevels[j]; non-decreasing in j. Generated data, defined in
// its own file.
extern const double gofQuantiles[GOF_STATISTICS][GOF_LEVELS][GOF_SIZES];

// The Shapiro-Wilk coefficients a_1 .. a_(n/2) of the current sample size in
// entries 1 .. n/2 (entry 0 unused): one set at a time, replaced by every
// ShapiroWilkCoefficients call and released with clear() or by the next call.
extern std::vector<double> swCoefficients;

// Fills swCoefficients for samples of n >= 3 values (Algorithm AS R94's
// approximation); leaves it empty for n < 3.
void ShapiroWilkCoefficients(int n);

// W of n values sorted ascending, with the coefficients in swCoefficients.
// NaN when the coefficients are not those of n, and (0 / 0) when all values
// are equal.
double ShapiroWilkW(const double* values, int n);

// A cubic Hermite curve through count >= 2 points with strictly increasing
// abscissas; x and y are borrowed and must outlive the curve. The slope at
// an inner point is the mean of its two secants, at an end point the
// secant next to it. Outside [x[0], x[count - 1]] the end cubics extrapolate.
struct HermiteSpline {
  int count;
  const double* x;
  const double* y;
  double* slopes;  // owned

  HermiteSpline(int count, const double* x, const double* y);
  ~HermiteSpline();
  HermiteSpline(const HermiteSpline&) = delete;
  HermiteSpline& operator=(const HermiteSpline&) = delete;

  double Evaluate(double v) const;
};

// Per statistic s, an array of GOF_LEVELS curves over the sample sizes:
// curve (s, j) passes through (gofSizes[k], Q[s][j][k]). Empty (all null)
// until built.
struct GofSplineTables {
  HermiteSpline** curves[GOF_STATISTICS] = {};
};

// Builds the 7 x 73 curves over gofQuantiles.
void BuildGofSplineTables(GofSplineTables& tables);
// The same over q, laid out as gofQuantiles (7 x 73 x 62 doubles), which
// must outlive the tables.
void BuildGofSplineTables(GofSplineTables& tables, const double* q);
// Frees every curve and the arrays, and leaves the tables empty; safe on
// empty tables.
void FreeGofSplineTables(GofSplineTables& tables);

// For index 0 .. 5 the probability F(value) that statistic index for a
// sample of n values is at most value, for index 6 (AV) the upper tail
// 1 - F(value); the level is found by bisection to the relative tolerance.
// Values beyond the lowest or highest curve, infinities included, give
// exactly 0 or 1. Sizes beyond the largest knot use the statistic's scaling
// with n from the curves' values at the largest knot (see GofQuantileAtSize
// in the .cpp). Returns PVALUE_FAIL (-1) when value is NaN (all-equal
// samples give NaN for SW, CC and AV), when n < 3 or index is out of range,
// or when the tables are empty.
double GofStatisticPValue(int index, int n, double tolerance, const GofSplineTables& tables, double value);
