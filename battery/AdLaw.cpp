#include "battery/AdLaw.h"

#include <algorithm>
#include <cmath>

#include "battery/AdLawTable.h"

namespace {

constexpr double PI2_OVER_8 = 1.2337005501361698;  // pi^2 / 8

double Clenshaw(const AdLawPiece& piece, double x) {
  const double t = (2.0 * x - piece.a - piece.b) / (piece.b - piece.a);
  double b1 = 0.0, b2 = 0.0;
  for (int j = piece.count - 1; j >= 1; --j) {
    const double b0 = 2.0 * t * b1 - b2 + piece.coef[j];
    b2 = b1;
    b1 = b0;
  }
  return t * b1 - b2 + piece.coef[0];
}

// The limit law's distribution function x = P(A^2 <= z) and upper tail
// p = 1 - x, each to full relative precision.
struct LimitLaw {
  double x, p;
};

LimitLaw Limit(double z) {
  if (!(z >= AD_LAW_ZMIN)) return {0.0, 1.0};
  const double halfLogZ = 0.5 * std::log(z);
  const AdLawPiece& last = AD_LAW[AD_LAW_PIECES - 1];  // in u = 1/z, to infinity
  if (1.0 / z <= last.b) {
    const double p = std::exp(Clenshaw(last, 1.0 / z) - z - halfLogZ);
    return {1.0 - p, p};
  }
  int k = 0;
  while (k < AD_LAW_PIECES - 2 && z > AD_LAW[k].b) ++k;
  const AdLawPiece& piece = AD_LAW[k];
  if (piece.kind == 'L') {
    const double logX = Clenshaw(piece, z) - PI2_OVER_8 / z - halfLogZ;
    return {std::exp(logX), -std::expm1(logX)};
  }
  const double p = std::exp(Clenshaw(piece, z) - z - halfLogZ);
  return {1.0 - p, p};
}

// The finite-n correction. Below the limit law's x = P(A^2 <= z) = 0.8 it is
// Marsaglia and Marsaglia's errfix(n, x), P_n(A^2 <= z) = x + errfix, which
// our simulation of 10^7 samples confirms there within 2e-4 (two standard
// errors) from n = 10 on and 4e-4 at n = 5; at n = 2 and 3 it is off by up
// to 0.011 near x = 0.1 (tools/reference/ad_finite_n.txt). Its middle
// piece's g2 is -2.3e-4 at 0 and 3.9e-3 at 1 instead of 0: the mismatches
// are taken out linearly, so that the correction is continuous. From
// x = 0.8 (p = 0.2, z = AD_Z0) on, their g3 (which leaves p (1 + 0.47 / n)
// in the far tail, while the simulated ratio keeps growing: 1.09 at 1e-3
// and 1.11 at 1e-4 for n = 10) is replaced by a relative correction fitted
// to 5 10^7 samples per n up to 20 and 10^7 at 30, 50, 100 (tools/reference/ad_finite_n_fit.py):
//   P_n(A^2 > z) = p exp(a(L) / n + b(L) / n^2),  L = ln(1 + z - AD_Z0),
// held at L = AD_LMAX (p = 1e-6, the end of the data) beyond.
double G2(double t) {
  return -0.00022633 + (6.54034 - (14.6538 - (14.458 - (8.259 - 1.91864 * t) * t) * t) * t) * t;
}

constexpr double AD_Z0 = 1.4081977005505801;
constexpr double AD_LMAX = 2.4938547550487238;
constexpr double TAIL_A[3] = {0.23280828364992401, 0.076874436300236423, 0.038213953262008923};
constexpr double TAIL_B[2] = {0.12599789028997305, -0.15239886013142501};

}  // namespace

double AdStatistic(const double* values, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i)
    sum += (2.0 * i + 1.0) * std::log(std::fmax(1e-20, values[i] * (1.0 - values[n - 1 - i])));
  return -double(n) - sum / n;
}

double AdLimitUpperTail(double z) { return Limit(z).p; }

double AdUpperTail(int n, double z) {
  const LimitLaw law = Limit(z);
  if (n <= 0) return law.p;
  const double x = law.x;
  const double nn = n;
  const double c = 0.01265 + 0.1757 / nn;
  double p;
  if (z >= AD_Z0) {
    const double L = std::min(std::log1p(z - AD_Z0), AD_LMAX);
    const double a = (TAIL_A[0] + (TAIL_A[1] + TAIL_A[2] * L) * L) * L;
    const double b = (TAIL_B[0] + TAIL_B[1] * L) * L;
    p = law.p * std::exp((a + b / nn) / nn);
  } else if (x >= c) {
    const double t = (x - c) / (0.8 - c);
    const double errfix = (0.04213 / nn + 0.01365 / (nn * nn)) * (G2(t) - G2(0.0) * (1.0 - t) - G2(1.0) * t);
    p = law.p - errfix;
  } else {
    const double t = x / c;
    const double errfix =
        (0.0037 / (nn * nn * nn) + 0.00078 / (nn * nn) + 0.00006 / nn) * std::sqrt(t) * (1.0 - t) * (49.0 * t - 102.0);
    p = law.p - errfix;
  }
  return std::min(1.0, std::max(0.0, p));
}
