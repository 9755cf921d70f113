#!/usr/bin/python3
"""Checks the published O(1/n) mean and variance of the Cressie-Read power
divergence (Cressie and Read, JRSS B 46, 1984; Read and Cressie 1988)
against its exact moments under the multinomial, by enumeration of every
outcome of n draws over three classes in mpmath (30 digits):
    E T   = k - 1 + [(l-1)(2 - 3k + t)/3 + (l-1)(l-2)(1 - 2k + t)/4] / n
    Var T = 2(k - 1) + [(2 - 2k - k^2 + t) + (l-1)(8 - 12k - 2k^2 + 6t)
            + (l-1)^2 (4 - 6k - 3k^2 + 5t)/3 + (l-1)(l-2)(2 - 4k + 2t)] / n
with t = sum 1 / p_i. Printed: n (E T - (k - 1)) and n (Var T - 2(k - 1)),
exact and by the formula; the exact ones must tend to the formula's as n
grows (lambda = 1, Pearson's X, is exact at every n).

Then one class's term under Poisson(e) counts, lambda = 1/2: its exact
mean (a sum over the counts) against 1 + 1/(48 e), the formula's own part
per class, and 1 + 1/(48 e) + 3/(128 e^2), the next term: with
d = (O - e) / e, the term is e sum_m c_m d^m, c_m = 2 binom(1 + l, m) /
(l (l + 1)), and e E d^m from Poisson's central moments (e, 3e^2 + e,
10e^2 + e, 15e^3 + 25e^2 + e for m = 3..6) gives (c_3 + 3 c_4) / e +
(c_4 + 10 c_5 + 15 c_6) / e^2 + ..., 1/48 and 3/128 at l = 1/2.
    /usr/bin/python3 tools/reference/power_divergence_moments.py > tools/reference/power_divergence_moments.txt
"""
from mpmath import mp, mpf

mp.dps = 30
P = [mpf("0.2"), mpf("0.3"), mpf("0.5")]


def published(lam, k, t, n):
    l1, l2 = lam - 1, lam - 2
    mean = (k - 1) + (l1 * (2 - 3 * k + t) / 3 + l1 * l2 * (1 - 2 * k + t) / 4) / n
    var = 2 * (k - 1) + ((2 - 2 * k - k * k + t) + l1 * (8 - 12 * k - 2 * k * k + 6 * t)
                         + l1 * l1 * (4 - 6 * k - 3 * k * k + 5 * t) / 3 + l1 * l2 * (2 - 4 * k + 2 * t)) / n
    return mean, var


def term(lam, o, e):
    o = mpf(o)
    return 2 / (lam * (lam + 1)) * (o * ((o / e) ** lam - 1) - lam * (o - e))


def exact(lam, n):
    e = [n * p for p in P]
    fact = [mpf(1)]
    for i in range(1, n + 1):
        fact.append(fact[-1] * i)
    tab = [[term(lam, o, e[j]) for o in range(n + 1)] for j in range(3)]
    s1 = s2 = mpf(0)
    for a in range(n + 1):
        for b in range(n + 1 - a):
            c = n - a - b
            pr = fact[n] / (fact[a] * fact[b] * fact[c]) * P[0] ** a * P[1] ** b * P[2] ** c
            x = tab[0][a] + tab[1][b] + tab[2][c]
            s1 += pr * x
            s2 += pr * x * x
    return s1, s2 - s1 * s1


def poisson_mean(lam, e):
    e = mpf(e)
    total, p = mpf(0), mp.exp(-e)
    for o in range(0, int(10 * e + 80)):
        if o > 0:
            p *= e / o
        total += p * term(lam, o, e)
    return total


def main():
    k = 3
    t = sum(1 / p for p in P)
    print("# p = 0.2, 0.3, 0.5 (k = 3, t = sum 1/p = %s)" % mp.nstr(t, 8))
    for lam in (mpf(2) / 3, mpf(1) / 2, mpf(1)):
        for n in (25, 50, 100, 200, 400):
            m, v = exact(lam, n)
            pm, pv = published(lam, k, t, n)
            print("lambda %.4f n %4d  n(E - 2) exact %9.5f formula %9.5f  n(Var - 4) exact %9.5f formula %9.5f" % (
                lam, n, n * (m - 2), n * (pm - 2), n * (v - 4), n * (pv - 4)))
    print("# one class, Poisson(e) counts, lambda = 1/2: E term - 1, exact / 1/(48e) / 1/(48e) + 3/(128e^2)")
    for e in (3, 5, 8, 10, 20, 50):
        m = poisson_mean(mpf(1) / 2, e)
        print("e %3d  %.7f  %.7f  %.7f" % (e, m - 1, mpf(1) / (48 * e), mpf(1) / (48 * e) + mpf(3) / (128 * e * e)))


if __name__ == "__main__":
    main()
