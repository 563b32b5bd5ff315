#include "report/html_report.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "io/number_text.h"
#include "io/output_file.h"
#include "report/findings.h"
#include "report/findings_page.h"
#include "report/graph_render.h"
#include "report/page_text.h"

namespace brevox {

namespace {

// With more works than this a cell's hover text is its p-value alone: naming the pair in each of
// the thousands of cells would make the page several times larger.
constexpr std::size_t kNamedCellsUpTo = 30;

// With this many works or fewer a cell also prints its p-value, so that a printed page holds it.
constexpr std::size_t kNumberedCellsUpTo = 12;

// The colour scale has one step per decade of the p-value, from 1 down to 10^-(steps-1) and
// below; at most this many, so that neighbouring steps stay apart.
constexpr int kMostSteps = 16;
constexpr int kFewestSteps = 3;
static_assert(kMostSteps <= 'u' - 'a', "a step's class would be the class of another cell");

// ColorBrewer's YlGnBu: pale for p-values near 1, deep blue for the smallest.
constexpr std::array<std::array<int, 3>, 9> kPalette = {{{255, 255, 217},
                                                         {237, 248, 177},
                                                         {199, 233, 180},
                                                         {127, 205, 187},
                                                         {65, 182, 196},
                                                         {29, 145, 192},
                                                         {34, 94, 168},
                                                         {37, 52, 148},
                                                         {8, 29, 88}}};

const char* const kStyle = R"(
:root{--ink:#1c1c1c;--muted:#5b5b5b;--hair:#cfcfc8;--paper:#fff;--accent:#1f4e79}
html{background:var(--paper)}
body{margin:0 auto;max-width:74rem;padding:2.5rem 2rem 4rem;color:var(--ink);
font:16px/1.5 Charter,"Bitstream Charter","Sitka Text",Cambria,"Iowan Old Style",
"Palatino Linotype",Palatino,Georgia,"Liberation Serif","Times New Roman",serif;
font-variant-numeric:lining-nums}
a{color:var(--accent);text-decoration:none}a:hover{text-decoration:underline}
h1{font-size:2.1rem;font-weight:normal;line-height:1.15;margin:.1rem 0 .6rem}
h2{font-size:1.45rem;font-weight:normal;margin:3rem 0 .4rem;padding-top:.6rem;
border-top:1.5px solid var(--ink)}
h2 .no{color:var(--muted);margin-right:.4rem}
.short,.kicker,.note,figcaption,.facts dt,.legend,footer{font-size:.9rem}
.short{color:var(--muted);font-variant:small-caps;letter-spacing:.03em;margin-left:.5rem}
.kicker{font-variant:small-caps;letter-spacing:.1em;color:var(--muted);margin:0}
.lede{font-size:1.1rem;margin:.2rem 0 1.2rem;max-width:46rem}
.facts{display:grid;grid-template-columns:max-content 1fr;gap:.15rem 1.2rem;margin:0 0 1.2rem;
max-width:60rem}
.facts dt{font-variant:small-caps;letter-spacing:.05em;color:var(--muted);padding-top:.1rem}
.facts dd{margin:0}
code{font-family:"DejaVu Sans Mono",Menlo,Consolas,monospace;font-size:.85em}
nav ol{display:flex;flex-wrap:wrap;gap:.2rem 1.4rem;list-style:none;padding:.5rem 0;margin:0;
border-top:.75px solid var(--hair);border-bottom:.75px solid var(--hair)}
.reading p{max-width:46rem;hyphens:auto}
.direction{margin:.1rem 0 .8rem;color:var(--muted)}
.scroll{overflow-x:auto;max-width:100%}
table.data{border-collapse:collapse;font-size:.85rem;border-top:1.5px solid var(--ink);
border-bottom:1.5px solid var(--ink);font-variant-numeric:tabular-nums lining-nums}
table.data th,table.data td{padding:.2rem .55rem;vertical-align:bottom;white-space:nowrap}
table.data thead th{border-bottom:.75px solid var(--ink);font-weight:normal;text-align:right;
padding-right:1rem}
table.data thead th.name{text-align:left}
table.data td{text-align:right;white-space:nowrap}
table.data td.name{text-align:left}
table.data td.share{color:var(--muted);padding-left:.2rem;padding-right:1rem}
table.data small{display:block;color:var(--muted);font-variant:small-caps}
figure{margin:1.4rem 0 2.2rem;break-inside:avoid}
figcaption{color:var(--muted);margin-bottom:.5rem;max-width:52rem}
figcaption b{color:var(--ink);font-weight:600}
.panels{display:flex;flex-wrap:wrap;gap:1.2rem 2.5rem;align-items:flex-start}
.graph{flex:1 1 22rem;min-width:0;max-width:100%}
.graph svg{max-width:100%;height:auto;display:block}
.note{color:var(--muted);font-style:italic;max-width:40rem}
.failed{color:#8b1a1a;font-style:normal}
table.map{color:var(--ink);border-collapse:collapse;font:var(--glyph)/1 "DejaVu Sans",Arial,sans-serif;
table-layout:fixed}
table.map td{width:var(--cell);height:var(--cell);min-width:var(--cell);padding:0;
text-align:center;vertical-align:middle;border:1px solid var(--paper)}
table.map th{font:.8rem/1.1 Charter,"Liberation Serif",Georgia,serif;font-weight:normal;
white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
table.map tbody th{text-align:right;padding-right:.4rem;max-width:11rem}
table.map thead th{vertical-align:bottom;padding:0 0 .3rem}
table.map thead th span{writing-mode:vertical-rl;transform:rotate(180deg);max-height:8rem;
overflow:hidden;text-overflow:ellipsis;display:inline-block}
table.map tr:hover th{color:var(--accent)}
table.map td:hover{outline:2px solid var(--ink);outline-offset:-1px}
.x{background:#e6e6e1}
.z{background:repeating-linear-gradient(135deg,#d4d4ce 0 1px,var(--paper) 1px 3.5px)}
.u{background:repeating-linear-gradient(45deg,#b9b9b2 0 1.5px,var(--paper) 1.5px 4px)}
.w{background:#e6e6e1}
.legend{display:flex;flex-wrap:wrap;gap:.8rem 3rem;align-items:flex-start;margin:.8rem 0 1rem}
.bar{position:relative;padding:2.3rem 0 1.4rem;font-family:"DejaVu Sans",Arial,sans-serif;
font-size:.7rem}
.bar .steps{display:flex}
.bar .steps span{width:2.2rem;height:1rem}
.bar .tick,.bar .threshold{position:absolute;transform:translateX(-50%);white-space:nowrap}
.bar .tick{bottom:0}
.bar .threshold{top:0;color:var(--ink);text-align:center;line-height:1.1}
.marks{list-style:none;margin:0;padding:0;columns:2 16rem;column-gap:2rem}
.marks li{margin:.1rem 0;break-inside:avoid}
.marks .cell{display:inline-block;width:1.1rem;height:1.1rem;line-height:1.1rem;text-align:center;
vertical-align:-.2rem;margin-right:.4rem;font:.7rem/1.1rem "DejaVu Sans",Arial,sans-serif}
footer{margin-top:4rem;padding-top:.6rem;border-top:.75px solid var(--hair);color:var(--muted)}
table.map.numbered td{width:3rem;min-width:3rem;max-width:3rem;padding:0;font-size:10px;overflow:hidden}
details.variant{margin:.2rem 0;border-top:.75px solid var(--hair)}
details.variant>summary{cursor:pointer;padding:.35rem 0;color:var(--accent)}
details.variant[open]>summary{color:var(--ink)}
@media print{body{max-width:none;padding:0;font-size:11pt}html{background:#fff}
figure,table.data tr{break-inside:avoid}nav{display:none}
*{-webkit-print-color-adjust:exact;print-color-adjust:exact}
section.criterion{break-before:page}
details.variant:not([open]){display:none}}
)";

// --- Text --------------------------------------------------------------------------------------

// Text for an HTML element or a quoted attribute.
std::string html(const std::string& text) {
  std::string escaped;
  for (char character : wellFormed(text)) {
    switch (character) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += character;
    }
  }
  return escaped;
}

// A name in the text of an element, kept apart from the text around it: a name written from right
// to left, or one that turns the direction of what follows, would reorder the sentence it stands
// in.
std::string nameHtml(const std::string& name) {
  return needsIsolation(name) ? "<bdi>" + html(name) + "</bdi>" : html(name);
}

// A name where no markup may stand (attributes, the page's title), kept apart by the isolating
// characters.
std::string nameText(const std::string& name) { return html(isolated(name)); }

std::string printed(const char* format, double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// A p-value as a journal prints it: three significant digits, two below 0.001, where the third
// tells nothing and would weigh on a page of many works.
std::string pText(double p) { return printed(p >= 0.001 ? "%.3g" : "%.2g", p); }

// A p-value in a cell of a map: two significant digits.
std::string cellNumber(double p) { return printed("%.2g", p); }

// 10 to a negative whole power, as the legend writes it.
std::string powerOfTen(int exponent) {
  if (exponent == 0) return "1";
  if (exponent >= -2) return exponent == -1 ? "0.1" : "0.01";
  return "10<sup>\xE2\x88\x92" + std::to_string(-exponent) + "</sup>";
}

std::string thousands(std::size_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

// --- Colour scale ------------------------------------------------------------------------------

/// One step per decade of the p-value: step k holds p from 10^-(k+1) up to 10^-k, the last step
/// everything below. One scale serves the whole page.
struct ColourScale {
  int steps = kFewestSteps;
  /// The class of the page's commonest cells, which they go without: on a page of many works
  /// that differ almost pair by pair, most cells are of the darkest step, and the class would be
  /// a sixth of the page's weight.
  std::string commonest;
};

int stepOf(const ColourScale& scale, double p) {
  if (!(p > 0)) return scale.steps - 1;
  const double decades = std::floor(-std::log10(p));
  if (decades < 0) return 0;
  return decades >= scale.steps - 1 ? scale.steps - 1 : static_cast<int>(decades);
}

// A cell's class, one letter, as a page of many works has a hundred thousand cells: its step, in
// capitals where the test finds a significant difference, which the style marks with a dot. The
// other cells' classes are the letters after the steps': x the same work, z a work without cases,
// u INVALID, w not tested.
std::string stepClass(int step, bool significant) {
  return std::string(1, static_cast<char>((significant ? 'A' : 'a') + step));
}

std::array<int, 3> stepColour(const ColourScale& scale, int step) {
  // The first decades, where the threshold of a data set lies, get the widest share of the
  // palette; the many decades of the smallest p-values share its dark end.
  const double share =
      std::log1p(static_cast<double>(step)) / std::log(static_cast<double>(scale.steps));
  const double position = share * static_cast<double>(kPalette.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(position));
  const std::size_t above = std::min(below + 1, kPalette.size() - 1);
  const double weight = position - static_cast<double>(below);
  std::array<int, 3> colour{};
  for (std::size_t c = 0; c < 3; ++c) {
    colour[c] = static_cast<int>(
        std::lround(kPalette[below][c] * (1 - weight) + kPalette[above][c] * weight));
  }
  return colour;
}

// Whether a colour is dark enough for white marks: its relative luminance.
bool isDark(const std::array<int, 3>& colour) {
  double luminance = 0;
  const double weights[] = {0.2126, 0.7152, 0.0722};
  for (std::size_t c = 0; c < 3; ++c) {
    const double v = colour[c] / 255.0;
    luminance += weights[c] * (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
  }
  return luminance < 0.3;
}

std::string hexColour(const std::array<int, 3>& colour) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", colour[0], colour[1], colour[2]);
  return buffer;
}

bool shown(const PageFacts& facts, const VariantDescriptor& variant) {
  return facts.families[variant.family];
}

// Visits every outcome with a p-value that a map of the page shows.
template <typename Visit>
void forEachMappedOutcome(const PageFacts& facts, const std::vector<CriterionRecord>& criteria,
                          Visit visit) {
  for (const CriterionRecord& criterion : criteria) {
    for (const PairRecord& record : criterion.pairs) {
      for (const VariantDescriptor& variant : kVariants) {
        const std::optional<VariantOutcome>& outcome = record.outcomes[index(variant.variant)];
        if (shown(facts, variant) && outcome && !outcome->undefined) visit(*outcome);
      }
    }
  }
}

// Enough steps to tell the smallest p-value of the page from the others, and no more.
ColourScale scaleOf(const PageFacts& facts, const std::vector<CriterionRecord>& criteria) {
  double smallest = 1;
  forEachMappedOutcome(facts, criteria, [&](const VariantOutcome& outcome) {
    if (outcome.pValue >= 0 && outcome.pValue < smallest) smallest = outcome.pValue;
  });
  ColourScale scale;
  scale.steps = kMostSteps;
  if (smallest > 0) {
    const double decades = std::floor(-std::log10(smallest)) + 1;
    scale.steps = static_cast<int>(std::clamp(decades, double{kFewestSteps}, double{kMostSteps}));
  }
  std::map<std::string, std::size_t> cells;
  forEachMappedOutcome(facts, criteria, [&](const VariantOutcome& outcome) {
    if (!std::isnan(outcome.pValue))
      ++cells[stepClass(stepOf(scale, outcome.pValue), outcome.flag == 1)];
  });
  std::size_t most = 0;
  for (const auto& [cellClass, count] : cells) {
    if (count > most) {
      most = count;
      scale.commonest = cellClass;
    }
  }
  return scale;
}

std::string scaleStyle(const ColourScale& scale, std::size_t works) {
  // Cells shrink from 22 to 12 pixels as the works grow from 12 to 42, so that a map of many
  // works stays within the width of a screen.
  const std::size_t extra = works > 12 ? std::min<std::size_t>(works - 12, 30) : 0;
  const std::size_t cell = 22 - extra / 3;
  std::string style = ":root{--cell:" + std::to_string(cell) +
                      "px;--glyph:" + std::to_string(cell > 16 ? 12 : 9) + "px}\n";
  std::string significant;
  for (int step = 0; step < scale.steps; ++step) {
    const std::array<int, 3> colour = stepColour(scale, step);
    std::string selectors = "." + stepClass(step, true) + ",." + stepClass(step, false);
    if (stepClass(step, true) == scale.commonest || stepClass(step, false) == scale.commonest) {
      selectors += ",table.map td:not([class])";
    }
    style += selectors + "{background:" + hexColour(colour) +
             (isDark(colour) ? ";color:#fff" : "") + "}";
    significant += (step == 0 ? "." : ",.") + stepClass(step, true);
  }
  // Significant cells have capitals.
  if (!scale.commonest.empty() && scale.commonest[0] >= 'A' && scale.commonest[0] <= 'Z') {
    significant += ",table.map td:not([class])";
  }
  return style + "\n:is(" + significant + ")::before{content:\"\\2022\"}\n";
}

// --- Pieces of the page ------------------------------------------------------------------------

bool anyAllCriteriaGraph(const PageFacts& facts) {
  return std::any_of(facts.allCriteriaGraphs.begin(), facts.allCriteriaGraphs.end(),
                     [](const std::string& dot) { return !dot.empty(); });
}

std::string dataName(const PageFacts& facts) {
  return facts.dataFile.empty() ? "built-in data" : facts.dataFile;
}

std::string testsRun(const PageFacts& facts) {
  std::string words;
  for (const FamilyDescriptor& family : kFamilies) {
    if (!facts.families[family.family]) continue;
    if (!words.empty()) words += "; ";
    words += family.pageWords;
  }
  return words.empty() ? "none" : words;
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

const char* directionMark(std::int32_t direction) {
  return direction > 0 ? "\xE2\x86\x91 " : direction < 0 ? "\xE2\x86\x93 " : "";
}

void writeLegend(std::ostream& out, const ColourScale& scale, double threshold) {
  out << "<div class=\"legend\"><div class=\"bar\" aria-label=\"colour scale of the p-values\">";
  const double stepWidth = 2.2;  // rem, as the style sets it
  if (threshold > 0 && threshold <= 1) {
    const double at = std::min(-std::log10(threshold), static_cast<double>(scale.steps));
    out << "<span class=\"threshold\" style=\"left:" << printed("%.2f", at * stepWidth)
        << "rem\">threshold " << html(formatDouble(threshold)) << "<br>\xE2\x96\xBE</span>";
  }
  out << "<div class=\"steps\">";
  for (int step = 0; step < scale.steps; ++step) {
    const std::string upper = printed("%g", std::pow(10.0, -step));
    out << "<span class=\"" << stepClass(step, false) << "\" title=\"p "
        << (step + 1 < scale.steps
                ? "from " + printed("%g", std::pow(10.0, -step - 1)) + " to below " + upper
                : "below " + upper)
        << "\"></span>";
  }
  out << "</div>";
  // Every decade is named while they fit; beyond, every other one.
  const int every = scale.steps > 9 ? 2 : 1;
  for (int step = 0; step < scale.steps; step += every) {
    out << "<span class=\"tick\" style=\"left:" << printed("%.2f", step * stepWidth) << "rem\">"
        << powerOfTen(-step) << "</span>";
  }
  out << "</div>\n";
  const int dark = scale.steps - 1;
  out << "<ul class=\"marks\">"
      << "<li><span class=\"cell " << stepClass(dark, true)
      << "\"></span>significant difference at the threshold (the test's own "
         "decision)</li>"
      << "<li><span class=\"cell " << stepClass(0, false)
      << "\">*</span>too few cases: a work has fewer than 5, or a "
         "chi-square test has too small an expected count</li>"
      << "<li><span class=\"cell u\"></span>INVALID: a chi-square test with an expected count "
         "of 0</li>"
      << "<li><span class=\"cell x\"></span>the same work</li>"
      << "<li><span class=\"cell z\"></span>a work without cases: not tested</li>"
      << "</ul></div>\n";
}

void writeHeader(std::ostream& out, const PageFacts& facts, const DataSet& data,
                 const std::vector<CriterionRecord>& criteria) {
  out << "<header>\n<p class=\"kicker\">brevox " << BREVOX_VERSION_MAJOR << "."
      << BREVOX_VERSION_MINOR << " \xC2\xB7 report of a full run</p>\n";
  out << "<h1>Differences between works, criterion by criterion</h1>\n";
  out << "<p class=\"lede\">" << data.workShortNames.size() << " works compared pair by pair under "
      << data.criterionShortNames.size()
      << (data.criterionShortNames.size() == 1 ? " criterion" : " criteria")
      << ", at the threshold p&nbsp;&lt;&nbsp;" << html(formatDouble(data.threshold)) << ".</p>\n";
  out << "<dl class=\"facts\">\n<dt>Data</dt><dd>"
      << (facts.dataFile.empty() ? std::string("built-in data")
                                 : "<code>" + nameHtml(facts.dataFile) + "</code>")
      << (facts.sheetName.empty() ? std::string()
                                  : ", sheet <code>" + nameHtml(facts.sheetName) + "</code>")
      << "</dd>\n<dt>Date</dt><dd>" << html(facts.runTime) << "</dd>\n<dt>Threshold</dt><dd>"
      << html(formatDouble(data.threshold)) << "</dd>\n<dt>Options</dt><dd>"
      << (facts.optionText.empty() ? std::string("none")
                                   : "<code>" + html(facts.optionText) + "</code>")
      << "</dd>\n<dt>Tests</dt><dd>" << html(testsRun(facts)) << "</dd>\n";
  if (facts.dottedEdges || (facts.mergeMain && facts.mergeSub)) {
    out << "<dt>Graphs</dt><dd>";
    if (facts.dottedEdges) {
      out << "results on too few cases drawn as dotted arrows";
      if (facts.mergeMain && facts.mergeSub) out << "; ";
    }
    if (facts.mergeMain && facts.mergeSub) {
      out << "merged graphs of " << html(descriptor(*facts.mergeMain).pageTitle) << " (main) and "
          << html(descriptor(*facts.mergeSub).pageTitle) << " (subordinate)";
    }
    out << "</dd>\n";
  }
  out << "<dt>Works</dt><dd>";
  for (const auto& [work, longName] : data.workLongNames) {
    out << (work == data.workLongNames.begin()->first ? "" : ", ") << work << "&nbsp;"
        << nameHtml(longName);
  }
  out << "</dd>\n<dt>Criteria</dt><dd>";
  for (const auto& [criterion, longName] : data.criterionLongNames) {
    out << (criterion == data.criterionLongNames.begin()->first ? "" : ", ") << criterion
        << "&nbsp;" << nameHtml(longName);
  }
  out << "</dd>\n</dl>\n<nav><ol><li><a href=\"#findings\">What the run found</a></li>"
      << "<li><a href=\"#reading\">How to read this page</a></li>"
      << "<li><a href=\"#data\">Data</a></li>";
  for (const CriterionRecord& criterion : criteria) {
    out << "<li><a href=\"#criterion-" << criterion.criterion << "\">" << criterion.criterion
        << "&nbsp;" << nameHtml(criterionLongName(data, criterion.criterion)) << "</a></li>";
  }
  if (anyAllCriteriaGraph(facts)) out << "<li><a href=\"#all-criteria\">All criteria</a></li>";
  out << "</ol></nav>\n</header>\n";
}

void writeReading(std::ostream& out, const ColourScale& scale, const DataSet& data) {
  out << "<section id=\"reading\" class=\"reading\">\n<h2>How to read this page</h2>\n"
      << "<p>Each criterion has a section. For every test the run made, a map shows the p-value "
         "of each pair of works, the row work against the column work, works in the order of "
         "the data and named by their short names (hover for the long name); the darker the "
         "cell, the smaller the p-value, one colour step per decade; with 12 works or fewer "
         "the cell also prints it. The main test of the findings above comes first; every "
         "other test is folded under its name: click the name to open it. "
         "A dot marks a pair that the test finds significantly different at the threshold "
         "of the data, "
      << html(formatDouble(data.threshold))
      << "; a star, as in the summary files, a result that rests on too few cases. Hover over a "
         "cell for its p-value. The binomial test sets the row work's occurrences against the "
         "column work's proportion, so its map is a full square; the other tests are symmetric "
         "and fill the lower triangle. Beside each map is the same test's graph: an arrow "
         "joins two works that differ significantly and points in the direction of the "
         "criterion; a work stands at the same place in every graph of its criterion. A graph of "
         "many arrows is drawn without those that follow from a chain of "
         "others; its map shows every pair. At the end, the graphs over all criteria label "
         "each arrow with the numbers of the criteria under which the two works differ.</p>\n";
  writeLegend(out, scale, data.threshold);
  out << "</section>\n";
}

void writeDataTable(std::ostream& out, const DataSet& data) {
  out << "<section id=\"data\">\n<h2>Data</h2>\n<p class=\"note\">Occurrences of each "
         "criterion's feature out of the cases in which it could occur, and their proportion; "
         "\xE2\x86\x91: ordered upwards; \xE2\x86\x93: downwards.</p>\n"
      << "<div class=\"scroll\"><table class=\"data\">\n<thead><tr><th>No.</th>"
      << "<th class=\"name\">Work</th><th class=\"name\">Short name</th>";
  for (const auto& [criterion, shortName] : data.criterionShortNames) {
    out << "<th colspan=\"2\">" << nameHtml(criterionLongName(data, criterion)) << "<small>"
        << directionMark(direction(data, criterion)) << nameHtml(shortName) << "</small></th>";
  }
  out << "</tr></thead>\n<tbody>\n";
  for (const auto& [work, shortName] : data.workShortNames) {
    out << "<tr><td>" << work << "</td><td class=\"name\">" << nameHtml(workLongName(data, work))
        << "</td><td class=\"name\">" << nameHtml(shortName) << "</td>";
    for (const auto& entry : data.criterionShortNames) {
      const CountPair counts = countPair(data, work, entry.first);
      out << "<td>" << counts.observed << "/" << counts.total << "</td><td class=\"share\">"
          << (counts.total == 0 ? std::string("\xE2\x80\x93")
                                : printed("%.3f", static_cast<double>(counts.observed) /
                                                      static_cast<double>(counts.total)))
          << "</td>";
    }
    out << "</tr>\n";
  }
  out << "</tbody></table></div>\n</section>\n";
}

using PairIndex = std::map<std::pair<std::uint32_t, std::uint32_t>, const PairRecord*>;

void writeCell(std::ostream& out, const ColourScale& scale, const DataSet& data,
               const PairRecord* record, Variant variant, bool named, bool numbered) {
  if (record == nullptr) {
    out << "<td class=z title=\"no cases\">";
    return;
  }
  const std::optional<VariantOutcome>& outcome = record->outcomes[index(variant)];
  const std::string pair = named ? nameText(workShortName(data, record->pair.workA)) + " vs " +
                                       nameText(workShortName(data, record->pair.workB)) + ": "
                                 : "";
  if (!outcome) {
    out << "<td class=w title=\"" << pair << "not tested\">";
    return;
  }
  const char* star = outcome->valid ? "" : "*";
  if (outcome->undefined) {
    out << "<td class=u title=\"" << pair << "INVALID\">" << star;
    return;
  }
  if (std::isnan(outcome->pValue)) {
    out << "<td class=w title=\"" << pair << "nan\">" << star;
    return;
  }
  const std::string p = pText(outcome->pValue);
  const std::string cellClass = stepClass(stepOf(scale, outcome->pValue), outcome->flag == 1);
  out << "<td" << (cellClass == scale.commonest ? "" : " class=" + cellClass)
      << " title=" << (named ? "\"" + pair + "p = " + p + "\"" : p) << ">" << star;
  if (numbered) out << cellNumber(outcome->pValue);
}

void writeMap(std::ostream& out, const ColourScale& scale, const DataSet& data,
              const PairIndex& pairs, const VariantDescriptor& variant) {
  const bool square = descriptor(variant.family).bothOrders;
  const bool named = data.workShortNames.size() <= kNamedCellsUpTo;
  const bool numbered = data.workShortNames.size() <= kNumberedCellsUpTo;
  out << "<div class=\"scroll\"><table class=\"map" << (numbered ? " numbered" : "")
      << "\" aria-label=\"p-values: " << html(variant.pageTitle) << "\">\n<thead><tr><th></th>";
  for (const auto& [work, shortName] : data.workShortNames) {
    out << "<th title=\"" << nameText(workLongName(data, work)) << "\"><span>"
        << nameHtml(shortName) << "</span></th>";
  }
  out << "</tr></thead>\n<tbody>\n";
  for (const auto& [workA, shortNameA] : data.workShortNames) {
    out << "<tr><th title=\"" << nameText(workLongName(data, workA)) << "\">"
        << nameHtml(shortNameA) << "</th>";
    for (const auto& entry : data.workShortNames) {
      const std::uint32_t workB = entry.first;
      if (workB == workA) {
        out << "<td class=x>";
        if (!square) break;
        continue;
      }
      const auto found = pairs.find({workA, workB});
      writeCell(out, scale, data, found == pairs.end() ? nullptr : found->second, variant.variant,
                named, numbered);
    }
    out << "</tr>\n";
  }
  out << "</tbody></table></div>\n";
}

// The drawing of a graph, or the note that stands in its place.
void writeGraph(std::ostream& out, const GraphDrawing& drawing, const std::string& fileName,
                std::size_t leftOut = 0) {
  const std::string leftOutNote =
      leftOut == 0
          ? std::string()
          : " " + thousands(leftOut) +
                (leftOut == 1 ? " significant result rests" : " significant results rest") +
                " on too few cases and " + (leftOut == 1 ? "is" : "are") +
                " left out; option N draws " + (leftOut == 1 ? "it" : "them") +
                " as dotted arrows.";
  out << "<div class=\"graph\">";
  switch (drawing.outcome) {
    case DrawingOutcome::drawn:
      if (drawing.arrows == 0) {
        out << "<p class=\"note\">"
            << (leftOut == 0 ? "No pair differs significantly: the graph has no arrow."
                             : "The graph has no arrow:" + leftOutNote)
            << "</p>";
        break;
      }
      out << wellFormed(drawing.svg);
      if (leftOut > 0) out << "<p class=\"note\">" << leftOutNote.substr(1) << "</p>";
      if (drawing.drawnArrows < drawing.arrows) {
        out << "<p class=\"note\">Drawn without the arrows that follow from others: "
            << thousands(drawing.drawnArrows) << " of " << thousands(drawing.arrows)
            << " arrows. An arrow from one work to another is left out where a chain of arrows "
               "leads from the first to the second; a chain alone does not mean that its ends "
               "differ: the map shows every pair.</p>";
      }
      break;
    case DrawingOutcome::tooDense:
      out << "<p class=\"note\">Not drawn: " << thousands(drawing.drawnArrows)
          << " arrows are more than a drawing can show (at most " << kDrawAtMost
          << "). The graph is in <code>" << nameHtml(fileName) << "</code>.</p>";
      break;
    case DrawingOutcome::failed:
      out << "<p class=\"note failed\">Graphviz could not draw this graph (<code>"
          << nameHtml(fileName) << "</code>): " << nameHtml(drawing.message) << "</p>";
      break;
  }
  out << "</div>\n";
}

// Significant results of a variant that rest on too few cases: a graph without dotted arrows
// leaves them out.
std::size_t resultsLeftOut(const PageFacts& facts, const CriterionRecord& criterion,
                           Variant variant) {
  if (facts.dottedEdges) return 0;
  std::size_t count = 0;
  for (const PairRecord& record : criterion.pairs) {
    const std::optional<VariantOutcome>& outcome = record.outcomes[index(variant)];
    if (outcome && !outcome->undefined && outcome->flag == 1 && !outcome->valid) ++count;
  }
  return count;
}

void writeVariantFigure(std::ostream& out, const PageFacts& facts, const ColourScale& scale,
                        const DataSet& data, const PairIndex& pairs,
                        const CriterionRecord& criterion, const VariantDescriptor& variant,
                        const GraphDrawing& drawing) {
  const std::uint32_t number = criterion.criterion;
  const std::size_t graph = index(variant.variant);
  out << "<figure class=\"test\" id=\"c" << number << "-" << variant.graph.tag
      << "\"><figcaption><b>" << html(variant.pageTitle) << ".</b> "
      << (descriptor(variant.family).bothOrders
              ? "The row work's occurrences against the column work's proportion: the test is "
                "not symmetric in the two works, so each pair is tested both ways and the map is "
                "a full square."
              : "Symmetric in the two works: the lower triangle.")
      << "</figcaption>\n<div class=\"panels\">";
  writeMap(out, scale, data, pairs, variant);
  writeGraph(out, drawing, criterionGraphFile(graph, criterionShortName(data, number)),
             resultsLeftOut(facts, criterion, variant.variant));
  out << "</div></figure>\n";
}

void writeCriterion(std::ostream& out, const PageFacts& facts, const ColourScale& scale,
                    const DataSet& data, const CriterionRecord& criterion) {
  const std::uint32_t number = criterion.criterion;
  const std::string& shortName = criterionShortName(data, number);
  out << "<section id=\"criterion-" << number << "\" class=\"criterion\">\n<h2><span class=\"no\">"
      << number << "</span>" << nameHtml(criterionLongName(data, number))
      << "<span class=\"short\">" << nameHtml(shortName) << "</span></h2>\n<p class=\"direction\">"
      << directionText(direction(data, number)) << "</p>\n";
  PairIndex pairs;
  for (const PairRecord& record : criterion.pairs) {
    pairs[{record.pair.workA, record.pair.workB}] = &record;
  }
  const std::optional<Variant> test = mainTest(facts.families, facts.mergeMain);
  if (!test) {
    out << "<p class=\"note\">No test was run.</p>\n</section>\n";
    return;
  }
  // The main test first and shown; the other symmetric tests, then the binomial test, folded.
  std::vector<Variant> order = {*test};
  for (const VariantDescriptor& variant : kVariants) {
    if (variant.variant != *test && variant.variant != Variant::binomial && shown(facts, variant))
      order.push_back(variant.variant);
  }
  if (*test != Variant::binomial && shown(facts, descriptor(Variant::binomial))) {
    order.push_back(Variant::binomial);
  }
  // Every drawing of the criterion on one layout of its works.
  const bool merged = facts.mergeMain && facts.mergeSub && !criterion.graphs[kMergedGraph].empty();
  std::vector<std::string> texts;
  for (Variant variant : order) texts.push_back(criterion.graphs[index(variant)]);
  if (merged) texts.push_back(criterion.graphs[kMergedGraph]);
  std::set<std::uint32_t> works;
  for (const PairRecord& record : criterion.pairs) works.insert(record.pair.workA);
  std::vector<std::string> workNames;
  for (std::uint32_t work : works) workNames.push_back(workShortName(data, work));
  const std::vector<GraphDrawing> drawings = drawGraphsTogether(texts, workNames);
  for (std::size_t k = 0; k < order.size(); ++k) {
    const Variant variant = order[k];
    const bool folded = variant != *test;
    if (folded) {
      out << "<details class=\"variant\"><summary>" << html(descriptor(variant).pageTitle)
          << "</summary>\n";
    }
    writeVariantFigure(out, facts, scale, data, pairs, criterion, descriptor(variant), drawings[k]);
    if (folded) out << "</details>\n";
  }
  if (merged) {
    out << "<details class=\"variant\"><summary>Merged graph</summary>\n<figure class=\"test\" "
        << "id=\"c" << number << "-" << kMergedGraphNames.tag << "\"><figcaption><b>Merged "
        << "graph.</b> " << html(descriptor(*facts.mergeMain).pageTitle)
        << " where its result rests on enough cases, otherwise "
        << html(descriptor(*facts.mergeSub).pageTitle) << ".</figcaption>\n<div class=\"panels\">";
    writeGraph(out, drawings.back(), criterionGraphFile(kMergedGraph, shortName));
    out << "</div></figure>\n</details>\n";
  }
  out << "</section>\n";
}

void writeAllCriteria(std::ostream& out, const PageFacts& facts, const DataSet& data) {
  if (!anyAllCriteriaGraph(facts)) return;
  out << "<section id=\"all-criteria\">\n<h2>All criteria</h2>\n<p class=\"note\">An arrow is "
         "labelled with the numbers of the criteria under which the two works differ, in bold "
         "when there are several, <em>All</em> under every criterion";
  if (facts.dottedEdges) out << "; dotted arrows rest on too few cases";
  out << ". Criteria: ";
  for (const auto& [criterion, longName] : data.criterionLongNames) {
    out << (criterion == data.criterionLongNames.begin()->first ? "" : "; ") << criterion
        << "&nbsp;" << nameHtml(longName);
  }
  out << ".</p>\n";
  for (std::size_t graph = 0; graph < kGraphCount; ++graph) {
    const std::string& dot = facts.allCriteriaGraphs[graph];
    if (dot.empty()) continue;
    const GraphNames& names = graphNames(graph);
    const std::string title =
        graph == kMergedGraph ? std::string("Merged graph") : kVariants[graph].pageTitle;
    out << "<figure class=\"test\" id=\"all-" << names.tag << "\"><figcaption><b>" << html(title)
        << ",</b> all criteria.</figcaption>\n";
    GraphDrawing tooDense;
    tooDense.outcome = DrawingOutcome::tooDense;
    tooDense.arrows = tooDense.drawnArrows = facts.allCriteriaArrows[graph];
    writeGraph(out, tooDense.arrows > kDrawAtMost ? tooDense : drawGraph(dot, false),
               names.allCriteriaFile);
    out << "</figure>\n";
  }
  out << "</section>\n";
}

}  // namespace

std::string pageText(const std::string& text) { return html(text); }
std::string pageName(const std::string& name) { return nameHtml(name); }
std::string pageNameText(const std::string& name) { return nameText(name); }

void writeHtmlReport(std::ostream& file, const PageFacts& facts,
                     const std::vector<CriterionRecord>& criteria, const DataSet& data) {
  const ColourScale scale = scaleOf(facts, criteria);
  std::ostringstream out;
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      << "<meta name=\"generator\" content=\"brevox " << BREVOX_VERSION_MAJOR << "."
      << BREVOX_VERSION_MINOR << "\">\n<title>brevox: " << nameText(dataName(facts))
      << "</title>\n<style>" << kStyle << scaleStyle(scale, data.workShortNames.size())
      << kGraphStyle << kFindingsStyle << "</style>\n</head>\n<body>\n";
  writeHeader(out, facts, data, criteria);
  std::vector<CriterionFindings> findings = facts.findings;
  if (findings.size() != criteria.size()) {
    findings.clear();
    const std::optional<Variant> test = mainTest(facts.families, facts.mergeMain);
    for (const CriterionRecord& criterion : criteria) {
      findings.push_back(criterionFindings(criterion, data, test));
    }
  }
  writeFindingsSection(out, findings, data);
  writeReading(out, scale, data);
  writeDataTable(out, data);
  for (const CriterionRecord& criterion : criteria)
    writeCriterion(out, facts, scale, data, criterion);
  writeAllCriteria(out, facts, data);
  out << "<footer>Written by brevox " << BREVOX_VERSION_MAJOR << "." << BREVOX_VERSION_MINOR
      << " on " << html(facts.runTime)
      << " from the results of the run that wrote the summary tables <code>T_*.csv</code> and "
         "the graphs <code>graph*.gv</code> beside this page; the graphs were laid out by "
         "Graphviz.</footer>\n</body>\n</html>\n";
  // Every file of a run ends its lines with CR LF; Graphviz's drawings end theirs with LF.
  const std::string page = out.str();
  std::size_t start = 0;
  for (std::size_t end = page.find('\n'); end != std::string::npos; end = page.find('\n', start)) {
    file.write(page.data() + start, static_cast<std::streamsize>(end - start));
    file << kLineEnd;
    start = end + 1;
  }
  file.write(page.data() + start, static_cast<std::streamsize>(page.size() - start));
}

bool writeHtmlReport(const std::string& fileName, const PageFacts& facts,
                     const std::vector<CriterionRecord>& criteria, const DataSet& data,
                     std::ostream& err) {
  return writeFile(fileName, err,
                   [&](std::ostream& out) { writeHtmlReport(out, facts, criteria, data); });
}

}  // namespace brevox
