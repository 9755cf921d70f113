#!/usr/bin/python3
"""Exact mid-p-values of the rank test's three-class chi-square at chosen
class counts, for the three-class sizes of the window's default grid at
2^20 bits and one at 3 * 10^6 bits.

Classes as the test makes them: ranks from the full rank downward, a class
closed once N times its probability reaches 5, the scan stopping after the
first rank expected less than 0.001 times; what is left is not judged. The
law of the class counts is multinomial over the three classes and the rest;
P(X > x) + P(X = x) / 2, and the randomised p-value's bounds P(X > x) and
P(X >= x), sum every outcome within 12 standard deviations of
each count's conditional mean (the rest weighs less than 1e-30).

Writes tests/battery/RankThreeClassReference.h; run from the repository root:
    /usr/bin/python3 tools/reference/rank_three_class_cases.py
"""
from fractions import Fraction

import numpy as np
from scipy import special


def rank_law(R, C, r):
    p = Fraction(2) ** (r * (R + C - r) - R * C)
    for k in range(r):
        p *= (1 - Fraction(2) ** (k - R)) * (1 - Fraction(2) ** (k - C)) / (1 - Fraction(2) ** (k - r))
    return p


def three_classes(R, C, N):
    """The three class probabilities, or None when the size has not three."""
    classes, S = [], Fraction(0)
    for r in range(min(R, C), -1, -1):
        P = rank_law(R, C, r)
        S += P
        if N * S >= 5:
            classes.append(S)
            S = Fraction(0)
        if N * P < Fraction(1, 1000):
            break
    return [float(q) for q in classes] if len(classes) == 3 else None


def window(n, p):
    mean, sd = n * p, np.sqrt(n * p * (1 - p))
    return max(0, int(np.floor(mean - 12 * sd - 2))), min(n, int(np.ceil(mean + 12 * sd + 2)))


def mid_p(N, q, O):
    rest = max(0.0, 1 - sum(q))
    E = [N * v for v in q]

    def stat(a, b, c):
        return (a - E[0]) ** 2 / E[0] + (b - E[1]) ** 2 / E[1] + (c - E[2]) ** 2 / E[2]

    x = stat(*O)
    above = equal = 0.0
    d_lo, d_hi = window(N, rest) if rest > 0 else (0, 0)
    for d in range(d_lo, d_hi + 1):
        n = N - d
        a_lo, a_hi = window(n, q[0] / (1 - rest))
        a = np.arange(a_lo, a_hi + 1)[:, None]
        b_lo, b_hi = window(n, q[1] / (1 - rest))
        b = np.arange(b_lo, b_hi + 1)[None, :]
        c = n - a - b
        ok = c >= 0
        lp = (special.gammaln(N + 1) - special.gammaln(a + 1) - special.gammaln(b + 1)
              - special.gammaln(np.maximum(c, 0) + 1) - special.gammaln(d + 1)
              + a * np.log(q[0]) + b * np.log(q[1]) + c * np.log(q[2]) + (d * np.log(rest) if d else 0))
        pr = np.where(ok, np.exp(lp), 0.0)
        X = stat(a, b, c)
        above += pr[X > x * (1 + 1e-12)].sum()
        equal += pr[np.abs(X - x) <= 1e-12 * x].sum()
    return above, equal


SIZES = [(16, 14, 1 << 20), (16, 15, 1 << 20), (16, 17, 1 << 20), (16, 18, 1 << 20), (32, 31, 1 << 20),
         (32, 33, 1 << 20), (64, 64, 1 << 20), (100, 100, 3000000)]
rows = []
for R, C, n in SIZES:
    N = n // (R * C)
    q = three_classes(R, C, N)
    assert q is not None, (R, C)
    sd = [np.sqrt(N * v * (1 - v)) for v in q]
    for k0, k1 in [(0, 0), (1, -1), (-1, 2), (3, -2), (-4, 0)]:
        O = [int(round(N * q[0] + k0 * sd[0])), int(round(N * q[1] + k1 * sd[1]))]
        O.append(int(round(N * q[2])) - (O[0] + O[1] - int(round(N * q[0])) - int(round(N * q[1]))))
        if O[2] < 0:
            continue
        above, equal = mid_p(N, q, O)
        rows.append((R, C, N, q, O, above + equal / 2, above, above + equal))

with open('tests/battery/RankThreeClassReference.h', 'w') as f:
    f.write('// Made by tools/reference/rank_three_class_cases.py with scipy; do not edit.\n#pragma once\n\n'
            '#include <cstdint>\n\n')
    f.write('// Three-class sizes: N matrices, the class probabilities, class counts\n'
            '// and the exact mid-p-value of their chi-square, P(X > x) and P(X >= x).\n')
    f.write('struct RankThreeClassRef { int R, C; uint64_t N; double q[3]; uint64_t O[3]; double midP, greater, atLeast; };\n\n')
    f.write('const RankThreeClassRef RANK_THREE_CLASS_REF[] = {\n')
    for R, C, N, q, O, p, g, a in rows:
        f.write('    {%d, %d, %d, {%.17g, %.17g, %.17g}, {%d, %d, %d}, %.17g, %.17g, %.17g},\n' % (
            R, C, N, q[0], q[1], q[2], O[0], O[1], O[2], p, g, a))
    f.write('};\n')
