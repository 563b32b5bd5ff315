#include "report/page_front.h"

#include <algorithm>
#include <cmath>

#include "io/number_text.h"
#include "report/findings_page.h"
#include "report/page_text.h"
#include "report/variants.h"
#include "stats/families.h"

namespace brevox {

namespace {

std::string testsRun(const RunSettings& settings) {
  std::string words;
  for (const FamilyDescriptor& family : kFamilies) {
    if (!settings.families[family.family]) continue;
    if (!words.empty()) words += "; ";
    words += family.pageWords;
  }
  return words.empty() ? "none" : words;
}

std::string directionMark(std::int32_t direction) {
  return direction > 0 ? "\xE2\x86\x91 " : direction < 0 ? "\xE2\x86\x93 " : "";
}

// 10 to a negative whole power, as the legend writes it. Markup.
std::string powerOfTen(int exponent) {
  if (exponent == 0) return "1";
  if (exponent >= -2) return exponent == -1 ? "0.1" : "0.01";
  return "10<sup>\xE2\x88\x92" + std::to_string(-exponent) + "</sup>";
}

// The bar of the colour scale: a step per decade, the threshold marked above it, the decades
// named below it.
void writeScaleBar(Markup& page, const ColourScale& scale, double threshold) {
  page << "<div class=\"bar\" aria-label=\"colour scale of the p-values\">";
  const double stepWidth = 2.2;  // rem, as the style sets it
  if (threshold > 0 && threshold <= 1) {
    const double at = std::min(-std::log10(threshold), static_cast<double>(scale.steps));
    page << "<span class=\"threshold\" style=\"left:" << printed("%.2f", at * stepWidth)
         << "rem\">threshold " << formatDouble(threshold) << "<br>\xE2\x96\xBE</span>";
  }
  page << "<div class=\"steps\">";
  for (int step = 0; step < scale.steps; ++step) {
    const std::string upper = printed("%g", std::pow(10.0, -step));
    page << "<span class=\"" << cellClassOfStep(step, false) << "\" title=\"p "
         << (step + 1 < scale.steps
                 ? "from " + printed("%g", std::pow(10.0, -step - 1)) + " to below " + upper
                 : "below " + upper)
         << "\"></span>";
  }
  page << "</div>";
  // Every decade is named while they fit; beyond, every other one.
  const int every = scale.steps > 9 ? 2 : 1;
  for (int step = 0; step < scale.steps; step += every) {
    page << "<span class=\"tick\" style=\"left:" << printed("%.2f", step * stepWidth) << "rem\">"
         << Raw{powerOfTen(-step)} << "</span>";
  }
  page << "</div>\n";
}

void writeLegend(Markup& page, const ColourScale& scale, double threshold) {
  page << "<div class=\"legend\">";
  writeScaleBar(page, scale, threshold);
  page << "<ul class=\"marks\">"
       << "<li><span class=\"cell " << cellClassOfStep(scale.steps - 1, true)
       << "\"></span>significant difference at the threshold (the test's own "
          "decision, unadjusted)</li>"
       << "<li><span class=\"cell o " << cellClassOfStep(scale.steps - 1, true)
       << "\"></span>the main test: still differs once the p-values are adjusted</li>"
       << "<li><span class=\"cell " << cellClassOfStep(0, false)
       << "\">*</span>too few cases: a work has fewer than 5, or a "
          "chi-square test has too small an expected count</li>"
       << "<li><span class=\"cell " << kInvalidClass
       << "\"></span>INVALID: a chi-square test with an expected count of 0</li>"
       << "<li><span class=\"cell " << kSameWorkClass << "\"></span>the same work</li>"
       << "<li><span class=\"cell " << kNoCasesClass
       << "\"></span>a work without cases: not tested</li>"
       << "</ul></div>\n";
}

// The facts of the run's graphs, where it drew dotted arrows or merged graphs.
void writeGraphFacts(Markup& page, const RunSettings& settings) {
  const bool merged = settings.mergeMain && settings.mergeSub;
  if (!settings.dottedEdges && !merged) return;
  page << "<dt>Graphs</dt><dd>";
  if (settings.dottedEdges) {
    page << "results on too few cases drawn as dotted arrows";
    if (merged) page << "; ";
  }
  if (merged) {
    page << "merged graphs of " << descriptor(*settings.mergeMain).pageTitle << " (main) and "
         << descriptor(*settings.mergeSub).pageTitle << " (subordinate)";
  }
  page << "</dd>\n";
}

// The numbered names of the works or the criteria, as the facts list them.
template <typename Names>
void writeNumberedNames(Markup& page, const Names& longNames) {
  for (const auto& [number, longName] : longNames) {
    page << (number == 1 ? "" : ", ") << number << "&nbsp;" << Name{longName};
  }
}

void writeFacts(Markup& page, const RunFacts& facts, const RunSettings& settings,
                const DataSet& data) {
  const RunCommand& command = facts.command;
  page << "<dl class=\"facts\">\n<dt>Data</dt><dd>";
  if (command.dataFile.empty()) {
    page << "built-in data";
  } else {
    page << "<code>" << Name{command.dataFile} << "</code>";
  }
  if (!command.sheetName.empty()) page << ", sheet <code>" << Name{command.sheetName} << "</code>";
  if (command.earlier.count > 0) {
    page << "</dd>\n<dt>Earlier run</dt><dd>" << command.earlier.count
         << (command.earlier.count == 1 ? " file" : " files")
         << " of an earlier run, not written by this run, in the folder: ";
    for (const std::string& name : command.earlier.firstNames) {
      page << (&name == &command.earlier.firstNames.front() ? "" : ", ") << "<code>" << Name{name}
           << "</code>";
    }
    if (command.earlier.count > command.earlier.firstNames.size()) page << ", ...";
  }
  page << "</dd>\n<dt>Date</dt><dd>" << facts.runTime << "</dd>\n<dt>Threshold</dt><dd>"
       << formatDouble(data.threshold) << "</dd>\n<dt>Options</dt><dd>";
  if (command.optionText.empty()) {
    page << "none";
  } else {
    page << "<code>" << command.optionText << "</code>";
  }
  page << "</dd>\n<dt>Tests</dt><dd>" << testsRun(settings) << "</dd>\n";
  writeGraphFacts(page, settings);
  page << "<dt>Works</dt><dd>";
  writeNumberedNames(page, workLongNames(data));
  page << "</dd>\n<dt>Criteria</dt><dd>";
  writeNumberedNames(page, criterionLongNames(data));
  page << "</dd>\n</dl>\n";
}

}  // namespace

bool anyAllCriteriaGraph(const AllCriteriaGraphs& graphs) {
  return std::any_of(graphs.texts.begin(), graphs.texts.end(),
                     [](const std::string& dot) { return !dot.empty(); });
}

std::string dataName(const RunCommand& command) {
  return command.dataFile.empty() ? "built-in data" : command.dataFile;
}

std::string directionText(std::int32_t direction) {
  if (direction > 0) {
    return "Ordered upwards: an arrow points to the work with the larger proportion of "
           "occurrences.";
  }
  if (direction < 0) {
    return "Ordered downwards: an arrow points to the work with the smaller proportion of "
           "occurrences.";
  }
  return "No direction of ordering: an arrow points from the row work to the column work.";
}

void writeHeader(Markup& page, const RunSettings& settings, const DataSet& data) {
  page << "<header>\n<p class=\"kicker\">brevox " << BREVOX_VERSION_MAJOR << "."
       << BREVOX_VERSION_MINOR << " \xC2\xB7 report of a full run</p>\n<h1>" << data.works.size()
       << " works under " << data.criteria.size()
       << (data.criteria.size() == 1 ? " criterion" : " criteria")
       << ", compared at p&nbsp;&lt;&nbsp;" << formatDouble(data.threshold);
  if (settings.mainTest) {
    page << " by <b>" << mainTestTitle(*settings.mainTest)
         << "</b>, adjusted by <b>Holm's method</b>";
  } else {
    page << ", no test between pairs";
  }
  page << "</h1>\n</header>\n";
}

void writeRunFacts(Markup& page, const PageContent& content, const RunSettings& settings,
                   const DataSet& data) {
  page << "<details class=\"run\"><summary>The run: data, date, threshold, options, tests, works "
          "and criteria</summary>\n";
  writeFacts(page, content.facts, settings, data);
  page << "</details>\n<nav><ol><li><a href=\"#findings\">What the run found</a></li>"
       << "<li><a href=\"#data\">Data</a></li>";
  for (const PageCriterion& criterion : content.criteria) {
    page << "<li><a href=\"#criterion-" << criterion.criterion << "\">" << criterion.criterion
         << "&nbsp;" << Name{criterionLongName(data, criterion.criterion)} << "</a></li>";
  }
  if (anyAllCriteriaGraph(content.allCriteria))
    page << "<li><a href=\"#all-criteria\">All criteria</a></li>";
  page << "</ol></nav>\n";
}

void writeReading(Markup& page, const ColourScale& scale, const DataSet& data) {
  page << "<aside id=\"reading\" class=\"reading\">\n<h3>How to read the maps and graphs</h3>\n"
       << "<p>For every test the run made, a map shows the p-value of each pair of works, the "
          "row work against the column work, works in the order of the data and named by their "
          "short names (hover for the long name); the darker the cell, the smaller the p-value, "
          "one colour step per decade; with 12 works or fewer the cell also prints it. The main "
          "test comes first and says which pairs still differ once its p-values are adjusted for "
          "the many pairs of the criterion: an outlined cell, a solid arrow. Every other test is "
          "folded under its name and shows its own decisions, <em>unadjusted</em>: click the "
          "name to open it. A dot marks a pair that the test finds significantly different at "
          "the threshold of the data, "
       << formatDouble(data.threshold)
       << ", before any adjustment; a star, as in the summary files, a result that rests on too "
          "few cases. The binomial test sets the row work's occurrences against the column "
          "work's proportion, so its map is a full square; the other tests are symmetric and "
          "fill the lower triangle. Beside each map is the same test's graph: an arrow joins two "
          "works that differ significantly and points in the direction of the criterion; a work "
          "stands at the same place in every graph of its criterion. A graph of many arrows is "
          "drawn without those that follow from a chain of others; its map shows every "
          "pair.</p>\n";
  writeLegend(page, scale, data.threshold);
  page << "</aside>\n";
}

void writeDataTable(Markup& page, const DataSet& data) {
  page << "<section id=\"data\">\n<h2>Data</h2>\n<p class=\"note\">Occurrences of each "
          "criterion's feature out of the cases in which it could occur, and their proportion; "
          "\xE2\x86\x91: ordered upwards; \xE2\x86\x93: downwards.</p>\n"
       << "<div class=\"scroll\"><table class=\"data\">\n<thead><tr><th>No.</th>"
       << "<th class=\"name\">Work</th><th class=\"name\">Short name</th>";
  for (const auto& [criterion, shortName] : criterionShortNames(data)) {
    page << "<th colspan=\"2\">" << Name{criterionLongName(data, criterion)} << "<small>"
         << directionMark(direction(data, criterion)) << Name{shortName} << "</small></th>";
  }
  page << "</tr></thead>\n<tbody>\n";
  for (const auto& [work, shortName] : workShortNames(data)) {
    page << "<tr><td>" << work << "</td><td class=\"name\">" << Name{workLongName(data, work)}
         << "</td><td class=\"name\">" << Name{shortName} << "</td>";
    for (const auto& entry : criterionShortNames(data)) {
      const CountPair counts = countPair(data, work, entry.first);
      page << "<td>" << counts.observed << "/" << counts.total << "</td><td class=\"share\">"
           << (counts.total == 0 ? std::string("\xE2\x80\x93")
                                 : printed("%.3f", static_cast<double>(counts.observed) /
                                                       static_cast<double>(counts.total)))
           << "</td>";
    }
    page << "</tr>\n";
  }
  page << "</tbody></table></div>\n</section>\n";
}

}  // namespace brevox
