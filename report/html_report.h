#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/run_record.h"
#include "data/data_set.h"
#include "io/failure.h"
#include "report/criterion_page.h"
#include "report/variants.h"

namespace brevox {

/// The files of an earlier run that its manifest names, that still stand in the output folder
/// and that this run does not write: how many, and the first few by name.
struct EarlierFiles {
  std::size_t count = 0;
  std::vector<std::string> firstNames;
};

/// The command line as typed, for the outputs that describe the run.
struct RunCommand {
  std::string dataFile;    ///< the data file's path; empty for the built-in data
  std::string optionText;  ///< the option string; empty when none was given
  std::string sheetName;   ///< the sheet read when the data file is a workbook, else empty
  EarlierFiles earlier;    ///< what an earlier run left in the output folder
};

/// The facts of the run that the page tells beside its settings: the command, and when it ended.
struct RunFacts {
  RunCommand command;
  std::string runTime;
};

/// The graphs over all criteria as the page draws them (indexed like graphNames): the DOT text of
/// each that the run wrote (empty for the others) and its arrows. A graph of more than kDrawAtMost
/// arrows is not read, which takes Graphviz a tenth of a second at thousands of arrows.
struct AllCriteriaGraphs {
  std::array<std::string, kGraphCount> texts;
  std::array<std::size_t, kGraphCount> arrows{};
};

/// What the page shows beside the record of the run.
struct PageContent {
  RunFacts facts;
  std::vector<PageCriterion> criteria;  ///< in the order of the criteria
  AllCriteriaGraphs allCriteria;
};

/// Writes one self-contained HTML page of a full run to `out` as it goes, lines ending in CR LF:
/// a one-line header, the answer first (the order of the works over all criteria where the record
/// holds it, the overview of the works under every criterion, a sentence per criterion), the facts
/// of the run folded, what each criterion found (record.findings), the data, per criterion the
/// main test's map and graph adjusted and every other test's folded, then the graphs over all
/// criteria folded, each drawn by Graphviz in process (graph_render). Names may hold any bytes:
/// the page is UTF-8, and a byte that is not is read as Latin-1, as Graphviz reads it, or shown
/// as U+FFFD where that would be a control character.
void writeHtmlReport(std::ostream& out, const PageContent& content, const RunRecord& record,
                     const DataSet& data);

/// The file form; fails as writeFile does. A graph that Graphviz cannot draw is a note on the
/// page, not a failure.
[[nodiscard]] Outcome writeHtmlReport(const std::string& fileName, const PageContent& content,
                                      const RunRecord& record, const DataSet& data);

}  // namespace brevox
