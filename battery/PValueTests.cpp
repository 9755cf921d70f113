#include "battery/PValueTests.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "battery/AdLaw.h"
#include "battery/RunState.h"
#include "battery/Distributions.h"
#include "battery/KsSeriesCorrection.h"
#include "battery/BinoLaw.h"

namespace {

// The largest distance D between the empirical distribution of the sorted
// values and cdf(values).
template <typename Cdf>
double KsDistance(const double* values, int n, Cdf cdf) {
  double d = 0.0;
  for (int i = 1; i <= n; ++i) {
    double x = cdf(values[i - 1]);
    double di = std::fmax(std::fabs(double(i - 1) / n - x), std::fabs(double(i) / n - x));
    if (di > d) d = di;
  }
  return d;
}

// Up to this many values the law comes from Durbin's exact matrix; above,
// from the Pelz-Good series with its measured correction.
constexpr int KS_DURBIN_MAX_N = 160;
// From n d^2 = KS_TAIL on, P(D_n >= d) = 2 P(D_n^+ >= d) to better than
// 1e-9 relative: the chance of crossing both bands is about exp(-8 n d^2).
constexpr double KS_TAIL = 3.5;
// The largest matrix Durbin's method needs below KS_TAIL: k = nd + 1 <= 24.
constexpr int KS_DURBIN_MAX_M = 47;
constexpr double KS_PI = 3.14159265358979323846;

using DurbinMatrix = double[KS_DURBIN_MAX_M][KS_DURBIN_MAX_M];

// P(D_n^+ >= d), Birnbaum and Tingey's exact sum
// d sum_{j <= n(1 - d)} C(n, j) (1 - d - j/n)^(n - j) (d + j/n)^(j - 1),
// each term formed from logarithms.
double SmirnovUpperTailSum(int n, double d) {
  const int last = static_cast<int>(std::floor(n * (1.0 - d)));
  double logBinomial = 0.0;
  double sum = 0.0;
  for (int j = 0; j <= last; ++j) {
    const double a = 1.0 - d - double(j) / n;
    if (a > 0) sum += std::exp(logBinomial + (n - j) * std::log(a) + (j - 1) * std::log(d + double(j) / n));
    logBinomial += std::log(double(n - j) / double(j + 1));
  }
  return d * sum;
}

// From this many values on the terms of the sum are sampled (below).
constexpr int KS_SAMPLED_SUM_MIN_N = 2000;

// The same sum for large n. Its terms are a smooth unimodal function of j,
// of width sigma (hundreds of terms and more here), negligible at both ends;
// by Poisson's summation formula the sum of every s-th term times s differs
// from the full sum by about exp(-2 pi^2 sigma^2 / s^2) of it, below 1e-300
// at s = sigma / 6. The peak is found by a ternary search and sigma from the
// curvature there; when an end is not negligible or sigma is small, the full
// sum.
double SmirnovUpperTail(int n, double d) {
  const int last = static_cast<int>(std::floor(n * (1.0 - d)));
  if (n < KS_SAMPLED_SUM_MIN_N || last < 2) return SmirnovUpperTailSum(n, d);
  int sign;
  const double logNFactorial = lgamma_r(n + 1.0, &sign);
  auto logTerm = [&](int j) {
    const double a = 1.0 - d - double(j) / n;
    if (a <= 0) return -1e300;
    return logNFactorial - lgamma_r(j + 1.0, &sign) - lgamma_r(n - j + 1.0, &sign) + (n - j) * std::log(a) +
           (j - 1) * std::log(d + double(j) / n);
  };
  int lo = 0, hi = last;
  while (hi - lo > 2) {
    const int m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
    if (logTerm(m1) < logTerm(m2))
      lo = m1 + 1;
    else
      hi = m2 - 1;
  }
  int peak = lo;
  for (int j = lo + 1; j <= hi; ++j)
    if (logTerm(j) > logTerm(peak)) peak = j;
  const double top = logTerm(peak);
  const int h = 8;
  if (peak - h < 0 || peak + h > last) return SmirnovUpperTailSum(n, d);
  const double curvature = (logTerm(peak + h) - 2.0 * top + logTerm(peak - h)) / (double(h) * h);
  if (!(curvature < 0)) return SmirnovUpperTailSum(n, d);
  const int step = static_cast<int>(std::sqrt(-1.0 / curvature) / 6.0);
  if (step < 2) return SmirnovUpperTailSum(n, d);
  // Terms below exp(-60) of the peak are left out; an end of the range
  // reached before that means the ends are not negligible.
  double sum = 0.0;
  for (int j = peak; j <= last; j += step) {
    const double t = logTerm(j) - top;
    if (t < -60.0) break;
    if (j + step > last) return SmirnovUpperTailSum(n, d);
    sum += std::exp(t);
  }
  for (int j = peak - step; j >= 0; j -= step) {
    const double t = logTerm(j) - top;
    if (t < -60.0) break;
    if (j - step < 0) return SmirnovUpperTailSum(n, d);
    sum += std::exp(t);
  }
  return d * step * sum * std::exp(top);
}

void CopyDurbin(const DurbinMatrix& from, DurbinMatrix& to, int m) {
  for (int i = 0; i < m; ++i) std::copy(from[i], from[i] + m, to[i]);
}

// Splits a power of two off the matrix into exponent when its centre entry
// [k - 1][k - 1] grows beyond 2^300 or falls below 2^-300.
void Rescale(DurbinMatrix& a, int m, int k, int& exponent) {
  int shift;
  std::frexp(a[k - 1][k - 1], &shift);
  if (shift <= 300 && shift >= -300) return;
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) a[i][j] = std::ldexp(a[i][j], -shift);
  exponent += shift;
}

// out = a b for m x m matrices (row-major, leading dimension KS_DURBIN_MAX_M).
void MultiplyDurbin(const DurbinMatrix& a, const DurbinMatrix& b, DurbinMatrix& out, int m) {
  for (int i = 0; i < m; ++i) {
    double* row = out[i];
    std::fill(row, row + m, 0.0);
    for (int l = 0; l < m; ++l) {
      const double ail = a[i][l];
      if (ail == 0.0) continue;
      for (int j = 0; j < m; ++j) row[j] += ail * b[l][j];
    }
  }
}

// P(D_n < d) by Durbin's matrix in Marsaglia, Tsang and Wang's form:
// k = floor(nd) + 1, h = k - nd, m = 2k - 1, the answer n!/n^n (H^n)[k][k],
// with powers of two split off as the power grows.
double DurbinCdf(int n, double d) {
  const int k = static_cast<int>(n * d) + 1;
  const int m = 2 * k - 1;
  const double h = k - n * d;
  // Per thread, so that concurrent callers share nothing and no call
  // allocates.
  thread_local DurbinMatrix hm, power, product;
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) hm[i][j] = i - j + 1 < 0 ? 0.0 : 1.0;
  for (int i = 0; i < m; ++i) {
    hm[i][0] -= std::pow(h, i + 1);
    hm[m - 1][i] -= std::pow(h, m - i);
  }
  if (2 * h - 1 > 0) hm[m - 1][0] += std::pow(2 * h - 1, m);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) {
      double f = 1.0;
      for (int g = 2; g <= i - j + 1; ++g) f *= g;
      if (i - j + 1 > 0) hm[i][j] /= f;
    }
  // power = H^n by squaring; exponents of two kept apart in powerExp, hmExp.
  int powerExp = 0, hmExp = 0;
  bool started = false;
  for (int e = n; e > 0; e >>= 1) {
    if (e & 1) {
      if (!started) {
        CopyDurbin(hm, power, m);
        started = true;
      } else {
        MultiplyDurbin(power, hm, product, m);
        CopyDurbin(product, power, m);
      }
      powerExp += hmExp;
      Rescale(power, m, k, powerExp);
    }
    if (e > 1) {
      MultiplyDurbin(hm, hm, product, m);
      CopyDurbin(product, hm, m);
      hmExp *= 2;
      Rescale(hm, m, k, hmExp);
    }
  }
  double s = power[k - 1][k - 1];
  for (int i = 1; i <= n; ++i) s = s * i / n;  // n!/n^n >= e^-n, no underflow for n <= 160
  return std::ldexp(s, powerExp);
}

// The Pelz-Good series for P(sqrt(n) D_n < z): K0 + K1/sqrt(n) + K2/n +
// K3/n^(3/2), each term summed over odd m = 2k - 1 (and over k for the
// extra sums of K2 and K3) in the form that converges fast for small z.
double PelzGoodCdf(int n, double z) {
  const double pi2 = KS_PI * KS_PI, pi4 = pi2 * pi2, pi6 = pi4 * pi2;
  const double z2 = z * z, z4 = z2 * z2, z6 = z4 * z2, z8 = z4 * z4;
  const double rootTwoPi = std::sqrt(2.0 * KS_PI);
  const int terms = static_cast<int>(std::ceil(16.0 * z / KS_PI));
  double k0 = 0, k1 = 0, k2 = 0, k3 = 0, e2 = 0, e3 = 0;
  for (int k = terms; k >= 1; --k) {
    const double m2 = double(2 * k - 1) * (2 * k - 1), m4 = m2 * m2, m6 = m4 * m2;
    const double q = std::exp(-pi2 * m2 / (8.0 * z2));
    k0 += q;
    k1 += (pi2 * m2 / 4.0 - z2) * q;
    k2 += (6.0 * z6 + 2.0 * z4 + pi2 * (2.0 * z4 - 5.0 * z2) * m2 / 4.0 + pi4 * (1.0 - 2.0 * z2) * m4 / 16.0) * q;
    k3 += (pi6 * (5.0 - 30.0 * z2) * m6 / 64.0 + pi4 * (212.0 * z4 - 60.0 * z2) * m4 / 16.0 +
           pi2 * (135.0 * z4 - 96.0 * z6) * m2 / 4.0 - 30.0 * z6 - 90.0 * z8) *
          q;
    const double kk = double(k) * k;
    const double r = std::exp(-pi2 * kk / (2.0 * z2));
    e2 += kk * r;
    e3 += (3.0 * z2 - pi2 * kk) * kk * r;
  }
  k0 *= rootTwoPi / z;
  k1 *= rootTwoPi / (6.0 * z4);
  k2 = k2 * rootTwoPi / (72.0 * z6 * z) - e2 * pi2 * rootTwoPi / (36.0 * z2 * z);
  k3 = k3 * rootTwoPi / (6480.0 * z8 * z2) + e3 * pi2 * rootTwoPi / (216.0 * z6);
  const double rn = std::sqrt(double(n));
  return k0 + k1 / rn + k2 / n + k3 / (n * rn);
}

// The series' own error in P(D_n < d), n^2 (exact - series) = a + b/sqrt(n)
// + c/n, interpolated (Catmull-Rom) on the grid of z it was fitted on; 0
// off the grid, where the series alone is exact to well below 1e-8.
double PelzGoodCorrection(int n, double z) {
  const double x = (z - KS_CORRECTION_Z0) / KS_CORRECTION_DZ;
  if (x < 1.0 || x > KS_CORRECTION_COUNT - 2) return 0.0;
  const int i = std::min(std::max(static_cast<int>(std::floor(x)), 1), KS_CORRECTION_COUNT - 3);
  const double t = x - i;
  double coefficient[3];
  for (int c = 0; c < 3; ++c) {
    const double p0 = KS_CORRECTION[i - 1][c], p1 = KS_CORRECTION[i][c], p2 = KS_CORRECTION[i + 1][c],
                 p3 = KS_CORRECTION[i + 2][c];
    coefficient[c] =
        p1 + 0.5 * t * (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)));
  }
  const double rn = std::sqrt(double(n));
  return (coefficient[0] + coefficient[1] / rn + coefficient[2] / n) / (double(n) * n);
}

}  // namespace

const double BINOMIAL_THRESHOLDS[BINOMIAL_THRESHOLD_COUNT] = {0.001, 0.01, 0.05, 0.1, 0.2, 0.3,  0.4,  0.5,
                                                              0.6,   0.7,  0.8,  0.9, 0.95, 0.99, 0.999};

double KsSizeFactor(double n) { return std::sqrt(n) + 0.12 + 0.11 / std::sqrt(n); }

double ChiSquarePValue(int df, double x) { return IncompleteGammaQ(df / 2.0, x / 2.0); }

void SortDoubles(double* values, int first, int last) {
  if (first >= last) return;  // an empty or one-value range is sorted
  for (;;) {
    double pivot = values[(first + last) / 2];
    int i = first;
    int j = last;
    while (i <= j) {
      while (values[i] < pivot) ++i;
      while (values[j] > pivot) --j;
      if (i <= j) {
        std::swap(values[i], values[j]);
        ++i;
        --j;
      }
    }
    if (first < j) SortDoubles(values, first, j);
    if (i >= last) return;
    first = i;
  }
}

double KsDistancePValue(int n, double d) {
  if (n < 1 || !(d > 0.0)) return 1.0;
  if (d >= 1.0) return 0.0;
  const double t = n * d;
  if (t <= 0.5) return 1.0;
  if (t <= 1.0) {
    // Ruben and Gambino: P(D_n < d) = n!/n^n (2nd - 1)^n for nd <= 1.
    double cdf = 1.0;
    for (int i = 1; i <= n && cdf > 1e-300; ++i) cdf *= (2.0 * t - 1.0) * i / n;
    return 1.0 - cdf;
  }
  const double nd2 = t * d;
  double p;
  if (nd2 >= 400.0)
    p = 0.0;  // below 2 exp(-800): no double holds it
  else if (d >= 0.5 || nd2 >= KS_TAIL)
    p = 2.0 * SmirnovUpperTail(n, d);  // exact for d >= 1/2
  else if (n <= KS_DURBIN_MAX_N)
    p = 1.0 - DurbinCdf(n, d);
  else {
    const double z = std::sqrt(nd2);
    p = 1.0 - PelzGoodCdf(n, z) - PelzGoodCorrection(n, z);
  }
  return std::min(1.0, std::max(0.0, p));
}

double KsUniformPValue(const double* values, int n) {
  return KsDistancePValue(n, KsDistance(values, n, [](double x) { return x; }));
}

double KsNormalPValue(double* values, int n) {
  SortDoubles(values, 0, n - 1);
  return KsDistancePValue(n, KsDistance(values, n, NormalCdf));
}

double AdUniformPValue(const double* values, int n) { return AdUpperTail(n, AdStatistic(values, n)); }

namespace {

// The binomial threshold p-value from the count of values below each
// threshold, below(t): the counts of the cells between consecutive
// thresholds (and above the last), judged by ThresholdBinomialFromCells.
template <typename CountBelow>
double ThresholdBinomialFromCounts(int N, CountBelow below) {
  if (N < 2) return PVALUE_FAIL;
  int cells[BINOMIAL_THRESHOLD_COUNT + 1];
  int countBelow = 0;
  for (int k = 0; k < BINOMIAL_THRESHOLD_COUNT; ++k) {
    const int c = below(BINOMIAL_THRESHOLDS[k]);
    cells[k] = c - countBelow;
    countBelow = c;
  }
  cells[BINOMIAL_THRESHOLD_COUNT] = N - countBelow;
  return ThresholdBinomialFromCells(N, cells);
}

}  // namespace

double ThresholdBinomialP(const double* values, int N) {
  return ThresholdBinomialFromCounts(N, [&](double t) {
    int c = 0;
    for (int k = 0; k < N; ++k)
      if (values[k] < t) ++c;
    return c;
  });
}

double ThresholdBinomialPSorted(const double* values, int N) {
  return ThresholdBinomialFromCounts(
      N, [&](double t) { return static_cast<int>(std::lower_bound(values, values + N, t) - values); });
}
