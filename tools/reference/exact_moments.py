"""Exact mean, variance and third cumulant of Pearson's statistic over some
classes of a multinomial: X = sum_i f_i(O_i), f_i(O) = (O - n p_i)^2 / (n p_i),
the counts O_i of the classes multinomial (n; p_1 .. p_k and the rest, which
the statistic leaves out). Each product of the f's is written in falling
factorials of its cells' counts, whose expectations are exact:
E prod_j O_j^(a_j) = n^(sum a_j) prod_j p_j^(a_j). In 50-digit arithmetic."""
from itertools import product
from mpmath import mp, mpf
mp.dps = 50

STIRLING2 = [[1], [0, 1], [0, 1, 1], [0, 1, 3, 1], [0, 1, 7, 6, 1], [0, 1, 15, 25, 10, 1], [0, 1, 31, 90, 65, 15, 1]]


def falling(n, m):
    r = mpf(1)
    for t in range(m):
        r *= n - t
    return r


def poly_mul(a, b):
    out = [mpf(0)] * (len(a) + len(b) - 1)
    for i, x in enumerate(a):
        for j, y in enumerate(b):
            out[i + j] += x * y
    return out


def to_falling(poly):  # coefficients of O^m -> coefficients of O^(a)
    out = [mpf(0)] * len(poly)
    for m, w in enumerate(poly):
        for a in range(m + 1):
            out[a] += w * STIRLING2[m][a]
    return out


def pearson_cumulants(pc, n):
    n = mpf(n)
    p = [mpf(x) for x in pc]
    k = len(p)
    f = [[n * x, mpf(-2), 1 / (n * x)] for x in p]  # (O - np)^2 / (np) = np - 2 O + O^2 / (np)
    powers = [[None, to_falling(fi), to_falling(poly_mul(fi, fi)), to_falling(poly_mul(poly_mul(fi, fi), fi))] for fi in f]

    def expect(cells):  # cells: [(i, power)], distinct i
        total = mpf(0)
        polys = [powers[i][e] for i, e in cells]
        for aa in product(*[range(len(q)) for q in polys]):
            w = mpf(1)
            for q, a in zip(polys, aa):
                w *= q[a]
            if w == 0:
                continue
            for (i, _), a in zip(cells, aa):
                w *= p[i] ** a
            total += w * falling(n, sum(aa))
        return total

    e1 = sum(expect([(i, 1)]) for i in range(k))
    e2 = sum(expect([(i, 2)]) for i in range(k)) + sum(expect([(i, 1), (j, 1)]) for i in range(k) for j in range(k) if i != j)
    e3 = sum(expect([(i, 3)]) for i in range(k))
    e3 += 3 * sum(expect([(i, 2), (j, 1)]) for i in range(k) for j in range(k) if i != j)
    e3 += sum(expect([(i, 1), (j, 1), (l, 1)]) for i in range(k) for j in range(k) for l in range(k) if len({i, j, l}) == 3)
    return e1, e2 - e1 ** 2, e3 - 3 * e1 * e2 + 2 * e1 ** 3


def pearson_tail_p(class_expected, total, chi2):
    """The p-value of Pearson's statistic chi2 over classes of these expected
    counts out of `total` draws: the chi-square p-value p_c (classes - 1
    degrees of freedom) weighted towards p_t, that of a + b chi2(nu) with the
    statistic's exact mean, variance and third cumulant, as
    p_c p_c + (1 - p_c) p_t. None for fewer than two classes."""
    k = len(class_expected)
    if k < 2:
        return None
    pc = mp.gammainc(mpf(k - 1) / 2, mpf(chi2) / 2, mp.inf, regularized=True)
    mean, var, k3 = pearson_cumulants([mpf(e) / total for e in class_expected], total)
    if not (var > 0 and k3 > 0):
        return float(pc)
    b = k3 / (4 * var)
    nu = var / (2 * b * b)
    a = mean - b * nu
    pt = mp.gammainc(nu / 2, max(mpf(0), mpf(chi2) - a) / (2 * b), mp.inf, regularized=True)
    return float(min(1, max(0, pc * pc + (1 - pc) * pt)))


if __name__ == "__main__":
    from math import factorial
    # Against the law enumerated: n = 7, cells (0.2, 0.3, 0.5), all three classes and the first two.
    n, p = 7, (0.2, 0.3, 0.5)
    for classes in (3, 2):
        m = [0.0, 0.0, 0.0]
        for a in range(n + 1):
            for b in range(n + 1 - a):
                c = n - a - b
                pr = factorial(n) / (factorial(a) * factorial(b) * factorial(c)) * p[0] ** a * p[1] ** b * p[2] ** c
                x = sum((o - n * q) ** 2 / (n * q) for o, q in list(zip((a, b, c), p))[:classes])
                for r in range(3):
                    m[r] += pr * x ** (r + 1)
        print("classes %d: enumerated" % classes, m[0], m[1] - m[0] ** 2, m[2] - 3 * m[0] * m[1] + 2 * m[0] ** 3)
        print("classes %d: exact     " % classes, *[mp.nstr(v, 17) for v in pearson_cumulants(p[:classes], n)])
    # Classes of a binomial (40, 1/2) count of 3276 groups, merged from both
    # tails to expected counts of 5 or more, the rest dropped (the weight
    # test's one-bit row at 2^17 bits): expected counts, then the cumulants.
    from scipy import stats
    n = 3276
    cells = [n * stats.binom.pmf(c, 40, 0.5) for c in range(41)]
    classes, cur = [], 0.0
    for c in list(range(21)) + list(range(40, 20, -1)):
        cur += cells[c]
        if cur >= 5:
            classes.append(cur)
            cur = 0.0
    print("binomial classes:", ", ".join(repr(e) for e in classes))
    print("binomial classes: exact", *[mp.nstr(v, 17) for v in pearson_cumulants([e / n for e in classes], n)])
    # Two large classes and a small one out of 10^6 draws: the expectations
    # cancel from sums of cubes of the large counts.
    big = [499995.0, 499995.0, 10.0]
    print("large classes:", ", ".join(repr(e) for e in big), "of", 10 ** 6)
    print("large classes: exact", *[mp.nstr(v, 17) for v in pearson_cumulants([e / 10 ** 6 for e in big], 10 ** 6)])
