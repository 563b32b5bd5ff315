#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "analysis/findings.h"
#include "analysis/run_record.h"
#include "data/data_set.h"
#include "report/output_sink.h"

namespace brevox {

// The three tables of option E, whose columns the README lists: a header row each, then rows
// criterion by criterion. A value that does not exist, or whose test was not run, is an empty
// cell; numbers read back to the same double.

/// The tidy table of every pair of works that the run tested.
void writeResultsHeader(std::ostream& out);

/// The rows of one criterion, a row per lower pair in the run's order (the later work as work A)
/// from its outcomes and estimates; each variant's p-values are adjusted over the pairs of the
/// criterion that it judged, which is why the table is written criterion by criterion.
void writeResultsRows(std::ostream& out, const CriterionAnalysis& criterion, const DataSet& data);

/// The table of the criteria: a row per criterion, the homogeneity test over its works with cases
/// (empty where it has no meaning: fewer than two such works, every proportion 0 or every one 1).
void writeCriteriaHeader(std::ostream& out);
void writeCriteriaRow(std::ostream& out, const CriterionFindings& findings, const DataSet& data);

/// The table of the works: a row per criterion and work in the order of the data, where it stands
/// and its letters (empty cells beyond the counts for a work without cases; no letters, main test
/// or adjustment without a test).
void writeWorkHeader(std::ostream& out);
void writeWorkRows(std::ostream& out, const CriterionFindings& findings, const DataSet& data);

/// The three tables of option E as an output of a full run: opened when the run begins (the run
/// goes on without the tables where one cannot be opened), written criterion by criterion from
/// what the analysis found, and closed when the run ends.
Sink resultsTableSink();

}  // namespace brevox
