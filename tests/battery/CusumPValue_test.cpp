// The cumulative-sums p-value stops its series where the terms are exactly
// zero; it must give the same p-value, to the last bit, as the whole series.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "battery/CUSUM.h"
#include "battery/Distributions.h"

namespace {

double Mass(double a, double b) {
  if (a >= 0) return NormalCdf(-a) - NormalCdf(-b);
  return NormalCdf(b) - NormalCdf(a);
}

// The series over every k of its range, n / (4z) terms each way.
double WholeSeries(uint32_t n, uint32_t z) {
  const double u = z / std::sqrt(static_cast<double>(n));
  const double r = static_cast<double>(n) / z;
  const long kLow1 = std::lround(std::floor((-r + 1) / 4)), kHigh = std::lround(std::floor((r - 1) / 4));
  const long kLow2 = std::lround(std::floor((-r - 3) / 4));
  double p = 2 * NormalCdf(-u);
  for (long k = kLow1; k <= kHigh; ++k)
    if (k != 0) p -= Mass((4 * k - 1) * u, (4 * k + 1) * u);
  for (long k = kLow2; k <= kHigh; ++k) p += Mass((4 * k + 1) * u, (4 * k + 3) * u);
  return std::min(1.0, std::max(0.0, p));
}

TEST(CusumPValue, EqualsTheWholeSeriesToTheLastBit) {
  const uint32_t lengths[] = {1, 2, 3, 10, 100, 1000, 12345, 1u << 20, (1u << 24) + 1, 100000007u, 4294967295u};
  int compared = 0, belowOne = 0;
  for (uint32_t n : lengths) {
    // z from 1 to n over a geometric grid, plus the values around sqrt(n)
    // where the p-value moves fastest; the whole series is kept short
    // enough to run (n / z below 2^21).
    std::vector<uint32_t> zs;
    for (double z = 1; z <= n; z *= 1.37) zs.push_back(static_cast<uint32_t>(z));
    const double root = std::sqrt(static_cast<double>(n));
    for (double f : {0.5, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 8.0})
      if (f * root >= 1 && f * root <= n) zs.push_back(static_cast<uint32_t>(f * root));
    zs.push_back(n);
    for (uint32_t z : zs) {
      if (static_cast<double>(n) / z > (1 << 21)) continue;
      const double whole = WholeSeries(n, z);
      const double early = CusumPValue(n, z);
      EXPECT_EQ(std::memcmp(&whole, &early, sizeof whole), 0)
          << "n " << n << " z " << z << ": " << whole << " vs " << early;
      ++compared;
      if (whole > 0 && whole < 1) ++belowOne;
    }
  }
  // The grid reaches into the series' interesting range, not only its ends.
  EXPECT_GT(compared, 150);
  EXPECT_GT(belowOne, 60);
}

}  // namespace
