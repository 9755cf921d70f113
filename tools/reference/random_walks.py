#!/usr/bin/python3
"""The 1-D random walk laws checked by exact enumeration, and reference
p-values of the 1-D walk test (six statistics per walk length) and of the
walk distance test on fixed sequences.

1. For every walk length L = 8 .. 12 (and first-passage levels 1 .. 4) all
   2^L walks are enumerated and the exact distribution of each statistic is
   compared, as fractions, with its closed form (Feller, An Introduction to
   Probability Theory and Its Applications, vol. 1, ch. III): first passage
   through b at k, (b/k) binom(k, (k+b)/2) / 2^k, with the walks that never
   reach b carrying P(-b <= S_L <= b - 1); sign changes up to epoch L - 1,
   2 P(S_(L-1) = 2r + 1); up steps, binomial; time on the positive side,
   u(2k) u(L - 2k) (arcsine law); returns to zero, P(S_(L-r) = r) as
   binom(L - r, L/2) / 2^(L - r); maximum, P(S_L = r) + P(S_L = r + 1).

2. The sequences are the words of xorshift32 (13, 17, 5) from a seed, stored
   as the program stores them (bit t is bit t mod 32 of word t / 32). Each
   walk statistic is counted step by step, the classes are merged in the
   test's visiting order until the running expected count reaches 5 (the
   open remainder dropped); the statistic is the Cressie-Read power
   divergence of lambda = 1/2 over the classes
   (fixtures.cressie_read_half_term) and the p-value its moment law over the
   classes' expected counts (fixtures.power_divergence_moment_p: a + b
   chi2(classes - 1) with the published mean and variance) with mpmath. The
   walk distance test keeps Pearson's chi-square.

Writes tests/battery/RandomWalkReference.h and prints the enumeration
summary (committed as tools/reference/random_walks.txt); run from the
repository root:
    /usr/bin/python3 tools/reference/random_walks.py > tools/reference/random_walks.txt
"""
import os
import sys
from fractions import Fraction
from math import comb, lgamma, exp, log

import mpmath as mp

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import bits, chi2_tail, cressie_read_half_term, grid, power_divergence_moment_p  # noqa: E402

mp.mp.dps = 40

SK, SIGN, STPUP, SIDE, ZERO, SMAX = range(6)
NAMES = ["RW_Sk", "RW_sign", "RW_stpup", "RW_side", "RW_zero", "RW_Smax"]


def P(m, k):
    """binom(m, k) / 2^m as a fraction, 0 outside 0 <= k <= m."""
    if m < 0 or k < 0 or k > m:
        return Fraction(0)
    return Fraction(comb(m, k), 2 ** m)


def u(m):
    return P(m, m // 2) if m % 2 == 0 else Fraction(0)


def law(stat, L, b, k):
    """Closed-form probability of index k."""
    if stat == SK:
        if b <= 0:
            return Fraction(0)
        if k == 0:
            return sum((P(L, (L + x) // 2) for x in range(-b, b) if (L + x) % 2 == 0), Fraction(0))
        if (k + b) % 2:
            return Fraction(0)
        return Fraction(b, k) * P(k, (k + b) // 2)
    if stat == SIGN:
        return 2 * P(L - 1, L // 2 + k) if L % 2 == 0 else Fraction(0)
    if stat == STPUP:
        return P(L, k)
    if stat == SIDE:
        if L % 2 or k % 2:
            return Fraction(0)
        return u(k) * u(L - k)
    if stat == ZERO:
        return P(L - k, L // 2) if L % 2 == 0 else Fraction(0)
    if stat == SMAX:
        return P(L, (L + k) // 2) if (L + k) % 2 == 0 else P(L, (L + k + 1) // 2)


def indices(steps, b):
    """The six indices of one walk, counted step by step from the definitions."""
    s = 0
    T = 0
    ups = 0
    high = 0
    zeros = 0
    positive = 0
    changes = 0
    prev_odd = None
    for t, x in enumerate(steps, 1):
        s += 1 if x else -1
        ups += x
        high = max(high, s)
        if T == 0 and s == b:
            T = t
        if s == 0:
            zeros += 1
        if t % 2 == 1:
            if s > 0:
                positive += 1
            if t >= 3 and s * prev_odd < 0:
                changes += 1
            prev_odd = s
    return [T, changes, ups, 2 * positive, zeros, high]


def enumerate_laws():
    print("# Exact enumeration of all 2^L walks against the closed forms")
    for L in range(8, 13):
        for b in (1, 2, 3, 4):
            counts = [dict() for _ in range(6)]
            for w in range(2 ** L):
                steps = [(w >> (L - 1 - j)) & 1 for j in range(L)]
                for stat, k in enumerate(indices(steps, b)):
                    counts[stat][k] = counts[stat].get(k, 0) + 1
            for stat in range(6):
                if stat != SK and b != 1:
                    continue
                if L % 2 and stat in (SIGN, SIDE, ZERO):
                    continue  # laws of even walk lengths; the test never uses them for odd L
                top = L + 1 if stat == SK else L + 2
                for k in range(top):
                    exact = Fraction(counts[stat].get(k, 0), 2 ** L)
                    assert exact == law(stat, L, b, k), (NAMES[stat], L, b, k, exact, law(stat, L, b, k))
                assert sum(counts[stat].values()) == 2 ** L
                label = NAMES[stat] + (" b=%d" % b if stat == SK else "")
                line = " ".join("%d:%d" % (k, counts[stat][k]) for k in sorted(counts[stat]))
                print("L=%d %-12s counts of 2^%d walks: %s" % (L, label, L, line))
    print("# all laws agree exactly")
    # The mass the first-passage statistic leaves out when only walks that
    # reach the level are counted.
    print("# P(no passage through 1 within 8 steps) = %s = %.6f" % (law(SK, 8, 1, 0), float(law(SK, 8, 1, 0))))


# ---------------------------------------------------------------- fixtures

def order(stat, L, counting):
    if stat == SK:
        return [0] + list(range(L, 0, -1))
    if stat == SIGN:
        return list(range((L - 1) // 2, -1, -1))
    if stat == STPUP:
        low = list(range(0, L // 2 + 1))
        return low if counting else low + list(range(L, L // 2, -1))
    if stat == SIDE:
        top = (L // 2) // 2 * 2
        down = list(range(top, -1, -2))
        return down if counting else down + list(range(top + 2, L + 1, 2))
    if stat == ZERO:
        return list(range(L // 2, -1, -1))
    return list(range(L, -1, -1))


def pearson_term(o, e):
    return mp.mpf(o - e) ** 2 / e


def merge(cells, term=pearson_term):
    """cells: (observed, expected) in visiting order -> (classes, the
    statistic summed by term over the classes)."""
    o = e = 0.0
    chi2 = mp.mpf(0)
    classes = 0
    for obs, exp_ in cells:
        o += obs
        e += exp_
        if e >= 5:
            chi2 += term(o, e)
            classes += 1
            o = e = 0.0
    return classes, chi2


def merge_expected(expected):
    """The expected counts of the classes merge closes."""
    out, e = [], 0.0
    for x in expected:
        e += x
        if e >= 5:
            out.append(e)
            e = 0.0
    return out


def level(L, sk):
    return sk if sk >= 0 else L + sk


def rw1d(seq, lmin, lmax, lstp, sk):
    n_bits = len(seq)
    usable = {}
    lmax_after = lmax
    for L in grid(lmin, lmax, lstp):
        n = n_bits // L
        b = level(L, sk)
        stats = [st for st in range(6)
                 if merge([(0, n * float(law(st, L, b, k))) for k in order(st, L, True)])[0] > 2]
        if not stats:
            lmax_after = max(usable) if usable else 0
            break
        usable[L] = stats
    results = []
    for L, stats in usable.items():
        n = n_bits // L
        b = level(L, sk)
        hist = [dict() for _ in range(6)]
        for w in range(n):
            for st, k in enumerate(indices(seq[w * L:(w + 1) * L], b)):
                hist[st][k] = hist[st].get(k, 0) + 1
        for st in stats:
            cells = [(hist[st].get(k, 0), n * float(law(st, L, b, k))) for k in order(st, L, False)]
            classes, t = merge(cells, cressie_read_half_term)
            expected = merge_expected([e for _, e in cells])
            assert len(expected) == classes
            results.append(("%s %d" % (NAMES[st], L), float(power_divergence_moment_p(mp.mpf(1) / 2, expected, t))))
    return results, lmax_after


def rwdst_length(n):
    L = 2
    while n // L > 2 ** L:
        L += 2
    return L - 2


def rwdst(seq):
    L = rwdst_length(len(seq))
    if L == 0:
        return None
    n = len(seq) // L
    ones = {}
    for w in range(n):
        j = sum(seq[w * L:(w + 1) * L])
        ones[j] = ones.get(j, 0) + 1
    visit = list(range(L, L // 2 - 1, -1)) + list(range(0, L // 2))
    classes, chi2 = merge([(ones.get(j, 0), n * comb(L, j) / 2 ** L) for j in visit])
    if classes < 2:
        return None
    return ("RW_dst %d" % L, float(chi2_tail(classes - 1, chi2)))


RW1D_CASES = [
    # seed, bits, lmin, lmax, lstp, sk
    (2463534242, 1 << 15, 2, 256, -1, 1),
    (88172645, 1 << 14, 3, 40, 5, 2),
    (1234567, 1 << 15, 16, 64, 16, -4),
    (987654321, 1 << 13, 10, 10, 0, 3),
    (42, 200, 2, 256, -1, 1),
    (31337, 1 << 15, 19, 27, 8, 1),
    (4242, 1 << 15, 21, 45, 24, 5),
]

RWDST_CASES = [(2463534242, 1 << 15), (88172645, 1 << 14), (1234567, 5000), (42, 100)]


def header():
    out = []
    out.append("// Generated by tools/reference/random_walks.py; do not edit.")
    out.append("#pragma once")
    out.append("#include <cstdint>")
    out.append("")
    out.append("struct WalkPValue {")
    out.append("  const char* label;")
    out.append("  double p;")
    out.append("};")
    out.append("")
    out.append("struct Rw1dReference {")
    out.append("  uint32_t seed, n;")
    out.append("  int lmin, lmax, lstp, sk;")
    out.append("  int lmaxAfter;  // the largest walk length once the constructor has lowered it")
    out.append("  int count;")
    out.append("  WalkPValue results[64];")
    out.append("};")
    out.append("")
    out.append("const Rw1dReference RW1D_REF[] = {")
    for seed, n, lmin, lmax, lstp, sk in RW1D_CASES:
        seq = bits(seed, n)
        res, after = rw1d(seq, lmin, lmax, lstp, sk)
        body = ", ".join('{"%s", %.17g}' % (lbl, p) for lbl, p in res)
        out.append("    {%du, %du, %d, %d, %d, %d, %d, %d, {%s}}," % (seed, n, lmin, lmax, lstp, sk, after, len(res), body))
    out.append("};")
    out.append("")
    out.append("struct RwdstReference {")
    out.append("  uint32_t seed, n;")
    out.append("  int walkLength;")
    out.append("  const char* label;  // null: no result")
    out.append("  double p;")
    out.append("};")
    out.append("")
    out.append("const RwdstReference RWDST_REF[] = {")
    for seed, n in RWDST_CASES:
        r = rwdst(bits(seed, n))
        if r is None:
            out.append("    {%du, %du, %d, nullptr, 0}," % (seed, n, rwdst_length(n)))
        else:
            out.append('    {%du, %du, %d, "%s", %.17g},' % (seed, n, rwdst_length(n), r[0], r[1]))
    out.append("};")
    out.append("")
    return "\n".join(out)


if __name__ == "__main__":
    enumerate_laws()
    print("# walk distance lengths: 2^20 bits -> %d, 2^32 - 1 bits -> %d" % (rwdst_length(1 << 20), rwdst_length(2 ** 32 - 1)))
    with open("tests/battery/RandomWalkReference.h", "w") as f:
        f.write(header())
    print("# wrote tests/battery/RandomWalkReference.h")
