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

/// The page's header: what the run compared, its facts (data, date, threshold, options, tests,
/// graphs, works, criteria) and the contents.
void writeHeader(Markup& page, const PageContent& content, const RunSettings& settings,
                 const DataSet& data);

/// The section "How to read this page", with the legend of the colour scale and of the marks.
void writeReading(Markup& page, const ColourScale& scale, const DataSet& data);

/// The section "Data": each work's occurrences and cases under each criterion, and their share.
void writeDataTable(Markup& page, const DataSet& data);

}  // namespace brevox
