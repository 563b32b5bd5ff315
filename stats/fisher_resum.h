#pragma once

#include <cstdint>

#include "stats/fisher_tables.h"

namespace brevox {

/// Fisher's two p-values, each rounded once to double.
struct FisherPValues {
  double doubleTail = 0;
  double midP = 0;
};

/// The p-values of the tables that `added` adds, with `observed` occurrences in the first work in
/// the observed table, summed afresh at 50 digits: the probability of each table relative to the
/// mode's, carried by the ratio of neighbours, over the sum of all of them. Each is the exact
/// p-value rounded to the nearest double, unless that lies within about 1e-40, relatively, of a
/// point halfway between two doubles, which it never equals (its denominator holds no higher
/// power of two than the binomial coefficient of the margins, at most 2^31); there it is the
/// double nearest to the 50-digit quotient. Visits the tables from the mode out to a little beyond
/// the outermost table left out of the sum, at most about 700,000 at the largest totals (some
/// tenths of a second), and keeps none of them.
FisherPValues resumFisherTables(const FisherTables& tables, std::uint32_t observed,
                                const AddedTables& added);

}  // namespace brevox
