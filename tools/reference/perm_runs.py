#!/usr/bin/python3
"""Reference p-values of the permutation test and of the runs up and down
test (Knuth, TAOCP vol. 2, 3.3.2: the permutation test with the analysis of
Algorithm P, and the run test in the form that throws away the element
after each run so that the run lengths are independent).

Written apart from the C++ classes: the order of a tuple is found by sorting
(any numbering of the t! orders gives the same statistic), the run scan
follows the bit positions literally, the law of a run length comes from
exact fractions C(N, k) / N^k, and the p-values from mpmath.

Rows with two classes (permutation t = 2, runs t = 2) count a binomial
variable; their p-value is the randomised two-sided one of its exact law,
P(farther from the mean) + U P(as far), with U drawn from a 64-bit hash of
the sequence's bits and a per-row salt (the hash written out below), and
the binomial tails from scipy (bdtr, bdtrc).

Permutation rows with t >= 3 smooth the counts before the chi-square: each
order's count c_i is shifted by xi_i = sqrt(1/2) (g_i - mean g), g a
standard normal vector, and the statistic sum (c_i - E + xi_i)^2 / (E + 1/2)
is judged by chi-square with t! - 1 degrees of freedom. The program draws
that sum from its law given the counts, (|c - E| + sqrt(1/2) Z)^2 + W / 2, Z
standard normal and W chi-square (t! - 2), from the hash's uniforms
salt + j, salt = PERM_SALT + ((s << 8 | t) << 32) (fixtures.HashDraws, the
same draws made apart); the reference forms it so.

The sequences are the words of xorshift32 (13, 17, 5) from a seed, stored
as the program stores them: bit t is bit t mod 32 of word t / 32.
Writes tests/battery/PermRunsReference.h; run from the repository root:
    /usr/bin/python3 tools/reference/perm_runs.py
"""
import os
import sys
from fractions import Fraction
from math import comb, factorial

import mpmath as mp

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import (HashDraws, binomial_randomised_p, bits, chi2_tail, grid, hash_uniform,  # noqa: E402
                      sequence_hash, shifted_squared_norm)

mp.mp.dps = 40

SEQUENCES = [(1, 65536), (2, 100003), (3, 40000), (4, 262144)]

# (smin, smax, sstp, gmin, gmax, gstp): the window's default grid, and word
# sizes around the byte, where the reading changes.
PERM_GRIDS = [(2, 32, -1, 2, 12, 1), (7, 9, 1, 2, 6, 1)]
# (smin, smax, sstp, lmin, lmax, lstp): the window's default grid and the
# smallest word sizes.
RUNS_GRIDS = [(2, 32, 2, 2, 10, 2), (1, 5, 1, 2, 6, 1)]


RUNS_SALT = 0x52554E5300000000
PERM_SALT = 0x5045524D00000000


def words_of(b, s):
    """The s-bit words: bytes, half-words and words as stored (first bit
    least significant) for s = 8, 16, 32; otherwise first bit most
    significant."""
    out = []
    for l in range(len(b) // s):
        chunk = b[s * l:s * l + s]
        if s in (8, 16, 32):
            out.append(sum(bit << i for i, bit in enumerate(chunk)))
        else:
            out.append(sum(bit << (s - 1 - i) for i, bit in enumerate(chunk)))
    return out


def algorithm_p_index(tup):
    """The order index of distinct values by the analysis of Algorithm P:
    f = 0, r = t; while r > 1: j = the position (1-based, first when
    scanning upwards) of the largest of U_1 .. U_r, f = r f + j - 1, swap U_r
    and U_j, r = r - 1."""
    u = list(tup)
    f = 0
    for r in range(len(u), 1, -1):
        j = max(range(r), key=lambda i: (u[i], -i))
        f = r * f + j
        u[j], u[r - 1] = u[r - 1], u[j]
    return f


def smoothed_uniform_chi2(counts, h, salt):
    k = len(counts)
    e = mp.mpf(sum(counts)) / k
    squared = sum((c - e) ** 2 for c in counts)
    half = mp.mpf(1) / 2
    return shifted_squared_norm(squared, 0, k, half, HashDraws(h, salt)) / (e + half)


def perm_pairs(b, g):
    smin, smax, sstp, gmin, gmax, gstp = g
    n = len(b)
    out = []
    for s in grid(smin, smax, sstp):
        w = words_of(b, s)
        nw = len(w)
        for t in grid(gmin, gmax, gstp):
            f = factorial(t)
            if nw < 5 * t * f:
                break
            tuples = (nw - 1) // t
            # Expected repeat-free tuples per order, from n, s and t alone.
            distinct = Fraction(comb(2 ** s, t) * f, 2 ** (s * t))
            if not tuples * distinct / f > 5:
                continue
            counts = {}
            for k in range(tuples):
                tup = w[t * k:t * k + t]
                if len(set(tup)) < t:
                    continue
                key = tuple(sorted(range(t), key=lambda i: tup[i]))
                counts[key] = counts.get(key, 0) + 1
            counted = sum(counts.values())
            label = "Permutation %d_%d" % (s, t)
            e = Fraction(counted, f)
            if e <= 5:
                out.append((label, None))
                continue
            if t == 2:
                u = hash_uniform(sequence_hash(b), PERM_SALT + s)
                first = counts.get((1, 0), 0)  # tuples whose first word is the larger
                out.append((label, binomial_randomised_p(counted, Fraction(1, 2), first, u)))
                continue
            by_index = [0] * f
            for key, c in counts.items():
                # key lists the positions in increasing order of value: the
                # ranks of the tuple's words give the same index.
                ranks = [0] * t
                for rank, pos in enumerate(key):
                    ranks[pos] = rank
                by_index[algorithm_p_index(ranks)] += c
            salt = PERM_SALT + (((s << 8) | t) << 32)
            x = smoothed_uniform_chi2(by_index, sequence_hash(b), salt)
            out.append((label, chi2_tail(f - 1, x)))
    return out


def value_at(b, pos, s):
    """The s-bit value at bit pos, first bit most significant."""
    v = 0
    for j in range(s):
        v = (v << 1) | b[pos + j]
    return v


def run_lengths(b, s, ascending):
    """The run scan as bit positions: a run grows while the next word (read
    only from a position below n - s) is strictly beyond the previous one;
    the word that ends a run is dropped; the run open at the end is not
    counted."""
    n = len(b)
    limit = n - s
    padded = b + [1] * (2 * s)  # a start word past the end is never counted
    pos = 0
    lengths = []
    while True:
        prev = value_at(padded, pos, s)
        pos += s
        length = 1
        while True:
            if pos >= limit:
                return lengths
            w = value_at(padded, pos, s)
            pos += s
            if (w > prev) if ascending else (w < prev):
                length += 1
                prev = w
            else:
                lengths.append(length)
                break


def p_asc(s, i):
    big_n = 2 ** s
    return Fraction(comb(big_n, i), big_n ** i)


def runs_usable(n, s, t):
    if t > 2 ** s:
        return False
    h = (n // s) * 0.27
    p = float(p_asc(s, t))
    return p * h >= 5 and (t != 2 or float(p_asc(s, 2)) * h >= 80)


def runs_p(lengths, s, t, u):
    r = len(lengths)
    cells = [0] * (t + 1)
    for length in lengths:
        cells[min(length, t)] += 1
    if t == 2:
        return binomial_randomised_p(r, 1 - p_asc(s, 2), cells[1], u)
    x = Fraction(0)
    for k in range(1, t + 1):
        prob = p_asc(s, k) - p_asc(s, k + 1) if k < t else p_asc(s, t)
        e = r * prob
        x += (cells[k] - e) ** 2 / e
    return chi2_tail(t - 1, x)


def runs_pairs(b, g):
    smin, smax, sstp, lmin, lmax, lstp = g
    n = len(b)
    out = []
    for s in grid(smin, smax, sstp):
        ts = []
        for t in grid(lmin, lmax, lstp):
            if not runs_usable(n, s, t):
                break
            ts.append(t)
        if not ts:
            continue
        up = run_lengths(b, s, True)
        dn = run_lengths(b, s, False)
        h = sequence_hash(b)
        u_up, u_dn = hash_uniform(h, RUNS_SALT + 2 * s), hash_uniform(h, RUNS_SALT + 2 * s + 1)
        for t in ts:
            out.append(("Runs up %d_%d" % (s, t), runs_p(up, s, t, u_up)))
            out.append(("Runs dn %d_%d" % (s, t), runs_p(dn, s, t, u_dn)))
    return out


def emit(name, grids, rows):
    lines = ["inline const PermRunsRefPair %s[] = {" % name]
    for gi, seed, n, label, p in rows:
        value = "PVALUE_SHORT" if p is None else mp.nstr(p, 17, min_fixed=-1, max_fixed=1)
        lines.append('    {%d, %d, %d, "%s", %s},' % (gi, seed, n, label, value))
    lines.append("};")
    return lines


def main():
    perm_rows, runs_rows = [], []
    for seed, n in SEQUENCES:
        b = bits(seed, n)
        for gi, g in enumerate(PERM_GRIDS):
            for label, p in perm_pairs(b, g):
                perm_rows.append((gi, seed, n, label, p))
        for gi, g in enumerate(RUNS_GRIDS):
            for label, p in runs_pairs(b, g):
                runs_rows.append((gi, seed, n, label, p))
    out = [
        "#pragma once",
        "// Generated by tools/reference/perm_runs.py; do not edit.",
        "#include <cstdint>",
        "",
        '#include "battery/RunState.h"',
        "",
        "struct PermRunsRefPair {",
        "  int grid;  // index into PERM_REF_GRIDS or RUNS_REF_GRIDS",
        "  uint32_t seed;",
        "  uint32_t n;",
        "  const char* label;",
        "  double p;",
        "};",
        "",
        "// smin, smax, sstp, gmin, gmax, gstp",
        "inline const int PERM_REF_GRIDS[][6] = {%s};" % ", ".join(
            "{%s}" % ", ".join(map(str, g)) for g in PERM_GRIDS),
        "// smin, smax, sstp, lmin, lmax, lstp",
        "inline const int RUNS_REF_GRIDS[][6] = {%s};" % ", ".join(
            "{%s}" % ", ".join(map(str, g)) for g in RUNS_GRIDS),
        "// seed, n of the xorshift32 sequences",
        "inline const uint32_t PERM_RUNS_REF_SEQUENCES[][2] = {%s};" % ", ".join(
            "{%d, %d}" % sn for sn in SEQUENCES),
        "",
    ]
    out += emit("PERM_REF", PERM_GRIDS, perm_rows)
    out.append("")
    out += emit("RUNS_REF", RUNS_GRIDS, runs_rows)
    with open("tests/battery/PermRunsReference.h", "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
