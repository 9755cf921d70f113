#!/usr/bin/python3
"""Pearson's chi-square over merged classes with small expected counts:
its exact mean and variance under the multinomial against simulation, and
the tail of three laws for its p-value against the simulated statistic.

Rows: the partition test's rows (groups of i > 2 values of k bits, at 2^17
bits) and the weight test's rows at 2^17 bits, with their classes merged
as the tests merge them. For each row R multinomial samples of the class
counts (all cells, the dropped ones included) give the statistic; then
  mean, variance   simulated against the exact moments (below),
  P(p < a)         for a = 0.001, 0.01 and P(p > 1 - a), pooled over the
                   rows, under chi2(classes - 1) ("chi2"), the scaled
                   chi-square b chi2(nu) with the exact mean and variance
                   ("scaled"), and the shifted scaled chi-square a + b chi2(nu)
                   with the exact mean, variance and third cumulant
                   ("three"), and "blend": chi2's p-value p_c and three's p_t
                   weighted p_c p_c + (1 - p_c) p_t, chi2 where the statistic
                   is small and three in its upper tail; then per law the
                   p-values pooled over each test's rows in the 16 cells of
                   the binomial threshold p-value (O/E, 1 under the null).
Exact moments of X = sum over classes i of (O_i - N p_i)^2 / (N p_i), the
counts multinomial (N; p_1 .. p_k, and the dropped rest), q_i = 1 - p_i:
  E X = sum q_i
  Var X = sum_i [q_i / (N p_i) + 2 q_i^2 - 6 q_i^2 / N]
        + sum_{i != j} [2 p_i p_j + (2 p_i + 2 p_j - 1 - 6 p_i p_j) / N],
which for classes holding every count is Haldane's (1937)
2 (k - 1) + (sum 1/p_i - k^2 - 2k + 2) / N. All three cumulants also
exactly (exact_moments.py, from the multinomial's factorial moments).
"""
import math, sys
import numpy as np
from scipy import stats
from scipy.special import comb
from exact_moments import pearson_cumulants

BITS = 1 << 17
R = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
rng = np.random.default_rng(20261210)


def merge_partition(p, groups):
    """Cells r = 1..i: ascending until the class holding the mode closes,
    then from r = i down; a class closes at expected >= 5, the open rest is
    dropped. Returns the classes as lists of cell indices."""
    i = len(p)
    classes, cur, e = [], [], 0.0
    end = i
    for r in range(1, i + 1):
        cur.append(r - 1); e += groups * p[r - 1]
        if e >= 5:
            classes.append(cur); cur, e = [], 0.0
            if p[r - 1] > (p[r] if r < i else 0.0):
                end = r
                break
    cur, e = [], 0.0  # the ascending remainder cannot be open once a class closed at the mode
    for r in range(i, end, -1):
        cur.append(r - 1); e += groups * p[r - 1]
        if e >= 5:
            classes.append(cur); cur, e = [], 0.0
    return classes


def stirling2_row(n):
    s = [[0] * (n + 1) for _ in range(n + 1)]
    s[0][0] = 1
    for a in range(1, n + 1):
        for b in range(1, a + 1):
            s[a][b] = b * s[a - 1][b] + s[a - 1][b - 1]
    return s[n]


def partition_probs(k, i):
    d = 1 << k
    s = stirling2_row(i)
    out = []
    for r in range(1, i + 1):
        if r > d:
            out.append(0.0); continue
        falling = math.prod(range(d - r + 1, d + 1))
        out.append(float(s[r] * falling / d ** i) if True else 0.0)
    return out


def merge_order(expected, order):
    classes, cur, e = [], [], 0.0
    for c in order:
        cur.append(c); e += expected[c]
        if e >= 5:
            classes.append(cur); cur, e = [], 0.0
    return classes


def moments(pc, n):
    pc = np.asarray(pc); q = 1 - pc; k = len(pc)
    mean = q.sum()
    var = (q / (n * pc) + 2 * q * q - 6 * q * q / n).sum()
    P, Q2 = pc.sum(), (pc * pc).sum()
    var += 2 * (P * P - Q2) + (4 * (k - 1) * P - k * (k - 1) - 6 * (P * P - Q2)) / n
    return mean, var


rows = []
PARTITION = {2: range(3, 5), 4: range(5, 17), 6: list(range(27, 46)) + [47],
             8: list(range(44, 56)) + list(range(58, 64)) + [66, 67]}
for k, irange in PARTITION.items():
    for i in irange:
        groups = BITS // (k * i)
        p = partition_probs(k, i)
        rows.append(("Partition_%d_%d" % (k, i), groups, p, merge_partition(p, groups)))
WEIGHT = {1: [0.5], 2: [0.5]}
for s in (4, 8, 16, 32):
    rng_ = 1 << s; step = rng_ // 5
    WEIGHT[s] = [1 - j * step / rng_ for j in range(1, 5)]
for s, ps in WEIGHT.items():
    groups = BITS // s // 40
    for pw in ps:
        p = [stats.binom.pmf(c, 40, pw) for c in range(41)]
        order = list(range(21)) + list(range(40, 20, -1))
        rows.append(("Weight %d_%.0f" % (s, 100 * pw), groups, p, merge_order([groups * x for x in p], order)))

A = (0.001, 0.01)
tally = {}
print("# R = %d samples per row; mean, var: simulated / exact; tails: count of p < a (p > 1 - a) per law, expected R a" % R)
print("%-16s %3s %8s %8s %8s %8s %8s %8s  %s" % ("row", "k", "mean", "exact", "var", "exact", "k3", "exact", "count of p < 0.001 per law"))
for name, n, p, classes in rows:
    pc = [sum(p[c] for c in cl) for cl in classes]
    k = len(pc)
    cells = np.array(p + [max(0.0, 1 - sum(p))])
    cells = cells / cells.sum()
    counts = rng.multinomial(n, cells, size=R)
    obs = np.stack([counts[:, cl].sum(axis=1) for cl in classes], axis=1)
    e = n * np.array(pc)
    x = (((obs - e) ** 2) / e).sum(axis=1)
    mean, var = moments(pc, n)
    em, ev, k3 = (float(v) for v in pearson_cumulants(pc, n))
    assert abs(em - mean) < 1e-9 * mean and abs(ev - var) < 1e-6 * var, (name, em, mean, ev, var)
    b = k3 / (4 * var); nu = var / (2 * b * b); a0 = mean - b * nu
    laws = {"chi2": stats.chi2.sf(x, k - 1),
            "scaled": stats.chi2.sf(x / (var / (2 * mean)), 2 * mean * mean / var),
            "three": stats.chi2.sf(np.maximum(x - a0, 0) / b, nu)}
    ps, pt = laws["chi2"], laws["three"]
    laws["blend"] = ps + (1 - ps) * (pt - ps)
    for law, pv in laws.items():
        hist = tally.setdefault((name.split()[0].split("_")[0], law, "cells"), np.zeros(16))
        hist += np.histogram(pv, bins=[0, .001, .01, .05, .1, .2, .3, .4, .5, .6, .7, .8, .9, .95, .99, .999, 1.0000001])[0]
    test = name.split()[0].split("_")[0]
    line = []
    for law, pv in laws.items():
        for a in A:
            lo, hi = int((pv < a).sum()), int((pv > 1 - a).sum())
            key = (test, law, a)
            t = tally.setdefault(key, [0, 0, 0])
            t[0] += lo; t[1] += hi; t[2] += R * a
        line.append("%s %d" % (law, (pv < 0.001).sum()))
    print("%-16s %3d %8.3f %8.3f %8.3f %8.3f %8.2f %8.2f  %s" % (name, k, x.mean(), mean, x.var(), var,
          ((x - x.mean()) ** 3).mean(), k3, "  ".join(line)))
print()
print("# pooled over each test's rows: P(p < a) and P(p > 1 - a) against a")
for (test, law, a), t in sorted(tally.items(), key=lambda kv: str(kv[0])):
    if a == "cells":
        w = np.diff([0, .001, .01, .05, .1, .2, .3, .4, .5, .6, .7, .8, .9, .95, .99, .999, 1])
        print("%-10s %-7s cells O/E" % (test, law), " ".join("%.3f" % v for v in t / (t.sum() * w)))
        continue
    lo, hi, ex = t
    print("%-10s %-7s a = %-6g  low %.3f  high %.3f  (expected count %d)" % (test, law, a, lo / ex, hi / ex, ex))
