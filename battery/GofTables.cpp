#include "battery/GofTables.h"

#include <cmath>
#include <limits>

#include "battery/PValueTests.h"
#include "battery/RunState.h"
#include "battery/Distributions.h"

const double gofLevels[GOF_LEVELS] = {
    1e-05, 3e-05, 5e-05, 8e-05, 0.0001, 0.0003, 0.0005, 0.0008, 0.001, 0.003, 0.005, 0.008, 0.01,
    0.025, 0.05,  0.08,  0.1,   0.12,   0.14,   0.16,   0.18,   0.2,   0.22,  0.24,  0.26,  0.28,
    0.3,   0.32,  0.34,  0.36,  0.38,   0.4,    0.42,   0.44,   0.46,   0.48,  0.5,   0.52,  0.54,
    0.56,  0.58,  0.6,   0.62,  0.64,   0.66,   0.68,   0.7,    0.72,   0.74,  0.76,  0.78,  0.8,
    0.82,  0.84,  0.86,  0.88,  0.9,    0.92,   0.95,   0.975,  0.99,   0.992, 0.995, 0.997, 0.999,
    0.9992, 0.9995, 0.9997, 0.9999, 0.99992, 0.99995, 0.99997, 0.99999};

const double gofSizes[GOF_SIZES] = {
    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   15,    17,    19,   21,  24,
    27,   31,   35,   40,   46,   53,   61,   70,   80,   92,   105,  120,   138,   158,  181, 208,
    239,  275,  316,  363,  417,  479,  550,  632,  726,  835,  960,  1104,  1269,  1459, 1677,
    1928, 2217, 2549, 2931, 3370, 3875, 4456, 5124, 5892, 6775, 7791, 8959, 10303, 11848, 13625};

std::vector<double> swCoefficients;

void ShapiroWilkCoefficients(int n) {
  swCoefficients.assign(n >= 3 ? n / 2 + 1 : 0, 0.0);
  if (n < 3) return;
  std::vector<double>& a = swCoefficients;
  const int half = n / 2;
  if (n == 3) {
    a[1] = 0.7071067811865476;  // sqrt(0.5)
    return;
  }
  // Expected normal order statistics (Blom's scores), entries 1 .. n/2.
  std::vector<double> m(half + 1, 0.0);
  double summ2 = 0.0;
  for (int i = 1; i <= half; ++i) {
    m[i] = NormalQuantile((i - 0.375) / (n + 0.25));
    summ2 += m[i] * m[i];
  }
  summ2 *= 2.0;
  const double ssumm2 = std::sqrt(summ2);
  const double rsn = 1.0 / std::sqrt(double(n));
  const double c1 = ((((-2.706056 * rsn + 4.434685) * rsn - 2.07119) * rsn - 0.147981) * rsn + 0.221157) * rsn;
  a[1] = c1 - m[1] / ssumm2;
  int start;
  double fac;
  if (n < 6) {
    fac = std::sqrt((summ2 - 2.0 * m[1] * m[1]) / (1.0 - 2.0 * a[1] * a[1]));
    start = 2;
  } else {
    const double c2 = ((((-3.582633 * rsn + 5.682633) * rsn - 1.752461) * rsn - 0.293762) * rsn + 0.042981) * rsn;
    a[2] = c2 - m[2] / ssumm2;
    fac = std::sqrt((summ2 - 2.0 * m[1] * m[1] - 2.0 * m[2] * m[2]) / (1.0 - 2.0 * a[1] * a[1] - 2.0 * a[2] * a[2]));
    start = 3;
  }
  for (int i = start; i <= half; ++i) a[i] = -m[i] / fac;
}

double ShapiroWilkW(const double* values, int n) {
  if (n < 3 || swCoefficients.size() != size_t(n / 2 + 1)) return std::numeric_limits<double>::quiet_NaN();
  const double* a = swCoefficients.data();
  const double* x = values;
  // Coefficient of the i-th smallest value (1-based) for the sample of n:
  // -a_i in the lower half, +a_(n+1-i) in the upper half, 0 at the middle.
  auto signedCoefficient = [a, n](int i) {
    int j = n + 1 - i;
    if (i == j) return 0.0;
    return i > j ? a[j] : -a[i];
  };
  const double range = x[n - 1] - x[0];
  double sx = x[0] / range;
  double sa = -a[1];
  for (int i = 2; i <= n; ++i) {
    sx += x[i - 1] / range;
    sa += signedCoefficient(i);
  }
  sa /= n;
  sx /= n;
  double ssa = 0.0, ssx = 0.0, sax = 0.0;
  for (int i = 1; i <= n; ++i) {
    double asa = signedCoefficient(i) - sa;
    double xsx = x[i - 1] / range - sx;
    ssa += asa * asa;
    ssx += xsx * xsx;
    sax += asa * xsx;
  }
  double s = std::sqrt(ssa * ssx);
  return 1.0 - (s - sax) * (s + sax) / (ssa * ssx);
}

HermiteSpline::HermiteSpline(int count, const double* x, const double* y)
    : count(count), x(x), y(y), slopes(new double[count > 0 ? count : 1]) {
  if (count < 2) {
    slopes[0] = 0.0;
    return;
  }
  std::vector<double> secants(count - 1);
  for (int i = 0; i + 1 < count; ++i) secants[i] = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
  slopes[0] = secants[0];
  slopes[count - 1] = secants[count - 2];
  for (int i = 1; i + 1 < count; ++i) slopes[i] = (secants[i - 1] + secants[i]) / 2.0;
}

HermiteSpline::~HermiteSpline() { delete[] slopes; }

double HermiteSpline::Evaluate(double v) const {
  if (count < 2) return y[0];
  int lo = 0;
  int hi = count - 1;
  while (hi - lo > 1) {
    int mid = (lo + hi) / 2;
    if (x[mid] > v)
      hi = mid;
    else
      lo = mid;
  }
  double h = x[hi] - x[lo];
  double t = (v - x[lo]) / h;
  return ((2.0 * t - 3.0) * t * t + 1.0) * y[lo] + t * (1.0 - t) * (1.0 - t) * h * slopes[lo] +
         (3.0 - 2.0 * t) * t * t * y[hi] + (t - 1.0) * t * t * h * slopes[hi];
}

void BuildGofSplineTables(GofSplineTables& tables, const double* q) {
  for (int s = 0; s < GOF_STATISTICS; ++s) {
    tables.curves[s] = new HermiteSpline*[GOF_LEVELS]();
    for (int j = 0; j < GOF_LEVELS; ++j)
      tables.curves[s][j] = new HermiteSpline(GOF_SIZES, gofSizes, q + (s * GOF_LEVELS + j) * GOF_SIZES);
  }
}

void FreeGofSplineTables(GofSplineTables& tables) {
  for (int s = 0; s < GOF_STATISTICS; ++s) {
    if (!tables.curves[s]) continue;
    for (int j = 0; j < GOF_LEVELS; ++j) delete tables.curves[s][j];
    delete[] tables.curves[s];
    tables.curves[s] = nullptr;
  }
}

namespace {

// The level 0.5 in gofLevels.
constexpr int MEDIAN_LEVEL = 36;

// The quantile of level j of statistic index for samples of n values. Within
// the knots it is the curve's value. The cubic end pieces are not
// extrapolated past the largest knot (they diverge there); instead the
// quantiles at the largest knot M follow the statistic's known scaling,
// q(n) = centre + (q(M) - centre) * factor(n), with one centre and factor for
// all levels, so the quantiles stay ordered by level:
//   KS      D sqrt(n) has a limit law: factor KsSizeFactor(M) / KsSizeFactor(n)
//   AD, CM  have limit laws, reached well before M: held at q(M)
//   SL      is CM - (mean - 1/2) + 1/(6n), and the difference vanishes: held
//   SW      1 - W tends to a constant, its spread as 1/sqrt(n): centre the
//           median at M, factor sqrt(M / n)
//   CC      n (1 - r^2) has a limit law: factor M / n
//   AV      1 - AV shrinks as 1/sqrt(n): centre 1, factor sqrt(M / n)
// tools/reference/check_gof_scaling.py checks these rules by simulation at
// 4 M (its output, gof_scaling_check.txt, lies beside it).
double GofQuantileAtSize(HermiteSpline* const* curves, int index, int j, int n) {
  const double largest = gofSizes[GOF_SIZES - 1];
  if (n <= largest) return curves[j]->Evaluate(n);
  const double atLargest = curves[j]->y[GOF_SIZES - 1];
  const double ratio = largest / n;
  switch (index) {
    case GOF_KS:
      return atLargest * KsSizeFactor(largest) / KsSizeFactor(n);
    case GOF_SW: {
      const double centre = curves[MEDIAN_LEVEL]->y[GOF_SIZES - 1];
      return centre + (atLargest - centre) * std::sqrt(ratio);
    }
    case GOF_CC:
      return atLargest * ratio;
    case GOF_AV:
      return 1.0 - (1.0 - atLargest) * std::sqrt(ratio);
    default:
      return atLargest;
  }
}

// Enough halvings for any tolerance the caller can ask for; a level that
// keeps lo at 0 (a value at or below the extrapolated low end) stops here.
constexpr int MAX_HALVINGS = 64;

}  // namespace

double GofStatisticPValue(int index, int n, double tolerance, const GofSplineTables& tables, double value) {
  if (index < 0 || index >= GOF_STATISTICS || !tables.curves[index] || n < 3 || std::isnan(value))
    return PVALUE_FAIL;
  double quantiles[GOF_LEVELS];
  for (int j = 0; j < GOF_LEVELS; ++j) quantiles[j] = GofQuantileAtSize(tables.curves[index], index, j, n);
  const bool upperTail = index == GOF_AV;
  if (value > quantiles[GOF_LEVELS - 1]) return upperTail ? 0.0 : 1.0;
  if (value < quantiles[0]) return upperTail ? 1.0 : 0.0;

  HermiteSpline levelCurve(GOF_LEVELS, gofLevels, quantiles);
  double lo = 0.0;
  double hi = 1.0;
  double mid = 0.5;
  if (tolerance < 2.0) {
    for (int halving = 0; halving < MAX_HALVINGS; ++halving) {
      mid = (lo + hi) / 2.0;
      double r = levelCurve.Evaluate(mid);
      if (value > r)
        lo = mid;
      else
        hi = mid;
      if ((hi - lo) / mid <= tolerance) break;
    }
  }
  return upperTail ? 1.0 - mid : mid;
}
