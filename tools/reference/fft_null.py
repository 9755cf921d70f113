#!/usr/bin/python3
"""The null laws of the two FFT statistics, computed with numpy alone
(independently of the C++ code) on random bits of numpy's generator.

DFT (R = 1, N = 2^17): the Kolmogorov-Smirnov distance D of the N/2 + 1
normalised imaginary parts to N(0, 1). For independent normal values the
mean of D sqrt(n) tends to sqrt(pi / 2) ln 2 = 0.8687; the transform's
values give less, so the test's p-values lean towards 1.

Peak (N = 2^17): the z-scores of the counts below the thresholds for
q = 0.01, 0.5 and 0.99. Their mean is shifted by the two real outputs
(zero frequency and N/2), which lie below T with probability
P(|Z| < sqrt(-ln q)) instead of 1 - q: about +0.95 counts at q = 0.01, or
0.04 standard deviations at N = 2^17 and 0.007 at 2^22.
"""
import math

import numpy as np
from scipy import stats, special

rng = np.random.default_rng(5)
N = 1 << 17
SEQUENCES = 3000

ds, ps = [], []
for _ in range(SEQUENCES):
    b = rng.integers(0, 2, N).astype(np.float64)
    v = np.fft.rfft(b).imag / math.sqrt(N / 8)
    n = len(v)
    u = np.sort(stats.norm.cdf(v))
    i = np.arange(1, n + 1)
    d = max(np.max(i / n - u), np.max(u - (i - 1) / n))
    ds.append(d * math.sqrt(n))
    ps.append(special.kolmogorov((math.sqrt(n) + 0.12 + 0.11 / math.sqrt(n)) * d))
ds = np.array(ds)
print("DFT 1, N = 2^17, %d sequences" % SEQUENCES)
print("  mean D sqrt(n) = %.4f (standard error %.4f); independent normal values: %.4f"
      % (ds.mean(), ds.std() / math.sqrt(len(ds)), math.sqrt(math.pi / 2) * math.log(2)))
print("  p-values in tenths:", np.histogram(ps, bins=10, range=(0, 1))[0].tolist())
print("  KS of the p-values against uniform: %.3g" % stats.kstest(ps, "uniform").pvalue)

LEVELS = {0.01: 0.0038951198037469, 0.5: 0.0649469474736013, 0.99: 0.00490947047425817}
z = {q: [] for q in LEVELS}
for _ in range(SEQUENCES):
    x = 2.0 * rng.integers(0, 2, N) - 1
    m = np.abs(np.fft.rfft(x))
    for q, v in LEVELS.items():
        count = np.sum(m < math.sqrt(-N * math.log(q)))
        z[q].append((count - (0.5 - 0.5 * q) * N) / math.sqrt(v * N))
print("Peak, N = 2^17, %d sequences" % SEQUENCES)
for q in LEVELS:
    a = np.array(z[q])
    real = 2 * (2 * stats.norm.cdf(math.sqrt(-math.log(q))) - 1) - (1 - q)
    print("  q = %-4g mean z = %+.4f (standard error %.4f), sd z = %.4f; "
          "offset of the two real outputs: %+.3f counts = %+.4f sd"
          % (q, a.mean(), 1 / math.sqrt(len(a)), a.std(), real, real / math.sqrt(LEVELS[q] * N)))
