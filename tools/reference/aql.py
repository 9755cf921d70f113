#!/usr/bin/python3
"""Independent reference for the AQL (acceptance sampling) test.

For each (s, m) it computes the exact law F of the number e of defects at
which the sequential plan (accept when e <= floor(0.03975 t - 0.9), reject
when e >= ceil(0.03975 t + 0.9145) after t items) stops, by dynamic
programming over the hypergeometric draws, checks that law against a
simulation of random m-subsets, and computes the whole test (gate, batches,
merged chi-square, p-value with (cells - 1) / 2 degrees of freedom halved as
a real number) on fixed splitmix64 sequences (the generator of
tools/nullrun). Writes tests/battery/AqlReference.h.

Run: /usr/bin/python3 tools/reference/aql.py > tools/reference/aql.txt
"""
import math
import os
import random
import sys

import numpy as np
from scipy import special

sys.path.insert(0, os.path.dirname(__file__))
from fixtures import splitmix_words  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
HEADER = os.path.join(HERE, "..", "..", "tests", "battery", "AqlReference.h")


def plan(t):
    x = 0.03975 * t
    return math.floor(x - 0.9), math.ceil(x + 0.9145)


def law(K, m):
    """F[0 .. m]: P(e) at stopping, for m defects among K items."""
    aK, rK = plan(K)
    F = [0.0] * (rK + 1)
    P = {0: 1.0}
    S = 0.0
    for t in range(K + 1):
        a, r = plan(max(t, 1))
        nxt = {}
        if t < K:
            left = K - t
            for d in range(max(a + 1, 0), r):
                p = P.get(d, 0.0)
                nxt[d + 1] = nxt.get(d + 1, 0.0) + p * (m - d) / left
                nxt[d] = nxt.get(d, 0.0) + p * (left - m + d) / left
        S = sum(P.get(d, 0.0) for d in range(max(a, 0), r + 1))
        for d in (a, r):
            if d >= 0:
                F[d] += P.get(d, 0.0)
        P = nxt
        if S < 1e-7:
            break
    if m < rK:
        F[m] += S
    return F[: m + 1]


def simulate(K, m, trials, rng):
    counts = [0] * (m + 1)
    for _ in range(trials):
        defects = set(rng.sample(range(K), m))
        e = 0
        for i in range(K):
            e += i in defects
            a, r = plan(i + 1)
            if e <= a or e >= r or i + 1 == K:
                break
        counts[e] += 1
    return counts


def read_bits(words, t, s):
    v = 0
    for j in range(s):
        v = (v << 1) | ((words[(t + j) >> 5] >> ((t + j) & 31)) & 1)
    return v


def run_test(words, n, s, m):
    K = 1 << s
    F = law(K, m)
    pos = 0
    counts = [0] * (m + 1)
    L = 0
    while True:
        seen = set()
        while len(seen) < m and pos + s < n:
            seen.add(read_bits(words, pos, s))
            pos += s
        if len(seen) < m:
            break
        e = 0
        for i in range(K):
            e += i in seen
            a, r = plan(i + 1)
            if e <= a or e >= r or i + 1 == K:
                break
        counts[e] += 1
        L += 1
    X, cells, o, x = 0.0, 0, 0.0, 0.0
    for e in range(m, -1, -1):
        o += counts[e]
        x += F[e] * L
        if x >= 5:
            X += (o - x) ** 2 / x
            cells += 1
            o = x = 0.0
    p = float(special.gammaincc((cells - 1) / 2, X / 2)) if cells >= 2 else None
    return cells, p, L


def grid_points(n, s, mmin, mmax, mstp):
    K = 1 << s
    rK = plan(K)[1]
    m = mmin
    out = []
    while m <= mmax:
        mm = min(m, rK)
        F = law(K, mm)
        N = n // (mm * s)
        cells, acc = 0, 0.0
        for e in range(mm, -1, -1):
            acc += F[e] * N
            if acc >= 5:
                cells += 1
                acc = 0.0
        if F[0] < 0.6 and cells >= 2:
            out.append(mm)
        if mm == rK:
            break
        m += mstp
    return out


def main():
    rng = random.Random(5)
    print("Plan breakpoints for K = 512 (t, a, r):")
    bps, prev = [], None
    for t in range(1, 513):
        pr = plan(t)
        if pr != prev:
            bps.append((t,) + pr)
            prev = pr
    print("  first", bps[:6], "last", bps[-1], "count", len(bps))
    print("Exact law against 200,000 simulated batches (largest deviation in standard errors):")
    for K, m in ((512, 12), (512, 16), (512, 22), (256, 12), (1024, 30)):
        F = law(K, m)
        sim = simulate(K, m, 200000, rng)
        worst = max(abs(sim[e] - 200000 * F[e]) / math.sqrt(200000 * F[e] * (1 - F[e]) + 1e-300)
                    for e in range(m + 1) if F[e] > 1e-9)
        print(f"  K = {K} m = {m}: F[0] = {F[0]:.6f} sum F = {sum(F):.9f} worst {worst:.2f}")
    for m in (11, 12):
        print(f"K = 512, m = {m}: F[0] = {law(512, m)[0]:.4f}")
    print("(cells - 1) / 2 halved as an integer, on chi-squares with cells - 1 degrees of freedom:")
    for cells in (2, 8, 9):
        df = cells - 1
        wrong = (cells - 1) // 2
        # P(p < 0.01) and the largest gap between the law of p and the uniform one
        u = np.linspace(1e-6, 1 - 1e-6, 20001)
        x = 2 * special.gammainccinv(wrong, u) if wrong > 0 else None
        if x is None:
            print(f"  cells = {cells}: shape 0, every p-value is 1")
            continue
        law_p = special.gammaincc(df / 2, x / 2)  # P(p_wrong <= u) = P(X >= x_u)
        print(f"  cells = {cells}: P(p < 0.01) = {float(special.gammaincc(df / 2, special.gammainccinv(wrong, 0.01))):.4f}, "
              f"largest distance from uniform {float(np.max(np.abs(law_p - u))):.4f}")

    cases = []
    n = 1 << 20
    for seed, s, mmin, mmax, mstp in ((41, 9, 1, 100, 5), (42, 8, 1, 100, 1), (43, 10, 20, 60, 10)):
        words = [int(w) for w in splitmix_words(seed, n)]
        for m in grid_points(n, s, mmin, mmax, mstp):
            cells, p, L = run_test(words, n, s, m)
            cases.append((seed, s, mmin, mmax, mstp, m, cells, p, L))
            print(f"seed {seed} s = {s} m = {m}: batches {L} cells {cells} p = {p!r}")
        if s == 9:
            F = law(512, 22)
    with open(HEADER, "w") as h:
        h.write("#pragma once\n// Generated by tools/reference/aql.py: do not edit.\n")
        h.write("// Sequences: tools/nullrun's splitmix64 fill of the given seed, 2^20 bits.\n\n")
        h.write("struct AqlRef {\n  unsigned seed;\n  int s, mmin, mmax, mstp;\n  int m, cells;\n"
                "  double p;\n  unsigned batches;\n};\n")
        h.write("inline constexpr AqlRef AQL_REF[] = {\n")
        for seed, s, mmin, mmax, mstp, m, cells, p, L in cases:
            h.write(f"    {{{seed}, {s}, {mmin}, {mmax}, {mstp}, {m}, {cells}, {p:.17g}, {L}}},\n")
        h.write("};\n")
        F = law(512, 16)
        h.write("// The exact law of e for K = 512, m = 16.\n")
        h.write("inline constexpr double AQL_LAW_512_16[17] = {" + ", ".join(f"{x:.17g}" for x in F) + "};\n")


if __name__ == "__main__":
    main()
