#!/usr/bin/python3
"""The multinomial law of Pearson's statistic for the binomial threshold
p-value ("Bino") and the Pearson column (battery/BinoLaw.h), computed here
independently of the program, for the fixtures of the tests.

The statistic: over the classes (the threshold cells merged in order until
the expected count reaches 5, in the program's double arithmetic, a
remainder joined to the last; or m equal bins), each class expecting fewer
than 25 values is "small" and its term (O - e)^2 / e is rounded to the
nearest multiple of 1/10; when fewer than two classes are large, all are
small. The other terms stay exact.

- All classes small (a lattice statistic T): its exact law under the
  multinomial, here by independent Poisson counts of means e_i conditioned on
  their total being N (a dynamic programme over classes on (total, 10 T),
  divided by the Poisson probability of N); the program's randomised p-value
  must lie between P(T > t) and P(T >= t).
- Otherwise: the small classes' counts enumerated exactly (their multinomial
  marginal by log-factorials), the large classes' statistic about N p_i
  taken as D^2 / (N P_L) plus chi-square with (large classes - 1) degrees of
  freedom (scipy chi2.sf), D the small classes' total minus its expectation.
- No small class: scipy chi2.sf with classes - 1 degrees of freedom.
- The Pearson column where its m equal bins expect 25 values or more: the
  chi-square law with its 1/n (Edgeworth) term, written as
  G_k + sum_j b_j G_{k+2j}, j = 0..3, k = m - 1, G_j the chi-square law with
  j degrees of freedom (scipy chi2.sf). The b_j are solved here from the
  exact cumulants of Pearson's statistic over the multinomial: its raw
  moments from the multinomial's factorial moments (Stirling numbers),
  expanded as polynomials in n and m with rational coefficients; the signed
  mixture's mass, mean and second and third cumulants are matched to the
  exact ones to order 1/n, and its fourth cumulant's 1/n term is printed
  against the exact one as a check (the cumulants themselves are checked
  against a full enumeration at small m, n). The statistic steps by 2m/n:
  the randomised p-value must lie between the law's tail half a step above
  and half a step below it.

Writes tests/battery/BinoLawReference.h and prints the cases
(tools/reference/bino_law.txt). Run from the repository root:
    /usr/bin/python3 tools/reference/bino_law.py > tools/reference/bino_law.txt
"""
import itertools
import math
import re
from fractions import Fraction

import numpy as np
from scipy import special, stats

THRESHOLDS = [0.001, 0.01, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.95, 0.99, 0.999]
LATTICE = 10
EXACT_BELOW = 25.0


def bino_classes(n):
    """(class expected counts, cell -> class) in the program's double arithmetic."""
    expected, class_of, open_e, lower = [], [], 0.0, 0.0
    for cell in range(16):
        t = THRESHOLDS[cell] if cell < 15 else 1.0
        open_e += n * (t - lower)
        lower = t
        class_of.append(len(expected))
        if open_e >= 5.0 - 1e-9:
            expected.append(open_e)
            open_e = 0.0
    if expected:
        expected[-1] += open_e
        class_of = [min(k, len(expected) - 1) for k in class_of]
    return expected, class_of


def rounded(o, e):
    d = o - e
    return math.floor(d * d * LATTICE / e + 0.5)


def poisson_pmf(o, lam):
    return math.exp(-lam + o * math.log(lam) - math.lgamma(o + 1))


def poisson_dp(e, n, cap, c_top):
    """a[c, y]: P(the classes' independent Poisson(e_i) counts total c, their
    rounded terms sum to y), for c <= c_top and y <= cap."""
    a = np.zeros((c_top + 1, cap + 1))
    a[0, 0] = 1.0
    for ei in e:
        b = np.zeros_like(a)
        r = [rounded(o, ei) for o in range(c_top + 1)]
        w = [poisson_pmf(o, ei) for o in range(c_top + 1)]
        for c in range(c_top + 1):
            row = a[c]
            if not row.any():
                continue
            for o in range(c_top - c + 1):
                if r[o] <= cap:
                    b[c + o, r[o]:] += row[:cap + 1 - r[o]] * w[o]
        a = b
    return a


def lattice_tails(e, n, y_obs):
    """P(T > t), P(T >= t) for the rounded statistic of all classes, t = y_obs / 10."""
    a = poisson_dp(e, n, y_obs, n)
    at_n = a[n] / poisson_pmf(n, sum(e))
    return 1.0 - float(at_n.sum()), 1.0 - float(at_n[:y_obs].sum())


def mixed_tail(e, small, n, t):
    """P(T >= t) with the small classes exact and the large ones by chi-square:
    the small classes' counts as independent Poissons with the large classes'
    total Poisson(N P_L), conditioned on the grand total N."""
    idx = [i for i in range(len(e)) if small[i]]
    kl = len(e) - len(idx) - 1
    es = sum(e[i] for i in idx)
    npl = n * (1.0 - sum(e[i] / n for i in idx))
    cap = int(math.floor(t * LATTICE)) + 1
    c_top = min(n, int(es + 14 * math.sqrt(es) + 20))
    a = poisson_dp([e[i] for i in idx], n, cap, c_top)
    norm = poisson_pmf(n, es + npl)
    total = 0.0
    ys = np.arange(cap + 1)
    for c in range(c_top + 1):
        w = poisson_pmf(n - c, npl) / norm
        marginal = poisson_pmf(c, es) * w
        inside = a[c] * w
        d = c - es
        z = t - ys / LATTICE - d * d / npl
        sf = np.where(z <= 0, 1.0, stats.chi2.sf(np.maximum(z, 0), kl))
        total += (marginal - inside.sum()) + float((inside * sf).sum())
    return total


# Polynomials in n and m: {(power of n, power of m): Fraction}.
def poly_mul(p, q):
    r = {}
    for (a, b), c in p.items():
        for (x, y), d in q.items():
            r[(a + x, b + y)] = r.get((a + x, b + y), 0) + c * d
    return {k: v for k, v in r.items() if v}


def poly_add(*ps):
    r = {}
    for p in ps:
        for k, v in p.items():
            r[k] = r.get(k, 0) + v
    return {k: v for k, v in r.items() if v}


def poly_scale(p, s):
    return {k: v * s for k, v in p.items()}


def poly_const(c):
    return {(0, 0): Fraction(c)}


def poly_falling(var, count):
    """var (var - 1) ... (var - count + 1), var = (1, 0) for n or (0, 1) for m."""
    r = poly_const(1)
    for i in range(count):
        r = poly_mul(r, poly_add({var: Fraction(1)}, poly_const(-i)))
    return r


def stirling2(a, s):
    if a == s:
        return 1
    if s == 0 or s > a:
        return 0
    return s * stirling2(a - 1, s) + stirling2(a - 1, s - 1)


def mixed_moment(powers):
    """E[prod O_i^a_i] over distinct equal cells (p = 1/m): O^a = sum_s S(a, s)
    O^(s) and E[prod O_i^(s_i)] = n^(S) m^-S, S = sum s_i."""
    total = {}
    for ss in itertools.product(*[range(1, a + 1) for a in powers]):
        coef = 1
        for a, sv in zip(powers, ss):
            coef *= stirling2(a, sv)
        A = sum(ss)
        total = poly_add(total, poly_scale(poly_mul(poly_falling((1, 0), A), {(0, -A): Fraction(1)}), coef))
    return total


def equal_bins_cumulants():
    """The exact cumulants 1..4 of Pearson's statistic X = (m/n) W - n,
    W = sum O_i^2, over m equal cells holding n values."""
    # E[W^r]: the index patterns of r cells (i, j, ...).
    fm = lambda j: poly_falling((0, 1), j)
    ew = [poly_const(1),
          poly_mul(fm(1), mixed_moment([2])),
          poly_add(poly_mul(fm(1), mixed_moment([4])), poly_mul(fm(2), mixed_moment([2, 2]))),
          poly_add(poly_mul(fm(1), mixed_moment([6])), poly_scale(poly_mul(fm(2), mixed_moment([4, 2])), 3),
                   poly_mul(fm(3), mixed_moment([2, 2, 2]))),
          poly_add(poly_mul(fm(1), mixed_moment([8])), poly_scale(poly_mul(fm(2), mixed_moment([6, 2])), 4),
                   poly_scale(poly_mul(fm(2), mixed_moment([4, 4])), 3),
                   poly_scale(poly_mul(fm(3), mixed_moment([4, 2, 2])), 6), poly_mul(fm(4), mixed_moment([2, 2, 2, 2])))]
    scale = {(-1, 1): Fraction(1)}
    # E[X^r] = sum_j C(r, j) (m/n)^j E[W^j] (-n)^(r - j).
    ex = []
    for r in range(5):
        t = {}
        for j in range(r + 1):
            term = ew[j]
            for _ in range(j):
                term = poly_mul(term, scale)
            term = poly_mul(term, {(r - j, 0): Fraction((-1) ** (r - j) * math.comb(r, j))})
            t = poly_add(t, term)
        ex.append(t)
    # Cumulants from raw moments.
    k1 = ex[1]
    k2 = poly_add(ex[2], poly_scale(poly_mul(k1, k1), -1))
    k3 = poly_add(ex[3], poly_scale(poly_mul(ex[2], ex[1]), -3), poly_scale(poly_mul(poly_mul(ex[1], ex[1]), ex[1]), 2))
    mu4 = poly_add(ex[4], poly_scale(poly_mul(ex[3], ex[1]), -4), poly_scale(poly_mul(ex[2], poly_mul(ex[1], ex[1])), 6),
                   poly_scale(poly_mul(poly_mul(ex[1], ex[1]), poly_mul(ex[1], ex[1])), -3))
    k4 = poly_add(mu4, poly_scale(poly_mul(k2, k2), -3))
    return [k1, k2, k3, k4]


def poly_eval(p, n, m):
    return sum(float(c) * n ** a * m ** b for (a, b), c in p.items())


def order(p, power):
    """The coefficient of n^power, a polynomial in m (as a function)."""
    terms = [(b, c) for (a, b), c in p.items() if a == power]
    return lambda m: sum(c * Fraction(m) ** b for b, c in terms)


CUMULANTS = None


def edgeworth_weights(m, n):
    """b_0..b_3 of G_k + sum b_j G_{k+2j}: the signed mixture's increments of
    mass, mean and second and third cumulants equal to the exact ones' 1/n
    terms (a chi-square with nu degrees of freedom has K(t) = -nu/2 ln(1 - 2t),
    so (1 - 2t)^-j adds r! 2^r C(j + r - 1, r) to its r-th cumulant)."""
    k = m - 1
    target = [Fraction(0), Fraction(0)] + [order(CUMULANTS[r - 1], -1)(m) for r in (2, 3)]
    a = [[Fraction(1)] * 4] + [[Fraction(math.factorial(r) * 2 ** r * math.comb(j + r - 1, r)) for j in range(4)]
                               for r in range(1, 4)]
    # Gauss-Jordan over the rationals.
    rows = [a[r] + [target[r]] for r in range(4)]
    for c in range(4):
        piv = next(r for r in range(c, 4) if rows[r][c] != 0)
        rows[c], rows[piv] = rows[piv], rows[c]
        rows[c] = [v / rows[c][c] for v in rows[c]]
        for r in range(4):
            if r != c and rows[r][c] != 0:
                rows[r] = [v - rows[r][c] * w for v, w in zip(rows[r], rows[c])]
    b = [rows[r][4] for r in range(4)]
    check = sum(Fraction(math.factorial(4) * 2 ** 4 * math.comb(j + 3, 4)) * b[j] for j in range(4))
    return [float(v) / n for v in b], check, order(CUMULANTS[3], -1)(m)


def edgeworth_tail(m, n, x):
    b, _, _ = edgeworth_weights(m, n)
    k = m - 1
    t = float(stats.chi2.sf(x, k)) + sum(bj * float(stats.chi2.sf(x, k + 2 * j)) for j, bj in enumerate(b))
    return min(1.0, max(0.0, t))


def law_of(expected, n):
    """(rounded class expectations as the program holds them, small flags, kind)."""
    e = [n * (ei / n) for ei in expected]
    small = [ei < EXACT_BELOW for ei in e]
    if len(e) < 2 or not any(small):
        return e, small, "chi2"
    if len(e) - sum(small) < 2:
        return e, [True] * len(e), "lattice"
    return e, small, "mixed"


def statistic(counts, e, small, kind):
    if kind == "chi2":
        return sum((o - ei) ** 2 / ei for o, ei in zip(counts, e)), 0
    y = sum(rounded(o, ei) for o, ei, s in zip(counts, e, small) if s)
    rest = sum((o - ei) ** 2 / ei for o, ei, s in zip(counts, e, small) if not s)
    return rest + y / LATTICE, y


def judge(counts, expected, n):
    """(kind, statistic, lower, upper): the p-value lies in [lower, upper]."""
    e, small, kind = law_of(expected, n)
    t, y = statistic(counts, e, small, kind)
    if kind == "chi2":
        p = float(stats.chi2.sf(t, len(e) - 1))
        return kind, t, p, p
    if kind == "lattice":
        lo, hi = lattice_tails(e, n, y)
        return kind, t, lo, hi
    p = mixed_tail(e, small, n, t)
    return kind, t, p, p


def judge_bins(bins, n):
    """judge() for the Pearson column's m equal bins: where they expect 25
    values or more, the chi-square law with its 1/n term over the atom."""
    m = len(bins)
    if m == 2 and not n / m < EXACT_BELOW:
        # Two bins: the exact binomial (n, 1/2) law of |O - n/2|.
        d = abs(bins[0] - n / 2)
        x = 4 * d * d / n
        ks = np.arange(n + 1)
        pmf = stats.binom.pmf(ks, n, 0.5)
        far = np.abs(ks - n / 2)
        return "exact2", x, float(pmf[far > d + 1e-9].sum()), float(pmf[far > d - 1e-9].sum())
    if not n / m < EXACT_BELOW:
        x = sum((o - n / m) ** 2 / (n / m) for o in bins)
        hi = edgeworth_tail(m, n, x - m / n)
        if hi < 1e-300:
            return "fail", x, -1.0, -1.0
        return "edgeworth", x, edgeworth_tail(m, n, x + m / n), hi
    return judge(bins, [n / m] * m, n)


def enumerated_cumulants(m, n):
    """Cumulants 1..4 of Pearson's statistic by a full enumeration."""
    e = n / m
    mom = [0.0] * 5
    for c in itertools.product(range(n + 1), repeat=m - 1):
        if sum(c) > n:
            continue
        cs = list(c) + [n - sum(c)]
        p = math.exp(math.lgamma(n + 1) - sum(math.lgamma(o + 1) for o in cs) - n * math.log(m))
        x = sum((o - e) ** 2 / e for o in cs)
        for r in range(5):
            mom[r] += p * x ** r
    k1 = mom[1]
    k2 = mom[2] - k1 ** 2
    k3 = mom[3] - 3 * mom[2] * k1 + 2 * k1 ** 3
    mu4 = mom[4] - 4 * mom[3] * k1 + 6 * mom[2] * k1 ** 2 - 3 * k1 ** 4
    return [k1, k2, k3, mu4 - 3 * k2 ** 2]


def tiny(kind, lo, hi):
    """Tails below 1e-12 as kind "tiny": the complements above hold 1e-16 absolute."""
    if kind in ("lattice", "mixed") and hi < 1e-12:
        return "tiny", 0.0, 1e-12
    return kind, lo, hi


def bino_counts(values):
    cells = [0] * 16
    for v in values:
        cells[sum(1 for th in THRESHOLDS if v >= th)] += 1
    return cells


def bino_case(values):
    n = len(values)
    if n < 2:
        return "fail", 0.0, -1.0, -1.0
    expected, class_of = bino_classes(n)
    if len(expected) < 2:
        return "short", 0.0, -2.0, -2.0
    cells = bino_counts(values)
    counts = [0] * len(expected)
    for cell, c in enumerate(cells):
        counts[class_of[cell]] += c
    return judge(counts, expected, n)


def numref_samples(prefix):
    text = open("tools/reference/NumericReference.h").read()
    found = re.findall(r"inline constexpr double %s_(\d+)\[\] = \{([^}]*)\};" % prefix, text)
    return [[float(v) for v in body.split(",")] for _, body in sorted(found, key=lambda f: int(f[0]))]


def extra_samples():
    text = open("tests/battery/ThresholdCellsReference.h").read()
    found = re.findall(r"inline constexpr double EXTRA_(\d+)\[\] = \{([^}]*)\};", text)
    return [[float(v) for v in body.split(",")] for _, body in sorted(found, key=lambda f: int(f[0]))]


def cells_values(cells):
    """Values at the middle of each cell, cells[c] of them."""
    edges = [0.0] + THRESHOLDS + [1.0]
    return [(edges[c] + edges[c + 1]) / 2 for c, k in enumerate(cells) for _ in range(k)]


def main():
    global CUMULANTS
    CUMULANTS = equal_bins_cumulants()
    numref = numref_samples("THRESHOLD_BINOMIAL")
    extra = extra_samples()
    # Cell counts (16 cells) of further fixtures: each law's regime and edges.
    cell_cases = [
        [0, 0, 0, 0, 1, 0, 2, 1, 1, 1, 1, 1, 0, 0, 1, 1],            # N 10, 2 classes
        [0, 1, 2, 3, 5, 4, 6, 5, 3, 5, 4, 2, 2, 1, 1, 1],            # N 45, 5 classes
        [1, 3, 0, 0, 9, 8, 11, 10, 9, 12, 8, 10, 6, 7, 3, 3],        # N 100, 12 classes
        [0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0],          # N 100, one cell
        [6, 41, 207, 232, 498, 512, 490, 505, 511, 488, 503, 499, 246, 188, 49, 25],  # N 5000
        [22, 88, 401, 512, 988, 1003, 1010, 995, 1002, 989, 1012, 981, 490, 401, 96, 9],  # N 9999
    ]
    with open("tests/battery/BinoLawReference.h", "w") as f:
        f.write("// Generated by tools/reference/bino_law.py (the multinomial law of Pearson's\n")
        f.write("// statistic, computed independently); do not edit.\n#pragma once\n\nnamespace binoref {\n\n")
        f.write("// kind: 0 plain chi-square, 1 lattice (the randomised p-value lies in\n")
        f.write("// [lower, upper]), 2 small classes exact and large ones by chi-square\n")
        f.write("// (lower = upper), 3 a tail below 1e-12 (upper 1e-12; the complement here\n")
        f.write("// has no more precision), 4 equal bins expecting 25 or more: the chi-square\n")
        f.write("// law with its 1/n term, the randomised p-value in [lower, upper];\n")
        f.write("// lower -1 / -2: fail / short.\n")
        f.write("struct Bounds { int kind; double lower, upper; };\n\n")
        kinds = {"chi2": 0, "lattice": 1, "mixed": 2, "tiny": 3, "edgeworth": 4, "exact2": 1, "fail": 0, "short": 0}
        print("Bino of the samples THRESHOLD_BINOMIAL (NumericReference.h) and EXTRA (ThresholdCellsReference.h):")
        print("  set    N  kind     statistic   P(T > t)                  P(T >= t)")
        for name, samples in (("NUMREF", numref), ("EXTRA", extra)):
            rows = []
            for s in samples:
                kind, t, lo, hi = bino_case(s)
                kind, lo, hi = tiny(kind, lo, hi)
                rows.append("{%d, %r, %r}" % (kinds[kind], lo, hi))
                print("  %-6s %5d  %-7s %10.4f   %-24r  %r" % (name, len(s), kind, t, lo, hi))
            f.write("inline constexpr Bounds %s[] = {\n    %s};\n\n" % (name, ",\n    ".join(rows)))
        print("\nBino of cell-count fixtures (values at the cells' middles):")
        rows = []
        for cells in cell_cases:
            kind, t, lo, hi = bino_case(cells_values(cells))
            kind, lo, hi = tiny(kind, lo, hi)
            rows.append("{{%s}, {%d, %r, %r}}" % (", ".join(map(str, cells)), kinds[kind], lo, hi))
            print("  N %5d  %-7s %10.4f   %-24r  %r   %s" % (sum(cells), kind, t, lo, hi, cells))
        f.write("struct CellCase { int cells[16]; Bounds p; };\n")
        f.write("inline constexpr CellCase CELLS[] = {\n    %s};\n\n" % ",\n    ".join(rows))

        # The Pearson column: m = round(sqrt(n)) equal bins.
        rng = np.random.default_rng(3108)
        print("\nPearson column (m equal bins of n values):")
        rows = []
        for n in (50, 100, 200, 900, 650, 1000, 2000, 9999):
            m = int(math.sqrt(n) + 0.5)
            for draw in range(2):
                bins = rng.multinomial(n, [1.0 / m] * m) if draw == 0 else np.bincount(
                    np.minimum((rng.random(n) ** 1.5 * m).astype(int), m - 1), minlength=m)
                kind, t, lo, hi = judge_bins([int(b) for b in bins], n)
                kind, lo, hi = tiny(kind, lo, hi)
                rows.append("{%d, %d, {%s}, {%d, %r, %r}}" % (n, m, ", ".join(map(str, bins)), kinds[kind], lo, hi))
                print("  n %4d m %2d  %-7s %10.4f   %-24r  %r" % (n, m, kind, t, lo, hi))
        # Two bins expecting 50: the binomial law.
        for bins in ([60, 40], [50, 50]):
            kind, t, lo, hi = judge_bins(bins, 100)
            rows.append("{%d, %d, {%s}, {%d, %r, %r}}" % (100, 2, ", ".join(map(str, bins)), kinds[kind], lo, hi))
            print("  n %4d m %2d  %-7s %10.4f   %-24r  %r" % (100, 2, kind, t, lo, hi))
        f.write("struct BinsCase { int n, m; int bins[100]; Bounds p; };\n")
        f.write("inline constexpr BinsCase BINS[] = {\n    %s};\n\n" % ",\n    ".join(rows))

        # The law with its 1/n term at chi-square quantiles.
        print("\nThe Pearson column's law where the bins expect 25 or more: exact cumulants")
        print("  (m, n)   enumerated k1..k4 / from the polynomials")
        for m, n in ((3, 6), (4, 8), (5, 9)):
            print("  (%d, %d)  %s" % (m, n, "  ".join("%.12g/%.12g" % (a, poly_eval(c, n, m))
                                                    for a, c in zip(enumerated_cumulants(m, n), CUMULANTS))))
        print("  the fourth cumulant's 1/n term, implied by the mixture / exact (m = 10, 25, 100):")
        for m in (10, 25, 100):
            _, implied, exact = edgeworth_weights(m, 1)
            print("    m %3d  %s / %s" % (m, implied, exact))
        print("  m    n      x           P(chi2 >= x)              P(X >= x) to order 1/n   ratio")
        rows = []
        for m, n in ((24, 600), (25, 650), (32, 1000), (45, 2000), (71, 5000), (100, 9999), (1000, 10 ** 6)):
            for level in (0.5, 1e-2, 1e-3, 1e-4, 1e-8, 1e-12):
                x = float(stats.chi2.isf(level, m - 1))
                t = edgeworth_tail(m, n, x)
                rows.append("{%d, %d, %r, %r}" % (m, n, x, t))
                print("  %4d %7d %10.4f  %-24r  %-24r  %.4f" % (m, n, x, level, t, t / level))
        f.write("// EqualBinsTail(m, n, x).\nstruct TailCase { int m, n; double x, tail; };\n")
        f.write("inline constexpr TailCase TAILS[] = {\n    %s};\n\n}  // namespace binoref\n" % ",\n    ".join(rows))

    # The hand-worked case: N = 10 gives two classes of 5; three values below
    # 0.5 give T = 1.6, and O_1 binomial (10, 1/2).
    print("\nN 10, two classes: P(T > 1.6) = %r (112 / 1024), P(T >= 1.6) = %r (352 / 1024)" %
          (sum(special.comb(10, k) for k in (0, 1, 2, 8, 9, 10)) / 1024,
           sum(special.comb(10, k) for k in (0, 1, 2, 3, 7, 8, 9, 10)) / 1024))


if __name__ == "__main__":
    main()
