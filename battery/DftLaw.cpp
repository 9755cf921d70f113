#include "battery/DftLaw.h"

#include <cmath>
#include <cstddef>

#include "battery/PValueTests.h"

double KolmogorovLimitQ(double x) {
  if (x <= 0.2) return 1.0;
  double s = 0.0;
  for (int j = 1; j < 100; ++j) {
    const double term = std::exp(-2.0 * x * x * j * j);
    s += (j % 2 == 1) ? term : -term;
    if (term < 1e-17 * s) break;
  }
  return std::fmin(1.0, 2.0 * s);
}

double DftLawUpperTail(double x, const double* upper, int points) {
  const double t = (x - DFT_LAW_X0) / DFT_LAW_STEP;
  if (!(t > 0.0)) return 1.0;  // NaN too: no evidence against the law
  const int last = points - 1;
  if (t >= last) {
    const double xLast = DFT_LAW_X0 + last * DFT_LAW_STEP;
    return upper[last] * KolmogorovLimitQ(x) / KolmogorovLimitQ(xLast);
  }
  const int j = static_cast<int>(t);
  const double f = t - j;
  return std::exp((1.0 - f) * std::log(upper[j]) + f * std::log(upper[j + 1]));
}

double DftLawPValue(double x, double n, const double* sizes, const int* points, const double* upper, int nodes,
                    int stride) {
  auto node = [&](int k) { return DftLawUpperTail(x, upper + size_t(k) * stride, points[k]); };
  if (n <= sizes[0]) return node(0);
  int k = 0;
  while (k + 1 < nodes && sizes[k + 1] <= n) ++k;
  if (k + 1 == nodes) return node(k);
  const double w = (1.0 / std::sqrt(n) - 1.0 / std::sqrt(sizes[k])) /
                   (1.0 / std::sqrt(sizes[k + 1]) - 1.0 / std::sqrt(sizes[k]));
  return (1.0 - w) * node(k) + w * node(k + 1);
}

double DftKsPValue(double d, uint64_t n) {
  const double size = static_cast<double>(n);
  return DftLawPValue(KsSizeFactor(size) * d, size, dftLawSizes, dftLawPoints, dftLawUpper, DFT_LAW_NODES,
                      DFT_LAW_POINTS);
}
