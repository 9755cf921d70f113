#!/usr/bin/python3
"""The null law of the merged-class chi-squares of five tests, measured at
the window's defaults (2^20 bits, or the bits given), for several laws of
their p-value.

Rows and classes, rebuilt here from the tests' rules (not from their code):
  Partition   k = 2, 4, 6, 8, at most 20 usable group sizes i > 2 per k
              (largest first), the law from the built DAT_partition.bin;
              classes from the low tail up to the mode, then from i down,
              each closing at groups x its summed probabilities >= 5, the
              open rest dropped.
  Weight      s = 1, 2, 4, ..., 32, four thresholds; the binomial (40, p)
              counts of n / s / 40 groups, classes 0..20 then 40..21, the
              rest dropped; rows with at least 3 classes.
  RW1D        L = 2, 4, ..., 256 (level 1), the six statistics and their
              orders; a statistic is a row when its counting part forms
              more than two classes.
  RW2D        the fixed walk (L = 8 at 2^20 bits, 6 at 2^17; n / 2 / L
              walks, points x ascending, y within x) and the random-length
              walks of levels 1..6 (1..5 below 500000 bits; the tables of
              the built DAT_ZarWlk.bin; the walk count taken as
              n / (2c + 4^c - 1), its mean, the rest of the table dropped).
  COUPON      s = 2..8 (80 mean collections or more); the collection count
              taken as n / s / mean; lengths ascending, the remainder after
              the last class joined to it.
Each row's class counts are drawn R times from their multinomial (the
dropped cells as one more class), and the p-value is formed under each law:
  chi2     Pearson's X against chi-square(K - 1)
  blend    Pearson's X, the chi-square p-value p_c weighted towards that of
           a + b chi2(nu) with X's exact three cumulants: p_c^2 + (1 - p_c) p_t
  cr       Cressie-Read power divergence, lambda = 2/3, against chi2(K - 1):
           T = 9/5 sum [O ((O/E)^(2/3) - 1) - 2/3 (O - E)] (the last term
           vanishes when the classes hold every draw)
  crv      T referred to a + b chi2(K - 1) with T's mean and variance to
           O(1/n) (Cressie and Read 1984; Read and Cressie 1988; checked in
           power_divergence_moments.py)
  cr12     the power divergence of lambda = 1/2 against chi2(K - 1)
  cr12v    the same with its mean and variance, as crv
  cr12m    cr12v with the next term of each class's mean, 3 / (128 E^2)
           (a class's term under Poisson(E) expanded in (O - E) / E:
           power_divergence_moments.py checks it)
Printed: per row the count of p < 1e-4 per law; pooled over each test's
rows, the shares of p < 1e-4, 1e-3, 1e-2 and of p > 0.999 against their
expectation (1 under the null), the decile whose share is farthest
from 0.1 (its share / 0.1 - 1), and the largest over the rows of the
Kolmogorov distance of a row's p-values from uniform (on a grid of 1000;
10^6 draws put about 0.001 there by chance, 10^4 sequences see about
0.015).
Run from the repository root (data files in build/bin), 3 processes:
    /usr/bin/python3 tools/reference/small_class_laws.py 1000000 > tools/reference/small_class_laws.txt
    /usr/bin/python3 tools/reference/small_class_laws.py 1000000 Partition,Weight,RW1D,RW2D,Coupon 131072 \
        > tools/reference/small_class_laws_2e17.txt
"""
import math
import struct
import sys
import zlib
from multiprocessing import Pool

import numpy as np
from mpmath import mp, mpf
from scipy import stats

mp.dps = 40
N = int(sys.argv[3]) if len(sys.argv) > 3 else 1 << 20
R = int(sys.argv[1]) if len(sys.argv) > 1 else 1000000
TESTS = sys.argv[2].split(",") if len(sys.argv) > 2 else ["Partition", "Weight", "RW1D", "RW2D", "Coupon"]
BIN = "build/bin"
LAWS = ["chi2", "blend", "cr", "crv", "cr12", "cr12v", "cr12m"]
LEVELS = [1e-4, 1e-3, 1e-2]
LAMBDA = 2.0 / 3.0


def close(e):
    return e >= 5


# ------------------------------------------------------------ Partition
def partition_rows():
    d = open(BIN + "/DAT_partition.bin", "rb").read()
    pos = 4
    tables = {}
    for k in range(2, 14):
        for i in range(2, (1 << k) + 1):
            rmin, rmax = struct.unpack_from("<HH", d, pos + 3)
            m = rmax - rmin + 1
            p = struct.unpack_from("<%dd" % m, d, pos + 7)
            pos += 7 + 8 * m
            if k in (2, 4, 6, 8):
                tables[(k, i)] = (rmin, rmax, p)
    rows = []
    for k in (8, 6, 4, 2):
        taken = 0
        for i in range(1 << k, 1, -1):
            if taken >= 20:
                break
            rmin, rmax, p = tables[(k, i)]
            u = N // (k * i)
            c, s = 0, 0.0
            for x in p:
                s += x
                if close(u * s):
                    c += 1
                    s = 0.0
            large = c == len(p) and u >= 1000 and all(u * x >= 1000 for x in p)
            if rmax - rmin > 2.5 * c or c <= 1 or (c <= 3 and not large) or u < 30:
                continue
            taken += 1
            if i == 2:
                continue  # the randomised exact p-value
            prob = lambda r: p[r - rmin] if rmin <= r <= rmax else 0.0
            classes, cur, s = [], 0.0, 0.0
            end = i
            for r in range(1, i + 1):
                cur += prob(r)
                if close(u * cur):
                    classes.append(cur)
                    cur = 0.0
                    if prob(r) > prob(r + 1):
                        end = r
                        break
            for r in range(i, end, -1):
                cur += prob(r)
                if close(u * cur):
                    classes.append(cur)
                    cur = 0.0
            rows.append(("Partition_%d_%d" % (k, i), u, classes))
    return rows


# ------------------------------------------------------------ Weight
def weight_rows():
    rows = []
    s = 1
    while s <= 32:
        groups = N // s // 40
        rng = 1 << s
        g = 4
        step = rng // (g + 1)
        if step == 0:
            g, step = 1, rng // 2
        for t in range(1, g + 1):
            p = 1 - t * step / rng
            pmf = stats.binom.pmf(np.arange(41), 40, p)
            classes, cur = [], 0.0
            for c in list(range(21)) + list(range(40, 20, -1)):
                cur += pmf[c]
                if close(groups * cur):
                    classes.append(cur)
                    cur = 0.0
            if len(classes) >= 3:
                rows.append(("Weight %d_%.0f" % (s, 100 * p), groups, classes))
        s <<= 1
    return rows


# ------------------------------------------------------------ RW1D
def binp(m, k):
    if m < 0 or k < 0 or k > m:
        return 0.0
    return math.comb(m, k) / 2.0 ** m


def rw1d_law(stat, L, b, k):
    if stat == 0:
        if k == 0:
            return sum(binp(L, (L + x) // 2) for x in range(-b, b) if (L + x) % 2 == 0)
        if (k + b) % 2:
            return 0.0
        return b / k * binp(k, (k + b) // 2)
    if stat == 1:
        return 2 * binp(L - 1, L // 2 + k)
    if stat == 2:
        return binp(L, k)
    if stat == 3:
        if k % 2:
            return 0.0
        u = lambda m: binp(m, m // 2) if m % 2 == 0 else 0.0
        return u(k) * u(L - k)
    if stat == 4:
        return binp(L - k, L // 2)
    return binp(L, (L + k) // 2) if (L + k) % 2 == 0 else binp(L, (L + k + 1) // 2)


def rw1d_order(stat, L, counting):
    if stat == 0:
        return [0] + list(range(L, 0, -1))
    if stat == 1:
        return list(range((L - 1) // 2, -1, -1))
    if stat == 2:
        low = list(range(0, L // 2 + 1))
        return low if counting else low + list(range(L, L // 2, -1))
    if stat == 3:
        top = (L // 2) // 2 * 2
        down = list(range(top, -1, -2))
        return down if counting else down + list(range(top + 2, L + 1, 2))
    if stat == 4:
        return list(range(L // 2, -1, -1))
    return list(range(L, -1, -1))


def rw1d_rows():
    names = ["RW_Sk", "RW_sign", "RW_stpup", "RW_side", "RW_zero", "RW_Smax"]
    rows = []
    L = 2
    while L <= 256:
        n = N // L
        found = False
        for stat in range(6):
            def merged(counting):
                out, e, q = [], 0.0, 0.0
                for k in rw1d_order(stat, L, counting):
                    x = rw1d_law(stat, L, 1, k)
                    e += n * x
                    q += x
                    if close(e):
                        out.append(q)
                        e = q = 0.0
                return out
            if len(merged(True)) > 2:
                found = True
                rows.append(("%s %d" % (names[stat], L), n, merged(False)))
        if not found:
            break
        L *= 2
    return rows


# ------------------------------------------------------------ RW2D
def walk_end(n, x, y):
    a, b = abs(x), abs(y)
    if (n + a + b) % 2 or a + b > n:
        return 0.0
    w = 0
    for i in range((n - a - b) // 2 + 1):
        v = n - a - 2 * i
        ww = (n - a - b - 2 * i) // 2
        w += math.comb(n, i) * math.comb(n - i, a + i) * math.comb(v, ww)
    return w / 4.0 ** n


def rw2d_rows():
    rows = []
    # The first even length whose extreme end point is expected at most 5
    # times (8 at 2^20 bits, 6 at 2^17).
    L = 2
    if (N // 2 // 2) / 4.0 ** 2 > 5:
        while True:
            L += 2
            if not (N // 2 // L) / 4.0 ** L > 5:
                break
    walks = (N // 2) // L
    classes, cur = [], 0.0
    for x in range(-L, L + 1):
        for y in range(-L + (abs(x) & 1), L + 1, 2):
            cur += walk_end(L, x, y)
            if close(walks * cur):
                classes.append(cur)
                cur = 0.0
    rows.append(("RW2D_fix %d" % L, walks, classes))
    d = open(BIN + "/DAT_ZarWlk.bin", "rb").read()
    pos = 4
    while pos < len(d):
        c = d[pos]
        h = struct.unpack_from("<i", d, pos + 1)[0]
        pos += 5
        rowsp = []
        for r in range(h + 1):
            m = struct.unpack_from("<i", d, pos)[0]
            pos += 4
            if m == 0:
                break
            rowsp.append(np.array(struct.unpack_from("<%dd" % m, d, pos)))
            pos += 8 * m
        # The highest level the bits allow (6 from 500000 bits, 5 from 60000).
        if not 1 <= c <= (6 if N >= 500000 else 5 if N >= 60000 else 4):
            continue
        W = int(round(N / (2 * c + 4 ** c - 1)))
        cells = []
        for x in range(-h, h + 1):
            if abs(x) >= len(rowsp):
                continue
            row = rowsp[abs(x)]
            m = len(row)
            cells.append(row[np.abs(np.arange(-(m - 1), m))])
        cum = np.concatenate([[0.0], np.cumsum(np.concatenate(cells))])
        classes, start = [], 0
        while True:
            j = np.searchsorted(W * (cum[1:] - cum[start]) >= 5, True)  # first closing point (monotone)
            if j >= len(cum) - 1 or not W * (cum[j + 1] - cum[start]) >= 5:
                break
            classes.append(cum[j + 1] - cum[start])
            start = j + 1
        rows.append(("RW2D_zar %d" % c, W, classes))
    return rows


# ------------------------------------------------------------ Coupon
def coupon_rows():
    d = open(BIN + "/DAT_coupon.bin", "rb").read()
    pos = 4
    rows = []
    while d[pos]:
        s = d[pos]
        lo, mean, hi = struct.unpack_from("<ifi", d, pos + 1)
        p = struct.unpack_from("<%dd" % (hi - lo + 1), d, pos + 13)
        pos += 13 + 8 * (hi - lo + 1)
        if s < 2 or s > 16:
            continue
        if np.float32(N // s) / np.float32(mean) < 80:
            break
        samples = int(round((N - s) / s / mean))
        classes, cur = [], 0.0
        for x in p:
            cur += x
            if close(samples * cur):
                classes.append(cur)
                cur = 0.0
        if classes:
            classes[-1] += cur
        rows.append(("Coupon %d" % s, samples, classes))
    return rows


# ------------------------------------------------------------ laws
def pearson_cumulants(pc, n):
    """Exact mean, variance and third cumulant of X = sum (O_i - n p_i)^2 / (n p_i)
    over the classes of a multinomial (n; p_1..p_K, rest), by expanding X's
    powers in falling factorials of the counts; the sums over distinct
    classes by inclusion-exclusion over power sums (O(K))."""
    n = mpf(n)
    r = [mpf(1)]
    for m in range(1, 7):
        r.append(r[-1] * (1 - mpf(m - 1) / n))
    S2 = [[1], [0, 1], [0, 1, 1], [0, 1, 3, 1], [0, 1, 7, 6, 1], [0, 1, 15, 25, 10, 1], [0, 1, 31, 90, 65, 15, 1]]

    def mul(a, b):
        out = [mpf(0)] * (len(a) + len(b) - 1)
        for i, x in enumerate(a):
            for j, y in enumerate(b):
                out[i + j] += x * y
        return out

    def falling(poly, e):
        out = [mpf(0)] * len(poly)
        for m, w in enumerate(poly):
            for a in range(m + 1):
                out[a] += w * S2[m][a]
        return [out[a] * e ** a for a in range(len(out))]

    e1 = e2 = e3 = mpf(0)
    s1 = [mpf(0)] * 3
    s2 = [mpf(0)] * 5
    p11 = [[mpf(0)] * 3 for _ in range(3)]
    p21 = [[mpf(0)] * 3 for _ in range(5)]
    p111 = [[[mpf(0)] * 3 for _ in range(3)] for _ in range(3)]
    for q in pc:
        e = n * mpf(q)
        f = [e, mpf(-2), 1 / e]
        sq = mul(f, f)
        v1, v2, v3 = falling(f, e), falling(sq, e), falling(mul(sq, f), e)
        e1 += sum(v1[a] * r[a] for a in range(3))
        e2 += sum(v2[a] * r[a] for a in range(5))
        e3 += sum(v3[a] * r[a] for a in range(7))
        for a in range(5):
            if a < 3:
                s1[a] += v1[a]
            s2[a] += v2[a]
            for b in range(3):
                p21[a][b] += v2[a] * v1[b]
                if a < 3:
                    p11[a][b] += v1[a] * v1[b]
                    for c in range(3):
                        p111[a][b][c] += v1[a] * v1[b] * v1[c]
    for a in range(5):
        for b in range(3):
            e3 += 3 * (s2[a] * s1[b] - p21[a][b]) * r[a + b]
            if a >= 3:
                continue
            e2 += (s1[a] * s1[b] - p11[a][b]) * r[a + b]
            for c in range(3):
                e3 += (s1[a] * s1[b] * s1[c] - p11[a][b] * s1[c] - p11[a][c] * s1[b] - p11[b][c] * s1[a]
                       + 2 * p111[a][b][c]) * r[a + b + c]
    return float(e1), float(e2 - e1 ** 2), float(e3 - 3 * e1 * e2 + 2 * e1 ** 3)


def cr_term(o, e, lam=LAMBDA):
    o = np.asarray(o, dtype=float)
    r = np.cbrt(o / e) ** 2 if lam == LAMBDA else np.sqrt(o / e) if lam == 0.5 else np.power(o / e, lam)
    return 2 / (lam * (lam + 1)) * (o * (r - 1) - lam * (o - e))


def rc_moments(lam, K, t, n):
    """The power divergence's mean and variance to O(1/n) (Cressie and Read
    1984; Read and Cressie 1988), t = sum 1 / p_i over the K classes; checked
    against exact enumeration in power_divergence_moments.py."""
    l1, l2 = lam - 1, lam - 2
    mean = (K - 1) + (l1 * (2 - 3 * K + t) / 3 + l1 * l2 * (1 - 2 * K + t) / 4) / n
    var = 2 * (K - 1) + ((2 - 2 * K - K * K + t) + l1 * (8 - 12 * K - 2 * K * K + 6 * t)
                         + l1 * l1 * (4 - 6 * K - 3 * K * K + 5 * t) / 3 + l1 * l2 * (2 - 4 * K + 2 * t)) / n
    return mean, var


def two_moment_p(t, K, mean, var):
    """T referred to a + b chi2(K - 1) of T's mean and variance."""
    return stats.chi2.sf((K - 1) + (t - mean) * math.sqrt(2 * (K - 1) / var), K - 1)


def cr_mean(pc, n):
    """E T exactly: the sum over classes of E term(O_i), O_i ~ binomial(n, p_i)."""
    total = 0.0
    for q in pc:
        e = n * q
        sd = math.sqrt(e * (1 - q))
        lo, hi = max(0, int(e - 40 * sd - 40)), min(n, int(e + 40 * sd + 40))
        o = np.arange(lo, hi + 1)
        total += float(np.sum(stats.binom.pmf(o, n, q) * cr_term(o, e)))
    return total


def run_row(row):
    name, n, pc = row
    K = len(pc)
    pc = np.array(pc)
    cells = np.append(pc, max(0.0, 1 - pc.sum()))
    cells = cells / cells.sum()
    e = n * pc
    mean, var, k3 = pearson_cumulants(pc, n)
    b = k3 / (4 * var)
    nu = var / (2 * b * b)
    a0 = mean - b * nu
    em = cr_mean(pc, n)
    tsum = float(np.sum(1 / pc))
    m23, v23 = rc_moments(LAMBDA, K, tsum, n)
    m12, v12 = rc_moments(0.5, K, tsum, n)
    m12m = m12 + 3.0 / 128 * float(np.sum(1 / (n * pc) ** 2))
    rng = np.random.default_rng(zlib.crc32(name.encode()) + 20261211)
    counts = {law: np.zeros(len(LEVELS) + 11, dtype=np.int64) for law in LAWS}
    fine = {law: np.zeros(1000, dtype=np.int64) for law in LAWS}
    sums = np.zeros(6)
    chunk = max(1000, min(200000, int(2e7 // (K + 1))))
    done = 0
    while done < R:
        m = min(chunk, R - done)
        obs = rng.multinomial(n, cells, size=m)[:, :K]
        x = (((obs - e) ** 2) / e).sum(axis=1)
        t = cr_term(obs, e).sum(axis=1)
        t12 = cr_term(obs, e, 0.5).sum(axis=1)
        sums += [x.sum(), (x * x).sum(), t.sum(), (t * t).sum(), t12.sum(), (t12 * t12).sum()]
        pcv = stats.chi2.sf(x, K - 1)
        pt = stats.chi2.sf(np.maximum(x - a0, 0) / b, nu)
        pv = {"chi2": pcv, "blend": np.clip(pcv * pcv + (1 - pcv) * pt, 0, 1),
              "cr": stats.chi2.sf(t, K - 1), "crv": two_moment_p(t, K, m23, v23),
              "cr12": stats.chi2.sf(t12, K - 1), "cr12v": two_moment_p(t12, K, m12, v12),
              "cr12m": two_moment_p(t12, K, m12m, v12)}
        for law in LAWS:
            for j, a in enumerate(LEVELS):
                counts[law][j] += int((pv[law] < a).sum())
            counts[law][len(LEVELS)] += int((pv[law] > 0.999).sum())
            counts[law][len(LEVELS) + 1:] += np.bincount(np.minimum((pv[law] * 10).astype(np.int64), 9), minlength=10)
            fine[law] += np.bincount(np.minimum((pv[law] * 1000).astype(np.int64), 999), minlength=1000)
        done += m
    xm = sums[0] / R
    tm = sums[2] / R
    hm = sums[4] / R
    # The Kolmogorov distance of the p-values from uniform, at the 1000 grid
    # points (10^4 sequences see about 0.015).
    edges = np.arange(1, 1001) / 1000.0
    dist = {law: float(np.max(np.abs(np.cumsum(fine[law]) / R - edges))) for law in LAWS}
    return name, K, n, (xm, mean, sums[1] / R - xm * xm, var, tm, em, sums[3] / R - tm * tm, v23,
                        hm, m12, sums[5] / R - hm * hm, v12), counts, dist


def main():
    builders = {"Partition": partition_rows, "Weight": weight_rows, "RW1D": rw1d_rows, "RW2D": rw2d_rows,
                "Coupon": coupon_rows}
    rows = []
    for test in TESTS:
        rows += [(test, r) for r in builders[test]()]
    print("# small_class_laws.py: R = %d draws per row, %d rows, n = %d bits" % (R, len(rows), N))
    print("# per row: classes K, draws n; X's mean and variance simulated / exact; T's (Cressie-Read 2/3) mean"
          " simulated / exact and variance simulated / O(1/n); count of p < 1e-4 per law (expected %g);"
          " below it, the lambda = 1/2 divergence's mean and variance simulated / O(1/n) and per law the"
          " Kolmogorov distance of the p-values from uniform (x 1000)" % (R * 1e-4))
    with Pool(3) as pool:
        results = pool.map(run_row, [r for _, r in rows], chunksize=1)
    tally = {}
    worst = {}
    for (test, _), (name, K, n, mom, counts, dist) in zip(rows, results):
        print("%-16s K %4d n %7d  X %7.3f %7.3f var %7.3f %7.3f  T %7.3f %7.3f var %7.3f %7.3f  %s" % (
            name, K, n, mom[0], mom[1], mom[2], mom[3], mom[4], mom[5], mom[6], mom[7],
            "  ".join("%s %d" % (law, counts[law][0]) for law in LAWS)))
        print("%-16s   T(1/2) %7.3f %7.3f var %7.3f %7.3f  distance x 1000  %s" % (
            "", mom[8], mom[9], mom[10], mom[11], "  ".join("%s %.1f" % (law, 1000 * dist[law]) for law in LAWS)))
        for law in LAWS:
            w = worst.setdefault((test, law), (0.0, ""))
            if dist[law] > w[0]:
                worst[(test, law)] = (dist[law], name)
        for law in LAWS:
            t = tally.setdefault((test, law), [np.zeros(len(LEVELS) + 11, dtype=np.int64), 0])
            t[0] += counts[law]
            t[1] += R
    print()
    print("# pooled over each test's rows: observed / expected share of p < 1e-4, < 1e-3, < 1e-2 and p > 0.999;"
          " the largest of the ten deciles' observed / expected shares minus 1")
    for test in TESTS:
        for law in LAWS:
            c, total = tally[(test, law)]
            ratios = [c[j] / (total * a) for j, a in enumerate(LEVELS)] + [c[len(LEVELS)] / (total * 1e-3)]
            deciles = c[len(LEVELS) + 1:] / (total * 0.1) - 1
            print("%-10s %-7s rows %3d  <1e-4 %.3f  <1e-3 %.3f  <1e-2 %.3f  >0.999 %.3f  deciles %+.4f"
                  "  worst row's distance %.4f (%s)  (expected %d at 1e-4)" % (
                      test, law, total // R, *ratios, deciles[np.argmax(np.abs(deciles))], *worst[(test, law)],
                      total * 1e-4))


if __name__ == "__main__":
    main()
