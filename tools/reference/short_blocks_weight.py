#!/usr/bin/python3
"""Reference p-values of the short blocks and weight tests, computed from
their definitions with numpy (counting) and mpmath (exact binomial laws and
chi-square tails).

Short blocks (S, d): the first S * d * G bits, G = floor(floor(n / S) / d),
are cut into G groups of S rows of d bits; word j of a group takes bit j of
every row, row 0 as the most significant bit. The words' counts over the
2^S values give X = sum (count - E)^2 / E, E = words / 2^S, and
p = Q((2^S - 1) / 2, X / 2). The program reports a randomised p-value
P(X > x) + U P(X = x), which must lie between the two bounds written here:
for S = 1 those of the exact binomial law of the count of ones (outcomes
ranked by their distance from words / 2); for S >= 2 the chi-square law's
Q at x + h / 2 and x - h / 2, h = 2 2^S / words the step of the lattice X
lives on (sum count^2 has the parity of the number of words).

Weight (s, g): G = floor(floor(n / s) / 40) groups of 40 consecutive s-bit
words (most significant bit first); thresholds T = i * step, i = 1 .. g,
step = floor(2^s / (g + 1)) (step 0: one threshold 2^(s - 1)); per group the
number of words >= T, its histogram over 0 .. 40 against G times the
binomial law B(40, 1 - T / 2^s), classes merged in the order 0 .. 20,
40 .. 21 until the running expected count reaches 5 (a remainder open after
21 dropped); the statistic T is the Cressie-Read power divergence of
lambda = 1/2 over the cells (fixtures.cressie_read_half_term), and p its
moment law over the cells' expected counts (fixtures.power_divergence_moment_p:
a + b chi2(cells - 1) with the published mean and variance) when 3 cells or
more.

The sequences are the words of xorshift32 (13, 17, 5) from a seed, stored
as the program stores them: bit t is bit t mod 32 of word t / 32.
Writes tests/battery/ShortBlocksWeightReference.h; run from the repository
root:
    /usr/bin/python3 tools/reference/short_blocks_weight.py
"""
import os
import sys
import mpmath as mp
import numpy as np

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import bits_array as bits, chi2_tail, cressie_read_half_term, power_divergence_moment_p  # noqa: E402

mp.mp.dps = 50


def short_blocks_p(b, S, d):
    n = len(b)
    groups = (n // S) // d
    rows = b[: groups * S * d].reshape(groups, S, d)
    words = np.zeros((groups, d), dtype=np.int64)
    for r in range(S):
        words = (words << 1) | rows[:, r, :]
    counts = np.bincount(words.ravel(), minlength=1 << S)
    total = groups * d
    # X = 2^S / total * sum count^2 - total, exactly.
    x = mp.mpf(int((counts.astype(object) ** 2).sum()) * (1 << S)) / total - total
    p = chi2_tail((1 << S) - 1, x)
    if S == 1:
        greater, at_least = binomial_two_sided_bounds(total, int(counts[1]))
    else:
        h = mp.mpf(2 * (1 << S)) / total
        greater = chi2_tail((1 << S) - 1, x + h / 2)
        at_least = chi2_tail((1 << S) - 1, x - h / 2) if x - h / 2 > 0 else mp.mpf(1)
    return p, greater, at_least


def binomial_two_sided_bounds(n, c):
    """P(|2C - n| > |2c - n|) and P(|2C - n| >= |2c - n|), C binomial (n, 1/2)."""
    d = abs(2 * c - n)
    pmf = lambda k: mp.binomial(n, k) / mp.mpf(2) ** n
    greater = mp.fsum(pmf(k) for k in range(n + 1) if abs(2 * k - n) > d)
    at_least = mp.fsum(pmf(k) for k in range(n + 1) if abs(2 * k - n) >= d)
    return greater, at_least


def weight_pairs(b, s, g):
    n = len(b)
    groups = (n // s) // 40
    raw = b[: groups * 40 * s].reshape(groups * 40, s).astype(object)
    words = np.zeros(groups * 40, dtype=object)
    for j in range(s):
        words = words * 2 + raw[:, j]
    words = words.reshape(groups, 40)
    step = (1 << s) // (g + 1)
    if step == 0:
        g, step = 1, 1 << (s - 1)
    order = list(range(0, 21)) + list(range(40, 20, -1))
    pairs = []
    for i in range(1, g + 1):
        t = i * step
        p = 1 - mp.mpf(t) / (1 << s)
        hist = np.bincount((words >= t).sum(axis=1).astype(np.int64), minlength=41)
        expected = [groups * mp.binomial(40, k) * p**k * (1 - p) ** (40 - k) for k in range(41)]
        cells, x, eo, oo, closed = 0, mp.mpf(0), mp.mpf(0), 0, []
        for k in order:
            eo += expected[k]
            oo += int(hist[k])
            if eo >= 5:
                x += cressie_read_half_term(oo, eo)
                cells += 1
                closed.append(eo)
                eo, oo = mp.mpf(0), 0
        if cells >= 3:
            label = "Weight %d_%.0f" % (s, 100 * (1 - t / 2.0**s))
            pairs.append((label, cells, power_divergence_moment_p(mp.mpf(1) / 2, closed, x)))
    return pairs


SHORT_CASES = [
    (1, 1000, 1, 1), (1, 1000, 1, 7), (2, 4099, 2, 1), (2, 4099, 3, 7), (3, 20000, 4, 13),
    (3, 20000, 4, 3000), (3, 20000, 5, 64), (3, 20000, 5, 65), (4, 65537, 8, 1), (4, 65537, 8, 3),
    (4, 65537, 8, 100), (4, 65537, 7, 200), (5, 100001, 9, 77), (5, 100001, 10, 1000), (6, 262147, 12, 5),
    (6, 262147, 12, 4096), (7, 5300000, 16, 1), (7, 5300000, 16, 129), (8, 11200000, 17, 1),
    (8, 11200000, 17, 33), (11, 30007, 4, 1), (11, 30007, 5, 1), (11, 30007, 6, 2),
]
WEIGHT_CASES = [
    (1, 1000, 1, 1), (2, 20000, 3, 4), (3, 65536, 8, 2), (3, 65536, 8, 3), (4, 100001, 13, 10),
    (5, 262147, 32, 4), (6, 300000, 2, 4), (7, 50000, 5, 31), (7, 50000, 5, 40), (8, 200003, 20, 7),
    (9, 70000, 17, 1), (10, 3200, 8, 1), (10, 20000, 8, 1), (11, 30000, 4, 4), (12, 200000, 16, 10),
    (13, 300000, 20, 12), (14, 100000, 8, 11),
]


def cstr(v):
    return "%.17g" % v


def main():
    cache = {}

    def seq(seed, n):
        if (seed, n) not in cache:
            cache[(seed, n)] = bits(seed, n)
        return cache[(seed, n)]

    out = ["// Generated by tools/reference/short_blocks_weight.py; do not edit.",
           "#pragma once", "#include <cstdint>", "",
           "struct ShortBlkRef {", "  uint32_t seed, n;", "  int S, d;", "  double p;  // the chi-square law's p-value of x",
           "  double greater, atLeast;  // P(X > x), P(X >= x) of the law that randomises it", "};",
           "inline const ShortBlkRef SHORTBLK_REF[] = {"]
    for seed, n, S, d in SHORT_CASES:
        p, greater, at_least = short_blocks_p(seq(seed, n), S, d)
        out.append("    {%d, %d, %d, %d, %s, %s, %s}," % (seed, n, S, d, cstr(p), cstr(greater), cstr(at_least)))
    out += ["};", ""]
    # The published examples: the frequency test's (10 bits, 6 ones; the
    # first 100 bits of pi, 42 ones) and the poker test's three-bit words
    # (53 words, X = 9.6415 from the published counts).
    ex = []
    for n, ones in ((10, 6), (100, 42)):
        greater, at_least = binomial_two_sided_bounds(n, ones)
        ex.append("    {%d, %s, %s}," % (n, cstr(greater), cstr(at_least)))
    poker = [5, 10, 6, 4, 12, 3, 6, 7]
    x = mp.mpf(8 * sum(c * c for c in poker)) / 53 - 53
    h = mp.mpf(16) / 53
    out += ["struct PublishedBounds {", "  int n;", "  double greater, atLeast;", "};",
            "// Frequency test: n bits; then the poker test (n = 53 words, 3 bits).",
            "inline const PublishedBounds SHORTBLK_PUBLISHED[] = {"] + ex + [
            "    {53, %s, %s}," % (cstr(chi2_tail(7, x + h / 2)), cstr(chi2_tail(7, x - h / 2))), "};", ""]
    out += ["struct WeightRefPair {", "  const char* label;", "  int cells;  // merged classes of the chi-square", "  double p;", "};",
            "struct WeightRef {", "  uint32_t seed, n;", "  int s, g;", "  int first, count;  // in WEIGHT_REF_PAIRS",
            "};"]
    cases, pairs = [], []
    for seed, n, s, g in WEIGHT_CASES:
        got = weight_pairs(seq(seed, n), s, g)
        cases.append("    {%d, %d, %d, %d, %d, %d}," % (seed, n, s, g, len(pairs), len(got)))
        pairs += ['    {"%s", %d, %s},' % (label, cells, cstr(p)) for label, cells, p in got]
    out += ["inline const WeightRef WEIGHT_REF[] = {"] + cases + ["};"]
    out += ["inline const WeightRefPair WEIGHT_REF_PAIRS[] = {"] + pairs + ["};", ""]
    with open("tests/battery/ShortBlocksWeightReference.h", "w") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
