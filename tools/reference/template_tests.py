#!/usr/bin/python3
"""Reference values of the non-overlapping (NOTM) and overlapping (OTM)
template matching tests, computed independently with numpy and mpmath.

- The first 10^6 bits of the binary expansion of e (integer part "10"
  first), as the published worked examples use them, written as the program
  stores bits (byte k holds bits 8k .. 8k + 7, bit 8k lowest), checked
  against tests/data/battery/e_1e6.bin (written when absent).
- OTM: the exact law of the number of overlapping occurrences of nine equal
  bits among the 1024 windows of a 1032-bit block (a Markov chain over the
  current run length), checked against the class probabilities the test uses;
  the published class counts of the e example and its chi-square with the
  published (older) probabilities; and p-values with the test's probabilities.
- NOTM: the counts of aperiodic words by brute force, the published small
  example, and every label and p-value of the test on fixed sequences. The
  test draws its p-value within the atom of chi2's lattice value: 2^(2m)
  var chi2 is a sum over the blocks of (2^m c - L)^2, L = M - m + 1, so its
  values differ by multiples of g, the gcd over every count c = 0 .. M / m of
  (2^m c - L)^2 - L^2 (found here by brute force); with the step
  d = g / (2^(2m) var), the atom runs from Q(N/2, (chi2 + d/2) / 2) to
  Q(N/2, (chi2 - d/2) / 2), both written out.

Writes tests/battery/TemplateReference.h and tools/reference/template_tests.txt;
run from the repository root:
    /usr/bin/python3 tools/reference/template_tests.py
"""
import os
import sys
from collections import defaultdict
from fractions import Fraction
from math import gcd

import mpmath as mp
import numpy as np

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import bits_array, gamma_q, grid  # noqa: E402

mp.mp.dps = 40
OUT_H = "tests/battery/TemplateReference.h"
OUT_TXT = "tools/reference/template_tests.txt"
E_FILE = "tests/data/battery/e_1e6.bin"
lines = []


def note(text):
    print(text)
    lines.append(text)


# ---------------------------------------------------------------- sequences

def e_bits(n):
    with mp.workprec(n + 64):
        v = int(mp.floor(mp.e * mp.mpf(2) ** (n - 2)))
    s = bin(v)[2:]
    assert len(s) == n and s.startswith("1010110111111")
    return np.array([int(c) for c in s], dtype=np.uint8)


def text_bits(text):
    return np.array([int(c) for c in text], dtype=np.uint8)


def windows(b, m):
    """Value of the m bits from every start, first bit most significant."""
    k = len(b) - m + 1
    v = np.zeros(k, dtype=np.int64)
    for j in range(m):
        v = (v << 1) | b[j:j + k]
    return v


# ---------------------------------------------------------------------- OTM

OTM_PI = [0.364091, 0.185659, 0.139381, 0.100571, 0.0704323, 0.139865]


def published_pi():
    """The class probabilities of the published example (eta = 1): e^-1 and
    e^-1 / 2^i sum_l C(i-1, l-1) / l!, the last class taking the rest."""
    from math import comb, factorial
    pi = [mp.e ** -1] + [mp.e ** -1 / 2 ** i * sum(mp.mpf(comb(i - 1, l - 1)) / factorial(l)
                                                   for l in range(1, i + 1)) for i in range(1, 5)]
    return pi + [1 - sum(pi)]


NIST_OLD_PI = published_pi()


def otm_exact_law(M=1032, m=9, K=5):
    state = {(0, 0): 1}
    for _ in range(M):
        nxt = defaultdict(int)
        for (run, c), w in state.items():
            nxt[(0, c)] += w
            run1 = min(run + 1, m)
            nxt[(run1, min(c + (run + 1 >= m), K))] += w
        state = nxt
    law = [0] * (K + 1)
    for (run, c), w in state.items():
        law[c] += w
    return [Fraction(x, 2 ** M) for x in law]


def otm_classes(b, c):
    N = len(b) // 1032
    v = [0] * 6
    target = 0 if c == 0 else 511
    for w in range(N):
        vals = windows(b[w * 1032:(w + 1) * 1032], 9)
        assert len(vals) == 1024
        v[min(int(np.sum(vals == target)), 5)] += 1
    return N, v


def otm_chi2(N, v, pi):
    return sum((mp.mpf(v[k]) - N * mp.mpf(pi[k])) ** 2 / (N * mp.mpf(pi[k])) for k in range(6))


def otm_run(b):
    out = []
    for c in (0, 1):
        N, v = otm_classes(b, c)
        out.append(("OTM 9_%d" % c, gamma_q(2.5, otm_chi2(N, v, OTM_PI) / 2), v))
    return out


# --------------------------------------------------------------------- NOTM

def has_border(v, m):
    s = format(v, "0%db" % m)
    return any(s[:L] == s[m - L:] for L in range(1, m))


def aperiodic_words(m):
    return [v for v in range(2 ** m) if not has_border(v, m)]


def notm_templates(m, templ):
    words = [1, 2] if m == 2 else aperiodic_words(m)
    count = len(words)
    stride = 1
    if templ != 0 and templ < count:
        stride = count // templ
        count = templ
    return [words[i * stride] for i in range(count)]


def notm_pvalue(W, M, m):
    N = len(W)
    mu = mp.mpf(M - m + 1) / 2 ** m
    # the exact variance of the count of a borderless template in M - m + 1
    # windows (tools/reference/notm_count_law.py)
    p = mp.mpf(1) / 2 ** m
    var = (M - m + 1) * (p - (2 * m - 1) * p ** 2) + m * (m - 1) * p ** 2
    chi2 = sum((mp.mpf(w) - mu) ** 2 for w in W) / var
    return chi2, gamma_q(mp.mpf(N) / 2, chi2 / 2)


def notm_atom(W, M, m):
    """P(X > chi2) and P(X >= chi2) of the chi-square law over the lattice
    of chi2's values."""
    N = len(W)
    L = M - m + 1
    g = 0
    for c in range(M // m + 1):
        g = gcd(g, abs((2 ** m * c - L) ** 2 - L * L))
    p = mp.mpf(1) / 2 ** m
    var = L * (p - (2 * m - 1) * p ** 2) + m * (m - 1) * p ** 2
    step = mp.mpf(g) / (4 ** m * var)
    chi2 = notm_pvalue(W, M, m)[0]
    return (gamma_q(mp.mpf(N) / 2, (chi2 + step / 2) / 2),
            gamma_q(mp.mpf(N) / 2, max(mp.mpf(0), chi2 - step / 2) / 2))


def three_block_discreteness(mu):
    """Largest distance between the law of the p-value and the uniform law
    when three blocks hold Poisson(mu) counts (the count of an aperiodic
    template is close to Poisson when 2^m is large), exact over all count
    triples; and the Kolmogorov-Smirnov p-value it gives over 10^4 sequences."""
    from scipy import stats
    top = int(mu + 12 * mu ** 0.5 + 10)
    w = np.arange(top)
    pw = stats.poisson.pmf(w, mu)
    d2 = (w - mu) ** 2 / mu
    s = (d2[:, None, None] + d2[None, :, None] + d2[None, None, :]).ravel()
    pr = (pw[:, None, None] * pw[None, :, None] * pw[None, None, :]).ravel()
    p = stats.chi2.sf(s, 3)
    order = np.argsort(p)
    p, pr = p[order], pr[order]
    cdf = np.cumsum(pr)
    dist = max(np.max(cdf - p), np.max(p - (cdf - pr)))
    return dist, stats.kstwo.sf(dist, 10000)


def notm_run(b, smin, smax, sstp, templ):
    n = len(b)
    out = []
    for m in grid(smin, smax, sstp):
        N = int(n / (100.0 * 2 ** m + m - 1))
        N = min(max(N, 3), 1000)
        M = n // N
        # Lengths whose blocks expect fewer than 30 occurrences are not tested.
        if Fraction(M - m + 1, 2 ** m) < 30:
            break
        temps = notm_templates(m, templ)
        counts = []
        for w in range(N):
            vals = windows(b[w * M:(w + 1) * M], m)
            counts.append(np.bincount(vals, minlength=2 ** m))
        for t in temps:
            W = [int(c[t]) for c in counts]
            beyond, at_least = notm_atom(W, M, m)
            out.append(("NOTM %d_%X" % (m, t), notm_pvalue(W, M, m)[1], beyond, at_least))
    return out


# --------------------------------------------------------------------- main

def main():
    cpp = ["// Made by tools/reference/template_tests.py with numpy and mpmath; do not edit.",
           "#pragma once", "", "#include <cstdint>", ""]

    # e: the data file and the published counts.
    e = e_bits(1000000)
    packed = np.packbits(e, bitorder="little").tobytes()
    try:
        with open(E_FILE, "rb") as f:
            assert f.read() == packed, E_FILE + " is not the expansion of e"
        note("e: %d bits agree with %s, first bits %s" % (len(e), E_FILE, "".join(map(str, e[:24]))))
    except FileNotFoundError:
        with open(E_FILE, "wb") as f:
            f.write(packed)
        note("e: %d bits written to %s, first bits %s" % (len(e), E_FILE, "".join(map(str, e[:24]))))

    law = otm_exact_law()
    note("OTM exact class law (1032-bit blocks, 9 equal bits):")
    for k in range(6):
        note("  class %d: exact %.12f  used %.7g  difference %.2e" % (k, float(law[k]), OTM_PI[k],
                                                                       OTM_PI[k] - float(law[k])))
        assert abs(OTM_PI[k] - float(law[k])) < 5e-7
    cpp.append("// The exact law of the OTM classes, from a Markov chain over the run length.")
    cpp.append("const double OTM_EXACT_LAW[6] = {%s};" % ", ".join(repr(float(x)) for x in law))
    cpp.append("")

    N, v1 = otm_classes(e, 1)
    assert (N, v1) == (968, [329, 164, 150, 111, 78, 136]), v1
    chi_old = otm_chi2(N, v1, NIST_OLD_PI)
    note("OTM e, template of ones: N = %d, classes %s (the published counts); chi2 with the published"
         " probabilities %.6f, p %.6f (published 8.965859, 0.110434)" % (N, v1, chi_old, gamma_q(2.5, chi_old / 2)))
    assert abs(chi_old - mp.mpf("8.965859")) < 5e-7
    cpp.append("// The class probabilities of the published e example.")
    cpp.append("const double OTM_PUBLISHED_PI[6] = {%s};" % ", ".join(mp.nstr(x, 17) for x in NIST_OLD_PI))
    cpp.append("")

    otm_fixtures = [("e", None, 1000000), ("xorshift", 7, 73272), ("xorshift", 8, 200000 + 13)]
    cpp.append("struct OtmRef { const char* source; unsigned seed, n; uint64_t classes[2][6]; double p[2]; };")
    cpp.append("const OtmRef OTM_REF[] = {")
    for source, seed, n in otm_fixtures:
        b = e[:n] if source == "e" else bits_array(seed, n, np.uint8)
        res = otm_run(b)
        note("OTM %s seed %s n %d: %s" % (source, seed, n, "; ".join("%s classes %s p %s" % (
            l, v, mp.nstr(p, 17)) for l, p, v in res)))
        cpp.append('    {"%s", %du, %du, {{%s}, {%s}}, {%s, %s}},' % (
            source, seed or 0, n, ", ".join(map(str, res[0][2])), ", ".join(map(str, res[1][2])),
            mp.nstr(res[0][1], 17), mp.nstr(res[1][1], 17)))
    cpp.append("};")
    cpp.append("")

    # NOTM.
    counts = [len(aperiodic_words(m)) for m in range(2, 21)]
    note("NOTM aperiodic word counts m = 2..20 by brute force: %s" % counts)
    cpp.append("// Aperiodic word counts by brute force, m = 2 .. 20.")
    cpp.append("const uint32_t APERIODIC_BRUTE[19] = {%s};" % ", ".join(map(str, counts)))
    t9 = notm_templates(9, 4)
    note("NOTM m = 9, 4 templates: %s" % ", ".join("%X" % t for t in t9))
    assert t9 == [0x1, 0x55, 0x100, 0x1AC]

    # The published small example: 10100100101110010110, m = 3, B = 001,
    # N = 2 blocks of 10 bits: W = 2, 1, chi2 = 2.133333, p = 0.344154.
    ex = text_bits("10100100101110010110")
    W = [int(np.sum(windows(ex[w * 10:(w + 1) * 10], 3) == 1)) for w in range(2)]
    chi2, p = notm_pvalue(W, 10, 3)
    note("NOTM published example: W = %s, chi2 %.6f, p %.6f (published 2.133333, 0.344154)" % (W, chi2, p))
    assert W == [2, 1] and abs(p - mp.mpf("0.344154")) < 5e-7

    note("NOTM with three blocks (the block count held at 3): distance of the p-value law from uniform,")
    note("  and the KS p-value it gives over 10^4 sequences, by the mean count per block:")
    for mu in (5.33, 10, 20, 30, 50):
        dist, ks = three_block_discreteness(mu)
        note("  mean %5.2f: distance %.4f, KS p over 10^4 sequences %.2g" % (mu, dist, ks))

    notm_fixtures = [
        ("e", None, 1000000, 2, 31, -1, 4),
        ("xorshift", 1, 100000, 2, 14, 1, 3),
        ("xorshift", 2, 65541, 3, 9, 2, 0),
        ("xorshift", 3, 5000, 2, 6, 1, 1),
        ("xorshift", 4, 262144, 10, 10, 1, 12),
    ]
    cpp.append("// p: the chi-square p-value of chi2; beyond and atLeast: its lattice value's atom.")
    cpp.append("struct NotmPair { const char* label; double p, beyond, atLeast; };")
    cpp.append("struct NotmRef { const char* source; unsigned seed, n; int smin, smax, sstp, templ; int count;"
               " const NotmPair* pairs; };")
    refs = []
    for i, (source, seed, n, smin, smax, sstp, templ) in enumerate(notm_fixtures):
        b = e[:n] if source == "e" else bits_array(seed, n, np.uint8)
        res = notm_run(b, smin, smax, sstp, templ)
        note("NOTM %s seed %s n %d grid %d..%d step %d templ %d: %d pairs, first %s %s, last %s %s" % (
            source, seed, n, smin, smax, sstp, templ, len(res), res[0][0], mp.nstr(res[0][1], 10),
            res[-1][0], mp.nstr(res[-1][1], 10)))
        cpp.append("const NotmPair NOTM_PAIRS_%d[] = {" % i)
        for label, p, beyond, at_least in res:
            cpp.append('    {"%s", %s, %s, %s},' % (label, mp.nstr(p, 17), mp.nstr(beyond, 17), mp.nstr(at_least, 17)))
        cpp.append("};")
        refs.append('    {"%s", %du, %du, %d, %d, %d, %d, %d, NOTM_PAIRS_%d},' % (
            source, seed or 0, n, smin, smax, sstp, templ, len(res), i))
    cpp.append("const NotmRef NOTM_REF[] = {")
    cpp.extend(refs)
    cpp.append("};")

    with open(OUT_H, "w") as f:
        f.write("\n".join(cpp) + "\n")
    with open(OUT_TXT, "w") as f:
        f.write("# /usr/bin/python3 tools/reference/template_tests.py\n" + "\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
