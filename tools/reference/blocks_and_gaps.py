#!/usr/bin/python3
"""Reference p-values of the blocks and gaps test and the block gap distance
test, computed from their definitions with plain Python and mpmath.

Blocks and gaps: the maximal runs of ones (blocks) and of zeros (gaps) that
the other value follows inside the sequence, lengths pooled at K (the
smallest k >= 2 with (n - k + 3) / 2^(k + 2) < 5); each histogram of R runs
is judged against R 2^-j (j < K) and R 2^-(K-1) (class K) by a chi-square
with K - 1 degrees of freedom.

The sequences are the words of xorshift32 (13, 17, 5) from a seed, stored as
the program stores them: bit t is bit t mod 32 of word t / 32.
Block gap distance: the sequence read as consecutive s-bit words (first bit
most significant, positions below n - s); for every value, the gaps in words
between its successive occurrences, counted in gap classes built from
f = floor(floor(n / 2^s) / s) - 1 and the geometric law q (1 - q)^(g - 1),
q = 2^-s; each value's histogram of G_v gaps is judged against G_v times the
class probabilities, the chi-squares summed over the values with classes - 1
degrees of freedom each. With 1-bit words, where the gaps of one value are
the runs of the other, the sum's law is a chi-square with df - 4 degrees of
freedom plus twice an independent one with 2 (integrated numerically here).

Writes tests/battery/BlkGapReference.h; run from the repository root:
    /usr/bin/python3 tools/reference/blocks_and_gaps.py
"""
import os
import sys
import itertools
import mpmath as mp

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import bits, chi2_tail, xorshift_words  # noqa: E402

mp.mp.dps = 40


def classes(n):
    k = 2
    while mp.mpf(n - k + 3) / 2 ** (k + 2) >= 5:
        k += 1
    return k


def run_histograms(b, K):
    """Histograms of counted runs of ones and of zeros (index 1 .. K)."""
    hist = {0: [0] * (K + 1), 1: [0] * (K + 1)}
    runs = [(v, len(list(g))) for v, g in itertools.groupby(b)]
    for v, length in runs[:-1]:  # the last run reaches the last bit
        hist[v][min(length, K)] += 1
    return hist[1], hist[0]


def blkgap_p(counts, K, n):
    r = sum(counts[1:])
    if r == 0:
        return mp.mpf(n + 1) / mp.mpf(2) ** n
    x = mp.mpf(0)
    for j in range(1, K + 1):
        e = mp.mpf(r) / 2 ** (j if j < K else K - 1)
        x += (counts[j] - e) ** 2 / e
    return chi2_tail(K - 1, x)


def gap_classes(n, s):
    """Cell count G and the class of each gap length 1 .. G (the last one
    taking all longer gaps) with each class's probability."""
    f = (n >> s) // s - 1
    q = 2.0 ** -s
    p = []
    total = opened = 0.0
    power = 1.0
    while True:
        pi = q * power
        p.append(pi)
        total += pi
        opened += f * pi
        if (1 - total) * f + opened < 5:
            break
        if opened > 5:
            opened = 0.0
        power *= 1 - q
    G = len(p) - 1
    cell = p[:G]
    cell[-1] += 1 - sum(p[:G])
    cls, probs, acc, accp = [], [], 0.0, 0.0
    for c in cell:
        cls.append(len(probs))
        acc += f * c
        accp += c
        if acc > 5:
            probs.append(accp)
            acc = accp = 0.0
    # A remainder below the threshold joins the last class.
    for i in range(len(cls)):
        if cls[i] == len(probs):
            cls[i] = len(probs) - 1
    probs[-1] += accp
    return f, G, cls, probs


def words_of(b, s):
    """Consecutive s-bit words, first bit most significant, at positions
    below n - s."""
    n = len(b)
    out = []
    pos = 0
    while pos < n - s:
        v = 0
        for j in range(s):
            v = (v << 1) | b[pos + j]
        out.append(v)
        pos += s
    return out


def blkgapdis_p(b, s):
    f, G, cls, probs = gap_classes(len(b), s)
    counts = {}
    last = {}
    for w, v in enumerate(words_of(b, s)):
        if v in last:
            g = w - last[v]
            row = counts.setdefault(v, [0] * len(probs))
            row[cls[min(g, G) - 1]] += 1
        last[v] = w
    x = mp.mpf(0)
    df = 0
    for row in counts.values():
        gaps = sum(row)
        for o, pc in zip(row, probs):
            e = mp.mpf(gaps) * mp.mpf(pc)
            x += (o - e) ** 2 / e
        df += len(probs) - 1
    if s == 1 and len(counts) == 2 and len(probs) >= 4:
        # 1-bit words: the gaps of one value are the runs of the other, and
        # two directions count in both values' statistics; the law is a
        # chi-square with df - 4 plus twice one with 2, integrated here.
        k = df - 4
        y = mp.mpf(x)
        p = chi2_tail(k, y) + mp.quad(
            lambda t: mp.exp(-(y - t) / 4) * t ** (mp.mpf(k) / 2 - 1) * mp.exp(-t / 2)
            / (2 ** (mp.mpf(k) / 2) * mp.gamma(mp.mpf(k) / 2)), [0, y])
        return f, G, len(probs), df, p
    return f, G, len(probs), df, chi2_tail(df, x)


def ternary_bits(seed, n):
    """2-bit words taking only the values 0, 1 and 2 (xorshift word mod 3),
    first bit most significant: three values with gaps, so an odd number of
    degrees of freedom when the class count is even."""
    out = []
    for x in xorshift_words(seed, n // 2):
        v = x % 3
        out += [(v >> 1) & 1, v & 1]
    return out


BLKGAPDIS_TERNARY = [(7, 200), (8, 4000)]

BLKGAPDIS_CASES = [(1, 1000, 1), (2, 4096, 2), (3, 20000, 3), (4, 65536, 4), (5, 300001, 5), (6, 131072, 1)]

BLKGAP_CASES = [(1, 100), (2, 1000), (3, 4099), (4, 20000), (5, 65536), (6, 100001)]


def main():
    out = []
    out.append("#pragma once")
    out.append("// Generated by tools/reference/blocks_and_gaps.py; do not edit.")
    out.append("#include <cstdint>")
    out.append("")
    out.append("struct BlkGapRef {")
    out.append("  uint32_t seed, n;")
    out.append("  int K;")
    out.append("  uint32_t blocks, gaps;  // counted runs")
    out.append("  double blkP, gapP;")
    out.append("};")
    out.append("")
    out.append("inline const BlkGapRef BLKGAP_REF[] = {")
    for seed, n in BLKGAP_CASES:
        b = bits(seed, n)
        K = classes(n)
        blk, gap = run_histograms(b, K)
        out.append("    {%d, %d, %d, %d, %d, %s, %s}," % (
            seed, n, K, sum(blk), sum(gap),
            mp.nstr(blkgap_p(blk, K, n), 17, min_fixed=0, max_fixed=0),
            mp.nstr(blkgap_p(gap, K, n), 17, min_fixed=0, max_fixed=0)))
    out.append("};")
    out.append("")
    out.append("struct BlkGapDisRef {")
    out.append("  uint32_t seed, n;")
    out.append("  int s;")
    out.append("  uint32_t f;")
    out.append("  int cells, classes;")
    out.append("  uint32_t df;")
    out.append("  double p;")
    out.append("};")
    out.append("")
    out.append("inline const BlkGapDisRef BLKGAPDIS_REF[] = {")
    for seed, n, s in BLKGAPDIS_CASES:
        f, G, nclass, df, p = blkgapdis_p(bits(seed, n), s)
        out.append("    {%d, %d, %d, %d, %d, %d, %d, %s}," % (
            seed, n, s, f, G, nclass, df, mp.nstr(p, 17, min_fixed=0, max_fixed=0)))
    out.append("};")
    out.append("")
    out.append("// Sequences of 2-bit words 0, 1, 2 (xorshift32 word mod 3), s = 2.")
    out.append("inline const BlkGapDisRef BLKGAPDIS_TERNARY_REF[] = {")
    for seed, n in BLKGAPDIS_TERNARY:
        f, G, nclass, df, p = blkgapdis_p(ternary_bits(seed, n), 2)
        out.append("    {%d, %d, 2, %d, %d, %d, %d, %s}," % (
            seed, n, f, G, nclass, df, mp.nstr(p, 17, min_fixed=0, max_fixed=0)))
    out.append("};")
    with open("tests/battery/BlkGapReference.h", "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
