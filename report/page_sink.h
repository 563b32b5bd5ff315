#pragma once

#include <memory>

#include "report/dot_graph.h"
#include "report/html_report.h"
#include "report/output_sink.h"

namespace brevox {

/// The page of option H as an output of a full run: at each criterion's end it keeps the cells of
/// the criterion's maps and draws its graphs from the texts that the graphs' output fills into
/// `texts` (it hears of each criterion before the page), nothing of its pairs; when the run ends
/// it draws the graphs over all criteria from `records` (filled by the same output) and writes
/// the page (pageFileName) with the findings and the order of the record, `command`, which names
/// the run, and the time of the run's end.
Sink pageSink(const RunCommand& command, const EdgeRecords& records,
              std::shared_ptr<const CriterionGraphTexts> texts);

}  // namespace brevox
