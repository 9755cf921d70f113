#!/usr/bin/python3
"""Reference values for the battery's numeric library, from independent
libraries: mpmath (40 significant digits), scipy.stats (kstwobign, chi2) and
R's shapiro.test. Writes NumericReference.h beside this script; the tests
read that header, so neither the build nor CI needs these libraries.

Run with Debian's python3 (python3-scipy, python3-mpmath) and Rscript
(r-base-core) on the path:
    /usr/bin/python3 tools/reference/make_numeric_reference.py
"""
import math
import os
import subprocess
import tempfile

import mpmath as mp
import numpy as np
from scipy import stats

mp.mp.dps = 40

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "NumericReference.h")

MAXLOG = 709.782712893384
MAXNUM = 1.7976931348623157e308
FAIL = -1.0


def d(v):
    """A double as C++ source text that reads back exactly."""
    v = float(v)
    if v == MAXNUM:
        return "1.7976931348623157e308"
    if v == -MAXNUM:
        return "-1.7976931348623157e308"
    assert math.isfinite(v), v
    return repr(v)


# ---------------------------------------------------------------- gamma ---

def log_prefactor(a, x):
    """ln(x^a e^-x / Gamma(a)), the quantity whose underflow the battery
    reports as a failed p-value."""
    a, x = mp.mpf(a), mp.mpf(x)
    return a * mp.log(x) - x - mp.loggamma(a)


def gamma_q(a, x):
    """Q(a, x) as the battery defines it: 1 for x <= 0 or a <= 0, FAIL
    where the continued fraction's prefactor underflows (only reached for
    x >= 1 and x >= a)."""
    if x <= 0 or a <= 0:
        return 1.0
    if x >= 1 and x >= a:
        lp = log_prefactor(a, x)
        assert abs(lp + MAXLOG) > 0.05, (a, x)  # keep clear of the boundary
        if lp < -MAXLOG:
            return FAIL
    return float(mp.gammainc(a, x, mp.inf, regularized=True))


def gamma_p(a, x):
    if x <= 0 or a <= 0:
        return 0.0
    if x > 1 and x > a and gamma_q(a, x) == FAIL:
        return 1.0
    return float(1 - mp.gammainc(a, x, mp.inf, regularized=True))


def x_at_log_prefactor(a, target):
    """The x > a with ln(x^a e^-x / Gamma(a)) = target."""
    f = lambda x: log_prefactor(a, x) - target
    lo, hi = mp.mpf(max(a, 1)), mp.mpf(max(a, 1)) * 2 + 2000
    for _ in range(200):
        mid = (lo + hi) / 2
        if f(mid) > 0:
            lo = mid
        else:
            hi = mid
    return float(lo)


def gamma_cases():
    shapes = [0.5, 1, 1.5, 2, 2.5, 3.5, 5, 10, 10.5, 31.5, 50, 100.5, 511.5, 1000, 10000.5, 100000]
    cases = []
    for a in shapes:
        xs = {1e-10, 1e-3, 0.5, 0.999, 1.0, 1.001, 2.0, 7.5}
        for f in (0.01, 0.1, 0.5, 0.9, 0.99, 1.0, 1.01, 1.1, 1.5, 2.0, 3.0, 5.0):
            xs.add(a * f)
        # Deep upper tail, just inside and just past the underflow bound.
        xs.add(x_at_log_prefactor(a, -700.0))
        xs.add(x_at_log_prefactor(a, -709.5))
        xs.add(x_at_log_prefactor(a, -710.2))
        for x in sorted(xs):
            cases.append((a, x))
    cases += [(10, 2000), (1, 0), (1, -1), (0, 5), (-1, 5), (0.5, 3.841458820694124 / 2)]
    return cases


def chi2_cases():
    cases = []
    for df in (1, 2, 3, 5, 7, 15, 99, 255, 1023, 65535):
        for f in (0.0, 0.05, 0.5, 0.9, 1.0, 1.1, 1.5, 2.0, 4.0):
            cases.append((df, df * f))
        cases.append((df, df + 10 * math.sqrt(2 * df)))
    cases += [(1, 3.841458820694124), (1, 1e-12), (4, 3000.0), (3, 1500.0)]
    return cases


# ------------------------------------------------------------ log-gamma ---

def log_gamma(x):
    """(ln |Gamma(x)|, sign of Gamma(x)), or MAXNUM at a pole or on
    overflow (sign not checked then)."""
    if x <= 0 and x == math.floor(x):
        return MAXNUM, 0
    if x > 2.556348e305:
        return MAXNUM, 0
    v = mp.loggamma(mp.mpf(x))  # complex for x < 0: imaginary part -k pi
    value = float(mp.re(v))
    if x > 0:
        sign = 1
    else:
        k = math.floor(-x)  # x in (-k-1, -k)
        sign = -1 if k % 2 == 0 else 1
    return value, sign


LOG_GAMMA_X = [1e-300, 1e-10, 0.1, 0.5, 0.9, 1.0, 1.5, 2.0, 2.5, 2.999, 3.0, 5.5, 12.9, 13.0, 13.1, 33.5, 100.25,
               999.5, 1000.0, 1000.5, 1e5, 9.9e7, 1.01e8, 1e15, 1e300, 2.6e305,
               -1e-10, -0.5, -1.5, -2.3, -10.7, -33.9, -34.1, -40.5, -41.5, -999.5, -(2.0 ** 40 + 0.5),
               -(2.0 ** 40 + 1.5), -(2.0 ** 52 - 0.5), 0.0, -1.0, -2.0, -40.0, -1e20, -1e300]

AS245_X = [0.3, 0.7, 1.0, 1.2, 1.4999, 1.5, 2.0, 3.7, 3.9999, 4.0, 7.5, 11.99, 12.0, 12.5, 40.0, 100.0, 1e3, 13626.0,
           509999.0, 510001.0, 1e7, 1e10]


# --------------------------------------------------------- beta, medians ---

def beta_cases():
    cases = []
    for p in (0.5, 1.0, 2.0, 5.5, 10.0, 100.0, 1000.0, 5000.0):
        for q in (0.5, 1.0, 3.0, 20.0, 700.0):
            for x in (1e-6, 0.01, 0.3, 0.5, 0.7, 0.99, 1 - 1e-6):
                cases.append((x, p, q))
    return cases


def beta_ratio(x, p, q):
    return float(mp.betainc(p, q, 0, x, regularized=True))


def ln_beta(p, q):
    return float(mp.log(mp.beta(p, q)))


def order_median(n, i):
    """Median of Beta(i, n - i + 1) by scipy (Boost's inverse of the
    incomplete beta ratio)."""
    return float(stats.beta.ppf(0.5, i, n - i + 1))


def median_cases():
    cases = []
    for n in (1, 2, 3, 4, 5, 10, 11, 50, 200, 1000, 13625):
        for i in sorted({1, 2, (n + 1) // 2, n - 1, n}):
            if 1 <= i <= n:
                cases.append((n, i))
    return cases


# --------------------------------------------------------------- normal ---

NORMAL_CDF_X = [-37.0, -30.0, -20.0, -10.0, -8.0, -5.30330085889911, -3.0, -2.5, -1.959963984540054, -1.0, -0.5,
                -1e-8, 0.0, 1e-8, 0.3, 1.0, 1.959963984540054, 2.5, 5.30330085889911, 6.0, 8.0, 8.3, 10.0, 38.0,
                -999.9, -1000.0, 999.9, 1000.0, 1e300, -1e300]

NORMAL_QUANTILE_P = [1e-300, 1e-100, 1e-20, 1e-12, 1.3e-11, 1.4e-11, 1e-10, 1e-5, 0.001, 0.02, 0.0749, 0.075,
                     0.0751, 0.3, 0.4999, 0.5, 0.5001, 0.7, 0.925, 0.975, 0.999, 1 - 1e-10, 1 - 1e-15]


def normal_quantile(p):
    if p <= 0 or p >= 1:
        return 0.0
    # Newton's method on ln Phi(x) = ln p (or on the upper tail above 1/2)
    # in 40 digits, from the far-tail asymptote.
    upper = p > 0.5
    t = mp.mpf(1 - p) if upper else mp.mpf(p)
    x = -mp.sqrt(-2 * mp.log(t)) if t < 0.1 else mp.mpf(0)
    for _ in range(100):
        f = mp.log(mp.ncdf(x)) - mp.log(t)
        x -= f * mp.ncdf(x) / mp.npdf(x)
        if abs(f) < mp.mpf(10) ** -35:
            break
    return float(-x if upper else x)


# ------------------------------------------------- p-value distribution ---

def ks_limit(values, cdf):
    """The battery's KS p-value defined by Kolmogorov's limit law (scipy's
    kstwobign) at lambda = (sqrt n + 0.12 + 0.11 / sqrt n) D, with D from
    scipy.stats.kstest."""
    n = len(values)
    dist = stats.kstest(values, cdf).statistic
    lam = (math.sqrt(n) + 0.12 + 0.11 / math.sqrt(n)) * dist
    return 1.0 if lam < 0.2 else float(stats.kstwobign.sf(lam))


def ad_statistic(values):
    x = sorted(mp.mpf(v) for v in values)
    n = len(x)
    s = mp.fsum((2 * i + 1) * mp.log(max(mp.mpf("1e-20"), x[i] * (1 - x[n - 1 - i]))) for i in range(n))
    return -n - s / n


def ad_formula(z):
    """The published piecewise approximation of the upper tail of the limit
    law of A^2 that the battery uses, in 40-digit arithmetic."""
    if z < 0.01:
        return mp.mpf(1)
    if z <= 2:
        return 1 - 2 * mp.exp(-mp.mpf("1.2337") / z) * (1 + z / 8 - mp.mpf("0.04958") * z * z / (mp.mpf("1.325") + z)) / mp.sqrt(z)
    if z <= 4:
        return mp.mpf("0.6621361") * mp.exp(-mp.mpf("1.091638") * z) + mp.mpf("0.95059") * mp.exp(-mp.mpf("2.005138") * z)
    return mp.mpf("0.5946335") * mp.exp(-mp.mpf("1.527198") * z) + mp.mpf("0.4938691") * mp.exp(-mp.mpf("1.050321") * z)


def ad_limit_cdf(z):
    """Anderson and Darling's (1954) series for the limit law of A^2."""
    z = mp.mpf(z)
    total = mp.mpf(0)
    for j in range(60):
        c = (4 * j + 1) ** 2 * mp.pi ** 2
        coef = mp.binomial(-0.5, j) * (4 * j + 1) * mp.exp(-c / (8 * z))
        integral = mp.quad(lambda w: mp.exp(z / (8 * (w * w + 1)) - c * w * w / (8 * z)), [0, mp.inf])
        term = coef * integral
        total += term
        if abs(term) < mp.mpf(10) ** -30:
            break
    return mp.sqrt(2 * mp.pi) / z * total


BINOMIAL_THRESHOLDS = [0.001, 0.01, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.95, 0.99, 0.999]


def threshold_binomial(values):
    n = len(values)
    if n < 2:
        return FAIL
    cells, chi2, observed, expected = 0, 0.0, 0, 0.0
    for t in BINOMIAL_THRESHOLDS:
        observed += sum(1 for v in values if v < t)
        expected += n * t
        if expected >= 5:
            chi2 += (observed - expected) ** 2 / expected
            cells += 1
            observed, expected = 0, 0.0
    if cells <= 1:
        return -2.0
    return float(stats.chi2.sf(chi2, cells - 1))


def shapiro_r(samples):
    """W of each sample by R's shapiro.test."""
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        for s in samples:
            f.write(" ".join(repr(float(v)) for v in s) + "\n")
        path = f.name
    script = ("lines <- readLines('%s'); for (l in lines) { x <- as.numeric(strsplit(l, ' ')[[1]]); "
              "cat(sprintf('%%.17g\\n', shapiro.test(x)$statistic)) }" % path)
    out = subprocess.run(["Rscript", "-e", script], check=True, capture_output=True, text=True).stdout
    os.unlink(path)
    return [float(v) for v in out.split()]


# ---------------------------------------------------------------- output ---

def main():
    rng = np.random.default_rng(20240611)
    out = []
    w = out.append
    w("// Generated by tools/reference/make_numeric_reference.py from mpmath, scipy and R;")
    w("// do not edit. Every double is written so that it reads back exactly.")
    w("#pragma once")
    w("")
    w("namespace numref {")
    w("")
    w("struct GammaCase { double a, x, expected; };")
    w("struct ChiSquareCase { int df; double x, expected; };")
    w("struct LogGammaCase { double x, expected; int sign; };  // sign 0: not checked")
    w("struct ArgumentCase { double x, expected; };")
    w("struct BetaCase { double x, p, q, lnBeta, expected; };")
    w("struct MedianCase { int n, i; double expected; };")
    w("struct SampleCase { int n; const double* values; double expected; };")
    w("struct AdCase { int n; const double* values; double a2, formula, limit; };")
    w("")

    def table(ctype, name, rows):
        w("inline constexpr %s %s[] = {" % (ctype, name))
        for r in rows:
            w("    {%s}," % ", ".join(r))
        w("};")
        w("")

    gq = [(a, x, gamma_q(a, x)) for a, x in gamma_cases()]
    table("GammaCase", "INCOMPLETE_GAMMA_Q", [(d(a), d(x), d(v)) for a, x, v in gq])
    gp = [(a, x, gamma_p(a, x)) for a, x in gamma_cases()]
    table("GammaCase", "INCOMPLETE_GAMMA_P", [(d(a), d(x), d(v)) for a, x, v in gp])
    table("ChiSquareCase", "CHI_SQUARE",
          [(str(df), d(x), d(gamma_q(df / 2, x / 2))) for df, x in chi2_cases()])

    rows = []
    for x in LOG_GAMMA_X:
        v, s = log_gamma(x)
        rows.append((d(x), d(v), str(s)))
    table("LogGammaCase", "LOG_GAMMA", rows)
    table("ArgumentCase", "LOG_GAMMA_AS245", [(d(x), d(mp.loggamma(x))) for x in AS245_X])

    table("BetaCase", "INCOMPLETE_BETA",
          [(d(x), d(p), d(q), d(ln_beta(p, q)), d(beta_ratio(x, p, q))) for x, p, q in beta_cases()])
    table("MedianCase", "ORDER_STATISTIC_MEDIAN", [(str(n), str(i), d(order_median(n, i))) for n, i in median_cases()])

    def ncdf(x):
        if x <= -1000:
            return 0.0
        if x >= 1000:
            return 1.0
        return float(mp.ncdf(x))

    table("ArgumentCase", "NORMAL_CDF", [(d(x), d(ncdf(x))) for x in NORMAL_CDF_X])
    table("ArgumentCase", "NORMAL_QUANTILE", [(d(p), d(normal_quantile(p))) for p in NORMAL_QUANTILE_P])

    def samples(prefix, arrays):
        names = []
        for k, a in enumerate(arrays):
            name = "%s_%d" % (prefix, k)
            w("inline constexpr double %s[] = {%s};" % (name, ", ".join(d(v) for v in a)))
            names.append(name)
        w("")
        return names

    # Kolmogorov-Smirnov against the uniform law: small samples, a sample
    # so regular that lambda < 0.2, shifted and squeezed samples.
    ks_u = [[0.5], [0.1, 0.7], [0.25, 0.5, 0.75], [0.01, 0.02, 0.03]]
    for n in (2, 3, 5, 8, 13, 40, 200, 1000):
        ks_u.append(sorted(rng.random(n)))
    ks_u.append([(i + 0.5) / 400 for i in range(400)])
    ks_u.append(sorted(rng.random(300) ** 1.3))
    ks_u.append(sorted(0.2 + 0.6 * rng.random(50)))
    names = samples("KS_UNIFORM", ks_u)
    table("SampleCase", "KS_UNIFORM",
          [(str(len(a)), nm, d(ks_limit(a, "uniform"))) for a, nm in zip(ks_u, names)])

    ks_n = [[0.0], [-1.0, 2.0, 0.5]]
    for n in (2, 5, 10, 30, 100, 1000):
        ks_n.append(list(rng.standard_normal(n)))
    ks_n.append(list(1.4 * rng.standard_normal(200)))
    ks_n.append(list(0.3 + rng.standard_normal(300)))
    names = samples("KS_NORMAL", ks_n)
    table("SampleCase", "KS_NORMAL",
          [(str(len(a)), nm, d(ks_limit(a, "norm"))) for a, nm in zip(ks_n, names)])

    # Anderson-Darling: small samples; A^2 on both sides of 2 and 4; a
    # sample holding 0 and 1; a sample so regular that A^2 < 0.01.
    ad = [[0.5], [0.2, 0.9], [0.25, 0.5, 0.75], [0.0, 0.3, 1.0], [0.05, 0.06, 0.07, 0.08]]
    for n in (3, 5, 10, 25, 100, 1000):
        ad.append(sorted(rng.random(n)))
    for power in (1.6, 1.9, 2.2, 2.6, 3.2):
        ad.append(sorted(rng.random(60) ** power))
    # Skewed samples drawn until A^2 falls on each side of the formula's
    # branch points 2 and 4.
    for lo, hi in ((1.6, 2.0), (2.0, 2.5), (2.5, 3.5), (3.5, 4.0), (4.0, 4.6)):
        while True:
            a = sorted(rng.random(40) ** 1.35)
            if lo < ad_statistic(a) <= hi:
                ad.append(a)
                break
    ad.append([(i + 0.5) / 200 for i in range(200)])
    names = samples("AD_UNIFORM", ad)
    rows = []
    for a, nm in zip(ad, names):
        z = ad_statistic(a)
        limit = 1.0 if z < 0.01 else 1 - ad_limit_cdf(z)
        rows.append((str(len(a)), nm, d(z), d(ad_formula(z)), d(limit)))
    table("AdCase", "AD_UNIFORM", rows)

    # Binomial threshold counts: too few values, the two-cell case of two
    # values, values lying exactly on thresholds, uniform and skewed sets.
    tb = [[0.3], [0.3, 0.6], [0.001, 0.01, 0.05, 0.5, 0.999], [0.5] * 10]
    for n in (3, 7, 20, 100, 1000):
        tb.append(list(rng.random(n)))
    tb.append(list(rng.random(500) ** 1.2))
    names = samples("THRESHOLD_BINOMIAL", tb)
    table("SampleCase", "THRESHOLD_BINOMIAL",
          [(str(len(a)), nm, d(threshold_binomial(a))) for a, nm in zip(tb, names)])

    # Shapiro-Wilk W, sorted samples: uniform p-values (what the results
    # view passes), normal samples, ties, sizes 3 to R's limit of 5000.
    sw = [[0.25, 0.5, 0.75], [0.1, 0.2, 0.9], [0.1, 0.25, 0.5, 0.9], [0.05, 0.3, 0.31, 0.6, 0.95],
          [0.1, 0.2, 0.3, 0.4, 0.5, 0.6], [0.2, 0.2, 0.2, 0.5, 0.5, 0.9, 0.9]]
    for n in (3, 4, 5, 6, 7, 11, 20, 50, 200, 1000, 5000):
        sw.append(sorted(rng.random(n)))
    for n in (10, 100, 2000):
        sw.append(sorted(rng.standard_normal(n)))
    sw = [sorted(s) for s in sw]
    names = samples("SHAPIRO_WILK", sw)
    ws = shapiro_r(sw)
    table("SampleCase", "SHAPIRO_WILK", [(str(len(a)), nm, d(v)) for a, nm, v in zip(sw, names, ws)])

    w("}  // namespace numref")
    with open(OUT, "w") as f:
        f.write("\n".join(out) + "\n")

    # The accuracy of the piecewise A^2 approximation, for the tests'
    # tolerance: the largest distance to the limit law over a grid.
    worst = max(abs(ad_formula(mp.mpf(z)) - (1 - ad_limit_cdf(z))) for z in np.arange(0.05, 12.0, 0.05))
    print("wrote", OUT)
    print("largest |piecewise - limit| of the A^2 upper tail on [0.05, 12]: %.3g" % worst)


if __name__ == "__main__":
    main()
