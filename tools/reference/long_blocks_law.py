#!/usr/bin/python3
"""The exact null law of the long blocks (block frequency) statistic against
the three-cumulant law the program uses.

N blocks of M random bits, c_b ones in block b, X = sum (2 c_b - M)^2 / M.
Each term T has mean 1, variance 2 - 2/M and third cumulant
8 - 24/M + 16/M^2, so the chi-square with N degrees of freedom (variance 2N)
is wrong for small M. The program takes X as a + b Y with Y chi-square with
nu degrees of freedom, b = 1 - 2/M, nu = N (1 - 1/M) / b^2, a = -N / (M - 2),
which matches the first three cumulants.

The exact law: (2c - M)^2 = q k + r on a lattice (q = 4, r = 0 for even M;
q = 8, r = 1 for odd M), so X = (q K + N r) / M with K the sum of N
independent copies of k. K's law is the N-th convolution power of k's law:
in integers for N = 10, otherwise by FFT of the exponentially tilted law
(the tilt centres it on the point, so the tail keeps its relative accuracy
far below the FFT's rounding). The table compares, at lattice points near
the levels 0.5 .. 1e-8, the exact P(X >= x), the exact mid-p-value
P(X > x) + P(X = x) / 2 (what a continuous law approximates), the fitted law
and the chi-square with N degrees of freedom.

Writes tools/reference/long_blocks_law.txt and
tests/battery/LongBlocksLawReference.h; run from the repository root:
    /usr/bin/python3 tools/reference/long_blocks_law.py
"""
from fractions import Fraction
from math import comb, log

import numpy as np
from scipy import optimize, special


def lattice(m):
    q, r = (4, 0) if m % 2 == 0 else (8, 1)
    counts = [0] * ((m * m - r) // q + 1)
    for c in range(m + 1):
        d = 2 * c - m
        counts[(d * d - r) // q] += comb(m, c)
    return counts, q, r


def fitted_p(m, n, x):
    b = 1 - 2 / m
    nu = n * (1 - 1 / m) / b ** 2
    a = -n / (m - 2)
    return special.gammaincc(nu / 2, (x - a) / (2 * b))


def chi_square_p(n, x):
    return special.gammaincc(n / 2, x / 2)


def exact_integer(m, n, s0):
    """P(K >= s0) and P(K = s0) as exact fractions (small N * M^2 only)."""
    counts, _, _ = lattice(m)
    law = [1]
    for _ in range(n):
        out = [0] * (len(law) + len(counts) - 1)
        for i, u in enumerate(law):
            if u:
                for j, v in enumerate(counts):
                    out[i + j] += u * v
        law = out
    total = 2 ** (m * n)
    return Fraction(sum(law[s0:]), total), Fraction(law[s0] if s0 < len(law) else 0, total)


def exact_tilted(m, n, s0):
    """P(K >= s0) and P(K = s0) by FFT of the law tilted onto s0."""
    counts, _, _ = lattice(m)
    p = np.array([c / 2.0 ** m for c in counts])
    k = np.arange(len(p))
    mean = float(p @ k) * n

    def tilted(theta):
        w = p * np.exp(theta * k - np.max(theta * k))
        return w / w.sum()

    if s0 > mean:
        theta = optimize.brentq(lambda t: n * float(tilted(t) @ k) - s0, 0, 50)
    else:
        theta = 0.0
    pt = tilted(theta)
    # log m(theta) for the untilting, with the same shift as in tilted()
    shift = np.max(theta * k)
    log_mgf = log(float((p * np.exp(theta * k - shift)).sum())) + shift
    support = n * (len(p) - 1) + 1
    size = 1 << (support - 1).bit_length()
    law = np.fft.irfft(np.fft.rfft(pt, size) ** n, size)[:support]
    s = np.arange(support)
    tail = s >= s0
    # P(K = s) = P_theta(K = s) exp(n log m(theta) - theta s); beyond s0 the
    # factor falls, so rounding noise far out stays negligible.
    logw = n * log_mgf - theta * s[tail]
    vals = np.clip(law[tail], 0, None) * np.exp(logw)
    return float(vals.sum()), float(vals[0])


def lattice_point(m, n, level):
    """The lattice index whose fitted p-value is nearest the level."""
    _, q, r = lattice(m)
    x = optimize.brentq(lambda x: log(max(fitted_p(m, n, x), 1e-300)) - log(level), 0, 50.0 * n + 1000)
    return max(0, round((x * m - n * r) / q))


LEVELS = [0.5, 0.1, 1e-2, 1e-3, 1e-4, 1e-6, 1e-8]
CASES = [(m, 10) for m in (8, 9, 10, 16)] + [(m, n) for m in (8, 9, 10, 16, 32, 128) for n in (100, 1000)] + \
        [(8, 16384), (16, 16384), (32, 16384), (8, 131072), (16, 65536)]

rows = []
for m, n in CASES:
    _, q, r = lattice(m)
    points = sorted({lattice_point(m, n, lev) for lev in LEVELS})
    for s0 in points:
        if n == 10:
            tail, atom = exact_integer(m, n, s0)
            tail, atom = float(tail), float(atom)
        else:
            tail, atom = exact_tilted(m, n, s0)
        x = (q * s0 + n * r) / m
        rows.append((m, n, x, tail, tail - atom / 2, fitted_p(m, n, x), chi_square_p(n, x)))

# The published example: M = 10 on the first 100 bits of pi, X = 7.2.
example = (10, 10, 7.2)
k0 = round(7.2 * 10 / 4)
et, ea = exact_integer(10, 10, k0)
example_row = (10, 10, 7.2, float(et), float(et - ea / 2), fitted_p(10, 10, 7.2), chi_square_p(10, 7.2))

# The tilted FFT against the integer convolution where both run.
checks = []
for m, n, s0 in [(8, 10, 60), (8, 40, 200), (9, 30, 40), (16, 20, 500)]:
    it, ia = exact_integer(m, n, s0)
    ft, fa = exact_tilted(m, n, s0)
    checks.append((m, n, s0, float(it), ft / float(it) - 1, fa / float(ia) - 1))

with open('tools/reference/long_blocks_law.txt', 'w') as f:
    f.write('# tilted FFT / integer convolution - 1 (M, N, K, P(K >= k), tail, atom):\n')
    for c in checks:
        f.write('#   %d %d %d %.6e %+.1e %+.1e\n' % c)
    f.write('# The long blocks statistic: exact law against the fitted law and the chi-square.\n')
    f.write('# rel = fitted / exact mid-p - 1, old = chi-square / exact mid-p - 1\n')
    f.write('# M\tN\tx\texact P(X>=x)\texact mid-p\tfitted\tchi-square\trel\told\n')
    for row in [example_row] + rows:
        m, n, x, tail, mid, fit, chi = row
        f.write('%d\t%d\t%.6g\t%.6e\t%.6e\t%.6e\t%.6e\t%+.2e\t%+.2e\n' % (m, n, x, tail, mid, fit, chi, fit / mid - 1,
                                                                          chi / mid - 1))
    f.write('# largest |rel| over the points with exact mid-p >= 1e-6, by N:\n')
    for n in sorted({r[1] for r in rows}):
        worst = max(abs(r[5] / r[4] - 1) for r in rows if r[1] == n and r[4] >= 1e-6)
        worst_old = max(abs(r[6] / r[4] - 1) for r in rows if r[1] == n and r[4] >= 1e-6)
        f.write('#   N %d: fitted %.2e, chi-square %.2e\n' % (n, worst, worst_old))

with open('tests/battery/LongBlocksLawReference.h', 'w') as f:
    f.write('// Made by tools/reference/long_blocks_law.py with scipy; do not edit.\n#pragma once\n\n')
    f.write('// The exact law of the long blocks statistic at lattice points x of\n'
            '// N blocks of M bits: P(X >= x), the mid-p-value, and the fitted law.\n')
    f.write('struct LongBlocksLawRef { int m, blocks; double x, exactTail, exactMidP, fitted; };\n\n')
    f.write('const LongBlocksLawRef LONG_BLOCKS_EXAMPLE = {%d, %d, %.17g, %.17g, %.17g, %.17g};\n\n' %
            example_row[:6])
    f.write('const LongBlocksLawRef LONG_BLOCKS_LAW_REF[] = {\n')
    for m, n, x, tail, mid, fit, _ in rows:
        f.write('    {%d, %d, %.17g, %.17g, %.17g, %.17g},\n' % (m, n, x, tail, mid, fit))
    f.write('};\n')
