#!/usr/bin/python3
"""Null simulation of the blocks and gaps and the block gap distance
statistics, each in two forms: with expected counts fixed in advance (every
histogram against the count a random sequence of that length has on
average) and judged against the histogram's own total (the number of runs;
each value's own number of gaps). Prints the mean statistic against its
degrees of freedom, the mean p-value and the Kolmogorov-Smirnov p-value of
the p-values against the uniform law.

Independent of the C++ code: numpy bits, scipy chi-square tails. Run from
the repository root (about two minutes):
    /usr/bin/python3 tools/reference/blocks_and_gaps_null.py > tools/reference/blocks_and_gaps_null.txt
"""
import os
import sys
import numpy as np
from scipy import stats

sys.path.insert(0, os.path.dirname(__file__))
from blocks_and_gaps import gap_classes  # noqa: E402


def report(name, xs, dfs):
    xs = np.asarray(xs, dtype=float)
    dfs = np.asarray(dfs, dtype=float)
    p = stats.chi2.sf(xs, dfs)
    print("%-34s N=%d  mean X - df = %8.3f  mean p = %.3f  KS p = %.2g" % (
        name, len(xs), np.mean(xs - dfs), p.mean(), stats.kstest(p, "uniform").pvalue))


def blkgap(n, sequences, seed):
    rng = np.random.default_rng(seed)
    K = 2
    while (n - K + 3) / 2.0 ** (K + 2) >= 5:
        K += 1
    j = np.arange(1, K + 1)
    fixed = np.where(j < K, (n - j + 3) / 2.0 ** (j + 2), (n - K + 4) / 2.0 ** (K + 1))
    share = np.where(j < K, 2.0 ** -j, 2.0 ** -(K - 1))
    out = {k: ([], []) for k in ("BLK fixed", "BLK own", "GAP fixed", "GAP own")}
    for _ in range(sequences):
        b = rng.integers(0, 2, n, dtype=np.int8)
        starts = np.concatenate(([0], np.flatnonzero(b[1:] != b[:-1]) + 1))
        lengths = np.diff(starts)          # the run reaching the last bit has no end
        values = b[starts[:-1]]
        for a, label in ((1, "BLK"), (0, "GAP")):
            o = np.bincount(np.minimum(lengths[values == a], K), minlength=K + 1)[1:]
            r = o.sum()
            out[label + " fixed"][0].append(np.sum((o - fixed) ** 2 / fixed))
            out[label + " own"][0].append(np.sum((o - r * share) ** 2 / (r * share)))
            for form in ("fixed", "own"):
                out[label + " " + form][1].append(K - 1)
    print("Blocks and gaps, n = %d, K = %d, seed %d" % (n, K, seed))
    for k, (xs, dfs) in out.items():
        report("  " + k, xs, dfs)


def blkgapdis(n, s, sequences, seed):
    rng = np.random.default_rng(seed)
    f, G, cls, probs = gap_classes(n, s)
    cls, probs = np.array(cls), np.array(probs)
    K, C = 1 << s, len(probs)
    W = (n - 1) // s
    weights = 1 << np.arange(s - 1, -1, -1)
    out = {k: ([], []) for k in ("fixed", "own")}
    for _ in range(sequences):
        words = rng.integers(0, 2, W * s, dtype=np.int64).reshape(W, s) @ weights
        order = np.argsort(words, kind="stable")
        sv = words[order]
        same = sv[1:] == sv[:-1]
        gaps = (order[1:] - order[:-1])[same]
        counts = np.bincount(sv[1:][same] * C + cls[np.minimum(gaps, G) - 1], minlength=K * C).reshape(K, C)
        e = f * probs
        out["fixed"][0].append(np.sum((counts - e) ** 2 / e))
        out["fixed"][1].append(K * C - 1)
        g = counts.sum(axis=1)
        g = g[g > 0]
        rows = counts[counts.sum(axis=1) > 0]
        e = g[:, None] * probs[None, :]
        out["own"][0].append(np.sum((rows - e) ** 2 / e))
        out["own"][1].append(len(g) * (C - 1))
    print("Block gap distance, n = %d, s = %d, f = %d, classes per value %d, seed %d" % (n, s, f, C, seed))
    for k, (xs, dfs) in out.items():
        report("  " + k, xs, dfs)


if __name__ == "__main__":
    blkgap(1 << 16, 20000, 1)
    for s in (7, 10, 11, 12):
        blkgapdis(1 << 20, s, 1000, s)
