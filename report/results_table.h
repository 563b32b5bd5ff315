#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "analysis/findings.h"
#include "analysis/run_record.h"
#include "data/data_set.h"
#include "report/output_sink.h"

namespace brevox {

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

/// The rows of one criterion, from its lower pairs and their estimates.
void writeResultsRows(std::ostream& out, const CriterionAnalysis& criterion, const DataSet& data);

/// The table of the criteria is a header row, then one row per criterion: its short name, the
/// works with cases, their occurrences and cases, then Pearson's chi-square over those works, its
/// degrees of freedom and p-value, Cramer's V and whether an expected count is under 5; cells of
/// the test are empty where it has no meaning (fewer than two works with cases, every proportion
/// 0 or every one 1). Numbers read back to the same double; lines end with CR LF.
void writeCriteriaHeader(std::ostream& out);
void writeCriteriaRow(std::ostream& out, const CriterionFindings& findings, const DataSet& data);

/// The table of the works is a header row, then one row per criterion and work in the order of
/// the data: the counts, the proportion with its 95% Wilson score interval, the letters of the
/// compact letter display, the main test and the adjustment that gave them. A work without cases
/// has empty cells beyond its counts; without a test, the last three cells are empty.
void writeWorkHeader(std::ostream& out);
void writeWorkRows(std::ostream& out, const CriterionFindings& findings, const DataSet& data);

/// The three tables of option E as an output of a full run: opened when the run begins (the run
/// goes on without the tables where one cannot be opened), written criterion by criterion from
/// what the analysis found, and closed when the run ends.
Sink resultsTableSink();

}  // namespace brevox
