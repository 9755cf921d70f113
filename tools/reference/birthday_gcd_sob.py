#!/usr/bin/python3
"""Independent reference for the birthday spacings, GCD and SOB tests.

Recomputes Marsaglia's constants that the tests use (the expected counts of
the birthday spacings chi-square, the GCD expectations, the SOB mean) from
their definitions with mpmath, and computes each test's statistic and
p-value on fixed splitmix64 sequences (the generator of tools/nullrun) with
numpy and scipy, written as tests/battery/BdayGcdSobReference.h.

Also shows the two faults that the tests avoid: spacings formed in place
front to back (each difference taken of an already replaced neighbour), and
GCD expectations that assume 10^7 pairs when counting ended early.

Run: /usr/bin/python3 tools/reference/birthday_gcd_sob.py > tools/reference/birthday_gcd_sob.txt
"""
import os
import sys

import mpmath as mp
import numpy as np
from scipy import special, stats

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import splitmix_words  # noqa: E402

mp.mp.dps = 40
HERE = os.path.dirname(os.path.abspath(__file__))
HEADER = os.path.join(HERE, "..", "..", "tests", "battery", "BdayGcdSobReference.h")


# ---------------------------------------------------------------- constants
def constants():
    lam = mp.mpf(4)
    poisson = [500 * mp.e ** -lam * lam ** j / mp.factorial(j) for j in range(10)]
    e10 = 500 - mp.fsum(poisson)
    gcd_num = mp.mpf(10) ** 7 * 6 / mp.pi ** 2
    gcd_tail = mp.mpf(10) ** 7 - gcd_num * mp.fsum(1 / mp.mpf(g) ** 2 for g in range(1, 100))
    K = mp.mpf(2) ** 26
    sob_mean = K * (1 - 1 / K) ** K
    return poisson, e10, gcd_num, gcd_tail, sob_mean


# ---------------------------------------------------------------- BDAY
def bday_histogram(words, in_place_fault=False):
    hist = np.zeros(11, dtype=np.int64)
    for k in range(500):
        y = np.sort(words[4096 * k: 4096 * (k + 1)].astype(np.uint32))
        if in_place_fault:
            v = y.astype(np.int64).copy()
            for i in range(1, 4096):
                v[i] = (v[i] - v[i - 1]) & 0xFFFFFFFF
            sp = np.sort(v[1:])
        else:
            sp = np.sort((y[1:] - y[:-1]).astype(np.uint32))
        J = int(np.count_nonzero(sp[1:] == sp[:-1]))
        hist[min(J, 10)] += 1
    return hist


def bday_p(hist, expected):
    X = float(sum((hist[j] - expected[j]) ** 2 / expected[j] for j in range(11)))
    return X, float(stats.chi2.cdf(X, 10))


# ---------------------------------------------------------------- GCD
STEP_LAW = [5506, 29532, 144541, 590691, 2065333, 6277273, 16797273, 39964829, 85160313, 163520964,
            284315128, 449367802, 647663189, 853365977, 1030017639, 1140689999, 1160424679, 1085307890,
            933657875, 738971259, 538010076, 360199303, 221583256, 125137422, 64787412, 30697488, 13285746,
            5238570, 1876493, 608568, 177920, 46632, 13674]  # k = 3 .. 35, units of 1e-10


def gcd_counts(words, N):
    """Pairs of consecutive non-zero words among words[0 .. N-1], with the zero-word allowance."""
    w = words[:N].astype(np.uint64)
    nz = np.flatnonzero(w)
    # zeros skipped before reading the second member of pair j
    second = nz[1::2]
    first = nz[0::2][: len(second)]
    zeros_before = second - 2 * np.arange(1, len(second) + 1) + 1  # zeros among words[0 .. second]
    allowance = N - 20000000
    ok = zeros_before <= allowance
    npairs = len(second) if ok.all() else int(np.argmin(ok))
    npairs = min(npairs, 10 ** 7)
    u = w[first[:npairs]].copy()
    v = w[second[:npairs]].copy()
    steps = np.zeros(npairs, dtype=np.int64)
    active = np.ones(npairs, dtype=bool)
    while active.any():
        idx = np.flatnonzero(active)
        r = u[idx] % v[idx]
        steps[idx] += 1
        u[idx] = v[idx]
        v[idx] = r
        active[idx] = r != 0
    g = np.minimum(u, 100).astype(np.int64)
    gcd_hist = np.bincount(g, minlength=101)
    step_hist = np.bincount(np.clip(steps, 3, 35), minlength=36)
    return npairs, gcd_hist, step_hist


def gcd_p(npairs, gcd_hist, step_hist, scale_pairs):
    Xs = 0.0
    for k in range(3, 36):
        e = STEP_LAW[k - 3] * 1e-10 * scale_pairs
        Xs += (step_hist[k] - e) ** 2 / e
    f = scale_pairs / 1e7
    num = float(mp.mpf(10) ** 7 * 6 / mp.pi ** 2) * f
    tail = 61097.691 * f
    Xd = (gcd_hist[100] - tail) ** 2 / tail
    for g in range(1, 100):
        e = num / g ** 2
        Xd += (gcd_hist[g] - e) ** 2 / e
    return Xs, float(special.gammaincc(16, Xs / 2)), Xd, float(special.gammaincc(49.5, Xd / 2))


# ---------------------------------------------------------------- SOB
def sob_missing(words):
    nbits = 2 ** 26 + 25
    bits = np.unpackbits(words.view(np.uint8), bitorder="little")[:nbits].astype(np.uint32)
    v = np.zeros(2 ** 26, dtype=np.uint32)
    for j in range(26):  # newest bit (t + 25) on top
        v |= bits[j: j + 2 ** 26] << np.uint32(j)
    seen = np.zeros(2 ** 26, dtype=bool)
    seen[v] = True
    return 2 ** 26 - int(np.count_nonzero(seen))


def main():
    out = []
    poisson, e10, gcd_num, gcd_tail, sob_mean = constants()
    print("Birthday spacings, 500 samples, lambda = 4:")
    for j, e in enumerate(poisson):
        print(f"  E_{j} = {mp.nstr(e, 15)}")
    print(f"  E_10 = {mp.nstr(e10, 15)} (the tests use 4.066121)")
    print(f"GCD: 10^7 * 6 / pi^2 = {mp.nstr(gcd_num, 15)} (the tests use 6079271.000000001; "
          f"relative difference {mp.nstr((gcd_num - 6079271) / gcd_num, 3)})")
    print(f"GCD: expected count of gcd >= 100 = {mp.nstr(gcd_tail, 12)} (the tests use 61097.691)")
    print(f"GCD: step law sums to {sum(STEP_LAW)} (units of 1e-10)")
    print(f"SOB: 2^26 (1 - 2^-26)^(2^26) = {mp.nstr(sob_mean, 12)} (the tests use 24687971)")

    expected = [float(e) for e in poisson] + [4.066121]
    # successive products, as the test forms them
    seq = [500 * np.exp(-4.0)]
    for j in range(1, 10):
        seq.append(seq[-1] * 4.0 / j)
    expected = seq + [4.066121]

    # BDAY on two sequences at the minimum length
    bday_rows = []
    for seed in (11, 12):
        words = splitmix_words(seed, 65536000)
        hist = bday_histogram(words)
        X, p = bday_p(hist, expected)
        bday_rows.append((seed, hist, X, p))
        print(f"BDAY seed {seed}: histogram {list(hist)} X = {X:.12g} p (lower tail) = {p:.15g}")
    words = splitmix_words(11, 65536000)
    fhist = bday_histogram(words, in_place_fault=True)
    fX, fp = bday_p(fhist, expected)
    print(f"BDAY seed 11 with spacings formed in place front to back: histogram {list(fhist)} "
          f"X = {fX:.6g} p = {fp:.6g}")

    # GCD: a whole sequence at the minimum length, and the same with a zero
    # word that ends the counting after 6,000,000 pairs.
    gcd_rows = []
    N = 20000000
    words = splitmix_words(21, 32 * N)
    assert np.count_nonzero(words[:N] == 0) == 0
    for label, zero_at in (("whole", None), ("zero", 12000001)):
        w = words.copy()
        if zero_at is not None:
            w[zero_at] = 0
        npairs, gh, sh = gcd_counts(w, N)
        Xs, ps, Xd, pd = gcd_p(npairs, gh, sh, npairs)
        gcd_rows.append((label, zero_at, npairs, Xs, ps, Xd, pd))
        print(f"GCD seed 21 ({label}): pairs {npairs} Xstp = {Xs:.12g} p = {ps:.12g} "
              f"Xdst = {Xd:.12g} p = {pd:.12g}")
        if zero_at is not None:
            Xs0, ps0, Xd0, pd0 = gcd_p(npairs, gh, sh, 1e7)
            print(f"  with expectations for 10^7 pairs instead: Xstp = {Xs0:.6g} p = {ps0:.3g} "
                  f"Xdst = {Xd0:.6g} p = {pd0:.3g}")

    # SOB on two sequences at the minimum length
    sob_rows = []
    for seed in (31, 32):
        words = splitmix_words(seed, 2 ** 26 + 25)
        missing = sob_missing(words)
        z = (missing - 24687971) / 4170
        p = float(stats.norm.cdf(z))
        sob_rows.append((seed, missing, p))
        print(f"SOB seed {seed}: missing {missing} z = {z:.12g} p (lower tail) = {p:.15g}")

    with open(HEADER, "w") as h:
        h.write("#pragma once\n// Generated by tools/reference/birthday_gcd_sob.py: do not edit.\n")
        h.write("// Sequences: tools/nullrun's splitmix64 fill of the given seed.\n#include <cstdint>\n\n")
        h.write("struct BdayRef {\n  uint64_t seed;\n  uint32_t histogram[11];\n  double p;\n};\n")
        h.write("inline constexpr double BDAY_REF_EXPECTED[11] = {"
                + ", ".join(f"{float(e):.17g}" for e in list(poisson) + [e10]) + "};\n")
        h.write("inline constexpr BdayRef BDAY_REF[] = {\n")
        for seed, hist, X, p in bday_rows:
            h.write(f"    {{{seed}, {{{', '.join(str(int(c)) for c in hist)}}}, {p:.17g}}},\n")
        h.write("};\n\n")
        h.write("struct GcdRef {\n  uint64_t seed;\n  int64_t zeroAt;  // -1: none\n  uint64_t pairs;\n"
                "  double pSteps;\n  double pGcd;\n};\n")
        h.write(f"inline constexpr double GCD_REF_NUMERATOR = {float(gcd_num):.17g};\n")
        h.write(f"inline constexpr double GCD_REF_TAIL = {float(gcd_tail):.17g};\n")
        h.write("inline constexpr GcdRef GCD_REF[] = {\n")
        for label, zero_at, npairs, Xs, ps, Xd, pd in gcd_rows:
            h.write(f"    {{21, {zero_at if zero_at is not None else -1}, {npairs}, {ps:.17g}, {pd:.17g}}},\n")
        h.write("};\n\n")
        h.write("struct SobRef {\n  uint64_t seed;\n  uint32_t missing;\n  double p;\n};\n")
        h.write(f"inline constexpr double SOB_REF_MEAN = {float(sob_mean):.17g};\n")
        h.write("inline constexpr SobRef SOB_REF[] = {\n")
        for seed, missing, p in sob_rows:
            h.write(f"    {{{seed}, {missing}, {p:.17g}}},\n")
        h.write("};\n")


if __name__ == "__main__":
    sys.exit(main())
