#!/usr/bin/env python3
"""Writes a large data file in brevox's input format to standard output.

By default 60 works under 10 criteria, each work with between 1 and 5,000 cases per criterion
(a few with none, which the full run skips), and occurrences drawn around a rate of its own for
each work and criterion. The same seed gives the same file.

    python3 bench/large_data_set.py > large.csv
    /usr/bin/time -v build/brevox large.csv -BCF

Options: --works N, --criteria N, --max-total N, --seed N; --ties writes instead small totals
(3 to 960) with occurrences at exactly 0, 1/5, 1/4, 1/3, 1/2, 2/3, 3/4, 4/5 or all of them, where
many pairs hold equally probable counts and tables: works with as many cases, a proportion of
exactly one half, an expected count between two equally probable ones.
"""

import argparse
import random
import sys


# Totals with many divisors and shares of them that make ties.
TIE_TOTALS = [3, 4, 5, 6, 8, 9, 10, 12, 15, 20, 24, 30, 40, 60, 120, 240, 480, 960]
TIE_SHARES = [(0, 1), (1, 5), (1, 4), (1, 3), (1, 2), (2, 3), (3, 4), (4, 5), (1, 1)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--works", type=int, default=60)
    parser.add_argument("--criteria", type=int, default=10)
    parser.add_argument("--max-total", type=int, default=5000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--ties", action="store_true")
    args = parser.parse_args()
    rng = random.Random(args.seed)

    out = sys.stdout
    first = ["Threshold:", "0.05"]
    directions = ["", ""]
    for k in range(1, args.criteria + 1):
        first += [f"k{k}", f"Criterion {k}"]
        directions += ["", "1" if k % 2 else "-1"]
    out.write(",".join(first) + ",\r\n")
    out.write(",".join(directions) + ",\r\n")
    for w in range(1, args.works + 1):
        fields = [f"W{w}", f"Work {w}"]
        for k in range(1, args.criteria + 1):
            if args.ties:
                total = rng.choice(TIE_TOTALS)
                share = rng.choice(TIE_SHARES)
                fields += [str(total * share[0] // share[1]), str(total)]
                continue
            # One work in fifty has no case of a criterion; the largest totals reach the limit.
            if rng.random() < 0.02:
                total = 0
            elif k == 1 and w <= 2:
                total = args.max_total
            else:
                total = rng.randint(1, args.max_total)
            rate = rng.uniform(0.05, 0.95)
            observed = min(total, max(0, round(rng.gauss(rate * total, (total * 0.01) ** 0.5))))
            fields += [str(observed), str(total)]
        out.write(",".join(fields) + ",\r\n")


if __name__ == "__main__":
    main()
