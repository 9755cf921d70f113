#!/usr/bin/python3
"""The exact law of the rank test's p-value for 64 x 64 matrices at 2^20 bits
(256 matrices; classes rank 64, 63, 62, the rest expecting 1.35 matrices and
dropped), by enumerating every outcome of the four-class multinomial. Shows
how far the chi-square law with 2 degrees of freedom is from the exact law
of the statistic: the largest distance of the p-value's law from the
uniform law, and the KS p-value that distance gives over 10^4 and 10^5
sequences; and the same for the exact law's mid-p-value, which the program
reports for three-class sizes.

Writes tools/reference/rank_three_class_law.txt; run from the repository root:
    /usr/bin/python3 tools/reference/rank_three_class_law.py
"""
import numpy as np
from scipy import special, stats
def rank_prob(R, C, r):
    # exact probability a random R x C GF(2) matrix has rank r
    if r == 0: return 2.0 ** (-R * C)
    lp = (r * (R + C - r) - R * C) * np.log(2)
    for i in range(r):
        lp += np.log(1 - 2.0 ** (i - R)) + np.log(1 - 2.0 ** (i - C)) - np.log(1 - 2.0 ** (i - r))
    return np.exp(lp)
N = 256
p = [rank_prob(64, 64, r) for r in (64, 63, 62)]
p.append(1 - sum(p))
out = ["probabilities %s, expected %s" % (["%.6f" % x for x in p], ["%.3f" % (N * x) for x in p])]
# all (a, b, c, d) with a + b + c + d = N
a, b, c = np.meshgrid(np.arange(N + 1), np.arange(N + 1), np.arange(N + 1), indexing='ij')
ok = a + b + c <= N
a, b, c = a[ok], b[ok], c[ok]; d = N - a - b - c
lpmf = (special.gammaln(N + 1) - special.gammaln(a + 1) - special.gammaln(b + 1) - special.gammaln(c + 1) - special.gammaln(d + 1)
        + a * np.log(p[0]) + b * np.log(p[1]) + c * np.log(p[2]) + d * np.log(p[3]))
pmf = np.exp(lpmf)
E = [N * x for x in p]
for name, X, df in (("chi-square law, 3 classes, rest dropped (the statistic judged)", (a - E[0])**2/E[0] + (b - E[1])**2/E[1] + (c - E[2])**2/E[2], 2),
                    ("chi-square law, 3 classes, rest joined to the last", (a - E[0])**2/E[0] + (b - E[1])**2/E[1] + (c + d - E[2] - E[3])**2/(E[2] + E[3]), 2)):
    pv = stats.chi2.sf(X, df)
    o = np.argsort(pv); pv_s = pv[o]; w = pmf[o]; cdf = np.cumsum(w)
    D = max(np.max(cdf - pv_s), np.max(pv_s - (cdf - w)))
    out.append("%s: mean X %.4f, distance %.4f, KS p at 10^4 %.2g, at 10^5 %.2g" % (
        name, pmf @ X, D, stats.kstwo.sf(D, 10**4), stats.kstwo.sf(D, 10**5)))
    # where: the largest departures
    i = np.argmax(np.abs(cdf - pv_s)); out.append("   at p = %.4f, P(pvalue <= p) = %.4f" % (pv_s[i], cdf[i]))
# The exact mid-p-value P(X > x) + P(X = x) / 2 of the program's statistic
# (three classes, the rest dropped), outcome by outcome.
X = (a - E[0])**2/E[0] + (b - E[1])**2/E[1] + (c - E[2])**2/E[2]
o = np.argsort(X, kind='stable')
Xs, ws = X[o], pmf[o]
# atoms: equal statistics up to rounding
starts = np.concatenate(([True], np.diff(Xs) > 1e-12 * Xs[1:]))
group = np.cumsum(starts) - 1
mass = np.bincount(group, weights=ws)
above = mass[::-1].cumsum()[::-1] - mass  # P(X > x) per atom
mid = above + mass / 2
order = np.argsort(mid)
m_s, w_s = mid[order], mass[order]
cdf = np.cumsum(w_s)
D = max(np.max(cdf - m_s), np.max(m_s - (cdf - w_s)))
out.append("exact mid-p-value: largest atom %.4f, distance %.4f, KS p at 10^4 %.2g, at 10^5 %.2g, at 10^6 %.2g" % (
    mass.max(), D, stats.kstwo.sf(D, 10**4), stats.kstwo.sf(D, 10**5), stats.kstwo.sf(D, 10**6)))

with open('tools/reference/rank_three_class_law.txt', 'w') as f:
    f.write('\n'.join(out) + '\n')
