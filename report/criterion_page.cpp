#include "report/criterion_page.h"

#include <set>
#include <utility>

#include "io/utf8.h"
#include "report/output_names.h"
#include "report/page_front.h"
#include "report/page_text.h"
#include "report/variants.h"

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
         << " arrows. An arrow from one work to another is left out where a chain of arrows, "
            "each as firm, leads from the first to the second; a chain alone does not mean that "
            "its ends differ: the map shows every pair.</p>";
  }
}

// Significant results of a variant that rest on too few cases: a graph without dotted arrows
// leaves them out.
std::size_t resultsLeftOut(const RunSettings& settings, const std::vector<PairOutcomes>& pairs,
                           Variant variant) {
  if (settings.dottedEdges) return 0;
  std::size_t count = 0;
  for (const PairOutcomes& record : pairs) {
    const std::optional<VariantOutcome>& outcome = record.outcomes[index(variant)];
    if (outcome && !outcome->undefined && outcome->flag == 1 && !outcome->valid) ++count;
  }
  return count;
}

// The graphs a criterion's section shows: the main test first, then the other symmetric tests,
// then the binomial test, then the merged graph where the run drew it.
std::vector<std::size_t> graphsInOrder(const RunSettings& settings, Variant test,
                                       const CriterionGraphTexts& graphs) {
  std::vector<std::size_t> order = {index(test)};
  for (const VariantDescriptor& variant : kVariants) {
    if (variant.variant != test && variant.variant != Variant::binomial && shown(settings, variant))
      order.push_back(index(variant.variant));
  }
  if (test != Variant::binomial && shown(settings, descriptor(Variant::binomial))) {
    order.push_back(index(Variant::binomial));
  }
  if (settings.mergeMain && settings.mergeSub && !graphs[kMergedGraph].empty()) {
    order.push_back(kMergedGraph);
  }
  return order;
}

// Every drawing of a criterion, one per graph of `order`, on one layout of its works; beyond
// kTableMapsUpTo works only the main test's.
std::vector<GraphDrawing> drawCriterion(const CriterionAnalysis& analysis,
                                        const CriterionGraphTexts& graphs,
                                        const std::vector<std::size_t>& order,
                                        const FirmPairs& firm, const DataSet& data) {
  const bool all = data.works.size() <= kTableMapsUpTo;
  std::vector<std::string> texts;
  for (std::size_t graph : order) {
    if (all || texts.empty()) texts.push_back(graphs[graph]);
  }
  std::set<std::uint32_t> works;
  for (const PairOutcomes& record : analysis.pairs) works.insert(record.pair.workA);
  std::vector<std::string> workNames;
  for (std::uint32_t work : works) workNames.push_back(workShortName(data, work));
  std::vector<GraphDrawing> drawings = drawGraphsTogether(texts, workNames, &firm);
  GraphDrawing omitted;
  omitted.outcome = DrawingOutcome::omitted;
  drawings.resize(order.size(), omitted);
  return drawings;
}

void writeCaption(Markup& page, const PageFigure& figure, const PageCriterion& criterion, bool main,
                  const RunSettings& settings) {
  const bool image = figure.map && figure.map->works > kTableMapsUpTo;
  page << "<figcaption><b>";
  if (figure.graph == kMergedGraph) {
    page << "Merged graph, unadjusted.</b> " << descriptor(*settings.mergeMain).pageTitle
         << " where its result rests on enough cases, otherwise "
         << descriptor(*settings.mergeSub).pageTitle << ".</figcaption>\n";
    return;
  }
  const VariantDescriptor& variant = kVariants[figure.graph];
  page << variant.pageTitle << (main ? ", adjusted." : ", unadjusted.") << "</b> ";
  if (main) {
    page << "Each pair's p-value before the adjustment; "
         << (image ? "the pairs that still differ once the p-values"
                   : "an outlined cell is a pair that still differs once the p-values")
         << " of the " << thousands(criterion.judgedPairs)
         << " pairs are adjusted by Holm's method, as the findings list them"
         << (image ? ", in full colour, the others faded" : "")
         << "; in the graph they are solid arrows, and a pair that differs only before the "
            "adjustment is dashed. ";
  } else {
    page << "Each pair's p-value and the test's own decision at the threshold, before any "
            "adjustment for the many pairs of the criterion. ";
  }
  if (descriptor(variant.family).bothOrders) {
    page << "The row work's occurrences against the column work's proportion: the test is "
            "not symmetric in the two works, so each pair is tested both ways and the map is "
            "a full square.";
  } else {
    page << "Symmetric in the two works: the lower triangle.";
  }
  page << "</figcaption>\n";
}

void writeFigure(Markup& page, const PageFigure& figure, const PageCriterion& criterion, bool main,
                 const RunSettings& settings, const ColourScale& scale, const DataSet& data) {
  const std::string shortName = criterionShortName(data, criterion.criterion);
  const bool merged = figure.graph == kMergedGraph;
  if (!main) {
    page << "<details class=\"variant\"><summary>"
         << (merged ? "Merged graph" : kVariants[figure.graph].pageTitle)
         << ", unadjusted</summary>\n";
  }
  page << "<figure class=\"test" << (main ? " main" : "") << "\" id=\"c" << criterion.criterion
       << "-" << graphNames(figure.graph).tag << "\">";
  writeCaption(page, figure, criterion, main, settings);
  page << "<div class=\"panels\">";
  if (figure.map) writeMap(page, scale, data, *figure.map, main);
  writeGraph(page, figure.drawing, criterionGraphFileName(figure.graph, shortName), figure.leftOut);
  page << "</div></figure>\n";
  if (!main) page << "</details>\n";
}

}  // namespace

PageCriterion pageCriterion(const CriterionAnalysis& analysis, const CriterionGraphTexts& graphs,
                            const RunSettings& settings, const DataSet& data) {
  PageCriterion criterion;
  criterion.criterion = analysis.criterion;
  const std::optional<Variant> test = settings.mainTest;
  if (!test) return criterion;
  criterion.firmPairs = analysis.findings.pairs.size();
  criterion.judgedPairs = analysis.findings.judgedPairs;
  WorkPairs firm;
  FirmPairs firmNames;
  for (const DifferingPair& pair : analysis.findings.pairs) {
    firm.insert(std::minmax(pair.first, pair.second));
    firmNames.insert(
        std::minmax(workShortName(data, pair.first), workShortName(data, pair.second)));
  }
  const std::vector<std::size_t> order = graphsInOrder(settings, *test, graphs);
  std::vector<GraphDrawing> drawings = drawCriterion(analysis, graphs, order, firmNames, data);
  const PairGrid grid = pairGrid(analysis.pairs, data.works.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    PageFigure figure;
    figure.graph = order[k];
    if (order[k] != kMergedGraph) {
      const Variant variant = kVariants[order[k]].variant;
      figure.map = mapCells(grid, variant, k == 0 ? firm : WorkPairs{});
      figure.leftOut = resultsLeftOut(settings, analysis.pairs, variant);
      criterion.smallest = std::min(criterion.smallest, figure.map->smallest);
    }
    figure.drawing = std::move(drawings[k]);
    criterion.figures.push_back(std::move(figure));
  }
  return criterion;
}

void writeGraph(Markup& page, const GraphDrawing& drawing, const std::string& fileName,
                std::size_t leftOut) {
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
    case DrawingOutcome::omitted:
      page << "<p class=\"note\">Not drawn: with more than " << kTableMapsUpTo
           << " works the page draws the main test's graph alone. This one is in <code>"
           << Name{fileName} << "</code>.</p>";
      break;
  }
  page << "</div>\n";
}

void writeCriterionSection(Markup& page, const PageCriterion& criterion,
                           const RunSettings& settings, const ColourScale& scale,
                           const DataSet& data) {
  const std::uint32_t number = criterion.criterion;
  page << "<section id=\"criterion-" << number << "\" class=\"criterion\">\n<h2><span class=\"no\">"
       << number << "</span>" << Name{criterionLongName(data, number)} << "<span class=\"short\">"
       << Name{criterionShortName(data, number)} << "</span></h2>\n<p class=\"direction\">"
       << directionText(direction(data, number)) << "</p>\n";
  if (criterion.figures.empty()) {
    page << "<p class=\"note\">No test was run.</p>\n</section>\n";
    return;
  }
  for (std::size_t k = 0; k < criterion.figures.size(); ++k) {
    writeFigure(page, criterion.figures[k], criterion, k == 0, settings, scale, data);
  }
  page << "</section>\n";
}

}  // namespace brevox
