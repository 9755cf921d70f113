#!/usr/bin/python3
"""The limit law of the Anderson-Darling statistic A^2 of uniform values,
P(A^2 > z) for n -> infinity, as the battery evaluates it: piecewise
Chebyshev interpolants of a smooth remainder, generated once from two
independent exact evaluations in mpmath (50 digits):
  * Anderson and Darling's (1954) series
      P(A^2 <= z) = sqrt(2 pi) / z sum_j binom(-1/2, j) (4j + 1)
                    exp(-(4j + 1)^2 pi^2 / (8z))
                    int_0^inf exp(z / (8 (w^2 + 1)) - (4j + 1)^2 pi^2 w^2 / (8z)) dw;
  * Smirnov's formula for the upper tail of a quadratic form of normal
    variables, A^2 = sum_k Y_k^2 / (k (k + 1)) with D(u) = prod_k (1 - u / (k (k + 1)))
    = sin(pi r) / (pi u), r = (sqrt(1 + 4u) - 1) / 2:
      P(A^2 > z) = 1/pi sum_k (-1)^(k+1) int_{(2k-1)2k}^{2k(2k+1)} exp(-z u / 2) / (u sqrt|D(u)|) du,
    which needs no cancellation in the far tail.
The two agree to about 1e-22 relative; the script checks them against each
other and stops if they differ by more than 1e-18.

Remainders (smooth, bounded, so that a Chebyshev interpolant at the
Chebyshev-Lobatto points holds them to about 1e-15 absolute, i.e. the
p-value to about 1e-15 relative, and meets its neighbours at the piece ends):
  z <  ZS:  gL(z) = ln P(A^2 <= z) + pi^2 / (8z) + ln(z) / 2     (-> ln 2 as z -> 0)
  z >= ZS:  gU(z) = ln P(A^2 > z) + z + ln(z) / 2                (-> ln(3 / pi) / 2 as z -> inf,
            the tail of the largest eigenvalue 1/2 times the moment generating
            function of the others at 1, prod_{k>=2} (1 - 2 / (k (k + 1)))^(-1/2) = sqrt 3)
the last piece in u = 1/z on [0, 1 / ZT], so that the law holds to infinity.

The finite-n law P_n(A^2 > z) the battery applies (the limit law with a
finite-n correction: Marsaglia and Marsaglia's errfix in the body, the tail
fitted by tools/reference/ad_finite_n_fit.py) is evaluated here too, from the
series, at points (n, z) in every regime and for the samples AD_UNIFORM of
tools/reference/NumericReference.h (their A^2 computed here in 50 digits).

Writes battery/AdLawTable.h (the pieces) and tests/battery/AdLawReference.h
(the series' p-values at points off the interpolation nodes, and the
finite-n law's, for the tests);
prints a summary (tools/reference/ad_law.txt). Run from the repository root:
    /usr/bin/python3 tools/reference/ad_law.py > tools/reference/ad_law.txt
"""
import math
import re

import mpmath as mp

mp.mp.dps = 50

ZMIN = 0.01  # below it P(A^2 <= z) < 1e-50: the p-value is 1 in a double
ZS = 1.0  # the lower remainder below, the upper one from here
ZT = 32.0  # the last piece, in u = 1/z, from here to infinity
DEGREE = 24
TOL = 2e-16  # the largest error of a piece's remainder, absolute


def series_cdf(z):
    """Anderson and Darling's series for P(A^2 <= z)."""
    z = mp.mpf(z)
    total = mp.mpf(0)
    for j in range(400):
        c = (4 * j + 1) ** 2 * mp.pi ** 2
        coef = mp.binomial(mp.mpf(-0.5), j) * (4 * j + 1) * mp.exp(-c / (8 * z))
        integral = mp.quad(lambda w: mp.exp(z / (8 * (w * w + 1)) - c * w * w / (8 * z)), [0, mp.inf])
        term = coef * integral
        total += term
        if abs(term) < mp.mpf(10) ** (-mp.mp.dps + 2) * abs(total):
            break
    return mp.sqrt(2 * mp.pi) / z * total


def d_of_u(u):
    r = (mp.sqrt(1 + 4 * u) - 1) / 2
    return mp.sin(mp.pi * r) / (mp.pi * u)


def smirnov_sf(z):
    """Smirnov's formula for P(A^2 > z); the integrand's exp(-z u / 2) is
    taken out of each interval so that large z lose nothing."""
    z = mp.mpf(z)
    total = mp.mpf(0)
    for k in range(1, 2000):
        a = mp.mpf((2 * k - 1) * 2 * k)
        b = mp.mpf(2 * k * (2 * k + 1))
        pts = [a] + [a + s / z for s in (1, 10, 100) if a + s / z < b] + [b]
        integral = mp.quad(lambda u: mp.exp(-z * (u - a) / 2) / (u * mp.sqrt(abs(d_of_u(u)))), pts)
        term = (-1) ** (k + 1) * mp.exp(-z * a / 2) * integral / mp.pi
        total += term
        if abs(term) < mp.mpf(10) ** (-mp.mp.dps + 2) * abs(total):
            break
    return total


def upper_tail(z):
    """P(A^2 > z): the series where it converges fast, Smirnov's formula in
    the far tail (z > 12, where the series needs many terms)."""
    return 1 - series_cdf(z) if z <= 12 else smirnov_sf(z)


def g_lower(z):
    z = mp.mpf(z)
    return mp.log(series_cdf(z)) + mp.pi ** 2 / (8 * z) + mp.log(z) / 2


def g_upper(z):
    z = mp.mpf(z)
    return mp.log(upper_tail(z)) + z + mp.log(z) / 2


G_INF = mp.log(3 / mp.pi) / 2


def g_tail(u):
    return G_INF if u == 0 else g_upper(1 / mp.mpf(u))


def cheb_fit(f, a, b, deg):
    """Coefficients of the interpolant of f at the deg + 1 Chebyshev-Lobatto
    points of [a, b] (both ends among them)."""
    a, b = mp.mpf(a), mp.mpf(b)
    xs = [mp.cos(mp.pi * k / deg) for k in range(deg + 1)]
    fs = [f((a + b) / 2 + (b - a) / 2 * x) for x in xs]
    coefs = []
    for j in range(deg + 1):
        s = mp.mpf(0)
        for k in range(deg + 1):
            w = mp.mpf(0.5) if k in (0, deg) else mp.mpf(1)
            s += w * fs[k] * mp.cos(mp.pi * j * k / deg)
        c = 2 * s / deg
        if j in (0, deg):
            c /= 2
        coefs.append(c)
    return coefs


def cheb_eval(coefs, a, b, x):
    t = (2 * mp.mpf(x) - a - b) / (b - a)
    return sum(c * mp.chebyt(j, t) for j, c in enumerate(coefs))


def double_clenshaw(coefs, a, b, x):
    """The C++ evaluation in double precision (to see the rounding)."""
    t = (2.0 * x - a - b) / (b - a)
    b1 = b2 = 0.0
    for c in reversed(coefs[1:]):
        b1, b2 = 2.0 * t * b1 - b2 + c, b1
    return t * b1 - b2 + coefs[0]


def fit_piece(kind, f, a, b, log):
    coefs = cheb_fit(f, a, b, DEGREE)
    # The error at the midpoints between nodes, where it peaks.
    worst = mp.mpf(0)
    for k in range(DEGREE):
        x = (mp.mpf(a) + b) / 2 + (mp.mpf(b) - a) / 2 * mp.cos(mp.pi * (k + 0.5) / DEGREE)
        worst = max(worst, abs(cheb_eval(coefs, a, b, x) - f(x)))
    if worst > TOL:
        m = (a + b) / 2 if kind == "u" else math.sqrt(a * b) if a > 0 else b / 2
        return fit_piece(kind, f, a, m, log) + fit_piece(kind, f, m, b, log)
    # Drop the trailing coefficients that cannot matter.
    while len(coefs) > 2 and abs(coefs[-1]) < 1e-18:
        coefs.pop()
    log.append("piece %s [%.6g, %.6g]: %d coefficients, largest remainder error %.2g" % (kind, a, b, len(coefs), worst))
    return [(kind, a, b, [float(c) for c in coefs])]


def law(pieces, z):
    """The battery's limit law from the table, in double precision."""
    if z < ZMIN:
        return 1.0
    for kind, a, b, coefs in pieces:
        if kind == "u":
            x = 1.0 / z
            if a <= x <= b:
                return math.exp(double_clenshaw(coefs, a, b, x) - z - 0.5 * math.log(z))
        elif a <= z <= b:
            g = double_clenshaw(coefs, a, b, z)
            if kind == "L":
                return -math.expm1(g - (math.pi ** 2 / 8) / z - 0.5 * math.log(z))
            return math.exp(g - z - 0.5 * math.log(z))
    raise ValueError(z)


# The finite-n correction (constants as battery/AdLaw.cpp holds them).
Z0 = mp.mpf("1.4081977005505801")
LMAX = mp.mpf("2.4938547550487238")
TAIL_A = [mp.mpf("0.23280828364992401"), mp.mpf("0.076874436300236423"), mp.mpf("0.038213953262008923")]
TAIL_B = [mp.mpf("0.12599789028997305"), mp.mpf("-0.15239886013142501")]


def finite_n_upper(n, z):
    """P_n(A^2 > z): 1 below z = 0.01 (x < 1e-50 there), otherwise the
    series' x = P(A^2 <= z) and p = 1 - x with the correction, in [0, 1]."""
    z = mp.mpf(z)
    if z < ZMIN:
        return mp.mpf(1)
    p = upper_tail(z)
    x = 1 - p
    n = mp.mpf(n)
    c = mp.mpf("0.01265") + mp.mpf("0.1757") / n
    if z >= Z0:
        L = min(mp.log(1 + z - Z0), LMAX)
        a = sum(TAIL_A[k] * L ** (k + 1) for k in range(3))
        b = sum(TAIL_B[k] * L ** (k + 1) for k in range(2))
        q = p * mp.exp(a / n + b / n ** 2)
    elif x >= c:
        def g2(t):
            return (mp.mpf("-0.00022633") + mp.mpf("6.54034") * t - mp.mpf("14.6538") * t ** 2
                    + mp.mpf("14.458") * t ** 3 - mp.mpf("8.259") * t ** 4 + mp.mpf("1.91864") * t ** 5)
        t = (x - c) / (mp.mpf("0.8") - c)
        q = p - (mp.mpf("0.04213") / n + mp.mpf("0.01365") / n ** 2) * (g2(t) - g2(0) * (1 - t) - g2(1) * t)
    else:
        t = x / c
        k = mp.mpf("0.0037") / n ** 3 + mp.mpf("0.00078") / n ** 2 + mp.mpf("0.00006") / n
        q = p - k * mp.sqrt(t) * (1 - t) * (49 * t - 102)
    return min(mp.mpf(1), max(mp.mpf(0), q))


def ad_statistic(values):
    x = sorted(mp.mpf(v) for v in values)
    n = len(x)
    s = mp.fsum((2 * i + 1) * mp.log(max(mp.mpf("1e-20"), x[i] * (1 - x[n - 1 - i]))) for i in range(n))
    return -n - s / n


def numeric_reference_samples(prefix):
    """The samples of tools/reference/NumericReference.h named prefix_<k>, in
    order of k, as the doubles written there (each read back exactly)."""
    text = open("tools/reference/NumericReference.h").read()
    found = re.findall(r"inline constexpr double %s_(\d+)\[\] = \{([^}]*)\};" % prefix, text)
    found.sort(key=lambda m: int(m[0]))
    return [[mp.mpf(float(v)) for v in body.split(",")] for _, body in found]


def main():
    log = []
    # Cross-check the two exact forms.
    worst = mp.mpf(0)
    for z in (0.2, 0.5, 1, 1.5, 2, 3, 5, 8, 12, 20, 33, 40):
        s, m = 1 - series_cdf(z), smirnov_sf(z)
        worst = max(worst, abs(s / m - 1))
    assert worst < 1e-18, worst
    log.append("series against Smirnov's formula, z in 0.2 .. 40: largest relative difference %.2g" % worst)

    pieces = []
    pieces += fit_piece("L", g_lower, ZMIN, ZS, log)
    pieces += fit_piece("U", g_upper, ZS, ZT, log)
    pieces += fit_piece("u", g_tail, 0.0, 1.0 / ZT, log)

    # The table against the series off its nodes: a grid of z from 0.01 to
    # the z where p = 1e-15 and beyond; every point printed goes to the test.
    ref = []
    z = 0.01
    zs = []
    while z < 45:
        zs.append(z)
        z *= 1.037
    zs += [0.02, 0.05, 0.1, 0.2, 0.5, 1, 1.5, 1.9999, 2, 2.0001, 2.5, 3, 4, 5, 6, 8, 10, 12, 16, 20, 24, 30, 31.9, 32, 32.1, 33, 36, 40, 50, 60]
    zs = sorted(set(round(v, 12) for v in zs))
    worst_rel = 0.0
    worst_at = None
    for z in zs:
        exact = upper_tail(z)
        if z <= 12:
            exact_series = exact
        else:
            exact_series = 1 - series_cdf(z)  # the series itself, the named reference
            assert abs(exact_series / exact - 1) < 1e-15, z
        got = law(pieces, z)
        rel = abs(got / float(exact_series) - 1)
        if float(exact_series) >= 1e-15 and rel > worst_rel:
            worst_rel, worst_at = rel, z
        ref.append((z, exact_series))
    log.append("table (evaluated in double) against the series at %d points, p from 1 to 1e-15: "
               "largest relative error %.2g (z = %.4g)" % (len(zs), worst_rel, worst_at))
    for z, p in ref:
        log.append("  z %-10.6g p %s  table %.17g" % (z, mp.nstr(p, 20), law(pieces, z)))

    # The finite-n law: points in every regime (the lower and middle forms
    # of the body, the tail), away from the ends of the forms; and the
    # samples of NumericReference.h.
    finite = []
    for n in (1, 2, 3, 5, 10, 20, 50, 100, 1000, 100000):
        for z in (0.05, 0.12, 0.16, 0.2, 0.25, 0.3, 0.4, 0.6, 0.9, 1.2, 1.4, 1.5, 2, 3, 5, 8, 10, 12, 13, 20, 33, 40):
            finite.append((n, z, finite_n_upper(n, z)))
    samples = []
    for values in numeric_reference_samples("AD_UNIFORM"):
        z = ad_statistic(values)
        samples.append((len(values), z, finite_n_upper(len(values), z)))
    log.append("finite-n law at %d points (n, z) and at the %d samples AD_UNIFORM (n, A^2, P_n(A^2 > A^2)):"
               % (len(finite), len(samples)))
    for n, z, p in samples:
        log.append("  n %-5d A^2 %-22s p %s" % (n, mp.nstr(z, 17), mp.nstr(p, 17)))

    with open("battery/AdLawTable.h", "w") as f:
        f.write("// Generated by tools/reference/ad_law.py; do not edit.\n")
        f.write("// The limit law of A^2 in pieces: Chebyshev coefficients of the remainder\n")
        f.write("//   'L' (z in [a, b]):     ln P(A^2 <= z) + pi^2 / (8z) + ln(z) / 2\n")
        f.write("//   'U' (z in [a, b]):     ln P(A^2 > z) + z + ln(z) / 2\n")
        f.write("//   'u' (1/z in [a, b]):   the same, in u = 1/z (to z = infinity)\n")
        f.write("#pragma once\n\n")
        f.write("struct AdLawPiece {\n  char kind;\n  double a, b;\n  int count;\n  double coef[%d];\n};\n\n" % (DEGREE + 1))
        f.write("inline constexpr double AD_LAW_ZMIN = %r;\n" % ZMIN)
        f.write("inline constexpr int AD_LAW_PIECES = %d;\n" % len(pieces))
        f.write("inline constexpr AdLawPiece AD_LAW[AD_LAW_PIECES] = {\n")
        for kind, a, b, coefs in pieces:
            f.write("    {'%s', %r, %r, %d,\n     {%s}},\n" % (kind, float(a), float(b), len(coefs), ", ".join(repr(c) for c in coefs)))
        f.write("};\n")

    with open("tests/battery/AdLawReference.h", "w") as f:
        f.write("// Generated by tools/reference/ad_law.py from Anderson and Darling's series\n")
        f.write("// in 50-digit mpmath; do not edit. P(A^2 > z) of the limit law.\n")
        f.write("#pragma once\n\nnamespace adref {\n\n")
        f.write("struct LimitCase { double z, upper; };\n\n")
        f.write("inline constexpr LimitCase AD_LIMIT[] = {\n")
        for z, p in ref:
            f.write("    {%r, %r},\n" % (float(z), float(p)))
        f.write("};\n\n")
        f.write("// P_n(A^2 > z) of the finite-n law.\n")
        f.write("struct FiniteCase { int n; double z, upper; };\n\n")
        f.write("inline constexpr FiniteCase AD_FINITE[] = {\n")
        for n, z, p in finite:
            f.write("    {%d, %r, %r},\n" % (n, float(z), float(p)))
        f.write("};\n\n")
        f.write("// The samples AD_UNIFORM of tools/reference/NumericReference.h, in order:\n")
        f.write("// their A^2 and P_n(A^2 > A^2).\n")
        f.write("struct SampleCase { int n; double a2, upper; };\n\n")
        f.write("inline constexpr SampleCase AD_SAMPLES[] = {\n")
        for n, z, p in samples:
            f.write("    {%d, %r, %r},\n" % (n, float(z), float(p)))
        f.write("};\n\n}  // namespace adref\n")
    print("\n".join(log))


if __name__ == "__main__":
    main()
