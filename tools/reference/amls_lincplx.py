#!/usr/bin/python3
"""Reference values of the AMLS test and the linear complexity test,
computed independently with Python integers, exact fractions and mpmath.

Linear complexity:
1. Exhaustive check, for every M-bit sequence with M = 1 .. 12, of the law
   the test relies on: the linear complexity L by a plain list-based
   Berlekamp-Massey, its mean M/2 + (4 + r)/18 - (M/3 + 2/9) 2^-M, the mean
   and variance of the number J of jumps of the complexity profile, and the
   class probabilities of T = (-1)^M (L - mu) + 2/9 for every even K up to
   2 floor(M/2): the published values 1/2, 2^-2j, 2^-2j-1, and the tails
   1/(3 2^(K-1)) and 1/(3 2^(K-2)) corrected by -+(-1)^M 2^-M / 3 for the
   finite block.  It also shows that K = 2 floor(M/2) + 2 leaves a class
   that T never reaches.
2. NIST SP 800-22's worked example (section 2.10.8): the first 10^6 binary
   digits of e (tests/data/battery/e_1e6.bin), M = 1000: the counts
   11, 31, 116, 501, 258, 57, 26, chi2 2.700348 with the published code's
   probabilities, and chi2 / p with the exact ones (pi_0 = 1/96).
3. p-values of both labels on xorshift32 (13, 17, 5) sequences for several
   M, N, K, optimised lengths and block limits; Berlekamp-Massey on Python
   integers used as bit vectors, checked against the list-based one.

AMLS: the iterated von Neumann tree (nodes 1 .. B - 1, XOR child 2k, equal
child 2k + 1) fed pair by pair; a block ends after its last pair once a pair
has extracted a bit, the continuation reading whole pairs only below bit n
and at most B bits past the block; X = sum (count - mean)^2 / variance,
judged as a + b chi2(nu) with X's first three cumulants N, N (m4 - 1) and
N (m6 - 3 m4 + 2), m4 and m6 the count's standardised central moments
(the table of tools/reference/amls_moments.txt, simulated): b, nu and a
solved from a + b nu, 2 b^2 nu and 8 b^3 nu in mpmath, and
p = P(a + b chi2(nu) > X) = Q(nu / 2, (X - a) / (2 b)). p-values on xorshift32 sequences, and the block
counts of crafted sequences (zero blocks whose continuation runs into the
next block, into the end of the sequence, into the cap, and a half pair at
an odd end).

Writes tests/battery/AmlsLincplxReference.h and prints the checks (the
committed tools/reference/amls_lincplx.txt). Run from the repository root:
    /usr/bin/python3 tools/reference/amls_lincplx.py > tools/reference/amls_lincplx.txt
"""
from fractions import Fraction
import os
import sys
import mpmath as mp

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import bits as xorshift_bits, gamma_q as Q  # noqa: E402

mp.mp.dps = 40


# ---------------------------------------------------------------- Berlekamp-Massey

def bm_list(s):
    """Textbook Berlekamp-Massey on a list of bits: (L, jumps)."""
    n = len(s)
    c = [0] * (n + 1)
    b = [0] * (n + 1)
    c[0] = b[0] = 1
    L, m, jumps = 0, -1, 0
    for j in range(n):
        d = s[j]
        for h in range(1, L + 1):
            d ^= c[h] & s[j - h]
        if d:
            t = c[:]
            for h in range(0, n + 1 - (j - m)):
                c[h + j - m] ^= b[h]
            if 2 * L <= j:
                L, m, b = j + 1 - L, j, t
                jumps += 1
    return L, jumps


def bm_int(s):
    """The same on Python integers: bit h of c is c_h; the window of the
    sequence read backwards from j is bit h = s_{j-h}."""
    c, b = 1, 1
    L, m, jumps = 0, -1, 0
    window = 0
    for j, x in enumerate(s):
        window = (window << 1) | x
        if bin(c & window).count("1") & 1:
            t = c
            c ^= b << (j - m)
            if 2 * L <= j:
                L, m, b = j + 1 - L, j, t
                jumps += 1
    return L, jumps


def class_probs(K, M):
    """The class probabilities the test uses (exact fractions)."""
    h = K // 2
    p = [Fraction(0)] * (K + 1)
    p[h] = Fraction(1, 2)
    for j in range(1, h):
        p[h + j] = Fraction(1, 2 ** (2 * j))
        p[h - j] = Fraction(1, 2 ** (2 * j + 1))
    p[K] = Fraction(1, 3 * 2 ** (K - 2)) if K >= 2 else Fraction(1)
    p[0] = Fraction(1, 3 * 2 ** (K - 1))
    cut = Fraction(1, 3 * 2 ** M) * (1 if M % 2 == 0 else -1)
    p[0] += cut
    p[K] -= cut
    return p


def moments(M):
    r = M % 2
    D = Fraction(1, 2 ** M)
    mu = Fraction(M, 2) + Fraction(9 + (1 if r else -1), 36) - (Fraction(M, 3) + Fraction(2, 9)) * D
    jm = Fraction(M, 4) + Fraction(4 + r, 12) - D / 3
    jv = Fraction(M, 8) - Fraction(2 - r, 9 - r) + M * D / 6 + (6 + r) * D / 18 - D * D / 9
    return mu, jm, jv


def class_index(L, M, K, mu):
    parity = 1 if M % 2 == 0 else -1
    T = parity * (L - mu) + Fraction(2, 9)
    v = T + K // 2 + Fraction(1, 2)
    idx = int(v)  # towards zero
    return min(max(idx, 0), K)


def exhaustive(out):
    for M in range(1, 13):
        mu, jm, jv = moments(M)
        counts_L = [0] * (M + 1)
        sumJ = sumJ2 = 0
        for v in range(2 ** M):
            s = [(v >> (M - 1 - i)) & 1 for i in range(M)]
            L, J = bm_list(s)
            if M <= 8:
                assert (L, J) == bm_int(s)
            counts_L[L] += 1
            sumJ += J
            sumJ2 += J * J
        total = 2 ** M
        law = [Fraction(1 if L == 0 else (2 ** (2 * L - 1) if 2 * L <= M else 4 ** (M - L)), total)
               for L in range(M + 1)]
        assert [Fraction(cnt, total) for cnt in counts_L] == law, M
        assert Fraction(sum(L * cnt for L, cnt in enumerate(counts_L)), total) == mu, M
        mean = Fraction(sumJ, total)
        var = Fraction(sumJ2, total) - mean * mean
        assert mean == jm and var == jv, (M, mean, jm, var, jv)
        for K in range(2, 2 * (M // 2) + 1, 2):
            got = [Fraction(0)] * (K + 1)
            for L, cnt in enumerate(counts_L):
                got[class_index(L, M, K, mu)] += Fraction(cnt, total)
            assert got == class_probs(K, M), (M, K, got, class_probs(K, M))
        K = 2 * (M // 2) + 2
        got = [Fraction(0)] * (K + 1)
        for L, cnt in enumerate(counts_L):
            got[class_index(L, M, K, mu)] += Fraction(cnt, total)
        empty = sum(1 for g in got if g == 0)
        out.append("M=%d: law of L, mean %s, J mean %s, J variance %s and classes K <= %d exact; K = %d leaves %d empty class(es)"
                   % (M, mu, jm, jv, 2 * (M // 2), K, empty))


def read_e():
    data = open("tests/data/battery/e_1e6.bin", "rb").read()
    return [(data[t >> 3] >> (t & 7)) & 1 for t in range(8 * len(data))]


def nist_example(out):
    e = read_e()
    M, N, K = 1000, 1000, 6
    mu, jm, jv = moments(M)
    nu = [0] * 7
    for i in range(N):
        L, _ = bm_int(e[i * M:(i + 1) * M])
        nu[class_index(L, M, K, mu)] += 1
    assert nu == [11, 31, 116, 501, 258, 57, 26], nu
    published = [0.01047, 0.03125, 0.125, 0.5, 0.25, 0.0625, 0.020833]
    chi_pub = sum((nu[i] - N * published[i]) ** 2 / (N * published[i]) for i in range(7))
    assert abs(chi_pub - 2.700348) < 1e-6, chi_pub
    p = class_probs(K, M)
    chi = sum((nu[i] - N * p[i]) ** 2 / (N * p[i]) for i in range(7))
    pv = Q(3, mp.mpf(chi.numerator) / chi.denominator / 2)
    out.append("NIST e 10^6 bits M=1000: counts %s; chi2 with the published code's pi %.6f (2.700348), p %.6f (0.845406)"
               % (nu, chi_pub, float(Q(3, chi_pub / 2))))
    out.append("NIST e 10^6 bits M=1000: exact pi (pi_0 = 1/96): chi2 %.9f p %.12f" % (float(chi), float(pv)))
    return float(pv)


def lincplx(bits, n, length, optlen, k2):
    M = length
    if optlen:
        best = n % M
        m = M + 1
        while best != 0 and m < 1.2 * length:
            if n % m < best:
                best, M = n % m, m
            m += 1
    N = n // M
    if k2:
        Nk = 15 * 2 ** (k2 - 1)
        if n > Nk * M:
            N = Nk
    K = 0
    k = 2
    while k <= 2 * (M // 2):
        if Fraction(N, 3 * 2 ** (k - 1)) < 5:
            break
        K = k
        k += 2
    mu, jm, jv = moments(M)
    xj = Fraction(0)
    counts = [0] * (K + 1)
    for i in range(N):
        L, J = bm_int(bits[i * M:(i + 1) * M])
        xj += (J - jm) ** 2 / jv
        if K:
            counts[class_index(L, M, K, mu)] += 1
    pj = Q(mp.mpf(N) / 2, mp.mpf(xj.numerator) / xj.denominator / 2)
    pl = None
    if K:
        p = class_probs(K, M)
        x = sum((counts[i] - N * p[i]) ** 2 / (N * p[i]) for i in range(K + 1))
        pl = Q(K // 2, mp.mpf(x.numerator) / x.denominator / 2)
    return M, N, K, pj, pl


LINCPLX_CASES = [
    # seed, n, len, optlen, liCoK
    (31, 1 << 20, 1000, 1, 0),
    (32, 200003, 997, 0, 0),
    (33, 60000, 20, 0, 0),
    (34, 40000, 4, 0, 0),
    (35, 40001, 5, 0, 0),
    (36, 100000, 21, 1, 2),
    (37, 1 << 16, 64, 0, 4),
    (38, 123457, 129, 0, 0),
]


# ---------------------------------------------------------------- AMLS

AMLS_MOMENTS = {1: (884.719564, 60.4156), 2: (1820.68385, 98.7412), 4: (3725.93029, 160.152),
                8: (7590.69212, 257.942)}


def amls_shape():
    """L -> (m4, m6) from the table that tools/reference/amls_moments.py
    printed into tools/reference/amls_moments.txt."""
    here = os.path.dirname(os.path.abspath(__file__))
    shape, inside = {}, False
    for line in open(os.path.join(here, 'amls_moments.txt')):
        if line.startswith('# the table of battery/AMLS.cpp'):
            inside = True
        elif inside and line.strip() and not line.startswith('#'):
            L, m4, m6 = line.split()
            shape[int(L)] = (mp.mpf(m4), mp.mpf(m6))
    return shape


AMLS_SHAPE = amls_shape()


def amls_law_p(blocks, L, X):
    """P(a + b chi2(nu) > X) with the first three cumulants of X."""
    m4, m6 = AMLS_SHAPE[L]
    N = mp.mpf(blocks)
    c1, c2, c3 = N, N * (m4 - 1), N * (m6 - 3 * m4 + 2)
    # 8 b^3 nu / (2 b^2 nu) = 4 b; (2 b^2 nu)^3 / (8 b^3 nu)^2 = nu / 8
    b = c3 / (4 * c2)
    nu = 8 * c2 ** 3 / c3 ** 2
    a = c1 - b * nu
    assert abs(a + b * nu - c1) < 1e-30 * c1 and abs(2 * b * b * nu - c2) < 1e-25 * c2
    assert abs(8 * b ** 3 * nu - c3) < 1e-25 * c3
    return Q(nu / 2, (X - a) / (2 * b))


def amls_counts(bits, n, L, blocks):
    B = L * 1024
    counts = []
    for i in range(blocks):
        full = [False] * B
        held = [0] * B
        ext = [0]

        def feed(k, b):
            while k < B:
                if not full[k]:
                    full[k] = True
                    held[k] = b
                    return
                full[k] = False
                a = held[k]
                if a != b:
                    ext[0] += 1
                    b = 1
                else:
                    feed(2 * k + 1, a)
                    b = 0
                k *= 2

        start = i * B
        t = start
        limit = min(n, start + 2 * B)
        while t + 2 <= limit:
            before = ext[0]
            feed(1, bits[t])
            feed(1, bits[t + 1])
            t += 2
            if t >= start + B and ext[0] != before:
                break
        counts.append(ext[0])
    return counts


def amls(bits, n, lmin, lmax, lstp, blkmax):
    out = []
    L = lmin
    while L <= lmax:
        mean, var = AMLS_MOMENTS[L]
        blocks = min(n // (L * 1024), blkmax)
        counts = amls_counts(bits, n, L, blocks)
        X = sum((mp.mpf(c) - mp.mpf(mean)) ** 2 / mp.mpf(var) for c in counts)
        out.append((L, amls_law_p(blocks, L, X)))
        L = L + lstp if lstp >= 1 else L << -lstp
    return out


AMLS_CASES = [
    # seed, n, lmin, lmax, lstp, blkmax
    (41, 5120, 1, 1, -1, 0x7FFFFFFF),
    (42, 40000, 1, 4, -1, 0x7FFFFFFF),
    (43, 1 << 16, 1, 8, -1, 3),
    (44, 30001, 1, 4, -2, 0x7FFFFFFF),
]


def crafted():
    """Bit lists of the count fixtures: (name, bits, L, blocks)."""
    rnd = xorshift_bits(51, 4096)
    z = [0] * 1024
    cases = []
    # Block 0 zeros: its continuation runs into block 1 (random) and stops
    # at the first pair there that extracts. Blocks 2 and 3 zeros, then 100
    # random bits: block 2 stops at the cap (end of block 3) with 0, block 3
    # reads on into the random tail.
    cases.append(("zero blocks", z + rnd[:1024] + z + z + rnd[2048:2148], 1, 4))
    # The last block zeros: its continuation meets the end of the sequence.
    cases.append(("last block zeros", rnd[:1024] + z, 1, 2))
    # An odd end: a single bit 1 after the zero block is no pair.
    cases.append(("odd end", rnd[1024:2048] + z + [1], 1, 2))
    # Random blocks at L = 2 with a tail.
    cases.append(("random L2", rnd[:4096] + rnd[:300], 2, 2))
    return cases


def words_of(bits):
    words = [0] * (len(bits) // 32 + 1)
    for t, x in enumerate(bits):
        words[t >> 5] |= x << (t & 31)
    return words


def main():
    checks = []
    exhaustive(checks)
    nist_p = nist_example(checks)

    # The list-based and integer Berlekamp-Massey agree on random blocks.
    for seed in range(61, 66):
        b = xorshift_bits(seed, 300)
        for M in (1, 2, 31, 64, 65, 100, 300):
            assert bm_list(b[:M]) == bm_int(b[:M]), (seed, M)
    checks.append("list-based and integer Berlekamp-Massey agree on 35 random blocks")

    h = ["// Made by tools/reference/amls_lincplx.py; do not edit.", "#pragma once", "", "#include <cstdint>", ""]
    h.append("// NIST SP 800-22 linear complexity example (e, M = 1000, K = 6) with the")
    h.append("// exact class probabilities.")
    h.append("constexpr double LINCPLX_NIST_E_P = %.17g;" % nist_p)
    h.append("")
    h.append("struct LincplxRef { unsigned seed, n; int len, optlen, k; int M, N, K; double pJump, pLen; };")
    h.append("")
    h.append("const LincplxRef LINCPLX_REF[] = {")
    for seed, n, length, optlen, k2 in LINCPLX_CASES:
        bits = xorshift_bits(seed, n)
        M, N, K, pj, pl = lincplx(bits, n, length, optlen, k2)
        checks.append("LINCPLX seed %d n %d len %d opt %d k %d: M %d N %d K %d pJump %.12g pLen %s"
                      % (seed, n, length, optlen, k2, M, N, K, float(pj), "%.12g" % float(pl) if pl is not None else "-"))
        h.append("    {%d, %d, %d, %d, %d, %d, %d, %d, %.17g, %.17g}," %
                 (seed, n, length, optlen, k2, M, N, K, float(pj), float(pl) if pl is not None else -1.0))
    h.append("};")
    h.append("")
    h.append("struct AmlsRef { unsigned seed, n; int lmin, lmax, lstp, blkmax; int L; double p; };")
    h.append("")
    h.append("const AmlsRef AMLS_REF[] = {")
    for seed, n, lmin, lmax, lstp, blkmax in AMLS_CASES:
        bits = xorshift_bits(seed, n)
        for L, p in amls(bits, n, lmin, lmax, lstp, blkmax):
            checks.append("AMLS seed %d n %d L %d blkmax %d: p %.12g" % (seed, n, L, blkmax, float(p)))
            h.append("    {%d, %d, %d, %d, %d, %d, %d, %.17g}," % (seed, n, lmin, lmax, lstp, blkmax, L, float(p)))
    h.append("};")
    h.append("")
    h.append("struct AmlsCountRef { const char* name; unsigned n; int L; int blocks; const uint32_t* words; int counts[4]; };")
    h.append("")
    entries = []
    for idx, (name, bits, L, blocks) in enumerate(crafted()):
        counts = amls_counts(bits, len(bits), L, blocks)
        checks.append("AMLS counts '%s' n %d L %d: %s" % (name, len(bits), L, counts))
        w = words_of(bits)
        h.append("const uint32_t AMLS_COUNT_WORDS_%d[] = {" % idx)
        for i in range(0, len(w), 8):
            h.append("    " + ", ".join("0x%08Xu" % x for x in w[i:i + 8]) + ",")
        h.append("};")
        entries.append('    {"%s", %d, %d, %d, AMLS_COUNT_WORDS_%d, {%s}},' %
                       (name, len(bits), L, blocks, idx, ", ".join(str(c) for c in counts + [0] * (4 - len(counts)))))
    h.append("")
    h.append("const AmlsCountRef AMLS_COUNT_REF[] = {")
    h.extend(entries)
    h.append("};")
    with open("tests/battery/AmlsLincplxReference.h", "w") as f:
        f.write("\n".join(h) + "\n")
    print("\n".join(checks))


if __name__ == "__main__":
    main()
