#pragma once

#include <ostream>

#include "report/output_sink.h"
#include "stats/families.h"

namespace brevox {

/// The summary tables of a full run as an output: per criterion the expected-probability table,
/// then, family by family in the file order, each variant's tables of the selected `families`.
/// A table is works by works: its title line, a header row of "," and each work's short name,
/// then a row per work, its short name and "," and one cell per tested pair of the row (a "*"
/// first where the outcome is not valid, the value, or "INVALID" where the outcome is undefined,
/// and ","; the pooled probability in the lower triangle of the expected-probability table; ","
/// alone for the diagonal and for works without cases). A table that cannot be opened discards
/// the criterion's tables and stops the run; one not written completely does not reach its name.
Sink summaryTablesSink(const FamilySet& families);

}  // namespace brevox
