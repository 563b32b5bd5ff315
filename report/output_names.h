#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "data/data_set.h"
#include "io/failure.h"
#include "report/variants.h"
#include "stats/families.h"

namespace brevox {

// Every file a run writes is named here, each kind by one function.

/// The data as the run read it: "T_input_data.csv".
std::string inputDataFileName();

/// A summary table of a criterion: the table's prefix, the criterion's short name, ".csv".
std::string summaryTableFileName(const SummaryTable& table, const std::string& criterionShortName);

/// Graph `graph` (a variant's index, or kMergedGraph) of one criterion: "graph_", the tag, "_",
/// the criterion's short name, ".gv".
std::string criterionGraphFileName(std::size_t graph, const std::string& criterionShortName);

/// Graph `graph` over all criteria.
std::string allCriteriaGraphFileName(std::size_t graph);

/// A pair's report in a full run: the family's prefix, the criterion's short name, "_", work A's
/// short name, "_", work B's short name, ".csv".
std::string pairReportFileName(Family family, std::uint32_t criterion, std::uint32_t workA,
                               std::uint32_t workB, const DataSet& data);

/// The report of single-test mode, a fixed name per family.
std::string singleTestReportFileName(Family family);

/// The three tables of option E: every pair, the criteria, the works.
enum class ResultsTable { pairs, criteria, works };
std::string resultsTableFileName(ResultsTable table);

/// The tables and the graph of the order of the works over all criteria, written with option E.
std::string orderWorksFileName();
std::string orderCriteriaFileName();
std::string orderPrecedenceFileName();
std::string orderFitFileName();
std::string orderGraphFileName();

/// The page of option H.
std::string pageFileName();

/// The record of what a successful run wrote, written last: ".brevox-manifest".
std::string manifestFileName();

/// The files a run writes, as far as their names go.
struct OutputChoice {
  /// Single-test mode: the report of the first of `families` in their order, and nothing else.
  bool singleTest = false;
  FamilySet families;        ///< the families whose summary tables and graphs a full run writes
  bool reports = false;      ///< a report per tested pair and family
  bool mergedGraph = false;  ///< the merged graph of each criterion and over all criteria
  bool resultsTables = false;
  bool page = false;
  bool orderFiles = false;  ///< the tables and the graph of the order of the works
  /// A full run writes the data back, unless its data file is the very file it would write.
  bool inputData = true;
};

/// A detailed report that a run writes: its family, criterion and two works.
struct PairReport {
  Family family;
  std::uint32_t criterion;
  std::uint32_t workA;
  std::uint32_t workB;
};

/// Hands `visit` each detailed report that `choice` writes for `data` under `criterion`, in the
/// order of the run: every ordered pair of works with cases, for a family that tests both orders,
/// else the pairs of the lower triangle.
void forEachPairReport(const OutputChoice& choice, const DataSet& data, std::uint32_t criterion,
                       const std::function<void(const PairReport&)>& visit);

/// Hands `visit` the name of every file that `choice` writes for `data`, in the order of the run.
void forEachOutputFileName(const OutputChoice& choice, const DataSet& data,
                           const std::function<void(const std::string&)>& visit);

/// Checks the names of exactly the files that `choice` writes for `data`, read from the data file
/// `path` (the sheet `sheetName` of a workbook, or none): no name passes 255 bytes, the longest
/// the file systems take, and no two files share a name (short names are joined with "_", so a
/// name holding "_" could make the reports of two pairs collide). Otherwise fails with one line
/// naming the short name at fault, its work or criterion, its line in the data file (its cell,
/// in a workbook) and the file name.
[[nodiscard]] Outcome checkOutputNames(const OutputChoice& choice, const DataSet& data,
                                       const std::string& path, const std::string& sheetName = "");

}  // namespace brevox
