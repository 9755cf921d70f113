#!/usr/bin/python3
"""Reference p-values of the binary matrix rank test and of Maurer's
universal statistic, computed independently with Python integers, exact
fractions and mpmath from the published formulas.

Rank: matrices of R x C bits filled row by row from consecutive bits; the
rank over GF(2) by elimination on Python integers; the exact rank law
P(r) = 2^(r(R+C-r)-RC) prod_{k<r} (1-2^(k-R))(1-2^(k-C))/(1-2^(k-r)) in
exact fractions; classes merged from the full rank downward until each
expects at least 5, the scan stopping after the first rank expected less than
0.001 times; a size is judged with four or more classes, or with three
whose smallest expects at least 30; p = Q(df/2, chi2/2) with df = classes - 1
for four or more classes; for three, the exact mid-p-value of chi2 under the
multinomial law of the matrices over the three classes and the rest, every
outcome enumerated (below 1e-20, a plain failure, the chi-square p-value).

Maurer: L-bit blocks most significant bit first; the initialisation runs
until every value has appeared and at least 10 * 2^L blocks are read; f is
the mean base-2 logarithm of the repeat distances over the rest; z uses
Maurer's E(L), V(L) and the Coron-Naccache factor c^2 = d(L) + e(L) 2^L / K;
p = erfc(|z| / sqrt 2).

The sequences are the words of xorshift32 (13, 17, 5) from a seed, bit t
being bit t mod 32 of word t / 32. Writes tests/battery/RankMaurerReference.h;
run from the repository root:
    /usr/bin/python3 tools/reference/rank_maurer.py
"""
import os
import sys
from fractions import Fraction
import math
import mpmath as mp

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import bits, chi2_tail  # noqa: E402

mp.mp.dps = 40


def rank_law(R, C, r):
    p = Fraction(2) ** (r * (R + C - r) - R * C)
    for k in range(r):
        p *= (1 - Fraction(2) ** (k - R)) * (1 - Fraction(2) ** (k - C)) / (1 - Fraction(2) ** (k - r))
    return p


def gf2_rank(rows):
    rows = list(rows)
    rank = 0
    while rows:
        pivot = rows.pop()
        if pivot == 0:
            continue
        rank += 1
        low = pivot & -pivot
        rows = [r ^ pivot if r & low else r for r in rows]
    return rank


def rank_p(b, R, C):
    N = len(b) // (R * C)
    m = min(R, C)
    counts = [0] * (m + 1)
    for i in range(N):
        start = i * R * C
        rows = []
        for r in range(R):
            row = 0
            for j in range(C):  # the first bit of a row goes to column C - 1
                row = (row << 1) | b[start + r * C + j]
            rows.append(row)
        counts[gf2_rank(rows)] += 1
    chi2, classes, O, S, smallest = Fraction(0), 0, 0, Fraction(0), None
    class_probs, class_counts = [], []
    for r in range(m, -1, -1):
        P = rank_law(R, C, r)
        O += counts[r]
        S += P
        if N * S >= 5:
            class_probs.append(S)
            class_counts.append(O)
            chi2 += (O - N * S) ** 2 / (N * S)
            classes += 1
            smallest = N * S if smallest is None else min(smallest, N * S)
            O, S = 0, Fraction(0)
        if N * P < Fraction(1, 1000):
            break
    # Three classes need every class to expect at least 30 matrices.
    if classes < 3 or (classes == 3 and smallest < 30):
        return None
    if classes == 3 or (classes == 4 and smallest < 10):
        # Below 1e-20 (a plain failure either way) the chi-square p-value
        # stands. The program randomises between P(X > x) and P(X >= x).
        tails = three_class_tails if classes == 3 else four_class_tails
        above, equal = tails(N, class_probs, class_counts)
        mid = mp.mpf(above + equal / 2)
        if mid >= 1e-20:
            return mid, mp.mpf(above), mp.mpf(above + equal)
        p = chi2_tail(classes - 1, chi2)
        return p, p, p
    p = chi2_tail(classes - 1, chi2)
    return p, p, p


def three_class_tails(N, q, O):
    """P(X > x) and P(X = x) of the three-class chi-square x of the counts O
    under the multinomial law of N matrices over the three classes and what
    is left, every outcome enumerated."""
    import numpy as np
    from scipy import special
    q = [float(v) for v in q]
    rest = max(0.0, 1 - sum(q))
    E = [N * v for v in q]

    def stat(a, b, c):
        return (a - E[0]) ** 2 / E[0] + (b - E[1]) ** 2 / E[1] + (c - E[2]) ** 2 / E[2]

    x = stat(*[float(o) for o in O])
    a, b = np.meshgrid(np.arange(N + 1), np.arange(N + 1), indexing='ij')
    above = equal = 0.0
    for d in range(N + 1 if rest > 0 else 1):
        c = N - d - a - b
        ok = c >= 0
        aa, bb, cc = a[ok], b[ok], c[ok]
        lp = (special.gammaln(N + 1) - special.gammaln(aa + 1) - special.gammaln(bb + 1) - special.gammaln(cc + 1)
              - special.gammaln(d + 1) + aa * np.log(q[0]) + bb * np.log(q[1]) + cc * np.log(q[2]))
        if d > 0:
            lp += d * np.log(rest)
        pr = np.exp(lp)
        if d > N * rest and pr.sum() < 1e-30:
            break
        X = stat(aa, bb, cc)
        above += pr[X > x * (1 + 1e-9)].sum()
        equal += pr[np.abs(X - x) <= 1e-9 * x].sum()
    return above, equal


def four_class_tails(N, q, O):
    """P(X > x) and P(X = x) of the four-class chi-square x of the counts O
    under the multinomial law of N matrices over the four classes and what
    is left: every outcome whose counts of the third class lie within 15
    standard deviations of its mean (what lies beyond weighs below 1e-40)."""
    import numpy as np
    from scipy import special
    q = [float(v) for v in q]
    rest = max(0.0, 1 - sum(q))
    E = [N * v for v in q]

    def stat(a, b, c, e):
        return ((a - E[0]) ** 2 / E[0] + (b - E[1]) ** 2 / E[1] + (c - E[2]) ** 2 / E[2]
                + (e - E[3]) ** 2 / E[3])

    x = stat(*[float(o) for o in O])
    sd = (N * q[2] * (1 - q[2])) ** 0.5
    cs = range(max(0, int(E[2] - 15 * sd)), min(N, int(E[2] + 15 * sd)) + 1)
    above = equal = 0.0
    a = np.arange(N + 1)
    for d in range(N + 1 if rest > 0 else 1):
        mass = 0.0
        for e in range(N + 1 - d):
            me = 0.0
            for c in cs:
                b = N - d - e - c - a
                ok = b >= 0
                aa, bb = a[ok], b[ok]
                if aa.size == 0:
                    continue
                lp = (special.gammaln(N + 1) - special.gammaln(aa + 1) - special.gammaln(bb + 1) - special.gammaln(c + 1)
                      - special.gammaln(e + 1) - special.gammaln(d + 1) + aa * np.log(q[0]) + bb * np.log(q[1])
                      + c * np.log(q[2]) + e * np.log(q[3]))
                if d > 0:
                    lp += d * np.log(rest)
                pr = np.exp(lp)
                X = stat(aa, bb, c, e)
                above += pr[X > x * (1 + 1e-9)].sum()
                equal += pr[np.abs(X - x) <= 1e-9 * x].sum()
                me += pr.sum()
            mass += me
            if e > E[3] and me < 1e-40:
                break
        if d > N * rest and mass < 1e-40:
            break
    return above, equal


MAURER = {  # L: E, V, d, e
    2: (1.5374383, 1.3377388, 0.2363135, 0.5594976),
    3: (2.4016068, 1.9013347, 0.2732725, 0.4890883),
    4: (3.3112247, 2.3577369, 0.3045101, 0.4435381),
    5: (4.2534266, 2.7045528, 0.3296587, 0.4137196),
    6: (5.2177052, 2.9540324, 0.3489769, 0.3941338),
    7: (6.1962507, 3.1253919, 0.3631815, 0.381321),
    8: (7.1836656, 3.2386622, 0.3732189, 0.3730195),
}


def maurer_p(b, L):
    B = len(b) // L
    vals = [int(''.join(map(str, b[i * L:(i + 1) * L])), 2) for i in range(B)]
    last = {}
    i = 0
    while True:
        last[vals[i]] = i
        i += 1
        if i == B:
            return 'FAIL' if len(last) < 2 ** L else 'SHORT'
        if len(last) == 2 ** L and i >= 10 * 2 ** L:
            break
    Q = i
    K = B - Q
    if K < 33 * 2 ** L:
        return 'SHORT'
    s = mp.mpf(0)
    for j in range(Q, B):
        s += mp.log(j - last[vals[j]])
        last[vals[j]] = j
    f = s / K / mp.log(2)
    E, V, d, e = (mp.mpf(x) for x in MAURER[L])
    var = (2 ** L * e / K + d) * V / K
    z = (f - E) / mp.sqrt(var)
    return mp.erfc(abs(z) / mp.sqrt(2))


RANK_CASES = [(11, 1 << 20, 32, 32), (12, 1 << 16, 8, 8), (13, 84000, 6, 70), (14, 3000000, 100, 100),
              (15, 500000, 20, 18), (16, 1306800, 66, 66), (17, 300000, 70, 65), (18, 500000, 100, 100),
              (19, 1 << 20, 64, 63), (20, 1 << 20, 64, 64)]
MAURER_CASES = [(21, 1 << 17, [2, 3, 4, 5, 6, 7]), (22, 200001, [2, 5, 7, 8])]


def num(p):
    if not isinstance(p, str) and p < mp.mpf("1e-300"):
        return "0"  # beyond a double: the program fails it

    if isinstance(p, str):
        return 'PVALUE_' + p
    return mp.nstr(p, 17)


with open('tests/battery/RankMaurerReference.h', 'w') as f:
    f.write('// Made by tools/reference/rank_maurer.py; do not edit.\n#pragma once\n\n'
            '#include "battery/RunState.h"\n\n')
    f.write('// p: the chi-square p-value (four or more classes) or the exact\n'
            '// mid-p-value (three classes, or four of which one expects fewer than\n'
            '// ten matrices), whose randomised p-value lies between\n'
            '// greater = P(X > x) and atLeast = P(X >= x) (both p otherwise).\n'
            'struct RankRef { unsigned seed, n; int R, C; bool judged; double p, greater, atLeast; };\n\n'
            'const RankRef RANK_REF[] = {\n')
    for seed, n, R, C in RANK_CASES:
        r = rank_p(bits(seed, n), R, C)
        f.write('    {%d, %d, %d, %d, %s, %s},\n' % (seed, n, R, C, 'false' if r is None else 'true',
                                                     '0, 0, 0' if r is None else ', '.join(num(v) for v in r)))
    f.write('};\n\nstruct MaurerRef { unsigned seed, n; int L; double p; };\n\nconst MaurerRef MAURER_REF[] = {\n')
    for seed, n, Ls in MAURER_CASES:
        b = bits(seed, n)
        for L in Ls:
            f.write('    {%d, %d, %d, %s},\n' % (seed, n, L, num(maurer_p(b, L))))
    f.write('};\n')
