#pragma once

#include <ostream>

#include "report/dot_graph.h"
#include "report/html_report.h"
#include "report/output_sink.h"

namespace brevox {

/// The page of option H as an output of a full run: it keeps what every criterion found (its
/// tested pairs, the text of each graph that `choice` draws and the findings of the main test,
/// computed on `threads` threads) and, when the run ends, draws the graphs over all criteria from
/// `records` (filled by the graphs' output, which hears of each pair before it) and writes
/// the page (pageFileName) with `facts`, which name the run, and the time of the run's end.
Sink pageSink(const PageFacts& facts, const GraphChoice& choice, const EdgeRecords& records,
              unsigned threads, std::ostream& err);

}  // namespace brevox
