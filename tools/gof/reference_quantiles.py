#!/usr/bin/python3
"""Reference quantiles for the checks of the goodness-of-fit quantile table.

Writes tools/gof/reference_quantiles.txt with, for the 73 levels of the table:
  - the exact finite-n Kolmogorov-Smirnov quantiles at the 62 sample sizes:
    scipy's implementation of the Durbin matrix method of Marsaglia, Tsang and
    Wang (scipy.stats._ksstats._kolmogn_DMTW) inverted by Brent's method from
    a bracket around scipy.stats.kstwo.ppf (which for n > 140 switches to the
    Pelz-Good asymptotic series and is only good to about 1e-5 there); for
    n <= 479 the exact CDF by Pomeranz's method (another algorithm; scipy's
    version loses the upper tail from n = 550 on) is compared at the same
    points and the largest difference is recorded;
  - the quantiles of the limit laws of the Anderson-Darling A^2 and the
    Cramer-von Mises W^2, by Smirnov's formula for a weighted sum of squared
    standard normals Q = sum lambda_j Z_j^2 with mu_j = 1/lambda_j increasing,
      P(Q > x) = (1/pi) sum_k (-1)^(k+1) int_{mu_(2k-1)}^{mu_(2k)}
                 exp(-x u/2) / (u sqrt|D(u)|) du,  D(u) = prod_j (1 - u/mu_j),
    with mu_j = j(j+1), D(u) = -cos(pi sqrt(1/4 + u)) / (pi u) for A^2 and
    mu_j = (j pi)^2, D(u) = sin(sqrt u) / sqrt u for W^2 (mpmath quadrature),
    inverted by bisection.
Run with Debian's /usr/bin/python3 (python3-scipy, python3-mpmath); takes
about 15 minutes on 6 processes.
"""
import multiprocessing
import os
import mpmath as mp
from scipy.optimize import brentq
from scipy.stats import kstwo
from scipy.stats import _ksstats

LEVELS = [1e-05, 3e-05, 5e-05, 8e-05, 0.0001, 0.0003, 0.0005, 0.0008, 0.001, 0.003, 0.005, 0.008, 0.01,
          0.025, 0.05, 0.08] + [round(0.1 + 0.02 * i, 2) for i in range(41)] + [
          0.92, 0.95, 0.975, 0.99, 0.992, 0.995, 0.997, 0.999, 0.9992, 0.9995, 0.9997, 0.9999, 0.99992,
          0.99995, 0.99997, 0.99999]
SIZES = [3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 17, 19, 21, 24, 27, 31, 35, 40, 46, 53, 61, 70, 80, 92,
         105, 120, 138, 158, 181, 208, 239, 275, 316, 363, 417, 479, 550, 632, 726, 835, 960, 1104, 1269,
         1459, 1677, 1928, 2217, 2549, 2931, 3370, 3875, 4456, 5124, 5892, 6775, 7791, 8959, 10303, 11848,
         13625]
assert len(LEVELS) == 73 and len(SIZES) == 62

mp.mp.dps = 25


def smirnov_cdf(x, mu, d):
    """P(Q <= x) for Q with eigenvalue reciprocals mu(j) and D(u) = d(u)."""
    x = mp.mpf(x)
    tail = mp.mpf(0)
    k = 1
    while True:
        a, b = mu(2 * k - 1), mu(2 * k)
        term = mp.quad(lambda u: mp.exp(-x * u / 2) / (u * mp.sqrt(abs(d(u)))), [a, b])
        tail += term if k % 2 else -term
        if abs(term) < mp.mpf(10) ** -22:
            break
        k += 1
    return 1 - tail / mp.pi


def ad_cdf(x):
    return smirnov_cdf(x, lambda j: mp.mpf(j * (j + 1)),
                       lambda u: -mp.cos(mp.pi * mp.sqrt(mp.mpf(1) / 4 + u)) / (mp.pi * u))


def cm_cdf(x):
    return smirnov_cdf(x, lambda j: (j * mp.pi) ** 2, lambda u: mp.sin(mp.sqrt(u)) / mp.sqrt(u))


def quantile(cdf, level, lo, hi):
    level = mp.mpf(level)
    for _ in range(60):
        mid = (lo + hi) / 2
        if cdf(mid) < level:
            lo = mid
        else:
            hi = mid
        if hi - lo < mp.mpf(10) ** -12 * hi:
            break
    return (lo + hi) / 2


def ks_exact_quantiles(k):
    """The exact KS quantiles at all levels for size index k, and the largest
    |Pomeranz CDF - level| at them (n <= 479, else None)."""
    n = SIZES[k]
    result = []
    worst = 0.0 if n <= 479 else None
    for level in LEVELS:
        f = lambda d: float(_ksstats._kolmogn_DMTW(n, d, cdf=True)) - level
        guess = float(kstwo.ppf(level, n))
        lo, hi = guess * (1 - 1e-4), guess * (1 + 1e-4)
        while f(lo) > 0:
            lo *= 1 - 1e-3
        while f(hi) < 0:
            hi *= 1 + 1e-3
        d = brentq(f, lo, hi, xtol=1e-17, rtol=4 * 2.0 ** -52)
        if worst is not None:
            worst = max(worst, abs(float(_ksstats._kolmogn_Pomeranz(n, d, cdf=True)) - level))
        result.append(d)
    return k, result, worst


def limit_quantiles(j):
    level = LEVELS[j]
    return (quantile(ad_cdf, level, mp.mpf('0.01'), mp.mpf(20)),
            quantile(cm_cdf, level, mp.mpf('0.001'), mp.mpf(5)))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'reference_quantiles.txt')
    with open(out, 'w') as f:
        f.write('# Written by tools/gof/reference_quantiles.py (scipy %s, mpmath %s).\n' % (
            __import__('scipy').__version__, mp.__version__))
        f.write('# KS j k n level quantile: exact finite-n Kolmogorov-Smirnov (Durbin matrix)\n')
        f.write('# ADINF j level quantile, CMINF j level quantile: limit laws (Smirnov formula)\n')
        with multiprocessing.Pool(6) as pool:
            rows = sorted(pool.map(ks_exact_quantiles, range(len(SIZES))))
        worst = max(w for _, _, w in rows if w is not None)
        f.write('# Largest |Pomeranz CDF - level| at these KS quantiles for n <= 479: %.3g\n' % worst)
        for k, quantiles, _ in rows:
            for j, level in enumerate(LEVELS):
                f.write('KS %d %d %d %r %.15g\n' % (j, k, SIZES[k], level, quantiles[j]))
        with multiprocessing.Pool(6) as pool:
            limits = pool.map(limit_quantiles, range(len(LEVELS)))
        for j, level in enumerate(LEVELS):
            f.write('ADINF %d %r %.15g\n' % (j, level, limits[j][0]))
        for j, level in enumerate(LEVELS):
            f.write('CMINF %d %r %.15g\n' % (j, level, limits[j][1]))


if __name__ == '__main__':
    main()
