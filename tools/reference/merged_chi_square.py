#!/usr/bin/python3
"""Reference values of the chi-square over merged classes, computed with
scipy on fixtures of expected and observed counts.

Cells are visited in the given order; each adds its expected and observed
count to the open class, which closes when its expected count reaches 5
(rule "at least": >= 5) or exceeds it (rule "more than": > 5); the class
still open after the last cell is dropped, and so are cells not visited.
The statistic is the Pearson sum over the closed classes and the p-value
its chi-square upper tail with classes - 1 degrees of freedom
(scipy.stats.chi2.sf). Beside it, the Cressie-Read power divergence of
lambda = 1/2 over the same classes, 8/3 sum [O (sqrt(O/E) - 1) - 1/2 (O - E)],
and its p-value by the moment law (fixtures.power_divergence_moment_p: a + b chi2(classes - 1)
with the published mean and variance), in mpmath (40 digits).

Writes tests/battery/MergedChiSquareReference.h; run from the repository root:
    /usr/bin/python3 tools/reference/merged_chi_square.py
"""
import os
import random
import sys

import mpmath as mp
from scipy.stats import binom, chi2, poisson

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fixtures import power_divergence_moment_p, power_divergence_term  # noqa: E402

mp.mp.dps = 40


def cressie_read(classes, lam):
    t = mp.mpf(0)
    for o, e in classes:
        t += power_divergence_term(o, e, lam)
    p = power_divergence_moment_p(lam, [e for _, e in classes], t) if len(classes) >= 2 else None
    return t, p


def merge(expected, observed, order, more_than):
    classes = []
    e = o = 0.0
    for c in order:
        e += expected[c]
        o += observed[c]
        if (e > 5) if more_than else (e >= 5):
            classes.append((o, e))
            e = o = 0.0
    stat = sum((o - e) ** 2 / e for o, e in classes)
    p = chi2.sf(stat, len(classes) - 1) if len(classes) >= 2 else None
    return len(classes), stat, p, cressie_read(classes, mp.mpf(1) / 2)


def fixtures():
    rng = random.Random(20261210)
    out = []
    # Hand-sized: the two rules part where a class reaches exactly 5.
    small = [2.5, 2.5, 5.0, 1.0, 4.0, 3.0, 3.0]
    out.append(("boundary", small, [1, 4, 6, 0, 7, 2, 5], []))
    # Binomial(16, 1/2) counts of 1000 draws, natural order.
    e = [1000 * binom.pmf(k, 16, 0.5) for k in range(17)]
    o = [rng.randint(max(0, round(x) - 20), round(x) + 20) for x in e]
    out.append(("binomial16", e, o, []))
    # Poisson(3) counts of 200 draws over 0 .. 15, visited from the tail in.
    e = [200 * poisson.pmf(k, 3) for k in range(16)]
    o = [max(0, round(x + rng.gauss(0, x ** 0.5))) for x in e]
    out.append(("poissonTailFirst", e, o, list(range(15, -1, -1))))
    # A shuffled visiting order that leaves three cells out.
    e = [rng.uniform(0.2, 4.0) for _ in range(30)]
    o = [max(0, round(x + rng.gauss(0, 1.5))) for x in e]
    order = list(range(30))
    rng.shuffle(order)
    out.append(("shuffledWithGaps", e, o, order[:27]))
    # Uniform cells of 5 exactly: every cell a class under "at least",
    # pairs under "more than".
    out.append(("fivesEach", [5.0] * 8, [3, 7, 5, 9, 1, 5, 6, 4], []))
    return out


def cpp_list(values, fmt):
    return "{" + ", ".join(fmt(v) for v in values) + "}"


def main():
    lines = [
        "// Made by tools/reference/merged_chi_square.py with scipy; do not edit.",
        "#pragma once",
        "",
        "#include <vector>",
        "",
        "struct MergedChiSquareRef {",
        "  const char* name;",
        "  std::vector<double> expected;",
        "  std::vector<int> observed;",
        "  std::vector<int> order;  // empty: natural order",
        "  bool moreThan;",
        "  int classes;",
        "  double chi2;",
        "  double p;  // -2 (short) when fewer than 2 classes",
        "  double cressieRead, cressieReadP;  // the power divergence of lambda = 1/2 and its p-value",
        "};",
        "",
        "const MergedChiSquareRef MERGED_CHI_SQUARE_REF[] = {",
    ]
    for name, e, o, order in fixtures():
        visit = order if order else list(range(len(e)))
        for more_than in (False, True):
            k, stat, p, (t, tp) = merge(e, o, visit, more_than)
            lines.append(
                "    {\"%s\", %s, %s, %s, %s, %d, %r, %r, %r, %r},"
                % (name, cpp_list(e, repr), cpp_list(o, str), cpp_list(order, str),
                   "true" if more_than else "false", k, stat, -2.0 if p is None else float(p),
                   float(t), -2.0 if tp is None else float(tp)))
    lines.append("};")
    with open("tests/battery/MergedChiSquareReference.h", "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
