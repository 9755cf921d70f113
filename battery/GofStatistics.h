#pragma once
// The seven goodness-of-fit statistics of a sorted sample against the
// uniform law on [0, 1]: KS, AD, SL, CM, SW, CC and AV (the order of
// GofStatistic). The results view computes them for its two samples and the
// generator of the quantile tables for its simulated ones, both here, so the
// tables describe exactly the statistics that the view looks up.
#include <vector>

// The medians m_i of the order statistics of n uniform values, i = 1 .. n,
// with their sums and their deviations from their mean normalised by the sum
// of the absolute deviations. They depend on n only.
struct GofMedians {
  std::vector<double> m;           // m_1 .. m_n in entries 0 .. n - 1
  std::vector<double> normalised;  // a_i = (m_i - mean) / sum |m_j - mean|
  double sum = 0.0;                // sum of m_i
  double sumSquares = 0.0;         // sum of m_i^2
};

// Fills medians for samples of n values with OrderStatisticMedian. Returns
// false, and stops at the first median that fails, when its fault code is set.
bool ComputeGofMedians(int n, GofMedians& medians);

// The seven statistics of x_1 <= ... <= x_n (n >= 3) into statistics[0 .. 6]:
//   KS  max over i of |i/n - x_i| and |(i - 1)/n - x_i|
//   AD  -n - (1/n) sum (2i - 1) ln(x_i (1 - x_(n+1-i)))  (a value of 0 or 1
//       gives +inf)
//   SL  sum (i/n - x_i)^2
//   CM  1/(12n) + sum (x_i - (2i - 1)/(2n))^2
//   SW  1 - W, Shapiro-Wilk's W with the coefficients in swCoefficients,
//       which must be those of n
//   CC  1 - r^2, r the correlation of the sample with the medians
//   AV  sum sign(a_i b_i) min(|a_i|, |b_i|), b_i the sample's normalised
//       deviations
// A sample of n equal values leaves SW, CC and AV NaN (0 / 0).
void ComputeGofStatistics(const double* x, int n, const GofMedians& medians, double statistics[7]);
