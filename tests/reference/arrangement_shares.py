#!/usr/bin/python3
"""Reference values for the shares of arrangements that the fast permutation sums use on very
large works.

Run with Debian's Python 3 and its python3-mpmath package (the tests need neither):

    /usr/bin/python3 tests/reference/arrangement_shares.py

It writes arrangement_shares.csv beside itself, one value per row with 20 significant digits,
computed with 60-digit arithmetic:

- share: choose(total, count) / 2^total, from log-gamma functions;
- below: the share of arrangements with fewer than `count` occurrences, summed term by term from
  count - 1 downwards (each term from the one before by the ratio of binomial coefficients) until
  the rest, bounded by a geometric series, is below 1e-40 of the sum.
"""

import csv
import os

import mpmath

mpmath.mp.dps = 60


def log_choose(n, k):
    return mpmath.loggamma(n + 1) - mpmath.loggamma(k + 1) - mpmath.loggamma(n - k + 1)


def share(total, count):
    return mpmath.exp(log_choose(total, count) - total * mpmath.log(2))


def below(total, end):
    if 2 * end > total + 1:
        return 1 - below(total, total - end + 1)
    k = end - 1
    term = share(total, k)
    result = term
    while k > 0:
        ratio = mpmath.mpf(k) / (total - k + 1)
        if term * ratio / (1 - ratio) < result * mpmath.mpf("1e-40"):
            break
        term *= ratio
        result += term
        k -= 1
    return result


TOP = 536870911

SHARES = [(2, 1), (15, 3), (16, 5), (5000, 2000), (1000001, 499000), (TOP, 268435455),
          (TOP, 268400000), (TOP, 266000000), (TOP, 1000), (TOP, 1)]
BELOW = [(3, 1), (5000, 2400), (5000, 2600), (1000000, 499000), (1000000, 490000),
         (TOP, 268435456), (TOP, 268420000), (TOP, 268300000), (TOP, 268000000),
         (TOP, 268450000), (TOP - 1, 268435455), (TOP - 1, 268435456)]


def main():
    rows = []
    for total, count in SHARES:
        rows.append(["share", total, count, "", "", share(total, count)])
    for total, end in BELOW:
        rows.append(["below", total, end, "", "", below(total, end)])
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "arrangement_shares.csv")
    with open(path, "w", newline="") as out:
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(["kind", "total", "count", "drawn", "population", "value"])
        for row in rows:
            writer.writerow(row[:5] + [mpmath.nstr(row[5], 20, min_fixed=1, max_fixed=0)])


if __name__ == "__main__":
    main()
