#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/run_record.h"
#include "data/data_set.h"
#include "report/colour_scale.h"
#include "report/html_report.h"
#include "report/markup.h"

namespace brevox {

/// Whether the run wrote a graph over all criteria, which the page then shows at its end.
bool anyAllCriteriaGraph(const AllCriteriaGraphs& graphs);

/// The data file's name as the page's title shows it, or "built-in data".
std::string dataName(const RunCommand& command);

/// How a criterion's direction of ordering turns the arrows of its graphs, in a sentence.
std::string directionText(std::int32_t direction);

/// The page's header, one line: what the run compared, the threshold, the main test and its
/// adjustment.
void writeHeader(Markup& page, const RunSettings& settings, const DataSet& data);

/// The facts of the run (data, date, threshold, options, tests, graphs, works, criteria), folded,
/// and the contents.
void writeRunFacts(Markup& page, const PageContent& content, const RunSettings& settings,
                   const DataSet& data);

/// How to read the maps and graphs, with the legend of the colour scale and of the marks, beside
/// the first map it explains.
void writeReading(Markup& page, const ColourScale& scale, const DataSet& data);

/// The section "Data": each work's occurrences and cases under each criterion, and their share.
void writeDataTable(Markup& page, const DataSet& data);

}  // namespace brevox
