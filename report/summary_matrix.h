#pragma once

#include <ostream>

#include "report/output_sink.h"
#include "stats/families.h"

namespace brevox {

/// The summary tables of a full run as an output: per criterion the expected-probability table,
/// then, family by family in the file order, each variant's tables of the selected `families`,
/// works by works as the README shows them, each cell written as its pair is taken. A table that
/// cannot be opened discards the criterion's tables and stops the run; one not written completely
/// does not reach its name.
Sink summaryTablesSink(const FamilySet& families);

}  // namespace brevox
