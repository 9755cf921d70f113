"""Shared pieces of the reference scripts in this folder.

The fixture sequences are the words of xorshift32 (13, 17, 5) from a seed,
stored as the program stores them: bit t is bit t mod 32 of word t / 32.
The scripts import this module from the repository root after
    sys.path.insert(0, os.path.dirname(__file__))
"""
from fractions import Fraction

import math

import mpmath as mp
import numpy as np
from scipy.special import bdtr, bdtrc


def xorshift_words(seed, count):
    """count words of xorshift32 (13, 17, 5) from seed, as Python ints."""
    x = seed
    out = []
    for _ in range(count):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out.append(x)
    return out


def bits(seed, n):
    """The first n bits of the xorshift32 words from seed, a list of 0 and 1."""
    words = xorshift_words(seed, n // 32 + 1)
    return [(words[t >> 5] >> (t & 31)) & 1 for t in range(n)]


def xorshift_array(seed, count):
    """The xorshift32 words from seed as a numpy uint32 array."""
    return np.array(xorshift_words(seed, count), dtype=np.uint32)


def unpack_bits(words, n):
    """Bits 0 .. n-1 of a numpy uint32 array (bit t is bit t mod 32 of word
    t / 32: little-endian bytes, each byte least significant bit first), as
    a uint8 array."""
    return np.unpackbits(words.astype("<u4").view(np.uint8), bitorder="little")[:n]


def bits_array(seed, n, dtype=np.int64):
    """The first n bits of the xorshift32 words from seed, a numpy array."""
    return unpack_bits(xorshift_array(seed, n // 32 + 1), n).astype(dtype)


def splitmix_words(seed, n_bits):
    """The buffer tools/nullrun fills for n_bits: n/32 + 2 words, two per
    splitmix64 output (low half first), a numpy uint32 array."""
    golden = 0x9E3779B97F4A7C15
    count = n_bits // 32 + 2
    outputs = (count + 1) // 2
    with np.errstate(over="ignore"):
        k = np.arange(1, outputs + 1, dtype=np.uint64)
        z = np.uint64(seed) + k * np.uint64(golden)
        z = (z ^ (z >> np.uint64(30))) * np.uint64(0xBF58476D1CE4E5B9)
        z = (z ^ (z >> np.uint64(27))) * np.uint64(0x94D049BB133111EB)
        z = z ^ (z >> np.uint64(31))
    words = np.empty(2 * outputs, dtype=np.uint32)
    words[0::2] = (z & np.uint64(0xFFFFFFFF)).astype(np.uint32)
    words[1::2] = (z >> np.uint64(32)).astype(np.uint32)
    return words[:count]


def to_mpf(x):
    """x as an mpf at the working precision; a Fraction is divided out there."""
    if isinstance(x, Fraction):
        return mp.mpf(x.numerator) / x.denominator
    return mp.mpf(x)


def gamma_q(a, x):
    """The regularized upper incomplete gamma function Q(a, x); 1 for x <= 0."""
    x = to_mpf(x)
    if x <= 0:
        return mp.mpf(1)
    return mp.gammainc(mp.mpf(a), x, mp.inf, regularized=True)


def power_divergence_term(o, e, lam):
    """One class's term of the Cressie-Read power divergence of lambda = lam
    (Cressie and Read, JRSS B 46, 1984), in mpmath:
    2 / (lam (lam + 1)) [o ((o / e)^lam - 1) - lam (o - e)]."""
    o, e, lam = to_mpf(o), to_mpf(e), to_mpf(lam)
    return 2 / (lam * (lam + 1)) * (o * ((o / e) ** lam - 1) - lam * (o - e))


def cressie_read_half_term(o, e):
    """The power divergence's term of lambda = 1/2."""
    return power_divergence_term(o, e, mp.mpf(1) / 2)


def power_divergence_moment_p(lam, expected, t):
    """The p-value of a power divergence t over classes of these expected
    counts: t referred to a + b chi2(k - 1) with t's mean and variance to
    O(1/n) under the multinomial of n = sum expected draws (Cressie and Read
    1984, section 5; Read and Cressie 1988, appendix A11), T = sum 1 / p_i,
    the mean with the next term of each class's own at lambda = 1/2,
    3 / (128 e_i^2) (power_divergence_moments.py derives and checks it):
      E = k - 1 + [(l-1)(2 - 3k + T)/3 + (l-1)(l-2)(1 - 2k + T)/4] / n
      V = 2(k - 1) + [(2 - 2k - k^2 + T) + (l-1)(8 - 12k - 2k^2 + 6T)
          + (l-1)^2 (4 - 6k - 3k^2 + 5T)/3 + (l-1)(l-2)(2 - 4k + 2T)] / n
    (checked by exact enumeration in power_divergence_moments.py)."""
    lam = to_mpf(lam)
    e = [to_mpf(x) for x in expected]
    k = mp.mpf(len(e))
    n = sum(e)
    T = sum(n / x for x in e)
    l1, l2 = lam - 1, lam - 2
    mean = (k - 1) + (l1 * (2 - 3 * k + T) / 3 + l1 * l2 * (1 - 2 * k + T) / 4) / n
    if lam == mp.mpf(1) / 2:
        mean += sum(mp.mpf(3) / 128 / (x * x) for x in e)
    var = 2 * (k - 1) + ((2 - 2 * k - k * k + T) + l1 * (8 - 12 * k - 2 * k * k + 6 * T)
                         + l1 * l1 * (4 - 6 * k - 3 * k * k + 5 * T) / 3 + l1 * l2 * (2 - 4 * k + 2 * T)) / n
    x = (k - 1) + (to_mpf(t) - mean) * mp.sqrt(2 * (k - 1) / var)
    return chi2_tail(k - 1, max(x, mp.mpf(0)))


def chi2_tail(df, x):
    """P(chi-square with df degrees of freedom >= x) = Q(df / 2, x / 2)."""
    return gamma_q(mp.mpf(df) / 2, to_mpf(x) / 2)


def grid(lo, hi, step):
    """The program's parameter grid: lo, then + step (step >= 1) or times
    2^-step (step < 0) while at most hi; step 0 or a value <= 0 that cannot
    double stops after the value."""
    x = lo
    while x <= hi:
        yield x
        if step >= 1:
            x += step
        else:
            if step == 0 or x <= 0:
                return
            x <<= -step


# The randomised p-value of a two-class count (battery/RandomisedPValue.h),
# written apart: the hash of the bits, the uniform from it, the binomial law.
MASK = (1 << 64) - 1
GOLDEN = 0x9E3779B97F4A7C15


def mix64(z):
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
    return z ^ (z >> 31)


def sequence_hash(b):
    """The hash of the bits: 64-bit chunks (bit t at bit t mod 64) folded
    in by xor, multiply, xor-shift; the tail chunk of the last bits, then
    the splitmix64 finaliser."""
    n = len(b)
    h = 0x6A09E667F3BCC909 ^ n
    chunk = lambda lo, hi: sum(b[i] << (i - lo) for i in range(lo, hi))
    whole = n // 32
    i = 0
    while i + 2 <= whole:
        h = ((h ^ chunk(32 * i, 32 * i + 64)) * GOLDEN) & MASK
        h ^= h >> 29
        i += 2
    tail = chunk(32 * i, n)  # at most one whole word and the partial one
    h = ((h ^ tail) * GOLDEN) & MASK
    return mix64(h)


def hash_uniform(h, salt):
    z = mix64(h ^ mix64((salt + GOLDEN) & MASK))
    return (mp.mpf(z >> 11) + mp.mpf(0.5)) / mp.mpf(2) ** 53


class HashDraws:
    """The smoothing's draws (battery/RandomisedPValue.cpp), written apart
    in doubles as the program makes them: the uniforms hash_uniform(h,
    salt + j), j = 0, 1, ... in order; normals by Box and Muller from two of
    them (r = sqrt(-2 ln u1), angle 2 pi u2, the cosine first, the sine
    the next normal); a chi-square of df degrees of freedom as 2 Gamma(df / 2),
    by Marsaglia and Tsang's rejection (ACM TOMS 26, 2000) for a shape
    a >= 1, as Gamma(a + 1) u^(1 / a) below."""

    def __init__(self, h, salt):
        self.h, self.salt, self.next, self.spare = h, salt, 0, None

    def uniform(self):
        u = float(hash_uniform(self.h, self.salt + self.next))
        self.next += 1
        return u

    def normal(self):
        if self.spare is not None:
            g, self.spare = self.spare, None
            return g
        r = math.sqrt(-2 * math.log(self.uniform()))
        angle = 6.283185307179586 * self.uniform()
        self.spare = r * math.sin(angle)
        return r * math.cos(angle)

    def gamma(self, a):
        d = a - 1.0 / 3
        c = 1 / math.sqrt(9 * d)
        while True:
            while True:
                x = self.normal()
                v = 1 + c * x
                if v > 0:
                    break
            v = v * v * v
            u = self.uniform()
            x2 = x * x
            if u < 1 - 0.0331 * x2 * x2:
                return d * v
            if math.log(u) < 0.5 * x2 + d * (1 - v + math.log(v)):
                return d * v

    def chi_square(self, df):
        if df <= 0:
            return 0.0
        a = df / 2.0
        if a >= 1:
            return 2 * self.gamma(a)
        g = self.gamma(a + 1)
        return 2 * g * self.uniform() ** (1 / a)


def shifted_squared_norm(squared, along, k, mu, draws):
    """|y + sqrt(mu) P g|^2 for g standard normal in k coordinates, P the
    projection off a unit vector w, y.w = along, |y|^2 = squared: the part
    along w, the normal Z along the rest of y, the chi-square (k - 2)
    across both."""
    across = mp.sqrt(max(mp.mpf(0), squared - along * along))
    z = draws.normal()
    w = draws.chi_square(k - 2)
    return along * along + (across + mp.sqrt(mu) * z) ** 2 + mu * w


def binom_upper(n, q, k):
    """P(C >= k), C binomial (n, q), by scipy's binomial tail."""
    if k <= 0:
        return mp.mpf(1)
    if k > n:
        return mp.mpf(0)
    return mp.mpf(float(bdtrc(k - 1, n, q)))


def binom_lower(n, q, k):
    if k < 0:
        return mp.mpf(0)
    if k >= n:
        return mp.mpf(1)
    return mp.mpf(float(bdtr(k, n, q)))


def binomial_randomised_p(n, q, c, u):
    """q a Fraction: the ranking by |k - n q| in exact arithmetic."""
    mean = n * q
    d = abs(c - mean)
    lo_far, hi_far = mean - d, mean + d
    floor = lambda x: x.numerator // x.denominator
    ceil = lambda x: -((-x.numerator) // x.denominator)
    qm = float(q)
    greater = binom_lower(n, qm, ceil(lo_far) - 1) + binom_upper(n, qm, floor(hi_far) + 1)
    at_least = binom_lower(n, qm, floor(lo_far)) + binom_upper(n, qm, ceil(hi_far))
    return min(greater, 1) + u * (min(at_least, 1) - min(greater, 1))
