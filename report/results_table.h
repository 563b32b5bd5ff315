#pragma once

#include <ostream>
#include <string>

#include "data/data_set.h"
#include "report/run_record.h"

namespace brevox {

/// The file name of the tidy table.
inline constexpr const char* kResultsTableFile = "T_all_results.csv";

/// The tidy table of a full run is a header row, then one row per criterion and pair of works the
/// run tested, in the run's order (criterion, then the later work of the pair as work A,
/// then the earlier one as work B). Each row holds the counts and proportions, the difference of
/// the proportions with Newcombe's 95% interval, the conditional maximum-likelihood odds ratio with
/// its exact 95% interval, whether either work has fewer than five cases, and for each variant its
/// p-value, the run's flag and the Holm and Benjamini-Hochberg adjusted p-values over the pairs of
/// the criterion that variant tested. A value that does not exist, or whose test was not run, is an
/// empty cell; numbers read back to the same double. Lines end with CR LF. The p-values of a
/// criterion are adjusted among themselves, so the table is written criterion by criterion.
void writeResultsHeader(std::ostream& out);

/// The rows of one criterion.
void writeResultsRows(std::ostream& out, const CriterionRecord& criterion, const DataSet& data);

}  // namespace brevox
