#!/usr/bin/python3
"""The AMLS block count's moments, from the simulation of
tools/reference/amls_moments.cpp (its outputs, one file per block length,
given on the command line; the committed runs are
tools/reference/amls_moments_runs/L*.txt, each with its command on its
first line). Run from the repository root:
    /usr/bin/python3 tools/reference/amls_moments.py $(ls tools/reference/amls_moments_runs/L*.txt | sort -V) \
        > tools/reference/amls_moments.txt

Per block length L it prints:
- the simulated mean and variance of the count with their standard errors,
  against the table's mean and variance (the difference in standard errors);
- the count's standardised central moments m4 = E d^4 / s^4 and
  m6 = E d^6 / s^6 (d = count - mean, s^2 its variance), their standard
  errors from the spread between batches (each batch at least 2^30 bits),
  and m3, m5 for the record;
- the lag-1 correlation of z = (count - mean) / s and of z^2 between
  neighbouring blocks (a block's continuation reads the next block's first
  bits), which the law takes as 0;
- the per-block cumulants of Y = z^2 that the test's law uses:
  k2 = m4 - 1 and k3 = m6 - 3 m4 + 2 (for normal counts 2 and 8).

Moments are about the simulated mean and variance; with the table's mean
and variance they differ by less than their standard errors wherever the
table is right.
"""
import math
import sys


def batches(path):
    head, rows = None, []
    for line in open(path):
        if line.startswith('# amls_moments'):
            head = line
            continue
        if line.startswith('#') or not line.strip():
            continue
        f = line.split()
        rows.append((int(f[0]), int(f[1]), [float(v) for v in f[2:8]], int(f[8]), float(f[9]), float(f[10])))
    # "mean M variance V" of the table
    w = head.split()
    return float(w[w.index('mean') + 1]), float(w[w.index('variance') + 1]), rows


def central(raw):
    """Central moments c2..c6 of z from its raw moments r1..r6."""
    r = [1.0] + raw
    mu = r[1]
    c = []
    for k in range(7):
        c.append(sum(math.comb(k, j) * r[j] * (-mu) ** (k - j) for j in range(k + 1)))
    return c


def stats(n, sums):
    raw = [s / n for s in sums]
    c = central(raw)
    v = c[2]
    return raw[0], v, c[3] / v ** 1.5, c[4] / v ** 2, c[5] / v ** 2.5, c[6] / v ** 3


def fit(points):
    """Weighted least squares of e = alpha / sqrt(L) + beta / L over
    (L, e, se) points."""
    s11 = sum(1 / L / se ** 2 for L, e, se in points)
    s12 = sum(L ** -1.5 / se ** 2 for L, e, se in points)
    s22 = sum(1 / L ** 2 / se ** 2 for L, e, se in points)
    t1 = sum(e * L ** -0.5 / se ** 2 for L, e, se in points)
    t2 = sum(e / L / se ** 2 for L, e, se in points)
    det = s11 * s22 - s12 * s12
    alpha, beta = (t1 * s22 - t2 * s12) / det, (s11 * t2 - s12 * t1) / det
    chi2 = float(sum((e - alpha * L ** -0.5 - beta / L) ** 2 / se ** 2 for L, e, se in points))
    return alpha, beta, chi2


# Block lengths up to this are taken as measured; beyond it the measured
# excess is within a few standard errors of 0 and the fit serves.
MEASURED_UP_TO = 16


def main(paths):
    results, heads = [], []
    print('# L  blocks  mean (se)  table-mean/se  variance (se)  table-var/se  m3  m4 (se)  m5  m6 (se)  '
          'lag1 z  lag1 z^2  k2 = m4-1  k3 = m6-3m4+2')
    for path in paths:
        tmean, tvar, rows = batches(path)
        heads.append(open(path).readline().strip())
        L = rows[0][0]
        n = sum(r[1] for r in rows)
        sums = [sum(r[2][k] for r in rows) for k in range(6)]
        ez, vz, m3, m4, m5, m6 = stats(n, sums)
        sd = math.sqrt(tvar)
        mean = tmean + sd * ez
        var = tvar * vz
        se_mean = sd * math.sqrt(vz / n)
        se_var = tvar * vz * math.sqrt((m4 - 1) / n)
        # batch spread of m4 and m6
        per = [stats(r[1], r[2]) for r in rows]
        k = len(per)
        def se(i):
            if k < 3:
                return float('nan')
            xs = [p[i] for p in per]
            mx = sum(xs) / k
            return math.sqrt(sum((x - mx) ** 2 for x in xs) / (k - 1) / k)
        pairs = sum(r[3] for r in rows)
        lag_z = (sum(r[4] for r in rows) / pairs - ez * ez) / vz
        ey2 = sums[1] / n
        lag_y = (sum(r[5] for r in rows) / pairs - ey2 * ey2) / (sums[3] / n - ey2 * ey2)
        results.append((L, m4, se(3), m6, se(5)))
        print('%d %d %.6f (%.6f) %+.2f %.5f (%.5f) %+.2f %.4f %.5f (%.5f) %.4f %.4f (%.4f) %+.5f %+.5f %.5f %.5f'
              % (L, n, mean, se_mean, (tmean - mean) / se_mean, var, se_var, (tvar - var) / se_var, m3, m4,
                 se(3), m5, m6, se(5), lag_z, lag_y, m4 - 1, m6 - 3 * m4 + 2))


    print('# the runs:')
    for h in heads:
        print(h)
    a4, b4, c4 = fit([(L, m4 - 3, s4) for L, m4, s4, m6, s6 in results])
    a6, b6, c6 = fit([(L, m6 - 15, s6) for L, m4, s4, m6, s6 in results])
    print('# fit m4 - 3 = %.5f / sqrt(L) + %.5f / L (chi-square %.2f on %d points)' % (a4, b4, c4, len(results)))
    print('# fit m6 - 15 = %.4f / sqrt(L) + %.4f / L (chi-square %.2f on %d points)' % (a6, b6, c6, len(results)))
    print('# the table of battery/AMLS.cpp: L, m4, m6 (measured up to L = %d, fitted beyond)' % MEASURED_UP_TO)
    measured = {L: (m4, m6) for L, m4, s4, m6, s6 in results}
    for e in range(20):
        L = 1 << e
        if L <= MEASURED_UP_TO:
            m4, m6 = measured[L]
        else:
            m4, m6 = 3 + a4 / math.sqrt(L) + b4 / L, 15 + a6 / math.sqrt(L) + b6 / L
        print('%d %.4f %.3f' % (L, m4, m6))


if __name__ == '__main__':
    main(sys.argv[1:])
