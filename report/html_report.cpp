#include "report/html_report.h"

#include <algorithm>
#include <cstdint>
#include <streambuf>

#include "io/number_text.h"
#include "io/output_file.h"
#include "report/colour_scale.h"
#include "report/findings_page.h"
#include "report/graph_render.h"
#include "report/markup.h"
#include "report/order_page.h"
#include "report/output_names.h"
#include "report/overview_page.h"
#include "report/page_front.h"
#include "report/page_text.h"
#include "report/style_sheet.h"

namespace brevox {

namespace {

// The graphs over all criteria in the order the page shows them: the main test's first, then the
// other symmetric tests and the merged graph, the binomial test's last.
std::vector<std::size_t> allCriteriaOrder(const RunSettings& settings) {
  std::vector<std::size_t> order;
  if (settings.mainTest) order.push_back(index(*settings.mainTest));
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    if (graph != index(Variant::binomial) && (order.empty() || graph != order.front())) {
      order.push_back(graph);
    }
  }
  if (order.front() != index(Variant::binomial)) order.push_back(index(Variant::binomial));
  return order;
}

void writeAllCriteria(Markup& page, const AllCriteriaGraphs& graphs, const RunSettings& settings,
                      const DataSet& data) {
  if (!anyAllCriteriaGraph(graphs)) return;
  page << "<section id=\"all-criteria\">\n<h2>All criteria</h2>\n<details class=\"variant\">"
          "<summary>The graphs over all criteria, unadjusted</summary>\n<p class=\"note\">Each "
          "test's own decisions, before any adjustment for the many pairs. An arrow is "
          "labelled with the numbers of the criteria under which the two works differ, in bold "
          "when there are several, <em>All</em> under every criterion";
  if (settings.dottedEdges) page << "; dotted arrows rest on too few cases";
  page << ". Criteria: ";
  for (const auto& [criterion, longName] : criterionLongNames(data)) {
    page << (criterion == 1 ? "" : "; ") << criterion << "&nbsp;" << Name{longName};
  }
  page << ".</p>\n";
  for (std::size_t graph : allCriteriaOrder(settings)) {
    const std::string& dot = graphs.texts[graph];
    if (dot.empty()) continue;
    const GraphNames& names = graphNames(graph);
    const std::string title =
        graph == kMergedGraph ? std::string("Merged graph") : kVariants[graph].pageTitle;
    page << "<figure class=\"test\" id=\"all-" << names.tag << "\"><figcaption><b>" << title
         << ", unadjusted,</b> all criteria.</figcaption>\n";
    GraphDrawing tooDense;
    tooDense.outcome = DrawingOutcome::tooDense;
    tooDense.arrows = tooDense.drawnArrows = graphs.arrows[graph];
    writeGraph(page, tooDense.arrows > kDrawAtMost ? tooDense : drawGraph(dot, false),
               allCriteriaGraphFileName(graph));
    page << "</figure>\n";
  }
  page << "</details>\n</section>\n";
}

void writeHead(Markup& page, const RunFacts& facts, const ColourScale& scale, const DataSet& data) {
  page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
       << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
       << "<meta name=\"generator\" content=\"brevox " << BREVOX_VERSION_MAJOR << "."
       << BREVOX_VERSION_MINOR << "\">\n<title>brevox: " << NameText{dataName(facts.command)}
       << "</title>\n<style>" << Raw{kPageStyle} << Raw{scaleStyle(scale, data.works.size())}
       << Raw{kGraphStyle} << Raw{kFindingsStyle} << Raw{kOrderStyle} << "</style>\n</head>\n"
       << "<body>\n";
}

// Every file of a run ends its lines with CR LF; the page's markup and Graphviz's drawings end
// theirs with LF, which this buffer turns into CR LF on their way to the file.
class LineEndBuffer : public std::streambuf {
 public:
  explicit LineEndBuffer(std::streambuf* file) : file_(file) {}

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    const char character = traits_type::to_char_type(c);
    if (character == '\n' && file_->sputc('\r') == traits_type::eof()) return traits_type::eof();
    return file_->sputc(character);
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    std::streamsize start = 0;
    for (std::streamsize at = 0; at < count; ++at) {
      if (text[at] != '\n') continue;
      if (file_->sputn(text + start, at - start) != at - start) return start;
      if (file_->sputn("\r\n", 2) != 2) return at;
      start = at + 1;
    }
    if (file_->sputn(text + start, count - start) != count - start) return start;
    return count;
  }

 private:
  std::streambuf* file_;
};

}  // namespace

void writeHtmlReport(std::ostream& file, const PageContent& content, const RunRecord& record,
                     const DataSet& data) {
  const RunSettings& settings = record.settings;
  double smallest = 1;
  for (const PageCriterion& criterion : content.criteria) {
    smallest = std::min(smallest, criterion.smallest);
  }
  const ColourScale scale = scaleReaching(smallest);
  LineEndBuffer lineEnds(file.rdbuf());
  std::ostream out(&lineEnds);
  Markup page{out};
  writeHead(page, content.facts, scale, data);
  writeHeader(page, settings, data);
  writeOrderSection(page, record, data);
  writeOverview(page, record, data);
  writeRunFacts(page, content, settings, data);
  writeFindingsSection(page, record.findings, data);
  writeDataTable(page, data);
  bool first = true;
  for (const PageCriterion& criterion : content.criteria) {
    if (first && !criterion.figures.empty()) {
      writeReading(page, scale, data);
      first = false;
    }
    writeCriterionSection(page, criterion, settings, scale, data);
  }
  writeAllCriteria(page, content.allCriteria, settings, data);
  page << "<footer>Written by brevox " << BREVOX_VERSION_MAJOR << "." << BREVOX_VERSION_MINOR
       << " on " << content.facts.runTime
       << " from the results of the run that wrote the summary tables <code>T_*.csv</code> and "
          "the graphs <code>graph*.gv</code> beside this page; the graphs were laid out by "
          "Graphviz.</footer>\n</body>\n</html>\n";
  out.flush();
}

Outcome writeHtmlReport(const std::string& fileName, const PageContent& content,
                        const RunRecord& record, const DataSet& data) {
  return writeFile(fileName,
                   [&](std::ostream& out) { writeHtmlReport(out, content, record, data); });
}

}  // namespace brevox
