#include "report/page_sink.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "io/number_text.h"
#include "report/findings.h"
#include "report/output_names.h"
#include "report/run_record.h"
#include "report/variants.h"

namespace brevox {

namespace {

/// What the page needs of the whole run, gathered criterion by criterion.
struct PageRecords {
  PageFacts facts;
  GraphChoice choice;
  const EdgeRecords& records;
  unsigned threads;
  std::ostream& err;
  std::optional<Variant> test;
  std::vector<CriterionRecord> criteria;
};

// The local date and time, as a reader writes them: "8 December 2026, 14:03".
std::string currentTime() {
  static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                        "May",       "June",     "July",     "August",
                                        "September", "October",  "November", "December"};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return "";
  char clock[8];
  std::snprintf(clock, sizeof clock, "%02d:%02d", local.tm_hour, local.tm_min);
  return std::to_string(local.tm_mday) + " " + kMonths[local.tm_mon % 12] + " " +
         std::to_string(local.tm_year + 1900) + ", " + clock;
}

void beginPageCriterion(PageRecords& page, std::uint32_t criterion, const DataSet& data) {
  CriterionRecord record;
  record.criterion = criterion;
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    if (!graphDrawn(page.choice, graph)) continue;
    record.graphs[graph] =
        criterionGraphHeader(graph, criterionShortName(data, criterion)) + kLineEnd;
  }
  page.criteria.push_back(std::move(record));
}

// The pair's results and its edges, as the criterion's graph files hold them.
void takePagePair(PageRecords& page, const PairResult& result, const DataSet& data) {
  if (!result.table) return;
  CriterionRecord& record = page.criteria.back();
  record.pairs.push_back({*result.table, result.outcomes});
  const PairEdges edges = pairEdges(result, page.choice);
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    if (!edges[graph] || !graphDrawn(page.choice, graph)) continue;
    record.graphs[graph] +=
        criterionEdgeLine(*result.table, *edges[graph], page.choice.dottedEdges, data) + kLineEnd;
  }
}

void endPageCriterion(PageRecords& page, const DataSet& data) {
  CriterionRecord& record = page.criteria.back();
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    if (graphDrawn(page.choice, graph)) record.graphs[graph] += std::string("}") + kLineEnd;
  }
  page.facts.findings.push_back(criterionFindings(record, data, page.test, page.threads));
}

bool writePage(PageRecords& page, const DataSet& data) {
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    if (!graphDrawn(page.choice, graph)) continue;
    std::ostringstream text;
    page.facts.allCriteriaArrows[graph] =
        writeAllCriteriaGraph(text, graphNames(graph).allCriteriaHeader, page.choice.dottedEdges,
                              page.records[graph], data, true);
    page.facts.allCriteriaGraphs[graph] = text.str();
  }
  page.facts.runTime = currentTime();
  return writeHtmlReport(pageFileName(), page.facts, page.criteria, data, page.err);
}

}  // namespace

Sink pageSink(const PageFacts& facts, const GraphChoice& choice, const EdgeRecords& records,
              unsigned threads, std::ostream& err) {
  auto page = std::make_shared<PageRecords>(PageRecords{
      facts, choice, records, threads, err, mainTest(facts.families, facts.mergeMain), {}});
  Sink sink;
  sink.beginCriterion = [page](std::uint32_t criterion, const DataSet& data) {
    beginPageCriterion(*page, criterion, data);
    return true;
  };
  sink.pair = [page](const PairResult& result, const DataSet& data) {
    takePagePair(*page, result, data);
    return true;
  };
  sink.endCriterion = [page](std::uint32_t, const DataSet& data) {
    endPageCriterion(*page, data);
    return true;
  };
  sink.endRun = [page](const DataSet& data) { return writePage(*page, data); };
  return sink;
}

}  // namespace brevox
