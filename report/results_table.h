#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "data/data_set.h"
#include "report/run_record.h"

namespace brevox {

/// Writes the tidy table of a full run: a header row, then one row per criterion and pair of
/// works the run tested, in the run's order (criterion, then the later work of the pair as work A,
/// then the earlier one as work B). Each row holds the counts and proportions, the difference of
/// the proportions with Newcombe's 95% interval, the conditional maximum-likelihood odds ratio with
/// its exact 95% interval, whether either work has fewer than five cases, and for each variant its
/// p-value, the run's flag and the Holm and Benjamini-Hochberg adjusted p-values over the pairs of
/// the criterion that variant tested. A value that does not exist, or whose test was not run, is an
/// empty cell; numbers read back to the same double. Lines end with CR LF.
void writeResultsTable(std::ostream& out, const std::vector<CriterionRecord>& criteria,
                       const DataSet& data);

/// The file "T_all_results.csv" or another name: prints "Failed to open file " / "Failed to write
/// file " and the name on `err` and returns false when the table was not written completely.
bool writeResultsTable(const std::string& fileName, const std::vector<CriterionRecord>& criteria,
                       const DataSet& data, std::ostream& err);

}  // namespace brevox
