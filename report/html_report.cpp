#include "report/html_report.h"

#include <cstdint>
#include <set>
#include <sstream>

#include "io/number_text.h"
#include "io/output_file.h"
#include "io/utf8.h"
#include "report/colour_scale.h"
#include "report/findings_page.h"
#include "report/graph_render.h"
#include "report/heat_map.h"
#include "report/markup.h"
#include "report/output_names.h"
#include "report/page_front.h"
#include "report/page_text.h"
#include "report/style_sheet.h"

namespace brevox {

namespace {

// The note that a graph without dotted arrows leaves out `leftOut` significant results, or an
// empty text.
std::string leftOutNote(std::size_t leftOut) {
  if (leftOut == 0) return std::string();
  return " " + thousands(leftOut) +
         (leftOut == 1 ? " significant result rests" : " significant results rest") +
         " on too few cases and " + (leftOut == 1 ? "is" : "are") + " left out; option N draws " +
         (leftOut == 1 ? "it" : "them") + " as dotted arrows.";
}

void writeDrawing(Markup& page, const GraphDrawing& drawing, std::size_t leftOut) {
  const std::string note = leftOutNote(leftOut);
  if (drawing.arrows == 0) {
    page << "<p class=\"note\">";
    if (leftOut == 0) {
      page << "No pair differs significantly: the graph has no arrow.";
    } else {
      page << "The graph has no arrow:" << note;
    }
    page << "</p>";
    return;
  }
  // Graphviz's drawing is markup; the works' names in it are well formed already, and the rest
  // of the bytes Graphviz wrote are made so.
  page << Raw{wellFormed(drawing.svg)};
  if (leftOut > 0) page << "<p class=\"note\">" << note.substr(1) << "</p>";
  if (drawing.drawnArrows < drawing.arrows) {
    page << "<p class=\"note\">Drawn without the arrows that follow from others: "
         << thousands(drawing.drawnArrows) << " of " << thousands(drawing.arrows)
         << " arrows. An arrow from one work to another is left out where a chain of arrows "
            "leads from the first to the second; a chain alone does not mean that its ends "
            "differ: the map shows every pair.</p>";
  }
}

// The drawing of a graph, or the note that stands in its place.
void writeGraph(Markup& page, const GraphDrawing& drawing, const std::string& fileName,
                std::size_t leftOut = 0) {
  page << "<div class=\"graph\">";
  switch (drawing.outcome) {
    case DrawingOutcome::drawn:
      writeDrawing(page, drawing, leftOut);
      break;
    case DrawingOutcome::tooDense:
      page << "<p class=\"note\">Not drawn: " << thousands(drawing.drawnArrows)
           << " arrows are more than a drawing can show (at most " << kDrawAtMost
           << "). The graph is in <code>" << Name{fileName} << "</code>.</p>";
      break;
    case DrawingOutcome::failed:
      page << "<p class=\"note failed\">Graphviz could not draw this graph (<code>"
           << Name{fileName} << "</code>): " << Name{drawing.message} << "</p>";
      break;
  }
  page << "</div>\n";
}

// Significant results of a variant that rest on too few cases: a graph without dotted arrows
// leaves them out.
std::size_t resultsLeftOut(const RunSettings& settings, const PageCriterion& criterion,
                           Variant variant) {
  if (settings.dottedEdges) return 0;
  std::size_t count = 0;
  for (const PairOutcomes& record : criterion.pairs) {
    const std::optional<VariantOutcome>& outcome = record.outcomes[index(variant)];
    if (outcome && !outcome->undefined && outcome->flag == 1 && !outcome->valid) ++count;
  }
  return count;
}

void writeVariantFigure(Markup& page, const RunSettings& settings, const ColourScale& scale,
                        const DataSet& data, const PairIndex& pairs, const PageCriterion& criterion,
                        const VariantDescriptor& variant, const GraphDrawing& drawing) {
  const std::uint32_t number = criterion.criterion;
  const std::size_t graph = index(variant.variant);
  page << "<figure class=\"test\" id=\"c" << number << "-" << variant.graph.tag
       << "\"><figcaption><b>" << variant.pageTitle << ".</b> ";
  if (descriptor(variant.family).bothOrders) {
    page << "The row work's occurrences against the column work's proportion: the test is "
            "not symmetric in the two works, so each pair is tested both ways and the map is "
            "a full square.";
  } else {
    page << "Symmetric in the two works: the lower triangle.";
  }
  page << "</figcaption>\n<div class=\"panels\">";
  writeMap(page, scale, data, pairs, variant);
  writeGraph(page, drawing, criterionGraphFileName(graph, criterionShortName(data, number)),
             resultsLeftOut(settings, criterion, variant.variant));
  page << "</div></figure>\n";
}

// The variants a criterion's section shows: the main test first, then the other symmetric
// tests, then the binomial test.
std::vector<Variant> variantsInOrder(const RunSettings& settings, Variant test) {
  std::vector<Variant> order = {test};
  for (const VariantDescriptor& variant : kVariants) {
    if (variant.variant != test && variant.variant != Variant::binomial && shown(settings, variant))
      order.push_back(variant.variant);
  }
  if (test != Variant::binomial && shown(settings, descriptor(Variant::binomial))) {
    order.push_back(Variant::binomial);
  }
  return order;
}

// Every drawing of a criterion, on one layout of its works: one per variant of `order`, then the
// merged graph's when `merged`.
std::vector<GraphDrawing> drawCriterion(const DataSet& data, const PageCriterion& criterion,
                                        const std::vector<Variant>& order, bool merged) {
  std::vector<std::string> texts;
  for (Variant variant : order) texts.push_back(criterion.graphs[index(variant)]);
  if (merged) texts.push_back(criterion.graphs[kMergedGraph]);
  std::set<std::uint32_t> works;
  for (const PairOutcomes& record : criterion.pairs) works.insert(record.pair.workA);
  std::vector<std::string> workNames;
  for (std::uint32_t work : works) workNames.push_back(workShortName(data, work));
  return drawGraphsTogether(texts, workNames);
}

void writeMergedFigure(Markup& page, const RunSettings& settings, const PageCriterion& criterion,
                       const std::string& shortName, const GraphDrawing& drawing) {
  page << "<details class=\"variant\"><summary>Merged graph</summary>\n<figure class=\"test\" "
       << "id=\"c" << criterion.criterion << "-" << kMergedGraphNames.tag
       << "\"><figcaption><b>Merged graph.</b> " << descriptor(*settings.mergeMain).pageTitle
       << " where its result rests on enough cases, otherwise "
       << descriptor(*settings.mergeSub).pageTitle << ".</figcaption>\n<div class=\"panels\">";
  writeGraph(page, drawing, criterionGraphFileName(kMergedGraph, shortName));
  page << "</div></figure>\n</details>\n";
}

void writeCriterion(Markup& page, const RunSettings& settings, const ColourScale& scale,
                    const DataSet& data, const PageCriterion& criterion) {
  const std::uint32_t number = criterion.criterion;
  const std::string& shortName = criterionShortName(data, number);
  page << "<section id=\"criterion-" << number << "\" class=\"criterion\">\n<h2><span class=\"no\">"
       << number << "</span>" << Name{criterionLongName(data, number)} << "<span class=\"short\">"
       << Name{shortName} << "</span></h2>\n<p class=\"direction\">"
       << directionText(direction(data, number)) << "</p>\n";
  PairIndex pairs;
  for (const PairOutcomes& record : criterion.pairs) {
    pairs[{record.pair.workA, record.pair.workB}] = &record;
  }
  const std::optional<Variant> test = settings.mainTest;
  if (!test) {
    page << "<p class=\"note\">No test was run.</p>\n</section>\n";
    return;
  }
  const std::vector<Variant> order = variantsInOrder(settings, *test);
  const bool merged =
      settings.mergeMain && settings.mergeSub && !criterion.graphs[kMergedGraph].empty();
  const std::vector<GraphDrawing> drawings = drawCriterion(data, criterion, order, merged);
  for (std::size_t k = 0; k < order.size(); ++k) {
    // Every test but the main one folded under its name.
    const bool folded = order[k] != *test;
    if (folded) {
      page << "<details class=\"variant\"><summary>" << descriptor(order[k]).pageTitle
           << "</summary>\n";
    }
    writeVariantFigure(page, settings, scale, data, pairs, criterion, descriptor(order[k]),
                       drawings[k]);
    if (folded) page << "</details>\n";
  }
  if (merged) writeMergedFigure(page, settings, criterion, shortName, drawings.back());
  page << "</section>\n";
}

void writeAllCriteria(Markup& page, const AllCriteriaGraphs& graphs, const RunSettings& settings,
                      const DataSet& data) {
  if (!anyAllCriteriaGraph(graphs)) return;
  page << "<section id=\"all-criteria\">\n<h2>All criteria</h2>\n<p class=\"note\">An arrow is "
          "labelled with the numbers of the criteria under which the two works differ, in bold "
          "when there are several, <em>All</em> under every criterion";
  if (settings.dottedEdges) page << "; dotted arrows rest on too few cases";
  page << ". Criteria: ";
  for (const auto& [criterion, longName] : criterionLongNames(data)) {
    page << (criterion == 1 ? "" : "; ") << criterion << "&nbsp;" << Name{longName};
  }
  page << ".</p>\n";
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    const std::string& dot = graphs.texts[graph];
    if (dot.empty()) continue;
    const GraphNames& names = graphNames(graph);
    const std::string title =
        graph == kMergedGraph ? std::string("Merged graph") : kVariants[graph].pageTitle;
    page << "<figure class=\"test\" id=\"all-" << names.tag << "\"><figcaption><b>" << title
         << ",</b> all criteria.</figcaption>\n";
    GraphDrawing tooDense;
    tooDense.outcome = DrawingOutcome::tooDense;
    tooDense.arrows = tooDense.drawnArrows = graphs.arrows[graph];
    writeGraph(page, tooDense.arrows > kDrawAtMost ? tooDense : drawGraph(dot, false),
               allCriteriaGraphFileName(graph));
    page << "</figure>\n";
  }
  page << "</section>\n";
}

void writeHead(Markup& page, const RunFacts& facts, const ColourScale& scale, const DataSet& data) {
  page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
       << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
       << "<meta name=\"generator\" content=\"brevox " << BREVOX_VERSION_MAJOR << "."
       << BREVOX_VERSION_MINOR << "\">\n<title>brevox: " << NameText{dataName(facts.command)}
       << "</title>\n<style>" << Raw{kPageStyle} << Raw{scaleStyle(scale, data.works.size())}
       << Raw{kGraphStyle} << Raw{kFindingsStyle} << "</style>\n</head>\n<body>\n";
}

// Every file of a run ends its lines with CR LF; Graphviz's drawings end theirs with LF.
void writeWithLineEnds(std::ostream& file, const std::string& page) {
  std::size_t start = 0;
  for (std::size_t end = page.find('\n'); end != std::string::npos; end = page.find('\n', start)) {
    file.write(page.data() + start, static_cast<std::streamsize>(end - start));
    file << kLineEnd;
    start = end + 1;
  }
  file.write(page.data() + start, static_cast<std::streamsize>(page.size() - start));
}

}  // namespace

void writeHtmlReport(std::ostream& file, const PageContent& content, const RunRecord& record,
                     const DataSet& data) {
  const RunSettings& settings = record.settings;
  const ColourScale scale = scaleOf(settings, content.criteria);
  std::ostringstream out;
  Markup page{out};
  writeHead(page, content.facts, scale, data);
  writeHeader(page, content, settings, data);
  writeFindingsSection(out, record.findings, data);
  writeReading(page, scale, data);
  writeDataTable(page, data);
  for (const PageCriterion& criterion : content.criteria) {
    writeCriterion(page, settings, scale, data, criterion);
  }
  writeAllCriteria(page, content.allCriteria, settings, data);
  page << "<footer>Written by brevox " << BREVOX_VERSION_MAJOR << "." << BREVOX_VERSION_MINOR
       << " on " << content.facts.runTime
       << " from the results of the run that wrote the summary tables <code>T_*.csv</code> and "
          "the graphs <code>graph*.gv</code> beside this page; the graphs were laid out by "
          "Graphviz.</footer>\n</body>\n</html>\n";
  writeWithLineEnds(file, out.str());
}

Outcome writeHtmlReport(const std::string& fileName, const PageContent& content,
                        const RunRecord& record, const DataSet& data) {
  return writeFile(fileName,
                   [&](std::ostream& out) { writeHtmlReport(out, content, record, data); });
}

}  // namespace brevox
