#!/usr/bin/python3
"""The exact law of a non-overlapping template's count in a block, and what
the variance used by the statistic does to its p-values.

The count W of a template of m bits with no border (aperiodic) among the
M - m + 1 windows of a block of M random bits is computed exactly by
dynamic programming over the template's matching automaton (the count law
depends on the template only through its borders, so any aperiodic one
stands for all). From it: the exact mean and variance of W, against
    the published form  M (2^-m - (2m - 1) 2^-2m)  and
    the exact form      L p - (2m - 1) L p^2 + m (m - 1) p^2, L = M - m + 1,
and, at the window's block counts for 2^20 and 2^17 bits, the largest
distance between the law of the p-value Q(N/2, X/2) and the uniform law,
with X = sum over N blocks of (W - L p)^2 / variance (X's law taken as the
chi-square fitted to its first three cumulants, which are exact sums of the
blocks' cumulants; that fit is within 0.2 % into the tail at these N, see
long_blocks_law.py).

Writes tools/reference/notm_count_law.txt and
tests/battery/NotmCountLawReference.h; run from the repository root:
    /usr/bin/python3 tools/reference/notm_count_law.py
"""
from fractions import Fraction

import numpy as np
from scipy import special, stats


def borders(t):
    return [k for k in range(1, len(t)) if t[len(t) - k:] == t[:k]]


def count_law(template, m, M, exact=True):
    """P(W = w) for the m-bit template written MSB first: exactly, as
    integers scaled by 2^M, for w = 0 .. the most a block can hold; or in
    doubles for w up to the mean + 40 standard deviations."""
    t = [int(c) for c in format(template, '0%db' % m)]
    assert not borders(t)

    def step(s, b):
        w = t[:s] + [b]
        for k in range(min(len(w), m), -1, -1):
            if w[len(w) - k:] == t[:k]:
                return k

    trans = [[step(s, b) for b in (0, 1)] for s in range(m)]
    top = (M - m + 1) // m + 2
    if not exact:
        top = min(top, int(M / 2 ** m + 40 * (M / 2 ** m) ** 0.5 + 10))
    law = np.zeros((m, top), dtype=object if exact else float)
    law[0, 0] = 1
    for _ in range(M):
        nxt = np.zeros_like(law)
        for s in range(m):
            for b in (0, 1):
                u = trans[s][b]
                if u == m:  # a match; no border, so the automaton starts again
                    nxt[0, 1:] += law[s, :-1]
                else:
                    nxt[u] += law[s]
        law = nxt if exact else nxt / 2
    return law.sum(0)


def moments(m, M):
    if M <= 2000:
        law = count_law(1, m, M)
        total = 2 ** M
        mean = Fraction(sum(w * int(c) for w, c in enumerate(law)), total)
        var = Fraction(sum(w * w * int(c) for w, c in enumerate(law)), total) - mean ** 2
        return mean, var, True
    law = count_law(1, m, M, exact=False)
    w = np.arange(len(law))
    mean = float(law @ w)
    return mean, float(law @ (w - mean) ** 2), False


def published_var(m, M):
    return M * (Fraction(1, 2 ** m) - Fraction(2 * m - 1, 4 ** m))


def exact_var(m, M):
    p = Fraction(1, 2 ** m)
    L = M - m + 1
    return L * p - (2 * m - 1) * L * p * p + m * (m - 1) * p * p


def block_count(n, m):
    return min(max(int(n / (100.0 * 2 ** m + m - 1)), 3), 1000)


def p_value_distance(m, n, var):
    """The largest distance of the p-value's law from the uniform law."""
    N = block_count(n, m)
    M = n // N
    pw = count_law(1, m, M, exact=False)
    w = np.arange(len(pw))
    term = (w - (M - m + 1) / 2.0 ** m) ** 2 / float(var(m, M))
    k1 = float(pw @ term)
    k2 = float(pw @ (term - k1) ** 2)
    k3 = float(pw @ (term - k1) ** 3)
    b = k3 / (4 * k2)
    nu = 8 * N * k2 ** 3 / k3 ** 2
    a = N * k1 - b * nu
    levels = np.linspace(1e-4, 1 - 1e-4, 4000)
    x = 2 * special.gammainccinv(N / 2, levels)
    law_of_p = special.gammaincc(nu / 2, np.maximum(x - a, 0) / (2 * b))  # P(p-value <= level)
    return N, M, k1, float(np.max(np.abs(law_of_p - levels)))


# Exact moments against the two forms, over block lengths and template lengths.
CASES = [(2, 10), (2, 402), (2, 1048), (3, 10), (3, 100), (4, 50), (4, 1603), (5, 300), (8, 2000), (8, 26214),
         (10, 4096)]
rows = []
for m, M in CASES:
    mean, var, exact = moments(m, M)
    if exact:
        assert mean == Fraction(M - m + 1, 2 ** m) and var == exact_var(m, M)
    else:
        assert abs(mean / float(Fraction(M - m + 1, 2 ** m)) - 1) < 1e-12
        assert abs(var / float(exact_var(m, M)) - 1) < 1e-10
    rows.append((m, M, mean, var, published_var(m, M)))

distances = []
for n in (1 << 20, 1 << 17):
    for m in (2, 4, 8):
        N, M, k1, d_pub = p_value_distance(m, n, published_var)
        _, _, _, d_exact = p_value_distance(m, n, exact_var)
        distances.append((n, m, N, M, k1, d_pub, d_exact))

with open('tools/reference/notm_count_law.txt', 'w') as f:
    f.write('# Count of an aperiodic template among the M - m + 1 windows of M random bits (exact DP):\n')
    f.write('# m\tM\tmean\texact variance (= the exact form; in fractions up to M = 2000, doubles above)\tpublished form\trelative\n')
    for m, M, mean, var, pub in rows:
        f.write('%d\t%d\t%.10g\t%.10g\t%.10g\t%+.2e\n' % (m, M, mean, var, pub, float(pub) / float(var) - 1))
    f.write('# The p-value Q(N/2, X/2) at the window block counts: largest distance from uniform\n')
    f.write('# (KS p-value it gives over 10^4 and 10^5 sequences), published variance / exact variance:\n')
    for n, m, N, M, k1, d_pub, d_exact in distances:
        f.write('n %d m %d N %d M %d: term mean with the published variance %.5f; published %.4f (%.2g, %.2g); exact %.4f (%.2g, %.2g)\n' % (
            n, m, N, M, k1, d_pub, stats.kstwo.sf(d_pub, 10 ** 4), stats.kstwo.sf(d_pub, 10 ** 5), d_exact,
            stats.kstwo.sf(d_exact, 10 ** 4), stats.kstwo.sf(d_exact, 10 ** 5)))

with open('tests/battery/NotmCountLawReference.h', 'w') as f:
    f.write('// Made by tools/reference/notm_count_law.py (exact count law by dynamic\n'
            '// programming); do not edit.\n#pragma once\n\n')
    f.write('// The exact mean and variance of an aperiodic template\'s count among the\n'
            '// M - m + 1 windows of a block of M random bits.\n')
    f.write('struct NotmCountLawRef { int m, M; double mean, variance; };\n\n')
    f.write('const NotmCountLawRef NOTM_COUNT_LAW_REF[] = {\n')
    for m, M, mean, var, _ in rows:
        f.write('    {%d, %d, %.17g, %.17g},\n' % (m, M, float(mean), float(var)))
    f.write('};\n')
