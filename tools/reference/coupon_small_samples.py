#!/usr/bin/python3
"""The law of the coupon collector's chi-square p-values with few collections,
from the exact collection-length laws of the built DAT_coupon.bin; nothing
is taken from the C++ code.

1. Why the open remainder joins the last class: N independent collection
   lengths of s = 9, 5000 repetitions, KS against the uniform law, with the
   remainder merged into the last class and with it dropped.
2. Why a word size is judged only from 80 mean collections on: a sequence of
   W counted words of a good generator is a renewal process of independent
   collection lengths (the open last collection is dropped), so N, the
   number of complete collections, is random as in the test. W is the least
   count the gate admits, gate x the mean length: the rarest collections a
   judged word size ever has (the largest s judged at a length near its
   boundary). Per gate and s: KS p-values of 10^4 sequences with two seeds
   (what a null run sees) and the KS distance D of 10^5 sequences (the
   systematic departure; 10^4 sequences see it as KS p about Q(100 D),
   Q(1) = 0.27, Q(1.5) = 0.022, Q(2) = 7e-4, Q(3) = 6e-8, plus noise).

Classes as in the test: ascending length, each closed once N times its
probability reaches 5; p = Q((classes - 1) / 2, chi2 / 2).
Run from the repository root after a build:
  /usr/bin/python3 tools/reference/coupon_small_samples.py [bin dir]
(output committed as coupon_small_samples.txt; takes a few minutes).
"""
import struct, sys
import numpy as np
from scipy.special import gammaincc
from scipy.stats import kstest

d = open((sys.argv[1] if len(sys.argv) > 1 else 'build/bin') + '/DAT_coupon.bin', 'rb').read()
pos = 4
rec = {}
while d[pos]:
    s = d[pos]
    lo, mean, hi = struct.unpack_from('<ifi', d, pos + 1)
    p = np.array(struct.unpack_from('<%dd' % (hi - lo + 1), d, pos + 13))
    rec[s] = (lo, mean, hi, p)
    pos += 13 + 8 * (hi - lo + 1)


def classes_for(N, p, merge):
    """Cell -> class (-1: dropped) and the class count for N collections."""
    cum = np.cumsum(N * p)
    bounds = []
    base = 0.0
    while True:
        j = np.searchsorted(cum, base + 5 - 1e-12)
        if j >= len(p):
            break
        bounds.append(j)
        base = cum[j]
    cls = np.full(len(p), -1)
    prev = 0
    for k, b in enumerate(bounds):
        cls[prev:b + 1] = k
        prev = b + 1
    if merge and bounds:
        cls[prev:] = len(bounds) - 1
    return cls, len(bounds)


def pvalues(cells, N, p, merge=True):
    """p-values of rows of collection cells; row r holds N[r] collections."""
    out = np.full(len(N), np.nan)
    for n in np.unique(N):
        idx = np.nonzero(N == n)[0]
        cls, C = classes_for(n, p, merge)
        if C < 2:
            continue
        keep = cls >= 0
        expected = np.bincount(cls[keep], weights=p[keep], minlength=C) * n
        sub = cls[cells[idx, :n]]
        rows = np.repeat(np.arange(len(idx)), n).reshape(len(idx), n)
        ok = sub >= 0
        counts = np.bincount((rows * C + sub)[ok], minlength=len(idx) * C).reshape(len(idx), C)
        chi2 = ((counts - expected) ** 2 / expected).sum(axis=1)
        out[idx] = gammaincc((C - 1) / 2, chi2 / 2)
    return out[~np.isnan(out)]


def draw(rng, p, shape):
    cdf = np.cumsum(p)
    cdf /= cdf[-1]
    return np.minimum(np.searchsorted(cdf, rng.random(shape)), len(p) - 1)


# 1. Fixed N, merged against dropped remainder.
lo, mean, hi, p = rec[9]
rng = np.random.default_rng(1)
for N in (33, 83, 200):
    cells = draw(rng, p, (5000, N))
    Ns = np.full(5000, N)
    print('iid s=9 N=%d merged KS %.3g dropped KS %.3g' % (
        N, kstest(pvalues(cells, Ns, p, True), 'uniform').pvalue,
        kstest(pvalues(cells, Ns, p, False), 'uniform').pvalue))


# 2. Renewal process at each gate's boundary.
def renewal(s, W, R, seed):
    lo, mean, hi, p = rec[s]
    rng = np.random.default_rng(seed)
    cells = draw(rng, p, (R, int(W // lo) + 2))
    N = (np.cumsum(cells + lo, axis=1) <= W).sum(axis=1)
    return pvalues(cells, N, p), N.mean()


print('gate\ts\tW\tmean N\tKS seed 1\tKS seed 2\tD (10^5)')
for gate in (30, 50, 60, 70, 80, 100):
    worst = 0
    for s in sorted(rec):
        lo, mean, hi, p = rec[s]
        W = int(np.ceil(gate * mean))
        ks = []
        for seed in (1, 2):
            ps, meanN = renewal(s, W, 10000, seed)
            ks.append(kstest(ps, 'uniform').pvalue)
        D = kstest(renewal(s, W, 100000, 3)[0], 'uniform').statistic
        worst = max(worst, D)
        print('%d\t%d\t%d\t%.1f\t%.3g\t%.3g\t%.4f' % (gate, s, W, meanN, ks[0], ks[1], D), flush=True)
    print('gate %d: largest D %.4f' % (gate, worst), flush=True)
