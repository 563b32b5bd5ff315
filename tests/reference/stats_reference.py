#!/usr/bin/python3
"""Reference values for the four test families of brevox.

Run with Debian's Python 3 and its python3-scipy package (the tests themselves need neither):

    /usr/bin/python3 tests/reference/stats_reference.py

It writes, beside itself, stats_reference.csv (one row per table, every value of the binomial,
chi-square, Fisher and permutation results) and binomial_arrays.csv (the density and distribution
table of every binomial row). Both are committed; tests/stats_reference_test.cpp reads them.

Where the values come from:

- Probabilities are exact. Binomial densities and distribution values, hypergeometric table
  probabilities and arrangement counts are formed with Python integers (math.comb) and fractions,
  and each value is rounded once to double at the end. SciPy's pmf is not used: it rounds
  differently from Boost, and exactly tied tables would then be decided by the last bit.
- brevox's own two-sided rules are applied to those exact probabilities: densities are compared
  exactly, with no relative tolerance (R and SciPy count tables within 1e-7 of the observed one),
  the binomial double tail walks in from the far end as the program does, Fisher's mid-p halves the
  observed table only, and Yates' correction is not clamped (R and SciPy clamp it at |O - E|).
- Chi-square p-values come from scipy.stats.chi2.sf(statistic, 1) at the exactly computed
  statistic rounded to double; the N-1 statistic is Pearson's times (N - 1) / N.
- The permutation test counts every arrangement exactly. Its statistic is defined on doubles (the
  two integer products N t^2 and nA nB M O each rounded once), and Python rounds integers to double
  exactly as the program does, so the arrangement counts are checked exactly.

Ties. When two densities are equal in exact arithmetic, the program's result depends on how the
library rounds each of them. Every comparison of two densities within TIE_TOLERANCE (relative) of
each other is treated as undecided: the row then gives the range of values the possible outcomes
allow (the *Min/*Max columns) and marks itself tie-sensitive. Limits of the binomial test whose
search compared a tail within 1e-9 of the threshold are marked near (the *near* columns), and the
test accepts a neighbour there.
"""

import csv
import math
import os
import random
import sys
from fractions import Fraction

from scipy.stats import chi2

# Relative gap below which two densities count as tied: Boost's densities carry rounding errors of
# a few tens of ulps at a few thousand trials, so the margin is generous.
TIE_TOLERANCE = Fraction(1, 10**13)
NEAR_THRESHOLD = Fraction(1, 10**9)
# Permutation counts are enumerated only for tables of at most this many cells, so that the script
# ends in about a minute.
PERMUTATION_TABLE_LIMIT = 120_000

HERE = os.path.dirname(os.path.abspath(__file__))


def num(value):
    """A double as the CSV holds it: shortest round-trip form, nan and inf spelt out."""
    value = float(value)
    if math.isnan(value):
        return "nan"
    if math.isinf(value):
        return "inf" if value > 0 else "-inf"
    return repr(value)


def tied(x, y):
    """Two non-negative exact numbers within the tie tolerance of each other. Two exact zeros (the
    impossible counts when the second work has no occurrence, or nothing else) are decided: the
    library returns exact zeros there."""
    if x == 0 and y == 0:
        return False
    return abs(x - y) <= TIE_TOLERANCE * max(x, y)


def near(x, threshold):
    return abs(x - threshold) <= NEAR_THRESHOLD * threshold


# ---------------------------------------------------------------------------------------------
# Binomial test: the first work's count against the second work's proportion.


def binomial_limits(tails_below, threshold, n):
    """Lower limit: the smallest j with cumulative[j] >= t, searching upward."""
    is_near = False
    for j in range(n + 1):
        is_near |= near(tails_below[j], threshold)
        if not threshold > tails_below[j]:
            return j, is_near
    raise AssertionError("cumulative[n] is 1")


def binomial_upper_limit(cumulative, threshold, n):
    """Upper limit: the largest c with P(X >= c) >= t, walking down from n as the program does."""
    is_near = False
    j = n
    if n > 0:
        while True:
            tail = 1 - cumulative[j]
            is_near |= near(tail, threshold)
            if not threshold > tail:
                break
            j -= 1
            if j == 0:
                break
    if j < n:
        tail = 1 - cumulative[j]
        is_near |= near(tail, threshold)
        if tail >= threshold:
            return j + 1, is_near
    return j, is_near


def binomial_double_tail(density, cumulative, k, mode, undecided):
    """Every double-tail sum the walk can give: a tied comparison may go either way."""
    n = len(density) - 1
    if k < mode:
        total = cumulative[k]
        order = range(n, k, -1)
    else:
        total = (1 - cumulative[k]) + density[k]
        order = range(0, k)
    sums = []
    for j in order:
        if undecided and tied(density[k], density[j]):
            sums.append(total)  # the walk may stop here
            total += density[j]  # or count this table and go on
            continue
        if density[k] < density[j]:
            break
        total += density[j]
    sums.append(total)
    return sums


def binomial_reference(a, nA, b, nB, threshold):
    n, k = nA, a
    t = Fraction(threshold)
    half = Fraction(0.5 * threshold)
    # All densities share the denominator nB^n: work on integer numerators, exactly.
    denominator = nB**n
    numerators = [math.comb(n, i) * b**i * (nB - b) ** (n - i) for i in range(n + 1)]
    density = [Fraction(x, denominator) for x in numerators]
    cumulative = []
    running = 0
    for x in numerators:
        running += x
        cumulative.append(Fraction(running, denominator))
    assert cumulative[-1] == 1

    best = max(numerators)
    mode = numerators.index(best)  # the first greatest: ties keep the lower count
    modes = [i for i in range(n + 1) if tied(density[i], density[mode])]

    lower_left, near_left = binomial_limits(cumulative, t, n)
    upper_right, near_right = binomial_upper_limit(cumulative, t, n)
    lower_double, near_double_left = binomial_limits(cumulative, half, n)
    upper_double, near_double_right = binomial_upper_limit(cumulative, half, n)

    p_double = binomial_double_tail(density, cumulative, k, mode, undecided=False)[-1]
    possible = []
    for candidate in modes:
        possible += binomial_double_tail(density, cumulative, k, candidate, undecided=True)
    tie_sensitive = len(modes) > 1 or min(possible) != max(possible)

    p_left = cumulative[k]
    p_right = (1 - cumulative[k]) + density[k]
    row = {
        "bin_successProbability": num(b / nB),
        "bin_mode": mode,
        "bin_modeMin": min(modes),
        "bin_modeMax": max(modes),
        "bin_modeDensity": num(density[mode]),
        "bin_observedDensity": num(density[k]),
        "bin_pLeft": num(p_left),
        "bin_pRight": num(p_right),
        "bin_pDoubleTail": num(p_double),
        "bin_pDoubleTailMin": num(min(possible)),
        "bin_pDoubleTailMax": num(max(possible)),
        "bin_midPLeft": num(p_left - density[k] / 2),
        "bin_midPRight": num(p_right - density[k] / 2),
        "bin_midPDoubleTail": num(p_double - density[k] / 2),
        "bin_midPDoubleTailMin": num(min(possible) - density[k] / 2),
        "bin_midPDoubleTailMax": num(max(possible) - density[k] / 2),
        "bin_lowerLimitLeft": lower_left,
        "bin_upperLimitRight": upper_right,
        "bin_lowerLimitDoubleTail": lower_double,
        "bin_upperLimitDoubleTail": upper_double,
        "bin_nearLeft": int(near_left),
        "bin_nearRight": int(near_right),
        "bin_nearDoubleLeft": int(near_double_left),
        "bin_nearDoubleRight": int(near_double_right),
        "bin_significantLeft": int(k < lower_left),
        "bin_significantRight": int(k > upper_right),
        "bin_significantDoubleTail": int(k < lower_double or k > upper_double),
        "bin_tieSensitive": int(tie_sensitive),
    }
    arrays = [(i, num(density[i]), num(cumulative[i])) for i in range(n + 1)]
    return row, arrays


# ---------------------------------------------------------------------------------------------
# Chi-square tests: Pearson's, Yates' (unclamped) and N-1.


def chi_square_reference(a, nA, b, nB, threshold):
    n = nA + nB
    occurrences = a + b
    non_occurrences = n - occurrences
    observed = [b, a, nA - a, nB - b]
    expected = [
        Fraction(occurrences * nB, n),
        Fraction(occurrences * nA, n),
        Fraction(non_occurrences * nA, n),
        Fraction(non_occurrences * nB, n),
    ]
    min_expected = min(expected)
    if min_expected == 0:
        # Pearson's and N-1 hold a 0/0 term, Yates' a 0.25/0 term; no p-value exists.
        return {
            "chi_warningPearson": 2,
            "chi_warningN1": 2,
            "chi_minExpected": num(0),
            "chi_chiPearson": "nan",
            "chi_chiYates": "inf",
            "chi_chiN1": "nan",
            "chi_pPearson": "nan",
            "chi_pYates": "nan",
            "chi_pN1": "nan",
            "chi_significantPearson": 0,
            "chi_significantYates": 0,
            "chi_significantN1": 0,
        }
    pearson = sum((o - e) ** 2 / e for o, e in zip(observed, expected))
    # Not clamped: a deviation below 1/2 still contributes (1/2 - |d|)^2.
    yates = sum((abs(o - e) - Fraction(1, 2)) ** 2 / e for o, e in zip(observed, expected))
    n1 = pearson * (n - 1) / n
    row = {
        "chi_warningPearson": 1 if min_expected < 5 else 0,
        "chi_warningN1": 1 if min_expected < 1 else 0,
        "chi_minExpected": num(min_expected),
        "chi_chiPearson": num(pearson),
        "chi_chiYates": num(yates),
        "chi_chiN1": num(n1),
    }
    for name, statistic in (("Pearson", pearson), ("Yates", yates), ("N1", n1)):
        p = float(chi2.sf(float(statistic), 1))
        row["chi_p" + name] = num(p)
        row["chi_significant" + name] = int(threshold > p)
    return row


# ---------------------------------------------------------------------------------------------
# Fisher's exact test: double tail and mid-p.


def fisher_reference(a, nA, b, nB, threshold):
    n_all = nA + nB
    marked = nA
    drawn = a + b
    lowest = max(0, drawn + marked - n_all)
    highest = min(marked, drawn)
    denominator = math.comb(n_all, drawn)
    probability = {
        x: Fraction(math.comb(marked, x) * math.comb(n_all - marked, drawn - x), denominator)
        for x in range(lowest, highest + 1)
    }
    p0 = probability[a]
    exact = p0 + sum(p for x, p in probability.items() if x != a and p0 >= p)
    certain = p0 + sum(p for x, p in probability.items() if x != a and p0 >= p and not tied(p0, p))
    possible = certain + sum(p for x, p in probability.items() if x != a and tied(p0, p))
    t = Fraction(threshold)
    return {
        "fis_pDoubleTail": num(exact),
        "fis_pDoubleTailMin": num(certain),
        "fis_pDoubleTailMax": num(possible),
        "fis_pMidP": num(exact - p0 / 2),
        "fis_pMidPMin": num(certain - p0 / 2),
        "fis_pMidPMax": num(possible - p0 / 2),
        "fis_significantDoubleTail": int(t > exact),
        "fis_significantMidP": int(t > exact - p0 / 2),
        "fis_tieSensitive": int(certain != possible),
    }


# ---------------------------------------------------------------------------------------------
# Exact permutation test: all arrangements of occurrences over the cases of both works.


def permutation_statistic(j, nA, k, nB):
    """Pearson's statistic as the program forms it: two exact integers, each rounded once."""
    occurrences = j + k
    non_occurrences = nA + nB - occurrences
    if occurrences == 0 or non_occurrences == 0:
        return 1.0
    x = j * (nB - k) - (nA - j) * k
    return float((nA + nB) * x * x) / float(nA * nB * non_occurrences * occurrences)


def exact_statistic(j, nA, k, nB):
    occurrences = j + k
    non_occurrences = nA + nB - occurrences
    if occurrences == 0 or non_occurrences == 0:
        return Fraction(1)
    x = j * (nB - k) - (nA - j) * k
    return Fraction((nA + nB) * x * x, nA * nB * non_occurrences * occurrences)


def permutation_reference(a, nA, b, nB, threshold):
    if (nA + 1) * (nB + 1) > PERMUTATION_TABLE_LIMIT:
        return {
            "perm_computed": 0,
            "perm_extremeWeight": "",
            "perm_totalWeight": "",
            "perm_pValue": "",
            "perm_significant": "",
            "perm_rationalDiffers": "",
        }
    observed = permutation_statistic(a, nA, b, nB)
    observed_exact = exact_statistic(a, nA, b, nB)
    ways_b = [math.comb(nB, k) for k in range(nB + 1)]
    extreme = total = rational_extreme = 0
    for j in range(nA + 1):
        ways_a = math.comb(nA, j)
        for k in range(nB + 1):
            weight = ways_a * ways_b[k]
            total += weight
            if permutation_statistic(j, nA, k, nB) >= observed:
                extreme += weight
            if exact_statistic(j, nA, k, nB) >= observed_exact:
                rational_extreme += weight
    assert total == 2 ** (nA + nB)
    p = Fraction(extreme, total)
    return {
        "perm_computed": 1,
        "perm_extremeWeight": str(extreme),
        "perm_totalWeight": str(total),
        "perm_pValue": num(p),
        "perm_significant": int(Fraction(threshold) > p),
        # The rounded statistic decides; this marks tables where exact rationals would differ.
        "perm_rationalDiffers": int(rational_extreme != extreme),
    }


# ---------------------------------------------------------------------------------------------
# The tables.


def tables():
    listed = [
        # Worked tables of the four families, in both orders.
        (8, 10, 5, 10, 0.05), (5, 10, 8, 10, 0.05), (1, 10, 5, 10, 0.05),
        (2, 10, 8, 12, 0.05), (8, 12, 2, 10, 0.05), (3, 10, 3, 10, 0.05),
        (10, 20, 20, 20, 0.05), (20, 20, 10, 20, 0.01), (5, 10, 6, 11, 0.05),
        (2, 3, 0, 3, 0.05), (8, 10, 2, 10, 0.05), (5, 10, 5, 10, 0.01),
        # Fisher's exact comparison is not symmetric on this near tie.
        (14, 23, 20, 35, 0.05), (20, 35, 14, 23, 0.05),
        # Second work without occurrences (p = 0), or with nothing else (p = 1).
        (3, 10, 0, 10, 0.05), (0, 10, 0, 10, 0.05), (0, 1, 0, 1, 0.05), (2, 7, 0, 1, 0.01),
        (3, 10, 10, 10, 0.05), (10, 10, 10, 10, 0.05), (1, 1, 1, 1, 0.05), (0, 1, 1, 1, 0.01),
        (1, 1, 0, 1, 0.05), (0, 5, 0, 7, 0.05), (5, 5, 7, 7, 0.01), (0, 6, 3, 3, 0.05),
        # Observed count 0 or equal to the total in the first work.
        (0, 12, 4, 9, 0.05), (12, 12, 4, 9, 0.05), (0, 40, 2, 30, 0.01), (40, 40, 28, 30, 0.01),
        # Totals of 1 and 2.
        (0, 1, 0, 2, 0.05), (1, 1, 1, 2, 0.05), (1, 2, 0, 1, 0.01), (1, 2, 2, 2, 0.05),
        # P(X = 0) is exactly 1/20: the left tail meets the threshold 0.05.
        (0, 1, 19, 20, 0.05), (1, 1, 19, 20, 0.05), (0, 1, 99, 100, 0.01),
        # Equally probable counts at the mode (1 and 2 of 5 at 1/3; 3 and 4 of 7 at 1/2).
        (1, 5, 1, 3, 0.05), (2, 5, 1, 3, 0.05), (4, 5, 2, 6, 0.05), (3, 7, 1, 2, 0.05),
        (4, 7, 1, 2, 0.05), (0, 7, 5, 10, 0.01), (7, 7, 3, 6, 0.01), (1, 9, 1, 10, 0.05),
        # Built-in data, both orders, totals up to a few thousand.
        (312, 1810, 303, 1694, 0.05), (303, 1694, 312, 1810, 0.05),
        (1094, 1469, 715, 1063, 0.01), (1528, 1576, 1280, 1350, 0.05),
        (440, 1010, 273, 688, 0.05), (173, 194, 80, 85, 0.05), (80, 85, 173, 194, 0.05),
        (30, 89, 55, 145, 0.05), (28, 61, 9, 26, 0.05), (2, 2, 0, 2, 0.05),
        (16, 20, 60, 64, 0.05), (143, 173, 95, 124, 0.01), (9, 47, 11, 49, 0.05),
        # Large totals with extreme counts: tiny tails.
        (0, 3000, 40, 2500, 0.05), (3000, 3000, 2400, 2500, 0.01), (5, 2000, 1, 3, 0.05),
        # A right tail of 3.8e-22, which 1 less the distribution cannot hold.
        (96, 257, 2, 15, 0.05),
        # 3 and 4 of 4 are equally probable at 4/5, which a double cannot hold: the expected count
        # is 3 and every count counts.
        (3, 4, 4, 5, 0.05), (4, 5, 3, 4, 0.05),
        # The share of extreme arrangements is 1 less 3.3e-17: significant at the threshold 1.
        (10, 95, 0, 1, 1.0), (0, 1, 10, 95, 1.0),
    ]
    rng = random.Random(3)
    generated = []
    # The random tables follow the listed ones; the count keeps them as they were when the
    # listed ones were fewer.
    while len(listed) + len(generated) < 109:
        size = rng.choice([4, 12, 40, 150, 300])
        nA = rng.randint(1, size)
        nB = rng.randint(1, size)
        a = rng.randint(0, nA)
        # Keep the two proportions close in half of the tables, where p-values meet thresholds.
        if rng.random() < 0.5:
            b = min(nB, max(0, round(a * nB / nA + rng.randint(-3, 3))))
        else:
            b = rng.randint(0, nB)
        generated.append((a, nA, b, nB, rng.choice([0.05, 0.01])))
    return listed + generated


def main():
    header = None
    rows = []
    arrays = []
    differing = 0
    for number, (a, nA, b, nB, threshold) in enumerate(tables(), start=1):
        row = {"id": number, "a": a, "nA": nA, "b": b, "nB": nB, "threshold": num(threshold)}
        binomial, binomial_arrays = binomial_reference(a, nA, b, nB, threshold)
        row.update(binomial)
        row.update(chi_square_reference(a, nA, b, nB, threshold))
        row.update(fisher_reference(a, nA, b, nB, threshold))
        row.update(permutation_reference(a, nA, b, nB, threshold))
        differing += row["perm_rationalDiffers"] == 1
        rows.append(row)
        arrays += [(number, i, d, c) for i, d, c in binomial_arrays]
        header = list(row)

    with open(os.path.join(HERE, "stats_reference.csv"), "w", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=header, lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)
    with open(os.path.join(HERE, "binomial_arrays.csv"), "w", newline="") as out:
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(["id", "i", "density", "cumulative"])
        writer.writerows(arrays)

    def count(column):
        return sum(1 for row in rows if row[column] == 1)

    print(f"{len(rows)} tables, {len(arrays)} binomial entries", file=sys.stderr)
    print(
        f"tie-sensitive: binomial {count('bin_tieSensitive')}, Fisher {count('fis_tieSensitive')};"
        f" permutation tables enumerated {count('perm_computed')}, of which {differing} would"
        " count differently with exact rational statistics",
        file=sys.stderr,
    )


if __name__ == "__main__":
    main()
