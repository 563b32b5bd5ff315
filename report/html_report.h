#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "data/data_set.h"
#include "report/findings.h"
#include "report/run_record.h"
#include "report/variants.h"
#include "stats/families.h"

namespace brevox {

/// What the page says about the run beyond what its criteria found.
struct PageFacts {
  std::string dataFile;      ///< the data file's name as typed; empty for the built-in data
  std::string sheetName;     ///< the sheet read when the data file is a workbook, else empty
  std::string optionText;    ///< the option string as typed; empty when none was given
  std::string runTime;       ///< when the run ended, as the page shows it
  FamilySet families;        ///< the families the run tested
  bool dottedEdges = false;  ///< results on too few cases drawn dotted
  /// The main and subordinate variants of the merged graphs, when the run drew them.
  std::optional<Variant> mergeMain;
  std::optional<Variant> mergeSub;
  /// The DOT text of each graph over all criteria the run wrote (indexed like graphNames), empty
  /// for the others.
  std::array<std::string, kGraphCount> allCriteriaGraphs;
  /// The arrows of each of those graphs, where known: one of more than kDrawAtMost is not read,
  /// which takes Graphviz a tenth of a second at thousands of arrows.
  std::array<std::size_t, kGraphCount> allCriteriaArrows{};
  /// What each criterion found over all its works, in the order of the criteria; where empty, the
  /// page finds it from the criteria's records.
  std::vector<CriterionFindings> findings;
};

/// Writes one self-contained HTML page of a full run: the facts of the run, the data, per
/// criterion a heat map of the p-values of each selected variant beside that variant's graph,
/// then the graphs over all criteria, each drawn by Graphviz in process (graph_render). Names may
/// hold any bytes: the page is UTF-8, and a byte that is not is read as Latin-1, as Graphviz reads
/// it, or shown as U+FFFD where that would be a control character.
void writeHtmlReport(std::ostream& out, const PageFacts& facts,
                     const std::vector<CriterionRecord>& criteria, const DataSet& data);

/// The file form: prints "Failed to open file " / "Failed to write file " and the name on `err`
/// and returns false when the page was not written completely. A graph that Graphviz cannot draw
/// is a note on the page, not a failure.
bool writeHtmlReport(const std::string& fileName, const PageFacts& facts,
                     const std::vector<CriterionRecord>& criteria, const DataSet& data,
                     std::ostream& err);

}  // namespace brevox
