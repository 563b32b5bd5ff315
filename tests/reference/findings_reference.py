#!/usr/bin/python3
"""Reference values for the findings over all works of a criterion.

Run with Debian's Python 3 (python3-scipy, python3-statsmodels) and R (r-base-core,
r-cran-multcompview); the tests themselves need none of them:

    /usr/bin/python3 tests/reference/findings_reference.py

It writes, beside itself:

- wilson_reference.csv: x occurrences in n cases with statsmodels'
  proportion_confint(x, n, alpha=0.05, method='wilson').
- homogeneity_reference.csv: the criteria of the built-in data and 200 random ones, each as its
  works' counts "observed/total" separated by blanks (a total of 0: a work without cases, left out
  of the table), with SciPy's chi2_contingency(table, correction=False) on the k x 2 table of the
  works with cases (chi_square, df, p_value) and association(table, method='cramer'). Empty where
  the table has an empty column (every proportion 0, or every one 1) or fewer than two rows.
- letters_reference.csv: the same criteria, with R's fisher.test p-value of each pair of works
  with cases (in the order of a run: the later work against each earlier one, row by row) and
  the letters of R's multcompView::multcompLetters on the matrix of the p-values adjusted by
  p.adjust(p, "holm"), threshold 0.05, one word per work ("-" for a work without cases).
  Criteria with an adjusted p-value within 1e-9 relative of the threshold are left out, as a
  last bit could decide them. The p-values travel to R and back as hexadecimal doubles.
"""

import csv
import math
import os
import random
import subprocess
import sys
import tempfile

import numpy as np
from scipy.stats import chi2_contingency
from scipy.stats.contingency import association
from statsmodels.stats.proportion import proportion_confint

HERE = os.path.dirname(os.path.abspath(__file__))
THRESHOLD = 0.05

BUILT_IN = [
    # Digamma, AGenS, GenPl, OGenS, DatPl, AccPl: (observed, total) of the nine works.
    [(312, 1810), (303, 1694), (30, 89), (55, 145), (28, 61), (9, 26), (11, 49), (30, 56), (9, 47)],
    [(173, 194), (80, 85), (5, 12), (5, 9), (3, 4), (2, 2), (0, 0), (1, 2), (0, 2)],
    [(188, 224), (130, 162), (24, 39), (6, 11), (13, 16), (1, 2), (3, 6), (4, 7), (6, 7)],
    [(1094, 1469), (715, 1063), (78, 144), (36, 95), (37, 62), (11, 17), (21, 34), (41, 56),
     (16, 30)],
    [(1528, 1576), (1280, 1350), (143, 173), (95, 124), (66, 91), (16, 20), (60, 64), (80, 83),
     (53, 57)],
    [(440, 1010), (273, 688), (19, 93), (8, 49), (3, 21), (2, 8), (6, 18), (14, 46), (11, 26)],
]


def num(value):
    value = float(value)
    if math.isnan(value):
        return ""
    return repr(value)


def wilson_rows():
    listed = [(0, 1), (1, 1), (0, 10), (10, 10), (1, 10), (9, 10), (5, 10), (0, 2), (1, 2),
              (3, 4), (312, 1810), (1, 536870911), (0, 536870911), (536870911, 536870911),
              (268435455, 536870911), (2, 3), (17, 1000000), (999999, 1000000)]
    rng = random.Random(5)
    while len(listed) < 120:
        n = rng.choice([rng.randint(1, 20), rng.randint(1, 5000), rng.randint(1, 536870911)])
        listed.append((rng.randint(0, n), n))
    rows = []
    for x, n in listed:
        low, high = proportion_confint(x, n, alpha=0.05, method="wilson")
        rows.append({"observed": x, "total": n, "low": num(low), "high": num(high)})
    return rows


def random_criteria():
    rng = random.Random(21)
    criteria = []
    while len(criteria) < 200:
        works = rng.randint(3, 30)
        # A few levels of proportion shared by groups of works, so that letters overlap.
        levels = [rng.random() for _ in range(rng.randint(1, 4))]
        counts = []
        for _ in range(works):
            kind = rng.random()
            if kind < 0.08:
                counts.append((0, 0))  # no cases
                continue
            if kind < 0.14:
                total = rng.randint(1, 3)  # too few cases to differ from any other
            else:
                total = rng.choice([rng.randint(5, 60), rng.randint(50, 600)])
            share = min(1.0, max(0.0, rng.choice(levels) + rng.uniform(-0.05, 0.05)))
            counts.append((sum(rng.random() < share for _ in range(total)), total))
        if rng.random() < 0.1 and works > 3:
            counts[1] = counts[0]  # two works with the same counts
        if rng.random() < 0.05:
            counts = [(0, t) for _, t in counts]  # no occurrence anywhere
        criteria.append(counts)
    return criteria


def counts_text(counts):
    return " ".join(f"{x}/{n}" for x, n in counts)


def homogeneity_row(number, counts):
    row = {"criterion": number, "counts": counts_text(counts), "chi_square": "", "df": "",
           "p_value": "", "cramers_v": ""}
    table = np.array([[x, n - x] for x, n in counts if n > 0])
    if len(table) < 2 or table[:, 0].sum() == 0 or table[:, 1].sum() == 0:
        return row
    statistic, p, df, _ = chi2_contingency(table, correction=False)
    row.update(chi_square=num(statistic), df=df, p_value=num(p),
               cramers_v=num(association(table, method="cramer")))
    return row


def letters_rows(criteria):
    """Runs every criterion through R in one script; returns the rows of those kept."""
    script = ["library(multcompView)"]
    for counts in criteria:
        cased = [(x, n) for x, n in counts if n > 0]
        k = len(cased)
        x = ", ".join(str(c[0]) for c in cased)
        n = ", ".join(str(c[1]) for c in cased)
        script.append(
            f"x <- c({x}); n <- c({n}); k <- {k}; p <- c(); a <- c(); b <- c()\n"
            "for (i in seq_len(k)) for (j in seq_len(i - 1)) {\n"
            "  t <- matrix(c(x[i], x[j], n[i] - x[i], n[j] - x[j]), 2)\n"
            "  p <- c(p, fisher.test(t)$p.value); a <- c(a, i); b <- c(b, j) }\n"
            "h <- p.adjust(p, 'holm'); m <- matrix(1, k, k, dimnames = list(paste0('w', 1:k),"
            " paste0('w', 1:k)))\n"
            "for (q in seq_along(p)) { m[a[q], b[q]] <- h[q]; m[b[q], a[q]] <- h[q] }\n"
            "l <- multcompLetters(m, threshold = 0.05)$Letters\n"
            "cat(sprintf('%a', p), '|', sprintf('%a', h), '|', l, '\\n')"
        )
    with tempfile.NamedTemporaryFile("w", suffix=".R") as program:
        program.write("\n".join(script))
        program.flush()
        lines = subprocess.run(["Rscript", program.name], capture_output=True, text=True,
                               check=True).stdout.strip("\n").split("\n")
    assert len(lines) == len(criteria), len(lines)
    rows = []
    for number, (counts, line) in enumerate(zip(criteria, lines), start=1):
        raw, adjusted, letters = (part.split() for part in line.split("|"))
        if any(abs(float.fromhex(h) - THRESHOLD) <= 1e-9 * THRESHOLD for h in adjusted):
            continue
        words = iter(letters)
        rows.append({
            "criterion": number,
            "counts": counts_text(counts),
            "p_values": " ".join(repr(float.fromhex(p)) for p in raw),
            "letters": " ".join(next(words) if n > 0 else "-" for _, n in counts),
        })
    return rows


def write(name, rows):
    with open(os.path.join(HERE, name), "w", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=list(rows[0]), lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)


def main():
    criteria = BUILT_IN + random_criteria()
    write("wilson_reference.csv", wilson_rows())
    homogeneity = [homogeneity_row(i, c) for i, c in enumerate(criteria, start=1)]
    write("homogeneity_reference.csv", homogeneity)
    letters = letters_rows(criteria)
    write("letters_reference.csv", letters)
    print(f"{len(homogeneity)} criteria, {len(letters)} with letters", file=sys.stderr)


if __name__ == "__main__":
    main()
