#!/usr/bin/python3
"""Checks, by simulation, how the battery carries the quantile curves of the
seven goodness-of-fit statistics beyond their largest sample size M = 13625:
each statistic's quantiles at M, moved by its scaling law, against the
quantiles simulated at 4 M (and, for comparison, the quantiles at M held
unchanged). Writes gof_scaling_check.txt beside this script.

Statistics as the results view computes them from a sorted sample x of n
uniform values (indices i = 1 .. n), with m_i the medians of the uniform
order statistics: KS, AD, SL, CM, SW (1 - W), CC (1 - r^2 with m), AV.

    /usr/bin/python3 tools/reference/check_gof_scaling.py
"""
import math
import os

import numpy as np
from scipy import special, stats

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "gof_scaling_check.txt")
M = 13625
REPS = 4000
BATCH = 100
LEVELS = [0.001, 0.01, 0.1, 0.5, 0.9, 0.99, 0.999]
NAMES = ["KS", "AD", "SL", "CM", "SW", "CC", "AV"]


def sw_coefficients(n):
    """The full antisymmetric coefficient vector of AS R94 (exact normal
    quantiles in place of PPND7), lowest order statistic first."""
    half = n // 2
    i = np.arange(1, half + 1)
    m = special.ndtri((i - 0.375) / (n + 0.25))
    summ2 = 2 * np.sum(m * m)
    ssumm2 = math.sqrt(summ2)
    rsn = 1 / math.sqrt(n)
    c1 = ((((-2.706056 * rsn + 4.434685) * rsn - 2.07119) * rsn - 0.147981) * rsn + 0.221157) * rsn
    c2 = ((((-3.582633 * rsn + 5.682633) * rsn - 1.752461) * rsn - 0.293762) * rsn + 0.042981) * rsn
    a1 = c1 - m[0] / ssumm2
    a2 = c2 - m[1] / ssumm2
    fac = math.sqrt((summ2 - 2 * m[0] ** 2 - 2 * m[1] ** 2) / (1 - 2 * a1 ** 2 - 2 * a2 ** 2))
    a = -m / fac
    a[0], a[1] = a1, a2
    full = np.zeros(n)
    full[:half] = -a
    full[n - half:] = a[::-1]
    return full


def statistics(n, rng):
    i = np.arange(1, n + 1)
    med = stats.beta.ppf(0.5, i, n - i + 1)
    am = (med - med.mean()) / np.sum(np.abs(med - med.mean()))
    sw = sw_coefficients(n)
    out = []
    for _ in range(REPS // BATCH):
        x = np.sort(rng.random((BATCH, n)), axis=1)
        ks = np.max(np.maximum(np.abs(i / n - x), np.abs((i - 1) / n - x)), axis=1)
        ad = -n - np.sum((2 * i - 1) * np.log(x * (1 - x[:, ::-1])), axis=1) / n
        sl = np.sum((i / n - x) ** 2, axis=1)
        cm = 1 / (12 * n) + np.sum((x - (2 * i - 1) / (2 * n)) ** 2, axis=1)
        xc = x - x.mean(axis=1, keepdims=True)
        w = (xc @ sw) ** 2 / (np.sum(xc * xc, axis=1) * np.sum(sw * sw))
        r2 = (xc @ (med - med.mean())) ** 2 / (np.sum(xc * xc, axis=1) * np.sum((med - med.mean()) ** 2))
        b = xc / np.sum(np.abs(xc), axis=1, keepdims=True)
        av = np.sum(np.sign(am * b) * np.minimum(np.abs(am), np.abs(b)), axis=1)
        out.append(np.stack([ks, ad, sl, cm, 1 - w, 1 - r2, av], axis=1))
    return np.concatenate(out)


def ks_factor(n):
    return math.sqrt(n) + 0.12 + 0.11 / math.sqrt(n)


def carried(s, q, median, n):
    """The battery's rule: quantiles at M carried to n > M."""
    ratio = M / n
    if s == 0:
        return q * ks_factor(M) / ks_factor(n)
    if s == 4:
        return median + (q - median) * math.sqrt(ratio)
    if s == 5:
        return q * ratio
    if s == 6:
        return 1 - (1 - q) * math.sqrt(ratio)
    return q


def main():
    rng = np.random.default_rng(7)
    n2 = 4 * M
    at_m = statistics(M, rng)
    at_4m = statistics(n2, rng)
    lines = ["Quantiles of the seven statistics at n = %d simulated (%d samples each) against" % (n2, REPS),
             "the quantiles at M = %d carried by the battery's rule and held unchanged." % M,
             "Error in units of the simulated quantile spread (q(0.99) - q(0.01)) at n = %d." % n2, ""]
    for s, name in enumerate(NAMES):
        qm = np.quantile(at_m[:, s], LEVELS)
        q4 = np.quantile(at_4m[:, s], LEVELS)
        med = np.quantile(at_m[:, s], 0.5)
        spread = np.quantile(at_4m[:, s], 0.99) - np.quantile(at_4m[:, s], 0.01)
        lines.append("%s  (spread at 4M %.4g)" % (name, spread))
        lines.append("  level     q(M)          q(4M) sim     carried       held     err carried  err held")
        for lv, a, b in zip(LEVELS, qm, q4):
            c = carried(s, a, med, n2)
            lines.append("  %-7g %-13.6g %-13.6g %-13.6g %-13.6g %+8.3f %+8.3f" %
                         (lv, a, b, c, a, (c - b) / spread, (a - b) / spread))
        lines.append("")
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
