#!/usr/bin/python3
"""Independent spot values of the four data files and of the collision law.

Exact integer/fraction arithmetic or mpmath throughout; nothing is taken from
the C++ generator. Writes tests/battery/DataFilesReference.h and prints a
summary (committed as tools/reference/data_files.txt).

Partition: P(r) = C(d, r) * sum_j (-1)^(r-j) C(r, j) j^i / d^i (inclusion-
exclusion, exact integers); whole records for k <= 8 with the tail rule
(cut tails P(R < rmin), P(R > rmax) each below 1e-12).
Coupon: P(T <= t) = sum_j (-1)^j C(d, j) (d - j)^t / d^t exact for small d
(whole records with their lumped tails: lo the first t with P(T <= t) >=
1e-10, hi the first t with P(T >= t) < 1e-10); spot values for d up to 2^16
with mpmath at 60 digits.
2-D walks: levels 1-3 by the exact lattice recursion of walk counts; levels
4-6 by the count C(l, (l+x+y)/2) C(l, (l+x-y)/2) of l-step walks ending at
(x, y), checked here against the lattice recursion for every l <= 40.
Collision: the exact law of the number of distinct values (mpmath), Knuth's
table (TAOCP 3.3.2 I: 2^20 cells, 2^14 words), mean and variance at 60
digits, and the word-count limits from the variance rule.
"""
from fractions import Fraction
from math import comb
import mpmath as mp

mp.mp.dps = 60
OUT = []


def log(*a):
    s = " ".join(str(x) for x in a)
    print(s)


# ---------------------------------------------------------------- partition
def partition_law(k, i):
    d = 1 << k
    den = d ** i
    law = {}
    for r in range(1, min(i, d) + 1):
        s = 0
        for j in range(r + 1):
            s += (-1) ** (r - j) * comb(r, j) * j ** i
        law[r] = Fraction(comb(d, r) * s, den)
    return law


def tail_range(law, eps):
    rs = sorted(r for r in law if law[r] > 0)
    lo, hi = rs[0], rs[-1]
    cut = Fraction(0)
    while lo < hi and float(cut + law[lo]) < eps:
        cut += law[lo]
        lo += 1
    cut = Fraction(0)
    while hi > lo and float(cut + law[hi]) < eps:
        cut += law[hi]
        hi -= 1
    return lo, hi


part_records = []  # (k, i, rmin, rmax)
part_values = []   # (k, i, r, p)
for k, i in [(2, 2), (2, 4), (3, 5), (4, 16), (5, 20), (6, 64), (8, 100), (8, 256)]:
    law = partition_law(k, i)
    assert sum(law.values()) == 1
    lo, hi = tail_range(law, 1e-12)
    part_records.append((k, i, lo, hi))
    for r in range(lo, hi + 1):
        part_values.append((k, i, r, float(law[r])))
    log("partition k=%d i=%d rmin=%d rmax=%d p(rmin)=%.17g" % (k, i, lo, hi, float(law[lo])))
# Large groups: single values by the same exact sum.
for k, i, rs in [(13, 1000, [941, 900, 980]), (10, 1024, [647, 600, 700])]:
    d = 1 << k
    for r in rs:
        s = sum((-1) ** (r - j) * comb(r, j) * j ** i for j in range(r + 1))
        p = float(Fraction(comb(d, r) * s, d ** i))
        part_values.append((k, i, r, p))
        log("partition k=%d i=%d r=%d p=%.17g" % (k, i, r, p))

# ------------------------------------------------------------------- coupon
def coupon_cdf_exact(d, t):
    return Fraction(sum((-1) ** j * comb(d, j) * (d - j) ** t for j in range(d + 1)), d ** t)


coupon_records = []  # (s, lo, hi)
coupon_values = []   # (s, t, p) with t = lo meaning P(T <= lo), t = hi meaning P(T >= hi)
for s in [2, 3, 4, 5]:
    d = 1 << s
    t = d
    while float(coupon_cdf_exact(d, t)) < 1e-10:
        t += 1
    lo = t
    t = lo + 1
    while float(1 - coupon_cdf_exact(d, t - 1)) >= 1e-10:
        t += 1
    hi = t
    coupon_records.append((s, lo, hi))
    coupon_values.append((s, lo, float(coupon_cdf_exact(d, lo))))
    for t in range(lo + 1, hi):
        coupon_values.append((s, t, float(coupon_cdf_exact(d, t) - coupon_cdf_exact(d, t - 1))))
    coupon_values.append((s, hi, float(1 - coupon_cdf_exact(d, hi - 1))))
    log("coupon s=%d lo=%d hi=%d P(T<=lo)=%.17g P(T>=hi)=%.17g" % (s, lo, hi, coupon_values[-(hi - lo + 1)][2],
                                                                      coupon_values[-1][2]))


def coupon_point_mp(d, t):
    # P(T = t) = sum_{j>=1} (-1)^(j+1) C(d, j) (1 - j/d)^(t-1) j/d
    total = mp.mpf(0)
    for j in range(1, min(d, 400) + 1):
        term = mp.binomial(d, j) * mp.power(1 - mp.mpf(j) / d, t - 1) * mp.mpf(j) / d
        total += term if j % 2 else -term
        if j > 50 and term < mp.mpf(10) ** -80:
            break
    return total


coupon_means = []
for s, ts in [(8, [1400, 1567, 3000]), (12, [30000, 36434, 60000]), (16, [600000, 764646, 1500000])]:
    d = 1 << s
    for t in ts:
        p = coupon_point_mp(d, t)
        coupon_values.append((s, t, float(p)))
        log("coupon s=%d t=%d p=%.17g" % (s, t, float(p)))
for s in range(2, 17):
    d = 1 << s
    coupon_means.append((s, float(d * sum(Fraction(1, m) for m in range(1, d + 1)))))

# ------------------------------------------------------------------ 2-D walks
def lattice_counts(lmax):
    """counts[l][(x, y)]: the number of l-step walks from (0, 0) to (x, y)."""
    cur = {(0, 0): 1}
    out = [cur]
    for _ in range(lmax):
        nxt = {}
        for (x, y), c in cur.items():
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                key = (x + dx, y + dy)
                nxt[key] = nxt.get(key, 0) + c
        cur = nxt
        out.append(cur)
    return out


counts = lattice_counts(63)
for l in range(41):
    for (x, y), c in counts[l].items():
        assert c == comb(l, (l + x + y) // 2) * comb(l, (l + x - y) // 2), (l, x, y)


def level_point_exact(level, x, y):
    lengths = 4 ** level
    total = Fraction(0)
    for l in range(lengths):
        if (l + x + y) % 2 or abs(x) + abs(y) > l:
            continue
        if l < len(counts):
            c = counts[l].get((x, y), 0)
        else:
            c = comb(l, (l + x + y) // 2) * comb(l, (l + x - y) // 2)
        total += Fraction(c, 4 ** l)
    return total / lengths


walk_records = []  # (level, h, rows...) for levels 1 and 2: every reachable point
walk_values = []   # (level, |x|, |y|, p)
for level in (1, 2):
    lmax = 4 ** level - 1
    h = lmax
    walk_records.append((level, h))
    for x in range(0, h + 1):
        for y in range(0, lmax - x + 1):
            walk_values.append((level, x, y, float(level_point_exact(level, x, y))))
    log("walk level=%d h=%d rows: row r holds %d - r entries" % (level, h, lmax + 1))
for level, points in [(3, [(0, 0), (1, 0), (5, 3), (20, 7), (34, 2)]), (4, [(0, 0), (3, 4), (30, 10), (60, 0)]),
                      (5, [(0, 1), (10, 10), (70, 5)]), (6, [(0, 0), (1, 0), (25, 40), (150, 3), (250, 20)])]:
    for x, y in points:
        p = float(level_point_exact(level, x, y))
        walk_values.append((level, x, y, p))
        log("walk level=%d x=%d y=%d p=%.17g" % (level, x, y, p))

# ---------------------------------------------------------------- collision
def occupancy_law(c, n):
    """P(distinct = k) after n words in c cells, k = 0..n (mpmath)."""
    p = [mp.mpf(0)] * (n + 2)
    p[1] = mp.mpf(1)
    lo, hi = 1, 1
    cutoff = mp.mpf(10) ** -40
    for w in range(2, n + 1):
        for j in range(hi + 1, lo - 1, -1):
            p[j] = p[j] * j / c + p[j - 1] * (c - j + 1) / c
        hi += 1
        while p[lo] < cutoff:
            p[lo] = 0
            lo += 1
        while p[hi] < cutoff:
            p[hi] = 0
            hi -= 1
    return p


def at_most(p, n, b):
    return float(mp.fsum(p[n - b:n + 1]))


knuth = []
mp.mp.dps = 20
law = occupancy_law(2 ** 20, 2 ** 14)
for b in (101, 108, 119, 126, 134, 145, 153):
    knuth.append((b, at_most(law, 2 ** 14, b)))
    log("collision knuth c=2^20 n=2^14 P(collisions <= %d) = %.6f" % (b, knuth[-1][1]))
small_law = []
for s, n in [(4, 10), (6, 40), (10, 700)]:
    law = occupancy_law(2 ** s, n)
    for b in range(0, n):
        v = at_most(law, n, b)
        if 1e-12 < v < 1 - 1e-12 or b == 0:
            small_law.append((s, n, b, v))
mp.mp.dps = 60


def moments(c, n):
    c, n = mp.mpf(c), mp.mpf(n)
    g = (1 - 1 / c) ** n
    h = (1 - 2 / c) ** n
    return c * g - c + n, c * (c * h + g - h - c * g * g)


moment_cases = []
for s, n in [(20, 2 ** 14), (24, 10 ** 6), (28, 10 ** 6), (31, 3 * 10 ** 6), (31, 26414396), (18, 2 ** 19), (21, 1435930)]:
    m, v = moments(2 ** s, n)
    moment_cases.append((s, n, float(m), float(v)))
    log("collision moments s=%d n=%d mean=%.17g variance=%.17g" % (s, n, float(m), float(v)))

limit_cases = []
for K, s in [(10, 11), (10, 20), (100, 31), (1000, 18), (10000, 21), (10000, 31)]:
    need = mp.mpf(50) * K / mp.pi
    c = 2 ** s
    cap = (2 ** 32 - 1) // s
    var = lambda n: moments(c, n)[1]
    lo, hi = 1, int(1.26 * c) if int(1.26 * c) <= cap else cap
    # the peak lies near 1.26 c; least fit n below it
    while lo < hi:
        mid = (lo + hi) // 2
        if var(mid) >= need:
            hi = mid
        else:
            lo = mid + 1
    least = lo
    lo2, hi2 = min(int(1.26 * c), cap), cap
    while lo2 < hi2:
        mid = hi2 - (hi2 - lo2) // 2
        if var(mid) >= need:
            lo2 = mid
        else:
            hi2 = mid - 1
    limit_cases.append((K, s, least, lo2))
    log("collision limits K=%d s=%d least=%d most=%d" % (K, s, least, lo2))

# ------------------------------------------------------------------- header
with open("tests/battery/DataFilesReference.h", "w") as f:
    w = f.write
    w("#pragma once\n// Generated by tools/reference/data_files.py; do not edit.\n\n")
    w("struct PartitionRecordRef { int k, i, rmin, rmax; };\n")
    w("inline const PartitionRecordRef PARTITION_RECORD_REF[] = {\n")
    for r in part_records:
        w("    {%d, %d, %d, %d},\n" % r)
    w("};\nstruct PartitionValueRef { int k, i, r; double p; };\n")
    w("inline const PartitionValueRef PARTITION_VALUE_REF[] = {\n")
    for r in part_values:
        w("    {%d, %d, %d, %.17g},\n" % r)
    w("};\nstruct CouponRecordRef { int s, lo, hi; };\n")
    w("inline const CouponRecordRef COUPON_RECORD_REF[] = {\n")
    for r in coupon_records:
        w("    {%d, %d, %d},\n" % r)
    w("};\nstruct CouponValueRef { int s, t; double p; };\n")
    w("inline const CouponValueRef COUPON_VALUE_REF[] = {\n")
    for r in coupon_values:
        w("    {%d, %d, %.17g},\n" % r)
    w("};\nstruct CouponMeanRef { int s; double mean; };\n")
    w("inline const CouponMeanRef COUPON_MEAN_REF[] = {\n")
    for r in coupon_means:
        w("    {%d, %.17g},\n" % r)
    w("};\nstruct WalkRecordRef { int level, h; };\n")
    w("inline const WalkRecordRef WALK_RECORD_REF[] = {\n")
    for r in walk_records:
        w("    {%d, %d},\n" % r)
    w("};\nstruct WalkValueRef { int level, x, y; double p; };\n")
    w("inline const WalkValueRef WALK_VALUE_REF[] = {\n")
    for r in walk_values:
        w("    {%d, %d, %d, %.17g},\n" % r)
    w("};\nstruct CollisionKnuthRef { int b; double p; };\n")
    w("inline const CollisionKnuthRef COLLISION_KNUTH_REF[] = {\n")
    for r in knuth:
        w("    {%d, %.17g},\n" % r)
    w("};\nstruct CollisionLawRef { int s, n, b; double p; };\n")
    w("inline const CollisionLawRef COLLISION_LAW_REF[] = {\n")
    for r in small_law:
        w("    {%d, %d, %d, %.17g},\n" % r)
    w("};\nstruct CollisionMomentRef { int s; unsigned n; double mean, variance; };\n")
    w("inline const CollisionMomentRef COLLISION_MOMENT_REF[] = {\n")
    for r in moment_cases:
        w("    {%d, %du, %.17g, %.17g},\n" % r)
    w("};\nstruct CollisionLimitRef { int K, s; unsigned least, most; };\n")
    w("inline const CollisionLimitRef COLLISION_LIMIT_REF[] = {\n")
    for r in limit_cases:
        w("    {%d, %d, %du, %du},\n" % r)
    w("};\n")
