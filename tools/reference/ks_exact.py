#!/usr/bin/python3
"""The law of the two-sided Kolmogorov-Smirnov distance D_n of n uniform
values, for finite n: the correction table the battery adds to the Pelz-Good
series above 160 values, and the (n, d) points its tests check.

Exact references (none of them the battery's code):
  * Durbin's matrix in Marsaglia, Tsang and Wang's form, P(D_n < d), in
    double precision: scipy.stats._ksstats._kolmogn_DMTW; a few small cases
    are checked against the same matrix in 40-digit mpmath arithmetic;
  * the one-sided law P(D_n^+ >= d) by Birnbaum and Tingey's exact sum in
    40-digit mpmath; for d >= 0.5, P(D_n >= d) = 2 P(D_n^+ >= d) exactly,
    and below that the two-sided tail is 2 P(D_n^+ >= d) minus the chance of
    crossing both bands, which this script measures;
  * scipy.stats.kstwo.sf, listed beside them: Simard and L'Ecuyer's choice of
    methods, exact for n <= 140 but for n > 140 the Pelz-Good series (about
    five digits) and 2 P(D_n^+ >= d) from n d^2 >= 2.2; its departures from
    the exact values are printed.

The Pelz-Good series (Pelz and Good 1976; Simard and L'Ecuyer 2011) leaves an
error in P(D_n < d) that scales as 1/n^2 at a fixed z = d sqrt(n). The
script fits n^2 (exact - series) = a(z) + b(z)/sqrt(n) + c(z)/n over n from
141 to 4,000 on a grid of z and writes a, b, c for cubic interpolation;
the corrected series is then checked off the grid against Durbin's matrix
(from n = 161 on, the battery's choice, it stays within 1e-8).

Writes battery/KsSeriesCorrection.h, tests/battery/KsExactReference.h (the
points, and the exact p-values of the samples KS_UNIFORM and KS_NORMAL of
tools/reference/NumericReference.h) and
prints a summary (tools/reference/ks_exact.txt). Run from the repository root:
    /usr/bin/python3 tools/reference/ks_exact.py > tools/reference/ks_exact.txt
"""
import math
import re

import mpmath as mp
import numpy as np
from scipy import stats
from scipy.stats._ksstats import _kolmogn_DMTW, _kolmogn_PelzGood

mp.mp.dps = 40

Z0, DZ, ZCOUNT = 0.15, 0.01, 176  # z from 0.15 to 1.90
FIT_N = [141, 160, 190, 230, 280, 350, 450, 600, 800, 1100, 1500, 2100, 3000, 4000]
TAIL = 3.5  # from n d^2 = 3.5 on the battery uses 2 P(D_n^+ >= d)


def smirnov_mp(n, d):
    """P(D_n^+ >= d), Birnbaum and Tingey's sum in mpmath."""
    d = mp.mpf(d)
    if d >= 1:
        return mp.mpf(0)
    if d <= 0:
        return mp.mpf(1)
    total = mp.mpf(0)
    for j in range(0, int(mp.floor(n * (1 - d))) + 1):
        a = 1 - d - mp.mpf(j) / n
        if a <= 0:
            continue
        total += mp.binomial(n, j) * a ** (n - j) * (d + mp.mpf(j) / n) ** (j - 1)
    return d * total


def durbin_mp(n, d):
    """P(D_n < d) by Durbin's matrix in mpmath (small n only)."""
    d = mp.mpf(d)
    k = int(mp.ceil(n * d))
    h = k - n * d
    m = 2 * k - 1
    H = mp.matrix(m, m)
    for i in range(m):
        for j in range(m):
            if i - j + 1 >= 0:
                H[i, j] = 1 / mp.factorial(i - j + 1)
    for i in range(m):
        H[i, 0] -= h ** (i + 1) / mp.factorial(i + 1)
        H[m - 1, i] -= h ** (m - i) / mp.factorial(m - i)
    if 2 * h - 1 > 0:
        H[m - 1, 0] += (2 * h - 1) ** m / mp.factorial(m)
    P = H ** n
    return P[k - 1, k - 1] * mp.factorial(n) / mp.mpf(n) ** n


def exact_sf(n, d):
    """P(D_n >= d) and the method that gave it."""
    if d >= 1:
        return 0.0, "d >= 1"
    if n * d <= 0.5:
        return 1.0, "nd <= 1/2"
    if d >= 0.5:
        return float(2 * smirnov_mp(n, d)), "2 one-sided (exact)"
    if n * d * d < TAIL:
        return 1.0 - float(_kolmogn_DMTW(n, d, cdf=True)), "Durbin"
    # Beyond, 1 - P(D_n < d) in double precision would lose digits: the
    # two-sided tail is 2 P(D_n^+ >= d) less the two-band term, which is
    # below 1e-9 of it from n d^2 = 3.5 on (measured below).
    return float(2 * smirnov_mp(n, d)), "2 one-sided"


def fit_table():
    zs = [Z0 + DZ * i for i in range(ZCOUNT)]
    u = 1 / np.sqrt(np.array(FIT_N, dtype=float))
    V = np.vander(u, 3, increasing=True)
    rows = []
    for z in zs:
        t = [float(n * n * (_kolmogn_DMTW(n, z / math.sqrt(n), cdf=True) - _kolmogn_PelzGood(n, z / math.sqrt(n))))
             for n in FIT_N]
        rows.append(np.linalg.lstsq(V, np.array(t), rcond=None)[0])
    return zs, rows


def cubic(values, z):
    """Catmull-Rom interpolation on the grid, as the battery does it."""
    x = (z - Z0) / DZ
    i = min(max(int(math.floor(x)), 1), ZCOUNT - 3)
    t = x - i
    p0, p1, p2, p3 = values[i - 1], values[i], values[i + 1], values[i + 2]
    return p1 + 0.5 * t * (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)))


def corrected_series_sf(n, d, rows):
    z = d * math.sqrt(n)
    cdf = float(_kolmogn_PelzGood(n, d))
    if Z0 + DZ <= z <= Z0 + DZ * (ZCOUNT - 2):
        a, b, c = (cubic([r[k] for r in rows], z) for k in range(3))
        cdf += (a + b / math.sqrt(n) + c / n) / (n * n)
    return 1.0 - cdf


def points():
    """(n, d) points from n = 1 to 9,999 (and a few beyond): edges of the exact formulas and
    distances spread over the law's range down to p = 1e-10."""
    out = []
    for n in (1, 2, 3, 4, 5, 7, 10, 16, 25, 40, 50, 64, 100, 139, 140, 141, 150, 200, 300, 500, 777, 1000, 2000,
              3500, 5000, 7500, 9999):
        ds = {0.5 / n, 0.7 / n, 1.0 / n, 1.3 / n, 0.5, 0.62}
        if n > 1:
            ds |= {(n - 1.0) / n, 1 - 0.3 / n}
        for lam in (0.2, 0.27, 0.35, 0.45, 0.55, 0.66, 0.8, 0.95, 1.1, 1.23, 1.4, 1.6, 1.8, 1.86, 1.88, 2.05, 2.3,
                    2.6, 3.0, 3.4, 3.9, 4.4):
            ds.add(lam / math.sqrt(n))
        for d in sorted(ds):
            if 0 < d < 1:
                out.append((n, d))
    # Beyond 9,999 values (the summary rows, the DFT test's spectra) in the
    # tail, where the one-sided exact sum is the reference.
    for n in (20000, 100000):
        for lam in (1.9, 2.6, 3.4, 4.4, 9.0):
            out.append((n, lam / math.sqrt(n)))
    return out


def numref_samples(prefix):
    """The samples of tools/reference/NumericReference.h named prefix_<k>, in
    order (that header's generator needs R, so they are read back)."""
    text = open("tools/reference/NumericReference.h").read()
    found = re.findall(r"inline constexpr double %s_(\d+)\[\] = \{([^}]*)\};" % prefix, text)
    return [[float(v) for v in body.split(",")] for _, body in sorted(found, key=lambda f: int(f[0]))]


def distance(values, cdf):
    """The two-sided distance of the sorted values to cdf, in mpmath."""
    u = [cdf(mp.mpf(v)) for v in sorted(values)]
    n = len(u)
    return float(max(max(mp.mpf(i + 1) / n - x, x - mp.mpf(i) / n) for i, x in enumerate(u)))


def main():
    zs, rows = fit_table()
    with open("battery/KsSeriesCorrection.h", "w") as f:
        f.write("// Generated by tools/reference/ks_exact.py; do not edit.\n")
        f.write("// n^2 (P(D_n < d) - Pelz-Good series) = a + b / sqrt(n) + c / n at\n")
        f.write("// z = d sqrt(n) = KS_CORRECTION_Z0 + i KS_CORRECTION_DZ, fitted to Durbin's\n")
        f.write("// exact matrix over n from 141 to 4,000.\n#pragma once\n\n")
        f.write("inline constexpr double KS_CORRECTION_Z0 = %r;\n" % Z0)
        f.write("inline constexpr double KS_CORRECTION_DZ = %r;\n" % DZ)
        f.write("inline constexpr int KS_CORRECTION_COUNT = %d;\n" % ZCOUNT)
        f.write("inline constexpr double KS_CORRECTION[KS_CORRECTION_COUNT][3] = {\n")
        for r in rows:
            f.write("    {%r, %r, %r},\n" % tuple(float(v) for v in r))
        f.write("};\n")

    print("Pelz-Good series error n^2 (exact - series) fitted as a + b/sqrt(n) + c/n, z = %g .. %g step %g"
          % (Z0, Z0 + DZ * (ZCOUNT - 1), DZ))
    # The fit against exact values off the grid and off the fitted n.
    print("\nCorrected series against Durbin's matrix, off the grid (relative error of the p-value):")
    rng = np.random.default_rng(104)
    worst_raw = {}
    worst_fix = {}
    for n in (141, 145, 155, 161, 173, 260, 411, 999, 2345, 5001, 9999):
        wr = wf = 0.0
        for z in list(rng.uniform(0.16, math.sqrt(TAIL), 12 if n < 5000 else 4)) + [math.sqrt(TAIL) - 1e-9]:
            d = z / math.sqrt(n)
            ex = 1.0 - float(_kolmogn_DMTW(n, d, cdf=True))
            wr = max(wr, abs(1.0 - float(_kolmogn_PelzGood(n, d)) - ex) / ex)
            wf = max(wf, abs(corrected_series_sf(n, d, rows) - ex) / ex)
        worst_raw[n], worst_fix[n] = wr, wf
        print("  n %5d  series alone %.2e  corrected %.2e" % (n, wr, wf))

    print("\nTwo-band term: 2 P(D_n^+ >= d) against Durbin's P(D_n >= d), relative, at n d^2 = 3.5 and 4.5:")
    for n in (10, 30, 50, 100, 140, 141, 500, 2000, 9999):
        out = []
        for nd2 in (TAIL, 4.5):
            d = math.sqrt(nd2 / n)
            if d >= 0.5:
                continue
            ex = 1.0 - float(_kolmogn_DMTW(n, d, cdf=True))
            two = float(2 * smirnov_mp(n, d))
            out.append("%.2e" % ((two - ex) / ex))
        print("  n %5d  %s" % (n, "  ".join(out)))

    print("\nDurbin's matrix in double (scipy) against 40-digit mpmath:")
    for n, d in ((5, 0.3), (20, 0.2), (40, 0.15), (40, 0.3)):
        ex = durbin_mp(n, d)
        print("  n %3d d %.2f  relative %.1e" % (n, d, abs(float(_kolmogn_DMTW(n, d, cdf=True)) - float(ex)) / float(ex)))

    table = []
    print("\nReference points: n, d, exact P(D_n >= d), method, scipy kstwo.sf relative departure")
    worst_scipy = 0.0
    for n, d in points():
        ex, how = exact_sf(n, d)
        sc = float(stats.kstwo.sf(d, n))
        rel = abs(sc - ex) / ex if ex > 0 else abs(sc)
        if ex > 1e-10 and n <= 140:
            worst_scipy = max(worst_scipy, rel)
        table.append((n, d, ex, sc))
        print("  %5d %.17g %.17g %-20s %.1e" % (n, d, ex, how, rel))
    print("\nscipy kstwo.sf against the exact values for n <= 140, p > 1e-10: worst relative %.1e" % worst_scipy)

    with open("tests/battery/KsExactReference.h", "w") as f:
        f.write("// Generated by tools/reference/ks_exact.py (Durbin's exact matrix and the\n")
        f.write("// one-sided exact sum, with scipy's kstwo.sf beside them); do not edit.\n")
        f.write("#pragma once\n\nnamespace ksref {\n\n")
        f.write("struct Point { int n; double d, exact, scipy; };\n\n")
        f.write("inline constexpr Point POINTS[] = {\n")
        for n, d, ex, sc in table:
            f.write("    {%d, %r, %r, %r},\n" % (n, d, ex, sc))
        f.write("};\n\n")
        # The exact p-values of the uniform and normal samples of
        # NumericReference.h (KS_UNIFORM, KS_NORMAL), in their order.
        for name, cdf in (("KS_UNIFORM", lambda x: x), ("KS_NORMAL", mp.ncdf)):
            values = [exact_sf(len(a), distance(a, cdf))[0] for a in numref_samples(name)]
            f.write("inline constexpr double %s_EXACT[] = {%s};\n\n" % (name, ", ".join(repr(v) for v in values)))
        f.write("}  // namespace ksref\n")


if __name__ == "__main__":
    main()
