#!/usr/bin/python3
"""Reference values for the effect sizes and adjusted p-values of brevox.

Run with Debian's Python 3 (python3-scipy, python3-statsmodels, python3-mpmath) and R
(r-base-core); the tests themselves need none of them:

    /usr/bin/python3 tests/reference/estimates_reference.py

It writes, beside itself:

- estimates_reference.csv: one row per table a of nA against b of nB, with
  - or_estimate, or_low, or_high: SciPy's conditional odds ratio of the table
    [[a, nA - a], [b, nB - b]] (scipy.stats.contingency.odds_ratio, kind='conditional') and its
    95% confidence interval. An empty or_estimate is SciPy's nan: the margins allow one table only.
  - or40_estimate, or40_low, or40_high: the same roots solved again at 40 digits with mpmath,
    over every table of the margins, starting from SciPy's values. SciPy stops its roots at an
    absolute 1e-13 (brentq's xtol), which leaves odds ratios below about 1e-3 looser than 1e-10
    relative (2.8e-9 by 8e-8 relative on 1 of 3,000 against 2,999 of 3,000); the script checks
    that SciPy lies within 1e-9 relative or 2e-13 absolute of these roots.
  - nd_difference, nd_low, nd_high: a / nA - b / nB with statsmodels' Newcombe interval
    (confint_proportions_2indep, method='newcomb', compare='diff').
- adjusted_p_reference.csv: families of p-values with R's p.adjust(p, "holm") and
  p.adjust(p, "BH"). The p-values travel to R and back as hexadecimal doubles, so both sides see
  the same bits.

R's fisher.test gives the same odds ratios with looser digits (uniroot's default tolerance); the
script checks on a few tables that it agrees in direction and in its bounds 0 and Inf.
"""

import csv
import math
import os
import random
import subprocess
import sys

import mpmath
import numpy as np
from scipy.stats.contingency import odds_ratio
from statsmodels.stats.proportion import confint_proportions_2indep

HERE = os.path.dirname(os.path.abspath(__file__))


def num(value):
    """A double as the CSV holds it: shortest round-trip form, inf spelt out, nan left empty."""
    value = float(value)
    if math.isnan(value):
        return ""
    if math.isinf(value):
        return "inf" if value > 0 else "-inf"
    return repr(value)


def tables():
    listed = [
        # Worked tables: SciPy's documentation and the 2 x 2 with three and one.
        (7, 22, 58, 530), (3, 4, 1, 4), (1, 4, 3, 4),
        # No occurrence, or nothing else, in one work, the other, or both.
        (0, 10, 3, 10), (3, 10, 0, 10), (10, 10, 3, 10), (3, 10, 10, 10),
        (0, 10, 10, 10), (10, 10, 0, 10), (0, 10, 0, 10), (10, 10, 10, 10),
        (0, 7, 0, 3), (7, 7, 3, 3), (0, 1, 0, 1), (1, 1, 1, 1), (1, 1, 0, 1), (0, 1, 1, 1),
        (0, 2, 1, 1), (2, 2, 0, 1), (1, 2, 1, 1), (1, 2, 0, 1), (0, 1, 1, 2), (1, 1, 1, 2),
        # One case against ten thousand, both ways.
        (1, 1, 0, 10000), (0, 1, 1, 10000), (1, 1, 5000, 10000), (0, 1, 9999, 10000),
        (0, 10000, 1, 1), (10000, 10000, 0, 1), (1, 10000, 1, 1), (1, 10000, 9, 10),
        (9999, 10000, 1, 10), (5, 10000, 0, 1), (3, 10000, 1, 1), (9990, 10000, 0, 1),
        # The fewest or most occurrences the margins allow in the first work.
        (0, 5, 7, 7), (5, 5, 0, 7), (2, 5, 7, 7), (5, 5, 3, 7), (0, 40, 2, 30),
        (40, 40, 28, 30), (1, 40, 30, 30), (39, 40, 0, 30),
        # Equal proportions, and the built-in data's largest pairs.
        (5, 10, 5, 10), (50, 100, 100, 200), (312, 1810, 303, 1694), (303, 1694, 312, 1810),
        (1094, 1469, 715, 1063), (1528, 1576, 1280, 1350), (440, 1010, 273, 688),
        (173, 194, 80, 85), (30, 89, 55, 145), (16, 20, 60, 64),
        # Large totals with extreme counts.
        (0, 3000, 40, 2500), (3000, 3000, 2400, 2500), (5, 2000, 1, 3), (1, 3000, 2999, 3000),
        (2, 3000, 2998, 3000), (1500, 3000, 1, 2),
    ]
    rng = random.Random(7)
    generated = []
    while len(listed) + len(generated) < 220:
        size = rng.choice([3, 10, 40, 200, 1000, 3000])
        nA = rng.randint(1, size)
        nB = rng.randint(1, rng.choice([size, 10]))
        if rng.random() < 0.2:
            # No occurrence, one, all but one or all in the first work.
            a = rng.choice([0, 1, nA - 1, nA]) if nA > 1 else rng.randint(0, nA)
        else:
            a = rng.randint(0, nA)
        b = rng.randint(0, nB)
        generated.append((a, nA, b, nB))
    return listed + generated


def odds_ratio_reference(a, nA, b, nB):
    result = odds_ratio(np.array([[a, nA - a], [b, nB - b]]), kind="conditional")
    interval = result.confidence_interval(0.95)
    return {
        "or_estimate": num(result.statistic),
        "or_low": num(interval.low),
        "or_high": num(interval.high),
    }


def noncentral_sums(lowest, weights, a, t):
    """Sums over every table of the margins of the densities at log odds ratio t: all, x >= a,
    x <= a, and x times the density."""
    odds = mpmath.exp(t)
    power = odds**lowest
    total = at_least = at_most = moment = mpmath.mpf(0)
    for i, weight in enumerate(weights):
        x = lowest + i
        term = weight * power
        total += term
        moment += x * term
        if x >= a:
            at_least += term
        if x <= a:
            at_most += term
        power *= odds
    return total, at_least, at_most, moment


def odds_ratio_40_digits(a, nA, b, nB, scipy_row):
    """The three roots at 40 digits, found by the secant method from SciPy's values."""
    mpmath.mp.dps = 40
    occurrences = a + b
    lowest, highest = max(0, occurrences - nB), min(nA, occurrences)
    # Central weights relative to the first table, by the ratio of neighbours (mpmath's
    # exponents do not overflow).
    weights = [mpmath.mpf(1)]
    for x in range(lowest, highest):
        weights.append(
            weights[-1] * (nA - x) * (occurrences - x) / ((x + 1) * (nB - occurrences + x + 1))
        )
    alpha = mpmath.mpf("0.025")
    equations = {
        "estimate": lambda s: s[3] / s[0] - a,
        "low": lambda s: s[1] / s[0] - alpha,
        "high": lambda s: s[2] / s[0] - alpha,
    }
    row = {}
    for name, equation in equations.items():
        text = scipy_row["or_" + name]
        value = float(text) if text != "" else math.nan
        if not 0 < value < math.inf:
            row["or40_" + name] = text
            continue
        start = mpmath.log(value)
        root = mpmath.findroot(
            lambda t: equation(noncentral_sums(lowest, weights, a, t)),
            (start, start + mpmath.mpf("1e-7")),
            solver="secant",
        )
        exact = float(mpmath.exp(root))
        assert abs(value - exact) <= max(1e-9 * exact, 2e-13), (a, nA, b, nB, name, exact)
        row["or40_" + name] = num(exact)
    return row


def newcombe_reference(a, nA, b, nB):
    low, high = confint_proportions_2indep(a, nA, b, nB, method="newcomb", compare="diff")
    return {"nd_difference": num(a / nA - b / nB), "nd_low": num(low), "nd_high": num(high)}


def check_against_r(rows):
    """R's fisher.test on a few tables: the same direction and the same bounds 0 and Inf."""
    chosen = [row for row in rows if row["nA"] <= 200 and row["nB"] <= 200][:40]
    script = "".join(
        f"r <- fisher.test(matrix(c({r['a']}, {r['b']}, {r['nA'] - r['a']}, {r['nB'] - r['b']}),"
        " 2)); cat(sprintf('%.17g %.17g %.17g\\n', r$estimate, r$conf.int[1], r$conf.int[2]))\n"
        for r in chosen
    )
    lines = subprocess.run(
        ["Rscript", "-e", script], capture_output=True, text=True, check=True
    ).stdout.split("\n")
    for row, line in zip(chosen, lines):
        for column, text in zip(("or_estimate", "or_low", "or_high"), line.split()):
            r_value = float(text)
            ours = float(row[column]) if row[column] != "" else math.nan
            if math.isnan(ours) or math.isnan(r_value):
                # R gives an estimate for a single possible table as well (0 there); SciPy nan.
                continue
            if r_value in (0, math.inf) or ours in (0, math.inf):
                assert r_value == ours, (row, column, r_value)
            else:
                assert abs(r_value - ours) <= 2e-2 * ours, (row, column, r_value)
    return len(chosen)


def families():
    rng = random.Random(11)
    built = {
        "single": [0.03],
        "single one": [1.0],
        "ties": [0.01, 0.04, 0.01, 0.04, 0.2, 0.01],
        "ones": [1.0, 0.5, 1.0, 0.001, 1.0],
        "zeros and ones": [0.0, 1.0, 0.0, 0.02],
        "all equal": [0.3] * 4,
        "capped": [0.4, 0.6, 0.7, 0.9, 0.05],
        "tiny": [1e-300, 5e-324, 2.5e-17, 1e-12, 0.5],
    }
    # A family of 36, the pairs of nine works: small p-values, ties and ones among them.
    big = [10 ** rng.uniform(-12, 0) for _ in range(30)]
    big += [big[3], big[7], 1.0, 1.0, 0.05, 0.05]
    rng.shuffle(big)
    built["thirty-six"] = big
    built["random twelve"] = [rng.random() for _ in range(12)]
    return built


def adjusted_reference():
    rows = []
    for name, values in families().items():
        vector = ", ".join(float(p).hex() for p in values)
        script = (
            f"p <- c({vector}); h <- p.adjust(p, 'holm'); b <- p.adjust(p, 'BH');"
            " cat(sprintf('%a %a\\n', h, b), sep = '')"
        )
        lines = subprocess.run(
            ["Rscript", "-e", script], capture_output=True, text=True, check=True
        ).stdout.split()
        assert len(lines) == 2 * len(values), (name, lines)
        for i, p in enumerate(values):
            rows.append(
                {
                    "family": name,
                    "index": i,
                    "p": repr(float(p)),
                    "holm": repr(float.fromhex(lines[2 * i])),
                    "bh": repr(float.fromhex(lines[2 * i + 1])),
                }
            )
    return rows


def main():
    rows = []
    for number, (a, nA, b, nB) in enumerate(tables(), start=1):
        row = {"id": number, "a": a, "nA": nA, "b": b, "nB": nB}
        row.update(odds_ratio_reference(a, nA, b, nB))
        row.update(odds_ratio_40_digits(a, nA, b, nB, row))
        row.update(newcombe_reference(a, nA, b, nB))
        rows.append(row)
    checked = check_against_r(rows)
    with open(os.path.join(HERE, "estimates_reference.csv"), "w", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=list(rows[0]), lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)

    adjusted = adjusted_reference()
    with open(os.path.join(HERE, "adjusted_p_reference.csv"), "w", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=list(adjusted[0]), lineterminator="\n")
        writer.writeheader()
        writer.writerows(adjusted)
    loose = sum(
        1
        for row in rows
        for name in ("estimate", "low", "high")
        if row["or_" + name] not in ("", "0.0", "inf")
        and abs(float(row["or_" + name]) / float(row["or40_" + name]) - 1) > 1e-10
    )
    print(
        f"{len(rows)} tables ({checked} also checked against R's fisher.test), {loose} of"
        " SciPy's odds ratios more than 1e-10 from the 40-digit roots,"
        f" {len(adjusted)} adjusted p-values in {len(families())} families",
        file=sys.stderr,
    )


if __name__ == "__main__":
    main()
