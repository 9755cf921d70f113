"""The DFT test's null law as the committed table states it, read from
battery/DftLawTable.cpp (the numbers only) and interpolated here as the
table's documentation describes (tools/dftlaw/README.md): P(lambda >= x) for
lambda = (sqrt(n) + 0.12 + 0.11 / sqrt(n)) D at each node; 1 below the first
point, ln P linear in x between points, beyond the last point the last value
times Q(x) / Q(last) with Q Kolmogorov's limit law (scipy.special.kolmogorov);
between nodes linear in 1 / sqrt(n).
"""
import math
import os
import re

from scipy import special

HERE = os.path.dirname(os.path.abspath(__file__))
TABLE = os.path.join(HERE, "..", "..", "battery", "DftLawTable.cpp")
X0 = 0.2
STEP = 0.02


def numbers_after(text, name):
    body = text[text.index(name) + len(name):]
    body = body[body.index("{") + 1: body.index("}")]
    body = re.sub(r"//[^\n]*", "", body)
    return [float(v) for v in body.replace(",", " ").split()]


def read_table():
    text = open(TABLE).read()
    points = int(re.search(r"DFT_LAW_POINTS = (\d+);", text).group(1))
    sizes = numbers_after(text, "dftLawSizes[] =")
    counts = [int(v) for v in numbers_after(text, "dftLawPoints[] =")]
    upper = numbers_after(text, "dftLawUpper[] =")
    assert len(upper) == points * len(sizes) and len(counts) == len(sizes)
    return sizes, [upper[k * points:k * points + counts[k]] for k in range(len(sizes))]


SIZES, NODES = read_table()


def node_tail(x, upper):
    t = (x - X0) / STEP
    if not t > 0:
        return 1.0
    last = len(upper) - 1
    if t >= last:
        xl = X0 + last * STEP
        return upper[last] * float(special.kolmogorov(x)) / float(special.kolmogorov(xl))
    j = int(t)
    f = t - j
    return math.exp((1 - f) * math.log(upper[j]) + f * math.log(upper[j + 1]))


def upper_tail(x, n=10001):
    """P(lambda >= x) at n values: the nodes linear in 1 / sqrt(n) between
    the two around n, the nearest node outside them."""
    if n <= SIZES[0]:
        return node_tail(x, NODES[0])
    if n >= SIZES[-1]:
        return node_tail(x, NODES[-1])
    k = max(i for i in range(len(SIZES)) if SIZES[i] <= n)
    w = (n ** -0.5 - SIZES[k] ** -0.5) / (SIZES[k + 1] ** -0.5 - SIZES[k] ** -0.5)
    return (1 - w) * node_tail(x, NODES[k]) + w * node_tail(x, NODES[k + 1])


def p_value(d, n):
    return upper_tail((math.sqrt(n) + 0.12 + 0.11 / math.sqrt(n)) * d, n)
