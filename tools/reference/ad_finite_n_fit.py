#!/usr/bin/python3
"""The tail of the finite-n correction of the Anderson-Darling law, fitted
to the simulation tools/reference/ad_finite_n_tail.txt (counts of A^2 above
the limit law's quantiles, n from 2 to 100):
    ln(P_n(A^2 > z) / P(A^2 > z)) = a(L) / n + b(L) / n^2,  L = ln(1 + z - z0),
z0 the quantile of p = 0.2 (the limit law's x = 0.8, where the correction
of the body ends), a and b polynomials without constant term (the correction
starts from 0, continuously), held at L = LMAX (p = 1e-6, the end of the
data) beyond it. (Polynomials in z - z0 itself fit worse: the ratio grows
fast at first and then slowly; see the chi-squares printed.) Weighted least squares over every count of at least 20
(the weight of ln count is the count: its Poisson variance is 1 / count).
Prints the coefficients that battery/AdLaw.cpp holds and, per point, the
measured and fitted ratio with the measurement's standard error. Run:
    /usr/bin/python3 tools/reference/ad_finite_n_fit.py > tools/reference/ad_finite_n_fit.txt
"""
import numpy as np

DEG_A, DEG_B = 3, 2

lines = open("tools/reference/ad_finite_n_tail.txt").read().split("\n")
ps = [float(v) for v in lines[2].split()[1:]]
zs = [float(v) for v in lines[3].split()[1:]]
rows = [[int(v) for v in line.split()] for line in lines[4:] if line.strip()]
z0 = zs[0]
lmax = np.log1p(zs[-1] - z0)


def design(n, w):
    w = min(np.log1p(w), lmax)
    return [w ** k / n for k in range(1, DEG_A + 1)] + [w ** k / n ** 2 for k in range(1, DEG_B + 1)]


X, Y, W, keys = [], [], [], []
for r in rows:
    n, count = r[0], r[1]
    for k, (p, z) in enumerate(zip(ps, zs)):
        c = r[2 + k]
        if c < 20:
            continue
        X.append(design(n, z - z0))
        Y.append(np.log(c / (count * p)))
        W.append(c)
        keys.append((n, p, z, c, count))
X, Y, W = np.array(X), np.array(Y), np.sqrt(np.array(W, dtype=float))
coef = np.linalg.lstsq(X * W[:, None], Y * W, rcond=None)[0]
chi2 = float(((((X @ coef) - Y) * W) ** 2).sum())
print("z0 = %.17g (p = 0.2), LMAX = %.17g (p = %g)" % (z0, lmax, ps[-1]))
print("a(L) = sum_k A[k] L^(k+1): A = {%s}" % ", ".join("%.17g" % c for c in coef[:DEG_A]))
print("b(L) = sum_k B[k] L^(k+1): B = {%s}" % ", ".join("%.17g" % c for c in coef[DEG_A:]))
print("weighted chi-square %.1f on %d points, %d parameters" % (chi2, len(Y), len(coef)))
print("n      p         measured ratio   fitted   (standard error)")
for (n, p, z, c, count), x in zip(keys, X):
    fitted = np.exp(x @ coef)
    print("%-5d  %-8g  %.4f          %.4f   (%.4f)" % (n, p, c / (count * p), fitted, (c ** 0.5) / (count * p)))
