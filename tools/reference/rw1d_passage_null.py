#!/usr/bin/python3
"""Null simulation of the first-passage statistic of the 1-D walk test at
walk length L = 8, level 1, two ways:

  without: the walks that never reach the level are left out of the
           histogram while the expected counts n * P(T = k) still come from
           all n walks (k = 8 .. 1);
  with:    those walks form a cell of their own, P(-1 <= S_8 <= 0) = 35/128,
           visited first, before k = 8 .. 1.

Classes are merged until the running expected count reaches 5 (the open
remainder dropped); p = Q((classes - 1) / 2, chi2 / 2). The sequences come
from numpy's PCG64 generator. Prints, for each way, the degrees of freedom,
the mean statistic and the Kolmogorov-Smirnov p-value of the p-values
against the uniform law. Output committed as rw1d_passage_null.txt:
    /usr/bin/python3 tools/reference/rw1d_passage_null.py > tools/reference/rw1d_passage_null.txt
"""
from math import comb

import numpy as np
from scipy import special, stats

L = 8
B = 1
WALKS = 8192  # 2^16-bit sequences
SEQUENCES = 20000
BATCH = 200


def passage_law():
    law = {k: (B / k) * comb(k, (k + B) // 2) / 2 ** k for k in range(1, L + 1) if (k + B) % 2 == 0}
    none = sum(comb(L, (L + x) // 2) / 2 ** L for x in range(-B, B) if (L + x) % 2 == 0)
    return law, none


def merged(cells):
    o = e = chi2 = 0.0
    classes = 0
    for obs, exp_ in cells:
        o += obs
        e += exp_
        if e >= 5:
            chi2 += (o - e) ** 2 / e
            classes += 1
            o = e = 0.0
    return classes, chi2


def main(seed):
    law, none = passage_law()
    rng = np.random.Generator(np.random.PCG64(seed))
    results = {"without": [], "with": []}
    for _ in range(SEQUENCES // BATCH):
        steps = rng.integers(0, 2, size=(BATCH, WALKS, L), dtype=np.int8) * 2 - 1
        s = np.cumsum(steps, axis=2)
        hit = s == B
        reached = hit.any(axis=2)
        first = np.where(reached, hit.argmax(axis=2) + 1, 0)
        for row in first:
            counts = np.bincount(row, minlength=L + 1)
            ks = range(L, 0, -1)
            without = [(counts[k], WALKS * law.get(k, 0.0)) for k in ks]
            with_ = [(counts[0], WALKS * none)] + without
            for name, cells in (("without", without), ("with", with_)):
                classes, chi2 = merged(cells)
                results[name].append((classes, chi2, special.gammaincc((classes - 1) / 2, chi2 / 2)))
    print("# L = %d, level %d, %d walks per sequence, %d sequences, seed %d" % (L, B, WALKS, SEQUENCES, seed))
    print("# P(no passage) = %.6f" % none)
    for name in ("without", "with"):
        rows = np.array(results[name])
        df = int(rows[0, 0]) - 1
        ks = stats.kstest(rows[:, 2], "uniform").pvalue
        print("%-8s no-passage walks: df %d, mean chi2 %.4f (expected %d), KS p %.3g" % (name, df, rows[:, 1].mean(), df, ks))


if __name__ == "__main__":
    for seed in (1, 2):
        main(seed)
