#!/usr/bin/python3
"""Reference p-values of the cumulative sums, block frequency (long blocks)
and serial two-bit tests, computed with mpmath from the published formulas.
For the cumulative sums also the law's next value P(n, z + 1) = P(Z > z) of
each excursion, the lower end of the range its randomised p-value lies in.

The sequences are the words of xorshift32 (13, 17, 5) from a seed, stored
as the program stores them: bit t is bit t mod 32 of word t / 32.
Writes tests/battery/FirstTestsReference.h; run from the repository root:
    /usr/bin/python3 tools/reference/first_tests.py
"""
import os
import sys
import mpmath as mp

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import bits  # noqa: E402

# Enough digits that 1 - s1 + s2 keeps p-values down to 1e-300.
mp.mp.dps = 350


def phi(x):
    return mp.ncdf(x)


def cusum_p(n, z):
    n = mp.mpf(n)
    z = mp.mpf(z)
    s1 = mp.mpf(0)
    for k in range(int(mp.floor((-n / z + 1) / 4)), int(mp.floor((n / z - 1) / 4)) + 1):
        s1 += phi((4 * k + 1) * z / mp.sqrt(n)) - phi((4 * k - 1) * z / mp.sqrt(n))
    s2 = mp.mpf(0)
    for k in range(int(mp.floor((-n / z - 3) / 4)), int(mp.floor((n / z - 1) / 4)) + 1):
        s2 += phi((4 * k + 3) * z / mp.sqrt(n)) - phi((4 * k + 1) * z / mp.sqrt(n))
    # The series is asymptotic: for a few very short walks it exceeds 1,
    # where the program reports 1.
    return min(mp.mpf(1), 1 - s1 + s2)


def excursion(b):
    s, z = 0, 1
    for x in b:
        s += 1 if x else -1
        z = max(z, abs(s))
    return z


def two_bit_p(b):
    n = len(b)
    n1 = sum(b)
    n0 = n - n1
    c = [0, 0, 0, 0]
    for t in range(1, n):
        c[2 * b[t - 1] + b[t]] += 1
    x = mp.mpf(4) / (n - 1) * sum(v * v for v in c) - mp.mpf(2) / n * (n0 * n0 + n1 * n1) + 1
    return mp.gammainc(1, x / 2, mp.inf, regularized=True)


def block_p(b, m):
    n = len(b)
    blocks = n // m
    s = sum((mp.mpf(sum(b[i * m:(i + 1) * m])) / m - mp.mpf(1) / 2) ** 2 for i in range(blocks))
    x = 4 * m * s
    # The chi-square fitted to the first three cumulants of the statistic
    # (tools/reference/long_blocks_law.py): a + b Y, Y with nu degrees of freedom.
    m = mp.mpf(m)
    b = 1 - 2 / m
    nu = blocks * (1 - 1 / m) / b ** 2
    a = -blocks / (m - 2)
    return mp.gammainc(nu / 2, (x - a) / (2 * b), mp.inf, regularized=True)


CASES = [(1, 100), (2, 1000), (3, 4099), (4, 20000), (5, 65536), (6, 100001)]
BLOCK_SIZES = [8, 13, 100, 1000]

rows = []
for seed, n in CASES:
    b = bits(seed, n)
    fz = excursion(b)
    bz = excursion(reversed(b))
    blocks = [(m, block_p(b, m)) for m in BLOCK_SIZES if n // m >= 10]
    rows.append((seed, n, fz, cusum_p(n, fz), bz, cusum_p(n, bz), two_bit_p(b), blocks))

# The excursion alone, over a grid of (n, z) with at most about a thousand
# terms per sum, with tails down to 1e-300.
grid = []
for n in (5, 10, 20, 100, 1000, 10**6, 2**32 - 1):
    for z in sorted({1, 2, 3, 4, 5, max(1, n // 7), max(1, n // 3), max(1, n // 2), n,
                     int(mp.sqrt(n)), int(3 * mp.sqrt(n)), int(10 * mp.sqrt(n)), int(30 * mp.sqrt(n))}):
        if 1 <= z <= n and n / z <= 4000:
            p = cusum_p(n, z)
            if p > mp.mpf('1e-300'):
                grid.append((n, z, p))

# The published examples (the ten-bit one, and the hundred bits of NIST
# SP 800-22's cumulative sums example, forward z = 16 and backward z = 19):
# both ends of each excursion's atom, P(Z >= z) and P(Z > z).
published = [(10, 4), (100, 16), (100, 19)]

with open('tests/battery/FirstTestsReference.h', 'w') as f:
    f.write('// Made by tools/reference/first_tests.py with mpmath; do not edit.\n#pragma once\n\n')
    f.write('struct BlockRef { int m; double p; };\n')
    f.write('struct FirstTestsRef {\n  unsigned seed, n, forwardZ;\n  double forwardP;\n  unsigned backwardZ;\n'
            '  double backwardP, twoBitP;\n  int blockCount;\n  BlockRef blocks[4];\n};\n\n')
    f.write('const FirstTestsRef FIRST_TESTS_REF[] = {\n')
    for seed, n, fz, fp, bz, bp, tp, blocks in rows:
        bl = ', '.join('{%d, %s}' % (m, mp.nstr(p, 17)) for m, p in blocks) or '{0, 0}'
        f.write('    {%d, %d, %d, %s, %d, %s, %s, %d, {%s}},\n' % (
            seed, n, fz, mp.nstr(fp, 17), bz, mp.nstr(bp, 17), mp.nstr(tp, 17), len(blocks), bl))
    f.write('};\n\nstruct CusumRef { unsigned n, z; double p; };\n\nconst CusumRef CUSUM_REF[] = {\n')
    for n, z, p in grid:
        f.write('    {%du, %du, %s},\n' % (n, z, mp.nstr(p, 17)))
    f.write('};\n')
    f.write('\n// P(Z > z) = P(n, z + 1) for the forward and backward excursions of\n'
            '// FIRST_TESTS_REF, in its order.\n'
            'struct CusumBeyondRef { double forwardP, backwardP; };\n\n'
            'const CusumBeyondRef CUSUM_BEYOND_REF[] = {\n')
    for seed, n, fz, fp, bz, bp, tp, blocks in rows:
        f.write('    {%s, %s},\n' % (mp.nstr(cusum_p(n, fz + 1) if fz < n else mp.mpf(0), 17),
                                      mp.nstr(cusum_p(n, bz + 1) if bz < n else mp.mpf(0), 17)))
    f.write('};\n\n// The published examples: n, z, P(Z >= z), P(Z > z).\n'
            'struct CusumAtomRef { unsigned n, z; double atLeastP, beyondP; };\n\n'
            'const CusumAtomRef CUSUM_PUBLISHED_REF[] = {\n')
    for n, z in published:
        f.write('    {%du, %du, %s, %s},\n' % (n, z, mp.nstr(cusum_p(n, z), 17), mp.nstr(cusum_p(n, z + 1), 17)))
    f.write('};\n')
