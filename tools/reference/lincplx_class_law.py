#!/usr/bin/python3
"""The randomised p-value of the linear complexity test's class chi-square.

N blocks fall into K + 1 classes of probabilities p_i (the published values,
the tails cut for the finite block: class_probs of amls_lincplx.py, rounded
to doubles as the program holds them). X = sum (O_i - N p_i)^2 / (N p_i).
Where every 1 / p_i is a whole number, S = N X + N^2 = sum O_i^2 / p_i is
a whole multiple of g = gcd(1 / p_i), so X lives on a lattice of step g / N.

The program reports P(X > x) + U P(X = x). Its law of X is
  - the exact multinomial law, where the outcomes below X = 60 are few:
    the K-ball of radius sqrt(60) times N^(K/2) sqrt(prod p_i) at most
    2e7, N 60 / g + 2 at most 2^21 lattice points, max(1 / p_i) N^2 at most
    2^62, and every 1 / p_i whole; here every outcome within 13 standard
    deviations of each count's mean is enumerated (numpy), the outcomes
    ranked by their whole S;
  - otherwise the chi-square law with K degrees of freedom, its mass within
    h / 2 of x (h = g / N, or 1 / N when the weights are not whole) taken
    as x's atom: P(X > x) = Q(K / 2, (x + h / 2) / 2), P(X >= x) the same
    at x - h / 2 (1 below 0).
Writes the bounds P(X > x) and P(X >= x) for chosen counts of the exact
law, for the test's fixtures (the sequences of amls_lincplx.py's
LINCPLX_CASES) and for NIST SP 800-22's example (e, M = 1000, K = 6, the
published counts; p-value 0.845406 published with pi_0 rounded to 0.01047,
0.8447 with the exact class probabilities the program uses).

Writes tests/battery/LincplxClassLawReference.h and
tools/reference/lincplx_class_law.txt; run from the repository root:
    /usr/bin/python3 tools/reference/lincplx_class_law.py
"""
import math
import os
import sys
from fractions import Fraction

import numpy as np
from scipy import special

sys.path.insert(0, os.path.dirname(__file__))
from amls_lincplx import LINCPLX_CASES, bm_int, class_index, class_probs, moments  # noqa: E402
from fixtures import bits as xorshift_bits  # noqa: E402

X_MAX = 60


def weights(p):
    w = [1 / v for v in p]
    if all(v < 2.0 ** 40 and float(round(v)) == v for v in w):
        return [int(round(v)) for v in w]
    return None


def exact_used(N, K, p):
    w = weights(p)
    if w is None:
        return False, 1
    g = 0
    for v in w:
        g = math.gcd(g, v)
    r = math.sqrt(X_MAX)
    ln_volume = (K / 2 * math.log(math.pi) - math.lgamma(K / 2 + 1) + K * math.log(r) + K / 2 * math.log(N)
                 + sum(0.5 * math.log(v) for v in p))
    points = N * X_MAX / g + 2
    ok = ln_volume <= math.log(2e7) and points <= 2 ** 21 and max(w) * N * N <= 2.0 ** 62
    return ok, g


def exact_bounds(N, K, p, O):
    """P(S > s) and P(S >= s) under the multinomial law, every outcome within
    13 standard deviations of each count's mean (the last class, 1/2, takes
    the rest)."""
    w = weights(p)
    s_obs = sum(w[i] * O[i] * O[i] for i in range(K + 1))
    last = K // 2
    free = [i for i in range(K + 1) if i != last]
    lnfact = special.gammaln(np.arange(N + 2) + 1)
    ranges = []
    for i in free:
        m, sd = N * p[i], math.sqrt(N * p[i] * (1 - p[i]))
        ranges.append(np.arange(max(0, int(m - 13 * sd - 2)), min(N, int(m + 13 * sd + 2)) + 1))
    greater = at_least = 0.0
    # loop over all free classes but the last two, vectorise those
    outer = [np.array(r) for r in ranges[:-2]]
    a_r, b_r = ranges[-2][:, None], ranges[-1][None, :]
    ia, ib = free[-2], free[-1]
    for idx in np.ndindex(*[len(r) for r in outer]):
        os_ = [int(outer[j][idx[j]]) for j in range(len(outer))]
        used = sum(os_)
        if used > N:
            continue
        rest = N - used - a_r - b_r
        ok = rest >= 0
        restc = np.maximum(rest, 0)
        lp = lnfact[N] - lnfact[a_r] - lnfact[b_r] - lnfact[restc] + a_r * math.log(p[ia]) + b_r * math.log(p[ib]) \
            + restc * math.log(p[last])
        s = w[ia] * a_r * a_r + w[ib] * b_r * b_r + w[last] * restc * restc
        for j, o in enumerate(os_):
            i = free[j]
            lp = lp - lnfact[o] + o * math.log(p[i])
            s = s + w[i] * o * o
        pr = np.where(ok, np.exp(lp), 0.0)
        greater += pr[s > s_obs].sum()
        at_least += pr[s >= s_obs].sum()
    return greater, at_least


def lattice_bounds(N, K, g, x):
    h = g / N
    q = lambda t: special.gammaincc(K / 2, t / 2) if t > 0 else 1.0
    return q(x + h / 2), q(x - h / 2)


def bounds(N, K, p, O):
    ok, g = exact_used(N, K, p)
    x = sum((O[i] - N * p[i]) ** 2 / (N * p[i]) for i in range(K + 1))
    if ok and x < X_MAX:
        return True, x, exact_bounds(N, K, p, O)
    return False, x, lattice_bounds(N, K, g, x)


def counts_of(seed, n, length, optlen, k2):
    bits = xorshift_bits(seed, n)
    M = length
    if optlen:
        best, m = n % M, M + 1
        while best != 0 and m < 1.2 * length:
            if n % m < best:
                best, M = n % m, m
            m += 1
    N = n // M
    if k2:
        Nk = 15 * 2 ** (k2 - 1)
        if n > Nk * M:
            N = Nk
    K, k = 0, 2
    while k <= 2 * (M // 2):
        if Fraction(N, 3 * 2 ** (k - 1)) < 5:
            break
        K, k = k, k + 2
    if K == 0:
        return None
    mu = moments(M)[0]
    O = [0] * (K + 1)
    for i in range(N):
        L, _ = bm_int(bits[i * M:(i + 1) * M])
        O[class_index(L, M, K, mu)] += 1
    return M, N, K, O


def main():
    lines, txt = [], []
    lines += ["// Made by tools/reference/lincplx_class_law.py; do not edit.", "#pragma once", "",
              "#include <cstdint>", "",
              "// Counts O of N blocks over K + 1 classes (M-bit blocks), whether the",
              "// exact law is used, the statistic and the randomised p-value's bounds.",
              "struct LincplxClassLawRef { int M, N, K; uint64_t O[9]; bool exact; double x, greater, atLeast; };", ""]
    law_rows, seq_rows = [], []
    # Chosen counts under the exact law: the default size at 2^17 bits
    # (M = 1024, N = 128, K = 4), N = 200 (odd M) and N = 30 (K = 2).
    for M, N, K, Os in ((1024, 128, 4, ([5, 16, 64, 32, 11], [6, 16, 64, 31, 11], [2, 10, 70, 40, 6], [9, 25, 50, 30, 14],
                                        [0, 30, 60, 30, 8], [1, 6, 64, 44, 13])),
                        (997, 200, 4, ([8, 25, 100, 50, 17], [12, 30, 90, 45, 23])),
                        (1000, 30, 2, ([5, 15, 10], [2, 20, 8], [10, 10, 10]))):
        p = [float(v) for v in class_probs(K, M)]
        for O in Os:
            assert sum(O) == N
            exact, x, (g, a) = bounds(N, K, p, O)
            law_rows.append((M, N, K, O, exact, x, g, a))
    for seed, n, length, optlen, k2 in LINCPLX_CASES:
        r = counts_of(seed, n, length, optlen, k2)
        if r is None:
            continue
        M, N, K, O = r
        p = [float(v) for v in class_probs(K, M)]
        exact, x, (g, a) = bounds(N, K, p, O)
        seq_rows.append((seed, n, length, optlen, k2, M, N, K, O, exact, x, g, a))
    # NIST's example: the lattice law of the chi-square.
    p = [float(v) for v in class_probs(6, 1000)]
    O = [11, 31, 116, 501, 258, 57, 26]
    exact, nx, (ng, na) = bounds(1000, 6, p, O)
    assert not exact
    chi = special.gammaincc(3, nx / 2)
    assert ng < chi < na, (ng, chi, na)

    def fmt(O):
        return "{" + ", ".join(str(v) for v in O + [0] * (9 - len(O))) + "}"

    lines.append("const LincplxClassLawRef LINCPLX_CLASS_LAW_REF[] = {")
    for M, N, K, O, exact, x, g, a in law_rows:
        lines.append("    {%d, %d, %d, %s, %s, %.17g, %.17g, %.17g}," % (M, N, K, fmt(O), "true" if exact else "false", x, g, a))
        txt.append("M %d N %d K %d O %s exact %s x %.9f P(X > x) %.12g P(X >= x) %.12g" % (M, N, K, O, exact, x, g, a))
    lines += ["};", "",
              "// The sequences of LINCPLX_REF (AmlsLincplxReference.h) that have a class test.",
              "struct LincplxSequenceRef { unsigned seed, n; int len, optlen, k; LincplxClassLawRef law; };", "",
              "const LincplxSequenceRef LINCPLX_SEQUENCE_REF[] = {"]
    for seed, n, length, optlen, k2, M, N, K, O, exact, x, g, a in seq_rows:
        lines.append("    {%d, %d, %d, %d, %d, {%d, %d, %d, %s, %s, %.17g, %.17g, %.17g}}," % (
            seed, n, length, optlen, k2, M, N, K, fmt(O), "true" if exact else "false", x, g, a))
        txt.append("seed %d n %d len %d: M %d N %d K %d O %s exact %s x %.9f P(X > x) %.12g P(X >= x) %.12g" % (
            seed, n, length, M, N, K, O, exact, x, g, a))
    lines += ["};", "",
              "// NIST SP 800-22's example (e, M = 1000, published counts): the lattice",
              "// law's bounds, which hold the chi-square p-value of x with the exact",
              "// class probabilities (0.845406 published with pi_0 rounded to 0.01047).",
              "constexpr double LINCPLX_NIST_GREATER = %.17g, LINCPLX_NIST_AT_LEAST = %.17g;" % (ng, na), ""]
    txt.append("NIST e: x %.9f P(X > x) %.12g P(X >= x) %.12g (chi-square at x %.12g)" % (nx, ng, na, chi))
    with open("tests/battery/LincplxClassLawReference.h", "w") as f:
        f.write("\n".join(lines))
    with open("tools/reference/lincplx_class_law.txt", "w") as f:
        f.write("\n".join(txt) + "\n")


if __name__ == "__main__":
    main()
