#include "battery/PValueTests.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "battery/RunState.h"
#include "battery/Distributions.h"
#include "battery/MergedChiSquare.h"

namespace {

// Kolmogorov's limit law at lambda = (sqrt(n) + 0.12 + 0.11 / sqrt(n)) D,
// with D the largest distance between the empirical distribution of the
// sorted values and cdf(values).
template <typename Cdf>
double KsPValue(const double* values, int n, Cdf cdf) {
  double d = 0.0;
  for (int i = 1; i <= n; ++i) {
    double x = cdf(values[i - 1]);
    double di = std::fmax(std::fabs(double(i - 1) / n - x), std::fabs(double(i) / n - x));
    if (di > d) d = di;
  }
  double lambda = KsSizeFactor(n) * d;
  if (lambda < 0.2) return 1.0;
  // Alternating series 2 sum (-1)^(j-1) exp(-2 lambda^2 j^2), up to and
  // including the first term below 1e-7.
  double s = 0.0;
  double prev = 0.0;
  for (int j = 1;; ++j) {
    s = std::exp(-2.0 * lambda * lambda * j * j) - s;
    if (std::fabs(s - prev) < 1e-7) break;
    prev = -s;
  }
  return 2.0 * std::fabs(s);
}

const double BINOMIAL_THRESHOLDS[15] = {0.001, 0.01, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5,
                                        0.6,   0.7,  0.8,  0.9, 0.95, 0.99, 0.999};

}  // namespace

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

double KsUniformPValue(const double* values, int n) {
  return KsPValue(values, n, [](double x) { return x; });
}

double KsNormalPValue(double* values, int n) {
  SortDoubles(values, 0, n - 1);
  return KsPValue(values, n, NormalCdf);
}

double AdUniformPValue(const double* values, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i)
    sum += (2.0 * i + 1.0) * std::log(std::fmax(1e-20, values[i] * (1.0 - values[n - 1 - i])));
  double a2 = -double(n) - sum / n;
  if (a2 < 0.01) return 1.0;
  if (a2 <= 2.0)
    return 1.0 - 2.0 * std::exp(-1.2337 / a2) * (1.0 + a2 / 8.0 - 0.04958 * a2 * a2 / (1.325 + a2)) / std::sqrt(a2);
  if (a2 <= 4.0) return 0.6621361 * std::exp(-1.091638 * a2) + 0.95059 * std::exp(-2.005138 * a2);
  return 0.5946335 * std::exp(-1.527198 * a2) + 0.4938691 * std::exp(-1.050321 * a2);
}

namespace {

// The binomial threshold p-value from the count of values below each
// threshold, count(t). The cells are the thresholds in order, each with the
// cumulative count below it and its expectation N t, merged until the
// expected count reaches 5 (PVALUE_SHORT when fewer than 2 cells close).
template <typename CountBelow>
double ThresholdBinomialFromCounts(int N, CountBelow count) {
  if (N < 2) return PVALUE_FAIL;
  MergedChiSquareSum cells(MergeRule::AtLeast);
  for (double t : BINOMIAL_THRESHOLDS) cells.Add(count(t), N * t);
  return cells.PValue();
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
