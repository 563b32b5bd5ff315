#!/usr/bin/python3
"""Reference decisions of Fisher's exact test where its p-values meet the threshold or nearly do.

Run with Debian's Python 3 and its python3-mpmath package (the tests need neither):

    /usr/bin/python3 tests/reference/fisher_threshold.py

It writes fisher_threshold.csv beside itself, one row per table and threshold: the double-tail and
mid-p values rounded to double and both flags. tests/stats_reference_test.cpp reads it.

The test's own definition: the double tail takes in every table no more probable than the observed
one and sums their probabilities; the mid-p value is that sum less half the observed probability.
Each p-value is rounded once to double, and a result is significant when the threshold is strictly
greater than that double.

How the values are made:

- The probability of the most probable table comes from log-gamma functions at 60 digits, the
  others from it by the ratio of neighbouring tables, outwards on both sides until what is left
  (at most a geometric series, as the ratio only falls further out) is below 1e-80. The
  probabilities of all the tables visited must add up to 1 within 1e-50, which holds the two ways
  of computing them to each other.
- Which tables count is decided on these 60-digit probabilities, and where a table lies within a
  relative 1e-9 of the observed probability, on exact numbers: the ratio of the two tables'
  probabilities is the product of the neighbours' ratios between them, each a ratio of whole
  numbers, and the table counts when that product is at most 1 (equal probabilities included).
- A p-value is rounded to double from the exact binary value of its 60-digit sum; the script
  refuses one within 1e-45 of a point halfway between two doubles.

The rows: tables whose observed count is the most probable one, at threshold 1 (every table counts,
so the double tail is exactly 1 and not significant, and the mid-p is 1 less half the observed
probability), with populations of 10^4 to 2 x 10^6, one of them a table as probable as its
neighbour ((r + 1)(n + 1) a multiple of N + 2); then tables of 10^5 to 10^7 cases with thresholds
at each p-value rounded to double, at the next double above it, and a relative 1e-14 and 1e-13
below and above it, among them two with a single occurrence, whose p-values are 1/8 and 1/16
exactly.
"""

import csv
import math
import os
from fractions import Fraction

import mpmath

mpmath.mp.dps = 60

TIE = mpmath.mpf("1e-9")
LEFT_OVER = mpmath.mpf("1e-80")


def log_choose(n, k):
    return mpmath.loggamma(n + 1) - mpmath.loggamma(k + 1) - mpmath.loggamma(n - k + 1)


def probabilities(a, nA, b, nB):
    """The probabilities of the tables that matter, by count in the first work, and the mode."""
    r, n, population = nA, a + b, nA + nB
    rest = population - r - n
    lowest, highest = max(0, -rest), min(r, n)
    mode = min(max((n + 1) * (r + 1) // (population + 2), lowest), highest)
    at_mode = mpmath.exp(log_choose(r, mode) + log_choose(population - r, n - mode)
                         - log_choose(population, n))
    table = {mode: at_mode}

    def up(x):
        return mpmath.mpf((r - x) * (n - x)) / ((x + 1) * (rest + x + 1))

    def down(x):
        return mpmath.mpf(x * (rest + x)) / ((r - x + 1) * (n - x + 1))

    for step, end, ratio in ((1, highest, up), (-1, lowest, down)):
        x, value = mode, at_mode
        while x != end:
            value *= ratio(x)
            x += step
            table[x] = value
            if x != end:
                following = ratio(x)
                if following < 1 and value * following / (1 - following) < LEFT_OVER:
                    break
    total = mpmath.fsum(table.values())
    assert abs(total - 1) < mpmath.mpf("1e-50"), (a, nA, b, nB, total)
    return table, mode


def to_double(value):
    """The double nearest to a 60-digit value."""
    mantissa, exponent = value.man_exp
    exact = Fraction(mantissa) * Fraction(2) ** exponent
    rounded = float(exact)
    below, above = math.nextafter(rounded, -math.inf), math.nextafter(rounded, math.inf)
    for neighbour in (below, above):
        halfway = (Fraction(rounded) + Fraction(neighbour)) / 2
        assert abs(exact - halfway) > Fraction(1, 10**45) * exact, value
    return rounded


def exact_ratio(x, a, nA, b, nB):
    """The probability of the table at x over that of the observed table at a, exactly."""
    r, n = nA, a + b
    rest = nA + nB - r - n
    ratio = Fraction(1)
    for j in range(min(a, x), max(a, x)):
        ratio *= Fraction((r - j) * (n - j), (j + 1) * (rest + j + 1))
    return ratio if x > a else 1 / ratio


def p_values(a, nA, b, nB):
    table, mode = probabilities(a, nA, b, nB)
    observed = table[a]

    def counts(x, value):
        if abs(value - observed) > TIE * observed:
            return value <= observed
        return exact_ratio(x, a, nA, b, nB) <= 1

    # Tables not visited lie below 1e-80 and count, but change no digit that matters here.
    tail = mpmath.fsum(value for x, value in table.items() if counts(x, value))
    return to_double(tail), to_double(tail - observed / 2), mode


AT_THE_MODE = [
    (226, 44517, 127, 25102), (127, 25102, 226, 44517),
    (1031, 1288876, 501, 626404), (501, 626404, 1031, 1288876),
    (5000, 10000, 5000, 10000), (25, 10000, 25, 10000), (2747, 25000, 2253, 20500),
    (2545, 103700, 2455, 100000), (1, 250000, 2, 500000), (200000, 400000, 300000, 600000),
    (45778, 68666, 26359, 39539), (26359, 39539, 45778, 68666),
]
NEAR = [
    (1105, 100000, 1000, 100003), (20500, 200000, 20000, 200007),
    (3000, 1000000, 3100, 1000013), (150000, 1500000, 149000, 1500011),
    (1000, 3000000, 1100, 2999999), (40000, 300000, 39300, 290000),
    (1, 1250000, 0, 8750000), (1, 173686, 0, 1215802),
]


def near_thresholds(value):
    yield value
    yield math.nextafter(value, math.inf)
    for factor in ("1e-14", "1e-13"):
        for sign in (-1, 1):
            yield float(Fraction(value) * (1 + sign * Fraction(factor)))


def main():
    rows = []
    for a, nA, b, nB in AT_THE_MODE:
        double_tail, mid_p, mode = p_values(a, nA, b, nB)
        # The observed table is the mode, or the lower of two equally probable modes.
        assert mode in (a, a + 1) and double_tail == 1.0, (a, nA, b, nB)
        rows.append((a, nA, b, nB, 1.0, double_tail, mid_p))
    for a, nA, b, nB in NEAR:
        double_tail, mid_p, _ = p_values(a, nA, b, nB)
        for threshold in list(near_thresholds(double_tail)) + list(near_thresholds(mid_p))[:2]:
            rows.append((a, nA, b, nB, threshold, double_tail, mid_p))
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fisher_threshold.csv")
    with open(path, "w", newline="") as out:
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(["id", "a", "nA", "b", "nB", "threshold", "p_doubleTail", "p_midP",
                         "significant_doubleTail", "significant_midP"])
        for number, (a, nA, b, nB, threshold, double_tail, mid_p) in enumerate(rows, start=1):
            writer.writerow([number, a, nA, b, nB, repr(threshold), repr(double_tail), repr(mid_p),
                             int(threshold > double_tail), int(threshold > mid_p)])


if __name__ == "__main__":
    main()
