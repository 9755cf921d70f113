#include "battery/Distributions.h"

#include <cmath>

#include "battery/RunState.h"

namespace {

constexpr double MAXLOG = 709.782712893384;          // ln of the largest double
constexpr double MACHEP = 1.1102230246251565e-16;    // 2^-53
constexpr double BIG = 4503599627370496.0;           // 2^52
constexpr double BIGINV = 2.220446049250313e-16;     // 2^-52
constexpr double MAXNUM = 1.7976931348623157e308;    // the largest double
constexpr double LOGPI = 1.1447298858494002;         // ln pi
constexpr double LS2PI = 0.9189385332046728;         // ln sqrt(2 pi)
constexpr double PI = 3.14159265358979323846;

// Cephes lgam: Stirling correction A, and B / C for 2 <= x < 3.
const double LGAM_A[5] = {8.11614167470508450300E-4, -5.95061904284301438324E-4, 7.93650340457716943945E-4,
                          -2.77777777730099687205E-3, 8.33333333333331927722E-2};
const double LGAM_B[6] = {-1.37825152569120859100E3, -3.88016315134637840924E4, -3.31612992738871184744E5,
                          -1.16237097492762307383E6, -1.72173700820839662146E6, -8.53555664245765465627E5};
const double LGAM_C[6] = {-3.51815701436523470549E2, -1.70642106651881159223E4, -2.20528590553854454839E5,
                          -1.13933444367982507207E6, -2.53252307177582951285E6, -2.01889141433532773231E6};

// Coefficients c[0] .. c[degree], highest power first.
double Polynomial(double x, const double* c, int degree) {
  double r = c[0];
  for (int i = 1; i <= degree; ++i) r = r * x + c[i];
  return r;
}

// The same with an implied leading coefficient 1 before c[0].
double MonicPolynomial(double x, const double* c, int degree) {
  double r = x + c[0];
  for (int i = 1; i < degree; ++i) r = r * x + c[i];
  return r;
}

// Chebyshev coefficients of exp(x^2) erfc(x) in t = (x - 3.75) / (x + 3.75).
const double ERFC_CHEB[25] = {
    0.6101430819232004,     -0.4348412727125775,     0.1763511936436055,      -0.06071079560924941,
    0.017712068995694115,   -0.004321119385567294,   0.0008542166768870987,   -0.00012715509060916275,
    1.1248167243671189e-05, 3.1306388542182096e-07,  -2.70988068537762e-07,   3.073762270140769e-08,
    2.515620384817623e-09,  -1.0289299213203192e-09, 2.994405211994994e-11,   2.6051789687266936e-11,
    -2.6348399241719693e-12, -6.434045098906365e-13, 1.1245740180166345e-13,  1.7281533389986097e-14,
    -4.264101694942375e-15, -5.45371977880191e-16,   1.58697607761671e-16,    2.0899837844334e-17,
    -5.900526869409e-18};

}  // namespace

double IncompleteGammaQ(double a, double x) {
  if (std::isnan(a) || std::isnan(x) || x == HUGE_VAL) return PVALUE_FAIL;
  if (x <= 0 || a <= 0) return 1.0;
  if (x < 1.0 || x < a) return 1.0 - IncompleteGammaP(a, x);
  double ax = a * std::log(x) - x - LogGamma(a);
  if (ax < -MAXLOG) return PVALUE_FAIL;
  ax = std::exp(ax);

  // Continued fraction.
  double y = 1.0 - a;
  double z = x + y + 1.0;
  double c = 0.0;
  double pkm2 = 1.0;
  double qkm2 = x;
  double pkm1 = x + 1.0;
  double qkm1 = z * x;
  double ans = pkm1 / qkm1;
  double t;
  do {
    c += 1.0;
    y += 1.0;
    z += 2.0;
    double yc = y * c;
    double pk = pkm1 * z - pkm2 * yc;
    double qk = qkm1 * z - qkm2 * yc;
    if (qk != 0) {
      double r = pk / qk;
      t = std::fabs((ans - r) / r);
      ans = r;
    } else {
      t = 1.0;
    }
    pkm2 = pkm1;
    pkm1 = pk;
    qkm2 = qkm1;
    qkm1 = qk;
    if (std::fabs(pk) > BIG) {
      pkm2 *= BIGINV;
      pkm1 *= BIGINV;
      qkm2 *= BIGINV;
      qkm1 *= BIGINV;
    }
  } while (t > MACHEP);
  return ans * ax;
}

double IncompleteGammaP(double a, double x) {
  if (x <= 0 || a <= 0) return 0.0;
  if (x > 1.0 && x > a) {
    // Where Q underflows the probability is 1, not 1 - PVALUE_FAIL.
    double q = IncompleteGammaQ(a, x);
    return q == PVALUE_FAIL ? 1.0 : 1.0 - q;
  }
  double ax = a * std::log(x) - x - LogGamma(a);
  if (ax < -MAXLOG) return 0.0;
  ax = std::exp(ax);

  // Power series.
  double r = a;
  double c = 1.0;
  double ans = 1.0;
  do {
    r += 1.0;
    c *= x / r;
    ans += c;
  } while (c / ans > MACHEP);
  return ans * ax / a;
}

double LogGamma(double x) {
  gammaSign = 1;
  if (x < -34.0) {
    double q = -x;
    double w = LogGamma(q);
    double p = std::floor(q);
    if (p == q) return gammaSign * MAXNUM;
    // Here q < 2^52 (every larger double is an integer), so p is exact; its
    // parity comes from fmod rather than a conversion to int, which would
    // overflow for large arguments.
    gammaSign = std::fmod(p, 2.0) == 0.0 ? -1 : 1;
    double z = q - p;
    if (z > 0.5) {
      p += 1.0;
      z = p - q;
    }
    z = q * std::sin(PI * z);
    if (z == 0) return gammaSign * MAXNUM;
    return LOGPI - std::log(z) - w;
  }

  if (x < 13.0) {
    double z = 1.0;
    double p = 0.0;
    double u = x;
    while (u >= 3.0) {
      p -= 1.0;
      u = x + p;
      z *= u;
    }
    while (u < 2.0) {
      if (u == 0) return gammaSign * MAXNUM;
      z /= u;
      p += 1.0;
      u = x + p;
    }
    if (z < 0) {
      gammaSign = -1;
      z = -z;
    } else {
      gammaSign = 1;
    }
    if (u == 2.0) return std::log(z);
    p -= 2.0;
    double xs = x + p;
    return std::log(z) + xs * Polynomial(xs, LGAM_B, 5) / MonicPolynomial(xs, LGAM_C, 6);
  }

  if (x > 2.556348e305) return gammaSign * MAXNUM;

  double q = (x - 0.5) * std::log(x) - x + LS2PI;
  if (x > 1.0e8) return q;
  double p = 1.0 / (x * x);
  if (x >= 1000.0)
    q += ((7.9365079365079365079365e-4 * p - 2.7777777777777777777778e-3) * p + 0.0833333333333333333333) / x;
  else
    q += Polynomial(p, LGAM_A, 4) / x;
  return q;
}

double LogGammaAS245(double x) {
  // Numerator coefficients of degree 0 .. 4 followed by the lower
  // denominator coefficients of degree 0 .. 3 (the x^4 coefficient is 1).
  static const double R1[9] = {-2.66685511495,  -24.4387534237, -21.9698958928, 11.1667541262, 3.13060547623,
                               0.607771387771, 11.9400905721,  31.4690115749,  15.2346874070};
  static const double R2[9] = {-78.3359299449, -142.046296688, 137.519416416, 78.6994924154, 4.16438922228,
                               47.0668766060,  313.399215894,  263.505074721, 43.3400022514};
  static const double R3[9] = {-2.12159572323e5, 2.30661510616e5,  2.74647644705e4,  -4.02621119975e4, -2.29660729780e3,
                               -1.16328495004e5, -1.46025937511e5, -2.42357409629e4, -5.70691009324e2};
  static const double R4[5] = {0.279195317918525, 0.4917317610505968, 0.0692910599291889, 3.350343815022304,
                               6.012459259764103};
  auto ratio = [](const double* r, double y) {
    return ((((r[4] * y + r[3]) * y + r[2]) * y + r[1]) * y + r[0]) / ((((y + r[8]) * y + r[7]) * y + r[6]) * y + r[5]);
  };

  if (x < 1.5) {
    double result = 0.0;
    double y;
    double factor;
    if (x < 0.5) {
      result = -std::log(x);
      y = x + 1.0;
      if (y == 1.0) return result;
      factor = x;
    } else {
      y = x;
      factor = x - 1.0;
    }
    return result + factor * ratio(R1, y);
  }
  if (x < 4.0) return (x - 2.0) * ratio(R2, x);
  if (x < 12.0) return ratio(R3, x);
  double y = std::log(x);
  double result = x * (y - 1.0) - 0.5 * y + 0.918938533204673;
  if (x > 510000.0) return result;
  double x1 = 1.0 / x;
  double x2 = x1 * x1;
  return result + x1 * ((R4[2] * x2 + R4[1]) * x2 + R4[0]) / ((x2 + R4[4]) * x2 + R4[3]);
}

double IncompleteBetaRatio(double x, double p, double q, double lnBeta, int& fault) {
  constexpr double ACU = 1e-15;
  fault = 0;
  if (!(p > 0) || !(q > 0)) {
    fault = 1;
    return x;
  }
  if (!(x >= 0 && x <= 1)) {
    fault = 2;
    return x;
  }
  if (x == 0 || x == 1) return x;

  double psq = p + q;
  double cx = 1.0 - x;
  double xx, pp, qq;
  bool swapped = p < psq * x;
  if (swapped) {
    xx = cx;
    cx = x;
    pp = q;
    qq = p;
  } else {
    xx = x;
    pp = p;
    qq = q;
  }

  double term = 1.0;
  double ai = 1.0;
  double result = 1.0;
  // Soper's reduction: ns counts the terms taken with the reduced ratio.
  double nsStart = std::floor(qq + cx * psq);
  long long ns = nsStart < 1e15 ? static_cast<long long>(nsStart) : 1000000000000000LL;
  double rx = xx / cx;
  double temp = qq - ai;
  if (ns == 0) rx = xx;
  // One more term; true once it is negligible. The ratio of consecutive
  // terms first: the division then stays off the chain of products from one
  // term to the next.
  auto converged = [&] {
    const double ratio = temp * rx / (pp + ai);
    term *= ratio;
    result += term;
    const double absTerm = std::fabs(term);
    return absTerm <= ACU && absTerm <= ACU * result;
  };
  for (;;) {
    // While ns stays above 0 after the term, the next ratio takes qq - ai
    // with rx unchanged: the long stretch of the series, without the tests
    // of the other cases.
    bool done = false;
    while (ns >= 2 && !(done = converged())) {
      ai += 1.0;
      --ns;
      temp = qq - ai;
    }
    if (done || converged()) break;
    ai += 1.0;
    --ns;
    if (ns >= 0) {
      temp = qq - ai;
      if (ns == 0) rx = xx;
    } else {
      temp = psq;
      psq += 1.0;
    }
  }
  result = result * std::exp(pp * std::log(xx) + (qq - 1.0) * std::log(cx) - lnBeta) / pp;
  return swapped ? 1.0 - result : result;
}

double OrderStatisticMedian(int n, int i, int& fault) {
  double p = i;
  double q = n - i + 1.0;
  double lnBeta = LogGammaAS245(q) + LogGammaAS245(p) - LogGammaAS245(n + 1.0);
  double lo = 0.0;
  double hi = 1.0;
  double x = 0.5;
  double v = IncompleteBetaRatio(x, p, q, lnBeta, fault);
  for (;;) {
    if (v > 0.5)
      hi = x;
    else
      lo = x;
    double next = (lo + hi) / 2.0;
    v = IncompleteBetaRatio(next, p, q, lnBeta, fault);
    if (std::fabs(next - x) <= 1e-9) return next;
    x = next;
  }
}

double NormalCdf(double x) {
  if (x <= -1000.0) return 0.0;
  if (x >= 1000.0) return 1.0;
  double z = x / -1.4142135623730951;
  double xa = std::fabs(z);
  double t = 2.0 * (xa - 3.75) / (xa + 3.75);
  double b = 0.0;
  double bp = 0.0;
  double bpp = 0.0;
  for (int k = 24; k >= 0; --k) {
    bpp = bp;
    bp = b;
    b = t * bp - bpp + ERFC_CHEB[k];
  }
  double tail = std::exp(-xa * xa) * (b - bpp) / 4.0;
  return z < 0 ? 1.0 - tail : tail;
}

double NormalQuantile(double p) {
  double q = p - 0.5;
  if (std::fabs(q) <= 0.425) {
    double r = 0.180625 - q * q;
    return q * (((59.109374720 * r + 159.29113202) * r + 50.434271938) * r + 3.3871327179) /
           (((67.187563600 * r + 78.757757664) * r + 17.895169469) * r + 1.0);
  }
  double r = q < 0 ? p : 1.0 - p;
  if (!(r > 0)) return 0.0;
  r = std::sqrt(-std::log(r));
  double value;
  if (r <= 5.0) {
    r -= 1.6;
    value = (((0.17023821103 * r + 1.3067284816) * r + 2.7568153900) * r + 1.4234372777) /
            ((0.12021132975 * r + 0.73700164250) * r + 1.0);
  } else {
    r -= 5.0;
    value = (((0.017337203997 * r + 0.42868294337) * r + 3.0812263860) * r + 6.6579051150) /
            ((0.012258202635 * r + 0.24197894225) * r + 1.0);
  }
  return q < 0 ? -value : value;
}
