#include "report/findings_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "io/number_text.h"
#include "io/utf8.h"
#include "report/markup.h"
#include "report/page_text.h"
#include "report/plot_axis.h"
#include "report/variants.h"

namespace brevox {

namespace {

// Pairs shown before the others are folded away.
constexpr std::size_t kPairsShown = 10;
// Pairs listed at most, the folded ones included: with hundreds of works tens of thousands of
// pairs differ, which the tables of option E hold.
constexpr std::size_t kPairsListed = 200;

// The dot plot's geometry, in pixels: a row per work, the names on the left, the proportions
// across the middle on an axis over their intervals, the letters and the proportion on the right.
constexpr int kRow = 20;
constexpr int kTop = 8;
constexpr int kAxis = 40;
constexpr int kPlot = 360;
constexpr int kGap = 12;
constexpr int kLetterWidth = 9;  // a letter of the display, bold and spaced
constexpr int kCharacter = 7;    // the width of a character of a name, on average
constexpr int kShareWidth = 40;  // a proportion of three digits
constexpr std::size_t kLongestName = 36;
// Letters shown at most; with hundreds of works a work may hold dozens, all in its hover text.
constexpr std::size_t kLettersShown = 16;

std::string ratioText(double value) {
  if (std::isinf(value)) return "\xE2\x88\x9E";
  return printed(value >= 1000 ? "%.0f" : "%.3g", value);
}

void writeHomogeneity(Markup& page, const HomogeneityTest& test, double threshold) {
  page << "<p class=\"overall\">";
  if (test.works < 2) {
    page << "Fewer than two works have cases: there is nothing to compare.</p>\n";
    return;
  }
  if (test.noVariation) {
    page << "No variation: every one of the " << test.works << " works with cases has a proportion "
         << (test.occurrences == 0 ? "of 0" : "of 1") << ", so no test applies.</p>\n";
    return;
  }
  const bool differ = *test.pValue < threshold;
  page << "<b>" << (differ ? "The works differ." : "No evidence that the works differ.")
       << "</b> Pearson's \xCF\x87\xC2\xB2 over the " << test.works
       << " works with cases = " << printed("%.2f", *test.chiSquare) << ", df&nbsp;=&nbsp;"
       << test.degreesOfFreedom << ", p&nbsp;";
  if (*test.pValue > 0) {
    page << "=&nbsp;" << pValueText(*test.pValue);
  } else {
    page << "&lt;&nbsp;1e-300";
  }
  page << "; Cram\xC3\xA9r's V&nbsp;=&nbsp;" << printed("%.2f", *test.cramersV)
       << " (0: the same proportion everywhere, 1: wholly apart).";
  if (test.fewExpected) {
    page << " <span class=\"few\">* An expected count is under 5: the p-value is "
            "approximate.</span>";
  }
  page << "</p>\n";
}

// Where a dot plot puts its columns: the names end at `names`, the letters and the proportions
// start at theirs.
struct DotPlotColumns {
  int names;
  int letters;
  int share;
  bool withLetters;
};

void writeDotPlotRow(Markup& page, const WorkFinding& work, int y, const DotPlotColumns& columns,
                     const PlotFrame& frame, const DataSet& data) {
  const std::string& shortName = workShortName(data, work.work);
  const std::string& longName = workLongName(data, work.work);
  page << "<g class=\"work\"><title>" << NameText{shortName} << ": " << NameText{longName} << ", "
       << work.counts.observed << " of " << work.counts.total << " = "
       << proportionText(work.interval.proportion) << " (95% interval "
       << proportionText(work.interval.low) << " to " << proportionText(work.interval.high) << ")"
       << (work.letters.empty() ? "" : ", letters " + work.letters) << "</title>"
       << "<text class=\"name\" x=\"" << columns.names << "\" y=\"" << y + 4 << "\">"
       << NameText{shortened(longName, kLongestName)} << "</text><line class=\"ci\" x1=\""
       << frame.x(work.interval.low) << "\" x2=\"" << frame.x(work.interval.high) << "\" y1=\"" << y
       << "\" y2=\"" << y << "\"/><circle class=\"pt\" cx=\"" << frame.x(work.interval.proportion)
       << "\" cy=\"" << y << "\" r=\"4\"/>";
  if (columns.withLetters) {
    page << "<text class=\"letters\" x=\"" << columns.letters << "\" y=\"" << y + 4 << "\">"
         << shortened(work.letters, kLettersShown) << "</text>";
  }
  page << "<text class=\"share\" x=\"" << columns.share << "\" y=\"" << y + 4 << "\">"
       << proportionText(work.interval.proportion) << "</text></g>\n";
}

// The dot plot: each work with cases, its proportion, its 95% interval, its letters and its
// proportion printed.
void writeDotPlot(Markup& page, const CriterionFindings& findings, const DataSet& data) {
  std::size_t longest = 4;
  double low = 1;
  double high = 0;
  for (std::size_t w : findings.sorted) {
    const WorkFinding& work = findings.works[w];
    longest = std::max(longest, characters(shortened(workLongName(data, work.work), kLongestName)));
    low = std::min(low, work.interval.low);
    high = std::max(high, work.interval.high);
  }
  const PlotAxis axis = plotAxis(low, high, true);
  std::size_t letters = 1;
  for (const WorkFinding& work : findings.works) {
    letters = std::max(letters, characters(shortened(work.letters, kLettersShown)));
  }
  DotPlotColumns columns;
  columns.names = static_cast<int>(longest) * kCharacter + kGap;
  const int left = columns.names + kGap;
  columns.letters = left + kPlot + kGap;
  columns.withLetters = findings.test.has_value();
  columns.share =
      columns.letters + (columns.withLetters ? static_cast<int>(letters) * kLetterWidth : 0) + kGap;
  const int height = kTop + static_cast<int>(findings.sorted.size()) * kRow + kAxis;
  const int width = columns.share + kShareWidth + kGap;
  PlotFrame frame;
  frame.x = [&](double proportion) {
    return printed("%.1f", left + axisShare(axis, proportion) * kPlot);
  };
  frame.top = kTop;
  frame.bottom = height - kAxis;
  frame.middle = left + kPlot / 2;
  page << "<svg class=\"dotplot\" width=\"" << width << "\" height=\"" << height
       << "\" viewBox=\"0 0 " << width << " " << height
       << "\" role=\"img\" aria-label=\"proportion of each work with its 95% interval\">\n";
  writeAxisLines(page, axis, frame, "proportion of occurrences, with its 95% interval");
  int y = kTop + kRow / 2;
  for (std::size_t w : findings.sorted) {
    writeDotPlotRow(page, findings.works[w], y, columns, frame, data);
    y += kRow;
  }
  page << "</svg>\n";
}

// A row of the pairs; thousands of them with dozens of works, so without closing tags or
// classes, which the style supplies by column.
void writePairRow(Markup& page, const DifferingPair& pair, const DataSet& data) {
  auto name = [&](std::uint32_t work) {
    page << "<td title=\"" << NameText{workShortName(data, work)} << "\">"
         << Name{workLongName(data, work)};
  };
  auto share = [&](const CountPair& counts) {
    page << "<td>" << proportionText(static_cast<double>(counts.observed) / counts.total);
  };
  const OddsRatioEstimate& odds = pair.oddsRatio;
  page << "<tr>";
  name(pair.first);
  share(pair.firstCounts);
  name(pair.second);
  share(pair.secondCounts);
  page << "<td>" << proportionText(pair.difference.difference) << "<td>"
       << proportionText(pair.difference.low) << " to " << proportionText(pair.difference.high)
       << "<td>" << (odds.estimate ? ratioText(*odds.estimate) : std::string("\xE2\x80\x93"))
       << "<td>" << ratioText(odds.low) << " to " << ratioText(odds.high) << "<td>";
  if (pair.adjustedP > 0) {
    page << pValueText(pair.adjustedP);
  } else {
    page << "&lt;1e-300";
  }
  page << "\n";
}

void writePairTable(Markup& page, const std::vector<DifferingPair>& pairs, std::size_t from,
                    std::size_t to, const DataSet& data) {
  page << "<div class=\"scroll\"><table class=\"data pairs\">\n<thead><tr><th class=\"name\">Work"
          "</th><th>Proportion</th><th class=\"name\">against</th><th>Proportion</th>"
          "<th>Difference</th><th>95% interval</th><th>Odds ratio</th><th>95% interval</th>"
          "<th>Adjusted p</th></tr></thead>\n<tbody>\n";
  for (std::size_t k = from; k < to; ++k) writePairRow(page, pairs[k], data);
  page << "</tbody></table></div>\n";
}

void writePairs(Markup& page, const CriterionFindings& findings, const DataSet& data) {
  if (!findings.test) return;
  const std::vector<DifferingPair>& pairs = findings.pairs;
  if (findings.judgedPairs == 0) {
    page << "<p class=\"note\">No pair of works with cases to compare.</p>\n";
    return;
  }
  if (pairs.empty()) {
    page << "<p class=\"note\">"
         << (findings.judgedPairs == 1
                 ? std::string("The two works do not differ.")
                 : "No pair of works differs once the p-values of the " +
                       std::to_string(findings.judgedPairs) + " pairs are adjusted.")
         << "</p>\n";
    return;
  }
  page << "<p class=\"pairs-lede\">" << pairs.size() << " of " << findings.judgedPairs
       << (findings.judgedPairs == 1 ? " pair" : " pairs")
       << " still differ once the p-values are adjusted, the largest difference first: the "
          "proportion of the first work less that of the second, and the odds of an occurrence "
          "in the first over those in the second, each with its 95% interval.</p>\n";
  writePairTable(page, pairs, 0, std::min(kPairsShown, pairs.size()), data);
  const std::size_t listed = std::min(kPairsListed, pairs.size());
  if (listed > kPairsShown) {
    page << "<details class=\"more\"><summary>" << listed - kPairsShown << " more pairs"
         << (listed < pairs.size() ? ", the next largest differences" : "") << "</summary>\n";
    writePairTable(page, pairs, kPairsShown, listed, data);
    page << "</details>\n";
  }
  if (listed < pairs.size()) {
    page << "<p class=\"note\"><span class=\"unlisted\">" << thousands(pairs.size() - listed)
         << "</span> more pairs differ, with smaller differences: the table "
            "<code>T_all_results.csv</code> of option E holds every pair, its adjusted p-value "
            "in the column ";
    if (*findings.test == Variant::binomial) {
      page << "<code>holm_binomial_ab</code> and <code>holm_binomial_ba</code>, one per "
              "direction.</p>\n";
    } else {
      page << "<code>holm_" << descriptor(*findings.test).columnName << "</code>.</p>\n";
    }
  }
}

}  // namespace

std::string mainTestTitle(Variant variant) {
  std::string title = descriptor(variant).pageTitle;
  if (variant == Variant::binomial) title += ", the larger p-value of its two directions";
  return title;
}

const char* const kFindingsStyle = R"(
.finding{margin:1.6rem 0 2.4rem;break-inside:avoid-page}
.finding h3{font-size:1.15rem;font-weight:normal;margin:0 0 .2rem}
.finding h3 .no{color:var(--muted);margin-right:.4rem}
.overall{max-width:52rem;margin:.2rem 0 .6rem}
.overall .few{color:var(--muted)}
svg.dotplot{display:block;max-width:100%;height:auto;margin:.4rem 0 .8rem;
font-family:"DejaVu Sans",Arial,sans-serif}
svg.dotplot text{font-size:12px;fill:var(--ink)}
svg.dotplot text.name{font-family:Charter,"Liberation Serif",Georgia,serif;font-size:13px;
text-anchor:end}
svg.dotplot.dense text.name{font-size:11px}
svg.dotplot text.tick{fill:var(--muted);font-size:11px}
svg.dotplot text.letters{font-weight:600;letter-spacing:.08em}
svg.dotplot text.share{fill:var(--muted);font-size:11px}
svg.dotplot .grid{stroke:var(--hair);stroke-width:1}
svg.dotplot .ci{stroke:var(--accent);stroke-width:2}
svg.dotplot .pt{fill:var(--accent)}
svg.dotplot g.work:hover text{fill:var(--accent)}
.pairs-lede{max-width:52rem;margin:.4rem 0}
table.pairs td:is(:nth-child(1),:nth-child(3)){text-align:left}
table.pairs td:is(:nth-child(6),:nth-child(8)){color:var(--muted)}
details.more summary{cursor:pointer;color:var(--accent);margin:.4rem 0}
@media print{@page{size:A4;margin:14mm}
.finding{break-before:page}details.more::details-content{content-visibility:visible;display:block}
details.more>summary{display:none}svg.dotplot{max-width:100%}
.scroll{overflow:visible}table.data{font-size:7.5pt}table.data :is(th,td){padding:.1rem .3rem}}
)";

void writeFindingsSection(Markup& page, const std::vector<CriterionFindings>& findings,
                          const DataSet& data) {
  page << "<section id=\"findings\">\n<h2>What the run found</h2>\n<p class=\"note\">For each "
          "criterion: whether its works differ at all (Pearson's chi-square over every work "
          "with cases), where each work stands (its proportion with a 95% Wilson score "
          "interval; the works sorted in the criterion's direction), and which works can be "
          "told apart.";
  const std::optional<Variant> test = findings.empty() ? std::nullopt : findings.front().test;
  if (test) {
    page << " Two works share a letter unless <b>" << mainTestTitle(*test)
         << "</b> separates them once its p-values are adjusted by <b>Holm's method</b> over the "
            "pairs of the criterion, at the threshold of the data, "
         << formatDouble(data.threshold)
         << ". That test is Fisher's double tail where the run made it (the main test of option "
            "M where M names a symmetric test; else the permutation test, the N-1 or Pearson's "
            "chi-square); the binomial test alone counts a pair as separated only where both of "
            "its directions separate it.";
  } else {
    page << " The run made no test between pairs: there are no letters.";
  }
  page << "</p>\n";
  for (const CriterionFindings& criterion : findings) {
    const std::uint32_t number = criterion.criterion;
    page << "<article class=\"finding\" id=\"finding-" << number << "\">\n<h3><span class=\"no\">"
         << number << "</span>" << Name{criterionLongName(data, number)} << "<span class=\"short\">"
         << Name{criterionShortName(data, number)} << "</span></h3>\n";
    writeHomogeneity(page, criterion.homogeneity, data.threshold);
    if (!criterion.sorted.empty()) writeDotPlot(page, criterion, data);
    writePairs(page, criterion, data);
    page << "</article>\n";
  }
  page << "</section>\n";
}

}  // namespace brevox
