#!/usr/bin/python3
"""Bino's mixed law (small classes exact, large ones by chi-square given the
small classes' count C) against the same law with the large classes' term
scaled by (N - C) / (N P_L), as Pearson's statistic about the N p_i has it:
at the points where the unscaled law's tail is 1e-2, 1e-3 and 1e-4, the
scaled law's tail over the level (tools/binolaw/results.txt). Uses
tools/reference/bino_law.py's dynamic programme. From the repository root:
    /usr/bin/python3 tools/binolaw/large_class_scale.py
"""
import sys, math
sys.path.insert(0, 'tools/reference')
import numpy as np
from scipy import stats, optimize
import bino_law as B

def mixed_tail_scaled(e, small, n, t, scaled):
    idx = [i for i in range(len(e)) if small[i]]
    kl = len(e) - len(idx) - 1
    es = sum(e[i] for i in idx)
    npl = n * (1.0 - sum(e[i] / n for i in idx))
    cap = int(math.floor(t * B.LATTICE)) + 1
    c_top = min(n, int(es + 14 * math.sqrt(es) + 20))
    a = B.poisson_dp([e[i] for i in idx], n, cap, c_top)
    norm = B.poisson_pmf(n, es + npl)
    total = 0.0
    ys = np.arange(cap + 1)
    for c in range(c_top + 1):
        w = B.poisson_pmf(n - c, npl) / norm
        marginal = B.poisson_pmf(c, es) * w
        inside = a[c] * w
        d = c - es
        s = (n - c) / npl if scaled else 1.0
        with np.errstate(divide="ignore"):
            z = (t - ys / B.LATTICE - d * d / npl) / s
        sf = np.where(z <= 0, 1.0, stats.chi2.sf(np.maximum(z, 0), kl))
        total += (marginal - inside.sum()) + float((inside * sf).sum())
    return total

for n in (250, 500, 1000, 5000):
    expected, _ = B.bino_classes(n)
    e, small, kind = B.law_of(expected, n)
    out = []
    for level in (1e-2, 1e-3, 1e-4):
        t = optimize.brentq(lambda t: math.log(max(mixed_tail_scaled(e, small, n, t, False), 1e-300)) - math.log(level), 8, 70, xtol=1e-6)
        out.append("%g: %.3f" % (level, mixed_tail_scaled(e, small, n, t, True) / level))
    print(n, kind, sum(small), "small;", "  ".join(out))
