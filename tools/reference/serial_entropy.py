#!/usr/bin/python3
"""Reference values of the serial test and the overlapping (approximate)
entropy test, computed from the published definitions (NIST SP 800-22,
sections 2.11 and 2.12) with exact integers and mpmath.

1. Checks this script against the published worked examples: the ten-bit
   serial example 0011011101 (m = 3), the ten-bit approximate entropy
   example 0100110101 (m = 3), the hundred bits of pi (m = 2) and the first
   10^6 binary digits of e (serial m = 2, approximate entropy m = 10; the
   frequency test's p-value confirms the digits' alignment).
2. Writes those 10^6 digits of e as the program stores an input file
   (bit t is bit t mod 8 of byte t / 8) to tests/data/battery/e_1e6.bin.
   Serial m = 2's second difference is judged by the randomised p-value
   of the exact law of the ring's changes of value (2 C(n, j) / 2^n for
   even j), U from the sequence's hash (fixtures.sequence_hash).
3. Writes tests/battery/SerialEntropyReference.h: the p-values of every
   pattern length on sequences of xorshift32 (13, 17, 5) words from a seed.

Run from the repository root: /usr/bin/python3 tools/reference/serial_entropy.py
"""
import os
import sys
import mpmath as mp
from fractions import Fraction

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import bits, gamma_q, hash_uniform, sequence_hash  # noqa: E402

SERIAL_SALT = 0x5345524900000000

mp.mp.dps = 40


def ring_counts(b, m):
    """Counts of the n overlapping m-bit windows of b read as a ring, MSB first."""
    n = len(b)
    ext = b + b[:m]
    counts = {}
    v = 0
    mask = (1 << m) - 1
    for j in range(m):
        v = (v << 1) | ext[j]
    for j in range(n):
        counts[v] = counts.get(v, 0) + 1
        v = ((v << 1) | ext[j + m]) & mask
    return counts


def psi2(b, m):
    """psi^2_m = 2^m / n * sum of squared counts - n, as an exact fraction."""
    if m <= 0:
        return Fraction(0)
    n = len(b)
    return Fraction(2 ** m * sum(c * c for c in ring_counts(b, m).values()), n) - n


def serial_p(b, m):
    """(p1, p2) with p2 None for m = 1."""
    d1 = psi2(b, m) - psi2(b, m - 1)
    p1 = gamma_q(mp.mpf(2) ** (m - 2), d1 / 2)
    if m == 1:
        return p1, None
    d2 = psi2(b, m) - 2 * psi2(b, m - 1) + psi2(b, m - 2)
    return p1, gamma_q(mp.mpf(2) ** (m - 3), d2 / 2)


def changes_law_sum(n, js):
    """P(J in js) for J the changes of value around a ring of n fair bits:
    2 C(n, j) / 2^n for even j, 0 for odd j."""
    return sum(2 * mp.binomial(n, j) for j in js if j % 2 == 0) / mp.mpf(2) ** n


def serial_2_2_randomised(b):
    """The second difference at m = 2 is (n - 2 J)^2 / n, J the ring's
    changes of value, counted here bit by bit: the randomised p-value of
    J's exact law, ranked by |J - n / 2|, with U from the sequence's hash."""
    n = len(b)
    j = sum(b[t] != b[(t + 1) % n] for t in range(n))
    d2 = psi2(b, 2) - 2 * psi2(b, 1) + psi2(b, 0)
    assert d2 == Fraction((n - 2 * j) ** 2, n)
    low, high = min(j, n - j), max(j, n - j)
    u = hash_uniform(sequence_hash(b), SERIAL_SALT)
    if low == high:
        greater = 1 - changes_law_sum(n, [low])
        at_least = mp.mpf(1)
    else:
        # The smaller tails directly; the larger side as 1 minus the rest.
        greater = changes_law_sum(n, range(0, low)) + changes_law_sum(n, range(high + 1, n + 1))
        at_least = greater + changes_law_sum(n, [low, high])
    return greater + u * (at_least - greater)


def phi(b, m):
    n = len(b)
    return sum(mp.mpf(c) / n * mp.log(mp.mpf(c) / n) for c in ring_counts(b, m).values())


def apen_chi2(b, m):
    n = len(b)
    apen = phi(b, m) - phi(b, m + 1)
    return 2 * n * (mp.log(2) - apen)


def apen_p(b, m):
    return gamma_q(mp.mpf(2) ** (m - 1), apen_chi2(b, m) / 2)


def frequency_p(b):
    s = sum(2 * x - 1 for x in b)
    return mp.erfc(abs(s) / mp.sqrt(len(b)) / mp.sqrt(2))


def bits_of(text):
    return [int(c) for c in text]


def e_digits(count):
    """The first `count` binary digits of e, from the integer part "10" on."""
    with mp.workprec(count + 64):
        scaled = mp.floor(mp.e * mp.mpf(2) ** (count - 2))
    v = int(scaled)
    text = bin(v)[2:]
    assert len(text) == count and text.startswith("10101101111110000101")
    return bits_of(text)


def close(x, published, tol):
    x = float(x)
    assert abs(x - published) <= tol, (x, published)
    return x


def check_published():
    lines = []
    b = bits_of("0011011101")
    for m, want in [(3, Fraction(28, 10)), (2, Fraction(12, 10)), (1, Fraction(4, 10))]:
        assert psi2(b, m) == want, (m, psi2(b, m))
    p1, p2 = serial_p(b, 3)
    lines.append("serial 0011011101 m=3: psi2 2.8 1.2 0.4, P1 %.6f (0.808792) P2 %.6f (0.670320)"
                 % (close(p1, 0.808792, 1e-6), close(p2, 0.670320, 1e-6)))

    b = bits_of("0100110101")
    lines.append("approximate entropy 0100110101 m=3: chi2 %.6f (10.043859) P %.6f (0.261961)"
                 % (close(apen_chi2(b, 3), 10.043859, 1e-6), close(apen_p(b, 3), 0.261961, 1e-6)))

    pi100 = bits_of("11001001000011111101101010100010001000010110100011"
                    "00001000110100110001001100011001100010100010111000")
    lines.append("approximate entropy pi 100 bits m=2: chi2 %.6f (5.550792) P %.6f (0.235301)"
                 % (close(apen_chi2(pi100, 2), 5.550792, 1e-6), close(apen_p(pi100, 2), 0.235301, 1e-6)))

    e = e_digits(10 ** 6)
    lines.append("frequency e 10^6 bits: P %.6f (0.953749)" % close(frequency_p(e), 0.953749, 1e-6))
    p1, p2 = serial_p(e, 2)
    lines.append("serial e 10^6 bits m=2: P1 %.6f (0.843764) P2 %.6f (0.561915)"
                 % (close(p1, 0.843764, 1e-6), close(p2, 0.561915, 1e-6)))
    global SERIAL_E_P2
    SERIAL_E_P2 = serial_2_2_randomised(e)
    lines.append("serial e 10^6 bits m=2, randomised exact law of the ring's changes: P2 %.9f" % SERIAL_E_P2)
    lines.append("approximate entropy e 10^6 bits m=10: P %.6f (0.700073)" % close(apen_p(e, 10), 0.700073, 1e-6))
    return lines, e


def write_e(e):
    data = bytearray(len(e) // 8)
    for t, x in enumerate(e):
        data[t >> 3] |= x << (t & 7)
    with open("tests/data/battery/e_1e6.bin", "wb") as f:
        f.write(bytes(data))


# (seed, n): lengths not a multiple of 32 too, so the ring joins mid-word.
CASES = [(11, 64), (12, 100), (13, 1000), (14, 4099), (15, 65536), (16, 100001)]


def main():
    published, e = check_published()
    write_e(e)
    serial_rows, oet_rows = [], []
    for seed, n in CASES:
        b = bits(seed, n)
        for m in range(1, n.bit_length() - 1 - 2 + 1):  # m <= floor(log2 n) - 2
            p1, p2 = serial_p(b, m)
            if m == 2:
                p2 = serial_2_2_randomised(b)
            serial_rows.append("    {%d, %d, %d, %s, %s}," % (
                seed, n, m, mp.nstr(p1, 17, min_fixed=-mp.inf, max_fixed=mp.inf),
                "-1" if p2 is None else mp.nstr(p2, 17, min_fixed=-mp.inf, max_fixed=mp.inf)))
        for m in range(1, int(0.963 * float(mp.log(n)) - 1.63) + 1):
            oet_rows.append("    {%d, %d, %d, %s}," % (
                seed, n, m, mp.nstr(apen_p(b, m), 17, min_fixed=-mp.inf, max_fixed=mp.inf)))
    with open("tests/battery/SerialEntropyReference.h", "w") as f:
        f.write("#pragma once\n")
        f.write("// Generated by tools/reference/serial_entropy.py: p-values of the serial and\n")
        f.write("// overlapping entropy tests on xorshift32 sequences, from exact pattern counts\n")
        f.write("// and mpmath. The script first reproduced these published examples:\n")
        for line in published:
            f.write("//   %s\n" % line)
        f.write("#include <cstdint>\n\n")
        f.write("struct SerialRef {\n  uint32_t seed, n;\n  int m;\n  double p1, p2;  // p2 -1: none (m = 1)\n};\n\n")
        f.write("inline const SerialRef SERIAL_REF[] = {\n%s\n};\n\n" % "\n".join(serial_rows))
        f.write("// Serial 2_2 of the 10^6 binary digits of e: the randomised p-value of the\n"
                "// exact law (the published 0.561915 is the chi-square's).\n")
        f.write("inline constexpr double SERIAL_E_P2 = %s;\n\n" % mp.nstr(SERIAL_E_P2, 17, min_fixed=-mp.inf, max_fixed=mp.inf))
        f.write("struct OetRef {\n  uint32_t seed, n;\n  int m;\n  double p;\n};\n\n")
        f.write("inline const OetRef OET_REF[] = {\n%s\n};\n" % "\n".join(oet_rows))
    for line in published:
        print(line)


if __name__ == "__main__":
    main()
