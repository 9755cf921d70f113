#!/usr/bin/python3
"""Reference laws and p-values of the partition test and of the 2-D random
walk test, computed independently of the C++ code.

Partition (Knuth, TAOCP vol. 2, 3.3.2 "partition test"): a group of i values
drawn uniformly from d = 2^k holds exactly r distinct values with probability
    d (d - 1) ... (d - r + 1) S(i, r) / d^i,
S the Stirling numbers of the second kind. The law is checked against brute
enumeration of all d^i groups for small d and i, then tabulated exactly
(fractions) for k = 2..5, every i = 2..2^k, cut to r = rmin..rmax, the
narrowest range whose two cut tails are each below 1e-12. The tables go
into a fixture data file the C++ test writes; the reference p-values use
the same tables and the test's rules: usable pairs, the job list (largest k
first, largest usable i first, at most knum per k), distinct values counted
with a set per group, classes closed at an expected count of 5 from the low
tail up to the mode and from the high tail down; the statistic is the
Cressie-Read power divergence of lambda = 1/2 over the classes
(fixtures.cressie_read_half_term) and its p-value the moment law of the
classes' expected counts (fixtures.power_divergence_moment_p: a + b
chi2(classes - 1) with the published mean and variance), by mpmath.
The 2-D walk takes the same statistic and law.

2-D walk: the end-point law of a walk of n steps (each one of the four unit
moves) is checked against enumeration of all 4^n walks for n <= 6 and written
as exact spot values. The end-point tables of the random-length walks (length
l uniform on 0 .. 4^c - 1) are computed for levels 1..3 by an integer
dynamic program over the walks of each length, and written whole (no point
left out). The reference p-values count the walks step by step and close
classes with running sums as the test describes; groups of two values
(i = 2) count a binomial variable and take the randomised p-value of its
exact law (fixtures.binomial_randomised_p).

Sequences are the words of xorshift32 (13, 17, 5) from a seed, stored as the
program stores them (bit t is bit t mod 32 of word t / 32).

Writes tests/battery/PartitionRw2dReference.h and prints a summary
(committed as tools/reference/partition_rw2d.txt); run from the repository
root:
    /usr/bin/python3 tools/reference/partition_rw2d.py > tools/reference/partition_rw2d.txt
"""
import os
import sys
from fractions import Fraction
from itertools import product
from math import comb

import mpmath as mp

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import (bits as xorshift_bits, binomial_randomised_p, cressie_read_half_term,  # noqa: E402
                      hash_uniform, power_divergence_moment_p, sequence_hash)

PARTITION_SALT = 0x5041525400000000

mp.mp.dps = 40
TAIL = 1e-12


def moment_p(lam, expected, t):
    if len(expected) < 2:
        return None  # no statistic
    return float(power_divergence_moment_p(lam, expected, t))


# ---------------------------------------------------------------- partition

def stirling2_row(i):
    """S(i, r) for r = 0..i."""
    row = [1]
    for m in range(1, i + 1):
        new = [0] * (m + 1)
        for r in range(1, m + 1):
            new[r] = r * (row[r] if r < len(row) else 0) + row[r - 1]
        row = new
    return row


def partition_law(d, i):
    s = stirling2_row(i)
    law = [Fraction(0)] * (i + 1)
    for r in range(1, i + 1):
        falling = 1
        for j in range(r):
            falling *= d - j
        law[r] = Fraction(falling * s[r], d ** i)
    return law


def check_partition_by_enumeration():
    lines = []
    for d, i in [(2, 2), (2, 5), (4, 3), (4, 4), (8, 4), (16, 3), (5, 5)]:
        counts = [0] * (i + 1)
        for group in product(range(d), repeat=i):
            counts[len(set(group))] += 1
        law = partition_law(d, i)
        ok = all(Fraction(counts[r], d ** i) == law[r] for r in range(i + 1))
        lines.append("partition law d=%d i=%d: enumeration of %d groups %s" % (d, i, d ** i, "agrees" if ok else "DIFFERS"))
        assert ok
    return lines


def trimmed(law, i):
    """rmin, rmax and the floats, tails below TAIL cut on each side."""
    p = [float(v) for v in law]
    lo, hi = 1, i
    while lo <= hi and p[lo] == 0:
        lo += 1
    while hi >= lo and p[hi] == 0:
        hi -= 1
    rmin, cut = lo, 0.0
    while rmin < hi and cut + p[rmin] < TAIL:
        cut += p[rmin]
        rmin += 1
    rmax, cut = hi, 0.0
    while rmax > rmin and cut + p[rmax] < TAIL:
        cut += p[rmax]
        rmax -= 1
    return rmin, rmax, p[rmin:rmax + 1]


PART_K = range(2, 6)
PART_TABLES = {}
for k in PART_K:
    d = 2 ** k
    for i in range(2, d + 1):
        PART_TABLES[(k, i)] = trimmed(partition_law(d, i), i)


def usable(k, i, u):
    rmin, rmax, p = PART_TABLES[(k, i)]
    s, c, m = 0.0, 0, u
    for x in p:
        s += x
        e = int(u * s)
        if e >= 5:
            c += 1
            s = 0.0
        m = min(m, e)
    return not (rmax - rmin > 2.5 * c or c <= 1 or (c <= 3 and m < 1000) or u < 30)


def grid(lo, hi, step):
    out, x = [], lo
    if step == 0:
        return out
    while x <= hi:
        out.append(x)
        if step >= 1:
            x += step
        else:
            if x <= 0:
                break
            x <<= -step
    return out


def partition_reference(seed, n, smin, smax, sstp, knum):
    bits = xorshift_bits(seed, n)
    smax = min(smax, 13)
    knum = 99999999 if knum == 0 else knum
    ks = [k for k in grid(smin, smax, sstp) if k >= 2]
    jobs = []
    for k in reversed(ks):
        taken = 0
        for i in range(2 ** k, 1, -1):
            if taken >= knum:
                break
            if usable(k, i, n // (k * i)):
                jobs.append((k, i))
                taken += 1
    results = {}
    for k, i in jobs:
        groups = n // (k * i)
        count = [0] * (i + 2)
        t = 0
        for _ in range(groups):
            seen = set()
            for _ in range(i):
                v = 0
                for _ in range(k):
                    v = 2 * v + bits[t]
                    t += 1
                seen.add(v)
            count[len(seen)] += 1
        if i == 2:
            # Two values: the groups of equal ones are binomial (groups,
            # 2^-k); the randomised p-value of that exact law.
            u = hash_uniform(sequence_hash(bits), PARTITION_SALT + k)
            results[(k, i)] = float(binomial_randomised_p(groups, Fraction(1, 2 ** k), count[1], u))
            continue
        rmin, rmax, p = PART_TABLES[(k, i)]
        P = lambda r: p[r - rmin] if rmin <= r <= rmax else 0.0
        state = {"o": 0.0, "ps": 0.0, "chi2": 0.0, "classes": 0, "expected": []}

        def add(r):
            state["ps"] += P(r)
            e = groups * state["ps"]
            if e < 5:
                return False
            state["classes"] += 1
            state["expected"].append(e)
            state["chi2"] += cressie_read_half_term(state["o"], e)
            state["o"] = 0.0
            state["ps"] = 0.0
            return True

        end = i
        for r in range(1, i + 1):
            state["o"] += count[r]
            if rmin <= r <= rmax and add(r) and P(r) > P(r + 1):
                end = r
                break
        for r in range(i, end, -1):
            state["o"] += count[r]
            if r <= rmax:
                add(r)
        results[(k, i)] = moment_p(mp.mpf(1) / 2, state["expected"], state["chi2"])
    # Appended k ascending, i ascending.
    return [("Partition_%d_%d" % ki, results[ki]) for ki in sorted(jobs)]


PART_CASES = [
    (2463534242, 20000, 2, 5, 1, 3),
    (88172645, 65536, 2, 4, 2, 0),
    (1234567, 40000, 3, 5, 1, 1),
    (42, 5000, 2, 3, 1, 2),
]

# --------------------------------------------------------------- 2-D walks

STEPS = [(-1, 0), (1, 0), (0, 1), (0, -1)]


def walk_law_enumerated(n):
    counts = {}
    for walk in product(range(4), repeat=n):
        x = sum(STEPS[s][0] for s in walk)
        y = sum(STEPS[s][1] for s in walk)
        counts[(x, y)] = counts.get((x, y), 0) + 1
    return {pt: Fraction(c, 4 ** n) for pt, c in counts.items()}


def walk_law_closed(n, x, y):
    """Multinomial sum: i left steps, a + i right, w down, v - w up."""
    a, b = abs(x), abs(y)
    if (n + a + b) % 2 or a + b > n:
        return Fraction(0)
    total = 0
    for i in range((n - a - b) // 2 + 1):
        v = n - a - 2 * i
        w = (n - a - b - 2 * i) // 2
        total += comb(n, i) * comb(n - i, a + i) * comb(v, w)
    return Fraction(total, 4 ** n)


def walk_counts_by_length(lmax):
    """N_l(x, y) for l = 0..lmax by the step recurrence, as dicts."""
    cur = {(0, 0): 1}
    out = [cur]
    for _ in range(lmax):
        nxt = {}
        for (x, y), c in cur.items():
            for dx, dy in STEPS:
                nxt[(x + dx, y + dy)] = nxt.get((x + dx, y + dy), 0) + c
        cur = nxt
        out.append(cur)
    return out


def level_table(c):
    lengths = 4 ** c
    by_length = walk_counts_by_length(lengths - 1)
    law = {}
    for l, counts in enumerate(by_length):
        for pt, cnt in counts.items():
            law[pt] = law.get(pt, Fraction(0)) + Fraction(cnt, 4 ** l)
    h = lengths - 1
    rows = []
    for r in range(h + 1):
        m = lengths - r  # |y| <= 4^c - 1 - r
        rows.append([float(law.get((r, k), Fraction(0)) / lengths) for k in range(m)])
    return h, rows, law


LEVELS = {c: level_table(c) for c in (1, 2, 3)}


def fixed_length(n):
    half = n // 2
    L = 2
    if walk_law_closed(2, 2, 0) * (half // 2) > 5:
        while True:
            L += 2
            if not (walk_law_closed(L, L, 0) * (half // L) > 5):
                break
    return L


def step_of(bits, t):
    return 2 * bits[t] + bits[t + 1]


def rw2d_levels(n, lmin, lmax, lstp):
    lmax = min(lmax, 6)
    last = None
    for f in grid(lmin, lmax, lstp):
        if n >= 4 ** f - 1 + 2 * f:
            last = f
        else:
            break
    lmax = last if last is not None else lmin
    cap = 0
    for limit, level in [(1000, 2), (4000, 3), (16000, 4), (60000, 5), (500000, 6)]:
        if n >= limit:
            cap = level
    if cap > 0 and lmin <= cap:
        lmax = grid(lmin, min(lmax, cap), lstp)[-1]
    return grid(lmin, lmax, lstp)


def rw2d_reference(seed, n, lmin, lmax, lstp):
    bits = xorshift_bits(seed, n) + [0] * 64
    out = []
    # Fixed length.
    L = fixed_length(n)
    walks = (n // 2) // L
    counts = {}
    t = 0
    for _ in range(walks):
        x = y = 0
        for _ in range(L):
            dx, dy = STEPS[step_of(bits, t)]
            t += 2
            x += dx
            y += dy
        counts[(x, y)] = counts.get((x, y), 0) + 1
    o = e = chi2 = 0.0
    expected = []
    for x in range(-L, L + 1):
        for y in range(-L + (abs(x) % 2), L + 1, 2):
            o += counts.get((x, y), 0)
            e += walks * float(walk_law_closed(L, x, y))
            if e >= 5:
                chi2 += cressie_read_half_term(o, e)
                expected.append(e)
                o = e = 0.0
    out.append(("RW2D_fix %d" % L, moment_p(mp.mpf(1) / 2, expected, chi2)))
    # Random lengths.
    for c in rw2d_levels(n, lmin, lmax, lstp):
        h, rows, _ = LEVELS[c]
        pos = 0
        walks = 0
        counts = {}
        while True:
            length = 0
            for _ in range(c):
                length = 4 * length + step_of(bits, pos)
                pos += 2
            if pos + 2 * length >= n:
                break
            x = y = 0
            for _ in range(length):
                dx, dy = STEPS[step_of(bits, pos)]
                pos += 2
                x += dx
                y += dy
            counts[(x, y)] = counts.get((x, y), 0) + 1
            walks += 1
            if pos + 2 * c >= n:
                break
        o = e = chi2 = 0.0
        expected = []
        for x in range(-h, h + 1):
            m = len(rows[abs(x)])
            for y in range(-(m - 1), m):
                o += counts.get((x, y), 0)
                e += walks * rows[abs(x)][abs(y)]
                if e >= 5:
                    chi2 += cressie_read_half_term(o, e)
                    expected.append(e)
                    o = e = 0.0
        out.append(("RW2D_zar %d" % c, moment_p(mp.mpf(1) / 2, expected, chi2)))
    return L, out


RW2D_CASES = [
    (2463534242, 4000, 1, 3, 1),
    (88172645, 15000, 1, 6, 1),
    (1234567, 12000, 1, 3, 2),
    (42, 3000, 2, 3, 1),
    (31337, 800, 1, 3, 1),
]


# ------------------------------------------------------------------ output

def fmt(v):
    return "PVALUE_SHORT" if v is None else repr(v)


def main():
    lines = check_partition_by_enumeration()
    h = ["// Generated by tools/reference/partition_rw2d.py; do not edit.", "#pragma once",
         "#include <cstdint>", "", "#include \"battery/RunState.h\"", ""]
    # Partition tables, k = 2..5.
    h.append("struct PartitionRecordRef {\n  int k, i, rmin, rmax, offset;\n};")
    flat, recs = [], []
    for (k, i), (rmin, rmax, p) in sorted(PART_TABLES.items()):
        recs.append("{%d, %d, %d, %d, %d}" % (k, i, rmin, rmax, len(flat)))
        flat.extend(p)
    h.append("const PartitionRecordRef PARTITION_RECORDS[] = {%s};" % ", ".join(recs))
    h.append("const double PARTITION_PROBS[] = {%s};" % ", ".join(repr(v) for v in flat))
    h.append("")
    h.append("struct LabelP {\n  const char* label;\n  double p;\n};")
    h.append("struct PartitionCase {\n  uint32_t seed, n;\n  int smin, smax, sstp, knum;\n  int count;\n"
             "  LabelP results[40];\n};")
    cases = []
    for seed, n, smin, smax, sstp, knum in PART_CASES:
        res = partition_reference(seed, n, smin, smax, sstp, knum)
        lines.append("partition seed=%d n=%d k=%d..%d step %d knum %d: %d p-values" % (seed, n, smin, smax, sstp, knum, len(res)))
        for label, p in res:
            lines.append("  %s %s" % (label, fmt(p)))
        cases.append("{%du, %du, %d, %d, %d, %d, %d, {%s}}" % (
            seed, n, smin, smax, sstp, knum, len(res),
            ", ".join("{\"%s\", %s}" % (l, fmt(p)) for l, p in res)))
    h.append("const PartitionCase PARTITION_CASES[] = {\n    %s};" % ",\n    ".join(cases))
    h.append("")
    # Walk law, enumerated.
    spots = []
    for n in range(0, 7):
        enum = walk_law_enumerated(n)
        for (x, y), pr in sorted(enum.items()):
            assert walk_law_closed(n, x, y) == pr
            u, v = x + y, x - y
            assert Fraction(comb(n, (n + u) // 2) * comb(n, (n + v) // 2), 4 ** n) == pr
            spots.append("{%d, %d, %d, %s}" % (n, x, y, repr(float(pr))))
        lines.append("2-D walk law n=%d: %d end points, enumeration of %d walks agrees" % (n, len(enum), 4 ** n))
    for n, x, y in [(8, 8, 0), (8, 3, 1), (10, 0, 0), (14, 14, 0), (14, 5, -3), (20, 2, 2), (26, 0, 26)]:
        spots.append("{%d, %d, %d, %s}" % (n, x, y, repr(float(walk_law_closed(n, x, y)))))
    h.append("struct WalkEndRef {\n  int n, x, y;\n  double p;\n};")
    h.append("const WalkEndRef WALK_END_REF[] = {%s};" % ", ".join(spots))
    h.append("")
    # Level tables 1..3.
    h.append("struct LevelRef {\n  int level, h;\n  const int* rowLength;\n  const double* probs;\n};")
    for c, (hh, rows, law) in LEVELS.items():
        total = sum(law.values()) / 4 ** c
        lines.append("level %d: h = %d, %d points, total probability %s" % (c, hh, sum(2 * len(r) - 1 for r in rows), total))
        assert total == 1
        h.append("const int LEVEL%d_ROWS[] = {%s};" % (c, ", ".join(str(len(r)) for r in rows)))
        h.append("const double LEVEL%d_PROBS[] = {%s};" % (c, ", ".join(repr(v) for r in rows for v in r)))
    h.append("const LevelRef LEVEL_REF[] = {%s};" % ", ".join(
        "{%d, %d, LEVEL%d_ROWS, LEVEL%d_PROBS}" % (c, LEVELS[c][0], c, c) for c in LEVELS))
    h.append("")
    h.append("struct Rw2dCase {\n  uint32_t seed, n;\n  int lmin, lmax, lstp;\n  int fixedLength;\n  int count;\n"
             "  LabelP results[8];\n};")
    cases = []
    for seed, n, lmin, lmax, lstp in RW2D_CASES:
        L, res = rw2d_reference(seed, n, lmin, lmax, lstp)
        lines.append("rw2d seed=%d n=%d levels %d..%d step %d: L = %d" % (seed, n, lmin, lmax, lstp, L))
        for label, p in res:
            lines.append("  %s %s" % (label, fmt(p)))
        cases.append("{%du, %du, %d, %d, %d, %d, %d, {%s}}" % (
            seed, n, lmin, lmax, lstp, L, len(res), ", ".join("{\"%s\", %s}" % (l, fmt(p)) for l, p in res)))
    h.append("const Rw2dCase RW2D_CASES[] = {\n    %s};" % ",\n    ".join(cases))
    # Spot values of the built data files: partition law at large k and
    # the random-length walk law at levels 4..6, exact.
    spots = []
    for k, i, r in [(6, 64, 40), (8, 100, 82), (8, 256, 162), (10, 700, 500), (13, 8192, 5178), (13, 2000, 1800)]:
        d = 2 ** k
        s = stirling2_row(i)[r] if i <= 1024 else None
        if s is None:
            # Alternating sum at high precision: C(d, r) sum_j (-1)^j C(r, j) ((r - j) / d)^i.
            with mp.workdps(6000):
                tot = mp.mpf(0)
                for j in range(r + 1):
                    tot += (-1) ** j * comb(r, j) * mp.power(mp.mpf(r - j) / d, i)
                val = float(comb(d, r) * tot)
        else:
            falling = 1
            for j in range(r):
                falling *= d - j
            val = float(Fraction(falling * s, d ** i))
        spots.append("{%d, %d, %d, %s}" % (k, i, r, repr(val)))
        lines.append("partition law spot k=%d i=%d r=%d: %r" % (k, i, r, val))
    h.append("")
    h.append("struct PartitionSpot {\n  int k, i, r;\n  double p;\n};")
    h.append("const PartitionSpot PARTITION_SPOTS[] = {%s};" % ", ".join(spots))
    spots = []
    for c, x, y in [(4, 0, 0), (4, 3, 2), (5, 10, 0), (5, 1, 1), (6, 0, 0), (6, 20, 7)]:
        # Rotated coordinates u = x + y, v = x - y: two independent simple
        # walks (checked against enumeration above), summed over a common
        # denominator 4^(lengths - 1).
        lengths = 4 ** c
        u, v = x + y, x - y
        num = 0
        for l in range(lengths):
            if (l + u) % 2 == 0 and abs(u) <= l and abs(v) <= l:
                num += comb(l, (l + u) // 2) * comb(l, (l + v) // 2) * 4 ** (lengths - 1 - l)
        val = float(Fraction(num, 4 ** (lengths - 1) * lengths))
        spots.append("{%d, %d, %d, %s}" % (c, x, y, repr(val)))
        lines.append("random-length walk spot level %d (%d, %d): %r" % (c, x, y, val))
    h.append("struct LevelSpot {\n  int level, x, y;\n  double p;\n};")
    h.append("const LevelSpot LEVEL_SPOTS[] = {%s};" % ", ".join(spots))
    with open("tests/battery/PartitionRw2dReference.h", "w") as f:
        f.write("\n".join(h) + "\n")
    print("\n".join(lines))


main()
