#!/usr/bin/python3
"""Null laws of the short blocks and weight statistics, simulated from the
exact multinomial laws of their counts (uniform words for short blocks,
binomial group counts for weight), independent of the program:
1. the chi-square degrees of freedom over 2 taken as a real number and as
   an integer division (the integer halving is plainly non-uniform);
2. the weight test with few groups: its merged chi-square (classes closed
   at an expected count of 5) is an approximation whose error shows at 51
   groups (n = 2^16, s = 32) over 10^5 sequences and is gone at 204.
Run: /usr/bin/python3 tools/reference/short_blocks_weight_null_law.py
"""
import numpy as np
from scipy.special import gammaincc
from scipy.stats import kstest, binom
rng = np.random.default_rng(7)
N = 10000
print("SHORTBLK S, d=1, n=2^16: KS of p with real halving vs integer halving")
for S in (1, 2, 4):
    words = (1 << 16) // S
    cells = 1 << S
    c = rng.multinomial(words, [1 / cells] * cells, size=N)
    e = words / cells
    x = ((c - e) ** 2 / e).sum(axis=1)
    a_real = (cells - 1) / 2
    a_int = (cells - 1) // 2
    p_real = gammaincc(a_real, x / 2)
    p_int = gammaincc(a_int, x / 2) if a_int > 0 else np.ones(N)
    print(S, "real KS %.3g" % kstest(p_real, "uniform").pvalue, "integer KS %.3g" % kstest(p_int, "uniform").pvalue,
          "mean p real %.3f integer %.3f" % (p_real.mean(), p_int.mean()))
print("WEIGHT s=8, T=64 (p=0.75), n=2^20 -> G=3276 groups")
G = (1 << 20) // 8 // 40
pmf = binom.pmf(np.arange(41), 40, 0.75)
expct = G * pmf
order = list(range(21)) + list(range(40, 20, -1))
classes = []
cur, ee = [], 0.0
for k in order:
    cur.append(k); ee += expct[k]
    if ee >= 5:
        classes.append((cur, ee)); cur, ee = [], 0.0
cells = len(classes)
h = rng.multinomial(G, pmf, size=N)
x = sum((h[:, ks].sum(axis=1) - e) ** 2 / e for ks, e in classes)
p_real = gammaincc((cells - 1) / 2, x / 2)
p_int = gammaincc((cells - 1) // 2, x / 2)
print("cells", cells, "real KS %.3g" % kstest(p_real, "uniform").pvalue, "integer KS %.3g" % kstest(p_int, "uniform").pvalue,
      "mean p real %.3f integer %.3f" % (p_real.mean(), p_int.mean()))
print("WEIGHT default grid at n=2^20 (g=4): thresholds with an even cell count")
for s in (1, 2, 4, 8, 16, 32):
    G = (1 << 20) // s // 40
    g = 4; step = (1 << s) // (g + 1)
    if step == 0: g, step = 1, 1 << (s - 1)
    for i in range(1, g + 1):
        p = 1 - i * step / 2.0 ** s
        pmf = binom.pmf(np.arange(41), 40, p); expct = G * pmf
        classes = []; cur, ee = [], 0.0
        for k in order:
            cur.append(k); ee += expct[k]
            if ee >= 5: classes.append((cur, ee)); cur, ee = [], 0.0
        cells = len(classes)
        if cells % 2: continue
        h = rng.multinomial(G, pmf, size=N)
        x = sum((h[:, ks].sum(axis=1) - e) ** 2 / e for ks, e in classes)
        p_real = gammaincc((cells - 1) / 2, x / 2); p_int = gammaincc((cells - 1) // 2, x / 2)
        print("Weight %d_%.0f cells %d real KS %.3g integer KS %.3g" % (s, 100 * p, cells, kstest(p_real, "uniform").pvalue, kstest(p_int, "uniform").pvalue))

print("WEIGHT with few groups: merged chi-square over 10^5 simulated sequences")
N2 = 100000
for G in (51, 204, 819):
  for p in (0.8, 0.6, 0.4, 0.2):
    pmf = binom.pmf(np.arange(41), 40, p); ex = G * pmf
    classes = []; cur, ee = [], 0.0
    for k in order:
        cur.append(k); ee += ex[k]
        if ee >= 5: classes.append((cur, ee)); cur, ee = [], 0.0
    h = rng.multinomial(G, pmf, size=N2)
    x = sum((h[:, ks].sum(axis=1) - e) ** 2 / e for ks, e in classes)
    pv = gammaincc((len(classes) - 1) / 2, x / 2)
    print("G %d p %.1f cells %d KS %.3g  P(p<0.01) %.4f P(p<0.001) %.5f mean %.4f" % (G, p, len(classes), kstest(pv, "uniform").pvalue, (pv < 0.01).mean(), (pv < 0.001).mean(), pv.mean()))
