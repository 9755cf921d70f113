#include "battery/GofStatistics.h"

#include <cmath>

#include "battery/GofTables.h"
#include "battery/Distributions.h"

bool ComputeGofMedians(int n, GofMedians& medians) {
  medians.m.assign(n, 0.0);
  medians.normalised.assign(n, 0.0);
  medians.sum = 0.0;
  medians.sumSquares = 0.0;
  for (int i = 1; i <= n; ++i) {
    int fault = 0;
    double m = OrderStatisticMedian(n, i, fault);
    if (fault != 0) return false;
    medians.m[i - 1] = m;
    medians.sum += m;
    medians.sumSquares += m * m;
  }
  const double mean = medians.sum / n;
  double spread = 0.0;
  for (double m : medians.m) spread += std::fabs(m - mean);
  for (int i = 0; i < n; ++i) medians.normalised[i] = (medians.m[i] - mean) / spread;
  return true;
}

void ComputeGofStatistics(const double* x, int n, const GofMedians& medians, double statistics[7]) {
  double sumX = 0.0;
  for (int i = 0; i < n; ++i) sumX += x[i];
  const double meanX = sumX / n;
  double spreadX = 0.0;
  for (int i = 0; i < n; ++i) spreadX += std::fabs(x[i] - meanX);

  const double* m = medians.m.data();
  const double* a = medians.normalised.data();
  double ks = 0.0, adSum = 0.0, sl = 0.0, cm = 0.0, sumXX = 0.0, sumMX = 0.0, av = 0.0;
  for (int i = 1; i <= n; ++i) {
    const double xi = x[i - 1];
    const double above = double(i) / n - xi;
    const double below = double(i - 1) / n - xi;
    ks = std::fmax(ks, std::fmax(std::fabs(above), std::fabs(below)));
    adSum += (2.0 * i - 1.0) * std::log(xi * (1.0 - x[n - i]));
    sl += above * above;
    const double centred = xi - (2.0 * i - 1.0) / (2.0 * n);
    cm += centred * centred;
    sumXX += xi * xi;
    sumMX += m[i - 1] * xi;
    const double b = (xi - meanX) / spreadX;
    av += 0.5 * (std::fabs(a[i - 1] + b) - std::fabs(b - a[i - 1]));
  }
  const double covariance = n * sumMX - sumX * medians.sum;
  const double r2 = covariance * covariance /
                    ((n * sumXX - sumX * sumX) * (n * medians.sumSquares - medians.sum * medians.sum));
  statistics[GOF_KS] = ks;
  statistics[GOF_AD] = -n - adSum / n;
  statistics[GOF_SL] = sl;
  statistics[GOF_CM] = 1.0 / (12.0 * n) + cm;
  statistics[GOF_SW] = 1.0 - ShapiroWilkW(x, n);
  statistics[GOF_CC] = 1.0 - r2;
  statistics[GOF_AV] = av;
  // With no spread, rounding would turn the 0 / 0 of the last three into
  // arbitrary numbers.
  if (x[0] == x[n - 1]) statistics[GOF_SW] = statistics[GOF_CC] = statistics[GOF_AV] = std::nan("");
}
