#include "report/page_sink.h"

#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>
#include <utility>

#include "report/output_names.h"
#include "report/variants.h"

namespace brevox {

namespace {

/// What the page needs of the whole run, gathered criterion by criterion.
struct PageRecords {
  PageContent content;
  const EdgeRecords& records;
  std::shared_ptr<const CriterionGraphTexts> texts;
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

Outcome writePage(PageRecords& page, const RunRecord& record, const DataSet& data) {
  AllCriteriaGraphs& graphs = page.content.allCriteria;
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    if (!graphDrawn(record.settings, graph)) continue;
    std::ostringstream text;
    graphs.arrows[graph] =
        writeAllCriteriaGraph(text, graphNames(graph).allCriteriaHeader,
                              record.settings.dottedEdges, page.records[graph], data, true);
    graphs.texts[graph] = text.str();
  }
  page.content.facts.runTime = currentTime();
  return writeHtmlReport(pageFileName(), page.content, record, data);
}

}  // namespace

Sink pageSink(const RunCommand& command, const EdgeRecords& records,
              std::shared_ptr<const CriterionGraphTexts> texts) {
  auto page = std::make_shared<PageRecords>(PageRecords{{{command, ""}, {}, {}}, records, texts});
  Sink sink;
  sink.endCriterion = [page](const CriterionAnalysis& analysis, const RunRecord& record,
                             const DataSet& data) {
    page->content.criteria.push_back(pageCriterion(analysis, *page->texts, record.settings, data));
    return Failures{};
  };
  sink.endRun = [page](const RunRecord& record, const DataSet& data) {
    Failures failures;
    addFailure(failures, writePage(*page, record, data));
    return failures;
  };
  return sink;
}

}  // namespace brevox
