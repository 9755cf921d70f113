#!/usr/bin/python3
"""Reference values of the windowed autocorrelation test, computed from its
definition with numpy (counting, bit by bit) and mpmath (binomial law and
chi-square tails).

Blocks of S bits, blocks = floor(n / S), block k = bits kS .. kS + S - 1.
For a distance d the pairs are (block k, block k + d), k = 0 .. blocks - d - 1;
h = the number of positions where the two blocks differ. The histogram of h
is compared with pairs * binom(S, h) / 2^S by a chi-square whose classes
are merged in the order h = 0 .. floor(S/2), then h = S down to
floor(S/2) + 1, one running class closing when its expected count reaches 5
(the open rest dropped); p = Q((cells - 1) / 2, X / 2).

Rows of S >= 2 with at most five classes smooth the class counts before
the chi-square: with q_i = e_i / pairs (and q_r = 1 - sum q_i for a dropped
remainder), lambda = 1 / (2 min q_i) and g a standard normal vector of a
coordinate per class (the remainder's last), the shift is
xi_i = sqrt(lambda) (sqrt(q_i) g_i - q_i sum_j sqrt(q_j) g_j) and the
statistic sum (o_i - e_i + xi_i)^2 / ((pairs + lambda) q_i), salt =
AUTOW_SALT + S 2^40 + d 2^4. Without a remainder the program draws that sum
from its law given the counts: with y_i = (o_i - e_i) / sqrt(q_i) and
w_i = sqrt(q_i), (y.w)^2 + (|y - (y.w) w| + sqrt(lambda) Z)^2 + lambda W, Z
standard normal and W chi-square (k - 2), from the hash's uniforms salt + j
(fixtures.HashDraws, the same draws made apart); the reference forms it so.
With a remainder g is drawn as it stands, by Box and Muller from the hash's
uniforms salt + 2j and salt + 2j + 1 (g_2j the cosine, g_2j+1 the sine).

Jobs: S over the grid Smin .. Smax (step >= 1 adds, step <= 0 shifts left
by -step); for each S, d over the d grid, stopping at the first d with
d >= blocks, or (blocks - d - 1) * P(floor(S/2)) < 5, or once max_pv jobs
have been taken for this S; a job whose expected counts close fewer than
two classes gives no pair.

The sequences are the words of xorshift32 (13, 17, 5) from a seed, stored
as the program stores them: bit t is bit t mod 32 of word t / 32. The
periodic fixture is a block of 2^13 bytes from xorshift32 seed 99 repeated.

Also checks HAC (Menezes, van Oorschot, Vanstone), Example 5.31: the
160-bit string, d = 8: A(8) = 100 and X5 = 3.8933; with S = 1 the
chi-square of two classes equals X5^2.

Writes tests/battery/AutowReference.h and prints a summary (committed as
tools/reference/autocorrelation.txt); run from the repository root:
    /usr/bin/python3 tools/reference/autocorrelation.py
"""
import os
import sys
import math
from fractions import Fraction

import mpmath as mp
import numpy as np

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import (HashDraws, bits_array as bits, binomial_randomised_p, chi2_tail, grid, hash_uniform,  # noqa: E402
                      sequence_hash, shifted_squared_norm, unpack_bits, xorshift_array)

AUTOW_SALT = 0x4155544F00000000

mp.mp.dps = 60


def periodic_bits(n):
    block = xorshift_array(99, (1 << 13) // 4)
    reps = (n + (1 << 16) - 1) // (1 << 16)
    return unpack_bits(np.tile(block, reps), n).astype(np.int64)


def histogram(b, S, d):
    blocks = len(b) // S
    pairs = blocks - d
    m = b[: blocks * S].reshape(blocks, S)
    h = (m[:pairs] != m[d : d + pairs]).sum(axis=1)
    return np.bincount(h, minlength=S + 1)


def binom_p(S, h):
    return mp.binomial(S, h) / mp.mpf(2) ** S


def classes(S, pairs, hist):
    order = list(range(0, S // 2 + 1)) + list(range(S, S // 2, -1))
    o = mp.mpf(0)
    e = mp.mpf(0)
    cells = 0
    chi2 = mp.mpf(0)
    for h in order:
        o += int(hist[h]) if hist is not None else 0
        # The program forms the expectations in doubles; at a class boundary
        # that could decide a class differently, so none of the fixtures may
        # sit on one (checked below).
        e += pairs * binom_p(S, h)
        if e >= 5:
            assert abs(e - 5) > mp.mpf("1e-9"), (S, pairs, h)
            cells += 1
            chi2 += (o - e) ** 2 / e
            o = mp.mpf(0)
            e = mp.mpf(0)
    return cells, chi2


def merged(S, pairs, hist):
    """The classes (observed, expected), merged as in classes()."""
    order = list(range(0, S // 2 + 1)) + list(range(S, S // 2, -1))
    o, e, out = mp.mpf(0), mp.mpf(0), []
    for h in order:
        o += int(hist[h])
        e += pairs * binom_p(S, h)
        if e >= 5:
            out.append((o, e))
            o, e = mp.mpf(0), mp.mpf(0)
    return out


def smoothed_chi2(S, d, pairs, hist, h):
    cls = merged(S, pairs, hist)
    k = len(cls)
    salt = AUTOW_SALT + (S << 40) + (d << 4)
    q = [e / pairs for _, e in cls]
    rest = 1 - sum(q)
    lam = 1 / (2 * min(q))
    if not rest > mp.mpf("1e-12"):
        squared = sum((o - e) ** 2 / qi for (o, e), qi in zip(cls, q))
        along = sum(o - e for o, e in cls)
        return shifted_squared_norm(squared, along, k, lam, HashDraws(h, salt)) / (pairs + lam)
    g = []
    for j in range((k + 2) // 2):
        r = mp.sqrt(-2 * mp.log(hash_uniform(h, salt + 2 * j)))
        angle = 2 * mp.pi * hash_uniform(h, salt + 2 * j + 1)
        g += [r * mp.cos(angle), r * mp.sin(angle)]
    projection = sum(mp.sqrt(qi) * gi for qi, gi in zip(q, g))
    projection += mp.sqrt(rest) * g[k]
    x = mp.mpf(0)
    for (o, e), qi, gi in zip(cls, q, g):
        xi = mp.sqrt(lam) * (mp.sqrt(qi) * gi - qi * projection)
        x += (o - e + xi) ** 2 / ((pairs + lam) * qi)
    return x


def job_list(n, smin, smax, sstp, dmin, dmax, dstp, maxpv):
    if maxpv == 0:
        maxpv = 99999999
    jobs = []
    for S in grid(smin, smax, sstp):
        blocks = n // S
        pc = binom_p(S, S // 2)
        taken = 0
        for d in grid(dmin, dmax, dstp):
            if d >= blocks or (blocks - d - 1) * pc < 5 or taken >= maxpv:
                break
            taken += 1
            if classes(S, blocks - d, None)[0] >= 2:
                jobs.append((S, d))
    return jobs


# Whole runs: (fixture, seed, n, Smin, Smax, Sstp, Dmin, Dmax, Dstp, max_pv).
RUNS = [
    ("random", 1, 4000, 1, 8, 1, 1, 400, -1, 0),
    ("random", 2, 20000, 3, 40, 9, 5, 1000, 7, 3),
    ("random", 3, 65536, 1, 1024, -1, 1, 32768, -1, 0),
    ("random", 4, 100003, 63, 200, 65, 1, 50, 3, 0),
    ("periodic", 0, 1 << 17, 1, 64, -1, 1024, 65536, -1, 0),
]

# Histograms: (seed, n, S, d), every way of counting.
HISTOGRAMS = [
    (11, 1000, 1, 1), (11, 1000, 1, 999 - 11), (12, 4321, 2, 7), (12, 4321, 3, 100),
    (13, 9999, 4, 1), (13, 9999, 5, 31), (14, 20011, 7, 2), (14, 20011, 8, 65),
    (15, 30000, 16, 3), (15, 30000, 17, 9), (16, 40000, 31, 4), (16, 40000, 32, 1),
    (17, 50000, 33, 7), (17, 50000, 63, 11), (18, 65536, 64, 1), (18, 65537, 65, 3),
    (19, 70001, 96, 5), (19, 70001, 128, 17), (20, 90001, 192, 2), (20, 90001, 200, 40),
    (21, 32769, 1, 32768 - 1), (22, 33000, 2, 16000), (23, 33000, 64, 500),
]

HAC_STRING = "1110001100010001010011101111001001001001" * 4


def main():
    out = []
    out.append("// Generated by tools/reference/autocorrelation.py; do not edit.")
    out.append("#pragma once")
    out.append("#include <cstdint>")
    out.append("")
    out.append("struct AutowRun {")
    out.append("  bool periodic;")
    out.append("  uint32_t seed, n;")
    out.append("  int smin, smax, sstp, dmin, dmax, dstp, maxPv;")
    out.append("  int first, count;  // of AUTOW_PAIRS")
    out.append("};")
    out.append("struct AutowPair {")
    out.append("  const char* label;")
    out.append("  double p;  // -1: below the range of doubles")
    out.append("};")
    summary = []
    pairs_out = []
    runs_out = []
    for fixture, seed, n, smin, smax, sstp, dmin, dmax, dstp, maxpv in RUNS:
        b = periodic_bits(n) if fixture == "periodic" else bits(seed, n)
        jobs = job_list(n, smin, smax, sstp, dmin, dmax, dstp, maxpv)
        first = len(pairs_out)
        summary.append(f"{fixture} seed {seed} n {n} S {smin}..{smax}/{sstp} d {dmin}..{dmax}/{dstp} "
                       f"max_pv {maxpv}: {len(jobs)} pairs")
        h = sequence_hash([int(x) for x in b])
        for S, d in jobs:
            hist = histogram(b, S, d)
            cells, chi2 = classes(S, n // S - d, hist)
            p = chi2_tail(cells - 1, chi2)
            if S >= 2 and cells <= 5:
                p = chi2_tail(cells - 1, smoothed_chi2(S, d, n // S - d, hist, h))
            if S == 1:
                # Two classes: the differing pairs are binomial (n - d, 1/2);
                # the randomised p-value of that exact law.
                p = binomial_randomised_p(n - d, Fraction(1, 2), int(hist[1]), hash_uniform(h, AUTOW_SALT + d))
            pv = float(p) if p > mp.mpf("1e-300") else -1.0
            pairs_out.append((f"AutoW {S}_{d}", pv))
            summary.append(f"  AutoW {S}_{d}: cells {cells} chi2 {mp.nstr(chi2, 12)} p {mp.nstr(p, 12)}")
        runs_out.append((fixture == "periodic", seed, n, smin, smax, sstp, dmin, dmax, dstp, maxpv, first,
                         len(pairs_out) - first))
    out.append("inline const AutowPair AUTOW_PAIRS[] = {")
    for label, p in pairs_out:
        out.append(f'    {{"{label}", {p!r}}},')
    out.append("};")
    out.append("inline const AutowRun AUTOW_RUNS[] = {")
    for r in runs_out:
        out.append("    {" + ("true" if r[0] else "false") + ", " + ", ".join(str(v) for v in r[1:]) + "},")
    out.append("};")
    out.append("")
    out.append("struct AutowHistogram {")
    out.append("  uint32_t seed, n;")
    out.append("  int S, d;")
    out.append("  const uint64_t* counts;  // S + 1")
    out.append("};")
    for i, (seed, n, S, d) in enumerate(HISTOGRAMS):
        hist = histogram(bits(seed, n), S, d)
        out.append(f"inline const uint64_t AUTOW_HIST_{i}[] = {{" + ", ".join(str(int(v)) for v in hist) + "};")
    out.append("inline const AutowHistogram AUTOW_HISTOGRAMS[] = {")
    for i, (seed, n, S, d) in enumerate(HISTOGRAMS):
        out.append(f"    {{{seed}, {n}, {S}, {d}, AUTOW_HIST_{i}}},")
    out.append("};")

    hac = np.array([int(c) for c in HAC_STRING], dtype=np.int64)
    a8 = int((hac[:-8] != hac[8:]).sum())
    x5 = 2 * (a8 - (160 - 8) / 2) / math.sqrt(160 - 8)
    hist = histogram(hac, 1, 8)
    cells, chi2 = classes(1, 152, hist)
    assert a8 == 100 and round(x5, 4) == 3.8933 and cells == 2
    assert abs(float(chi2) - x5 * x5) < 1e-12
    summary.append(f"HAC 5.31: A(8) = {a8}, X5 = {x5:.6f}, chi2 (S = 1) = {mp.nstr(chi2, 12)} = X5^2, "
                   f"p = {mp.nstr(chi2_tail(cells - 1, chi2), 12)} = erfc(X5 / sqrt 2) = {math.erfc(x5 / math.sqrt(2)):.12g}")

    with open("tests/battery/AutowReference.h", "w") as f:
        f.write("\n".join(out) + "\n")
    print("\n".join(summary))


if __name__ == "__main__":
    main()
