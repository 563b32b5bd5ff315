#include "report/order_page.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "io/number_text.h"
#include "report/heat_map.h"
#include "report/order_curves.h"
#include "report/page_text.h"
#include "report/plot_axis.h"
#include "report/png_image.h"

namespace brevox {

namespace {

// The chart's geometry, in pixels: a row per work, the names on the left, the positions across
// the middle, the ranks on the right; rows are narrower on a chart of many works.
constexpr int kTop = 22;
constexpr int kAxis = 40;
constexpr int kPlot = 360;
constexpr int kGap = 12;
constexpr int kCharacter = 7;
constexpr std::size_t kLongestName = 30;
constexpr int kRankWidth = 80;

// The precedence map's colours: how often the row work stands before the column work, from
// never (brown) through as often as not (white) to always (teal), in tenths (ColorBrewer's BrBG).
constexpr Colour kShares[] = {{84, 48, 5},     {140, 81, 10},   {191, 129, 45},  {223, 194, 125},
                              {246, 232, 195}, {245, 245, 245}, {199, 234, 229}, {128, 205, 193},
                              {53, 151, 143},  {1, 102, 94},    {0, 60, 48}};

// The works with a position, lowest first, each with its spread.
struct PlacedWork {
  const OrderWorkFit* fit;
  OrderWorkSpread spread;
};

std::vector<PlacedWork> placedWorks(const RunOrder& order) {
  std::vector<PlacedWork> placed;
  for (std::size_t k = 0; k < order.fit.works.size(); ++k) {
    const OrderWorkFit& work = order.fit.works[k];
    if (!work.position) continue;
    placed.push_back(
        {&work, k < order.bootstrap.works.size() ? order.bootstrap.works[k] : OrderWorkSpread{}});
  }
  std::stable_sort(placed.begin(), placed.end(), [](const PlacedWork& a, const PlacedWork& b) {
    return *a.fit->position < *b.fit->position;
  });
  return placed;
}

std::string numberText(double value) { return withMinus(printed("%.2f", value)); }

std::string rankText(const PlacedWork& work) {
  std::string text = std::to_string(work.fit->rank.value_or(0));
  if (work.spread.rankLow && work.spread.rankHigh) {
    text += " (" + std::to_string(*work.spread.rankLow) + "\xE2\x80\x93" +
            std::to_string(*work.spread.rankHigh) + ")";
  }
  return text;
}

void writeChartRow(Markup& page, const PlacedWork& work, int y, int names,
                   const std::function<std::string(double)>& x, const DataSet& data) {
  const std::uint32_t number = work.fit->work;
  const double position = *work.fit->position;
  const OrderWorkSpread& spread = work.spread;
  page << "<g class=\"work\"><title>" << NameText{workShortName(data, number)} << ": "
       << NameText{workLongName(data, number)} << ", position " << numberText(position);
  if (spread.positionLow && spread.positionHigh) {
    page << " (95% interval " << numberText(*spread.positionLow) << " to "
         << numberText(*spread.positionHigh) << ")";
  }
  page << ", rank " << rankText(work) << "</title><text class=\"name\" x=\"" << names << "\" y=\""
       << y + 4 << "\">" << NameText{shortened(workLongName(data, number), kLongestName)}
       << "</text>";
  if (spread.positionLow && spread.positionHigh) {
    page << "<line class=\"ci\" x1=\"" << x(*spread.positionLow) << "\" x2=\""
         << x(*spread.positionHigh) << "\" y1=\"" << y << "\" y2=\"" << y << "\"/>";
  }
  page << "<circle class=\"pt\" cx=\"" << x(position) << "\" cy=\"" << y
       << "\" r=\"4\"/><text class=\"rank\" x=\"" << names + kGap + kPlot + kGap << "\" y=\""
       << y + 4 << "\">" << rankText(work) << "</text></g>\n";
}

// The dot chart of the positions with their intervals, and the ranks with theirs.
void writeChart(Markup& page, const std::vector<PlacedWork>& placed, const PlotAxis& axis,
                const DataSet& data) {
  std::size_t longest = 4;
  for (const PlacedWork& work : placed) {
    longest =
        std::max(longest, characters(shortened(workLongName(data, work.fit->work), kLongestName)));
  }
  const int row = placed.size() > kTableMapsUpTo ? 13 : 20;
  const int names = static_cast<int>(longest) * kCharacter + kGap;
  const int left = names + kGap;
  const int height = kTop + static_cast<int>(placed.size()) * row + kAxis;
  const int width = left + kPlot + kGap + kRankWidth;
  PlotFrame frame;
  frame.x = [&](double value) { return printed("%.1f", left + axisShare(axis, value) * kPlot); };
  frame.top = kTop;
  frame.bottom = height - kAxis;
  frame.middle = left + kPlot / 2;
  page << "<svg class=\"dotplot order" << (row < 20 ? " dense" : "") << "\" width=\"" << width
       << "\" height=\"" << height << "\" viewBox=\"0 0 " << width << " " << height
       << "\" role=\"img\" aria-label=\"position of each work with its 95% interval\">\n"
       << "<text class=\"tick\" x=\"" << left + kPlot + kGap << "\" y=\"12\">rank (95%)</text>\n";
  writeAxisLines(page, axis, frame,
                 "position along the criteria's directions, with its 95% interval");
  int y = kTop + row / 2;
  for (const PlacedWork& work : placed) {
    writeChartRow(page, work, y, names, frame.x, data);
    y += row;
  }
  page << "</svg>\n";
}

int shareClass(double before) {
  return std::clamp(static_cast<int>(std::lround(before * 10)), 0, 10);
}

void writePrecedenceTable(Markup& page, const std::vector<PlacedWork>& placed,
                          const std::map<std::pair<std::uint32_t, std::uint32_t>, double>& before,
                          std::size_t replicates, const DataSet& data) {
  page << "<div class=\"scroll\"><table class=\"map precedence\" aria-label=\"how often the row "
          "work stands before the column work\">\n<thead><tr><th></th>";
  for (const PlacedWork& work : placed) {
    page << "<th title=\"" << NameText{workLongName(data, work.fit->work)} << "\"><span>"
         << Name{workShortName(data, work.fit->work)} << "</span></th>";
  }
  page << "</tr></thead>\n<tbody>\n";
  for (const PlacedWork& row : placed) {
    const std::uint32_t a = row.fit->work;
    page << "<tr><th title=\"" << NameText{workLongName(data, a)} << "\">"
         << Name{workShortName(data, a)} << "</th>";
    for (const PlacedWork& column : placed) {
      const std::uint32_t b = column.fit->work;
      const auto found = before.find({a, b});
      if (a == b || found == before.end()) {
        page << "<td class=x>";
        continue;
      }
      page << "<td class=q" << shareClass(found->second) << " title=\""
           << NameText{workShortName(data, a)} << " before " << NameText{workShortName(data, b)}
           << " in " << printed("%.1f", 100 * found->second) << "% of " << replicates
           << " replicates\">";
    }
    page << "</tr>\n";
  }
  page << "</tbody></table></div>\n";
}

void writePrecedenceImage(Markup& page, const std::vector<PlacedWork>& placed,
                          const std::map<std::pair<std::uint32_t, std::uint32_t>, double>& before) {
  PaletteImage image;
  image.width = image.height = placed.size();
  image.palette.assign(std::begin(kShares), std::end(kShares));
  image.palette.push_back({230, 230, 225});
  image.pixels.assign(placed.size() * placed.size(), 11);
  for (std::size_t r = 0; r < placed.size(); ++r) {
    for (std::size_t c = 0; c < placed.size(); ++c) {
      const auto found = before.find({placed[r].fit->work, placed[c].fit->work});
      if (r != c && found != before.end()) {
        image.pixels[r * placed.size() + c] = static_cast<std::uint8_t>(shareClass(found->second));
      }
    }
  }
  const std::string url = pngDataUrl(image);
  if (url.empty()) return;
  const std::size_t size = placed.size() * std::clamp<std::size_t>(720 / placed.size(), 2, 12);
  page << "<img class=\"mapimage\" src=\"" << Raw{url} << "\" width=\"" << size << "\" height=\""
       << size << "\" alt=\"how often each work stands before each other, " << placed.size()
       << " works in the order of their positions\">\n";
}

void writePrecedence(Markup& page, const std::vector<PlacedWork>& placed,
                     const OrderBootstrap& bootstrap, const DataSet& data) {
  if (bootstrap.precedence.empty()) return;
  std::map<std::pair<std::uint32_t, std::uint32_t>, double> before;
  for (const OrderPrecedence& pair : bootstrap.precedence) {
    before[{pair.workA, pair.workB}] = pair.before;
  }
  page << "<figure class=\"precedence\"><figcaption><b>Which work stands before which.</b> How "
          "often the row work stands before the column work among the "
       << thousands(bootstrap.replicates)
       << " replicates: teal, nearly always; brown, nearly never; white, as often as not. The "
          "works in the order of their positions.</figcaption>\n";
  if (placed.size() <= kTableMapsUpTo) {
    writePrecedenceTable(page, placed, before, bootstrap.replicates, data);
  } else {
    writePrecedenceImage(page, placed, before);
  }
  page << "</figure>\n";
}

// The criteria that do not agree with the order, named with their rates and intervals.
void writeAgreement(Markup& page, const RunOrder& order, const DataSet& data) {
  std::vector<std::size_t> against;
  std::size_t agreeing = 0;
  for (std::size_t k = 0; k < order.fit.criteria.size(); ++k) {
    const OrderCriterionFit& criterion = order.fit.criteria[k];
    if (criterion.agrees && !*criterion.agrees) against.push_back(k);
    if (criterion.agrees && *criterion.agrees) ++agreeing;
  }
  page << "<p class=\"agreement\">";
  if (against.empty()) {
    page << "Every criterion with a direction and a rate agrees with the order";
    if (agreeing > 0) page << " (" << agreeing << " of " << order.fit.criteria.size() << ")";
    page << ": its feature rises or falls along it as its direction says.</p>\n";
    return;
  }
  page << "<b>" << against.size() << (against.size() == 1 ? " criterion pulls" : " criteria pull")
       << " against the order</b>, " << (against.size() == 1 ? "its" : "their")
       << " feature changing along it the other way from "
       << (against.size() == 1 ? "its" : "their") << " direction: ";
  for (std::size_t k = 0; k < against.size(); ++k) {
    const OrderCriterionFit& criterion = order.fit.criteria[against[k]];
    page << (k == 0                    ? ""
             : k + 1 == against.size() ? " and "
                                       : ", ")
         << criterion.criterion << "&nbsp;" << Name{criterionLongName(data, criterion.criterion)}
         << " (rate " << numberText(*criterion.rate);
    if (against[k] < order.bootstrap.criteria.size()) {
      const OrderCriterionSpread& spread = order.bootstrap.criteria[against[k]];
      if (spread.rateLow && spread.rateHigh) {
        page << ", 95% interval " << numberText(*spread.rateLow) << " to "
             << numberText(*spread.rateHigh);
      }
    }
    page << ")";
  }
  page << ".</p>\n";
}

void writeMeaning(Markup& page, const RunOrder& order) {
  page << "<p class=\"meaning\"><b>What the positions are, and are not.</b> A position places a "
          "work on the one line along which every criterion's proportion rises or falls most "
          "evenly, each at a rate of its own: a work further along has more of the features whose "
          "direction is upwards and fewer of those whose direction is downwards. The positions "
          "have a mean of 0 and a standard deviation of 1; their distances are not years. They "
          "are an order along the criteria's directions, and a time only where the features "
          "changed at steady rates in every work alike: genre, metre, subject or an author's "
          "habit move them too. Two works whose intervals overlap may stand either way round; the "
          "map says how often each order came out. The intervals come from "
       << thousands(order.bootstrap.replicates)
       << " replicates of the counts drawn from the fitted order";
  if (order.fit.dispersion && *order.fit.dispersion > 1) {
    page << ", spread as widely as the counts vary about it ("
         << printed("%.1f", *order.fit.dispersion)
         << " times as much as chance alone would make them)";
  }
  page << "; <code>T_order_works.csv</code> and the other tables of option E hold every "
          "number.</p>\n";
}

}  // namespace

void writeOrderSection(Markup& page, const RunRecord& record, const DataSet& data) {
  page << "<section id=\"order\">\n<h2>The order of the works over all criteria</h2>\n";
  if (!record.order) {
    page << "<p class=\"note\">The order of the works over all criteria was not computed in this "
            "run: options E and H compute it.</p>\n</section>\n";
    return;
  }
  const RunOrder& order = *record.order;
  const std::vector<PlacedWork> placed = placedWorks(order);
  if (!order.fit.converged || placed.size() < 2) {
    page << "<p class=\"note\">No order over all criteria: "
         << (order.fit.converged ? "fewer than two works have a position."
                                 : "the fit of one position per work reached no maximum, as "
                                   "where fewer than two works have cases under a criterion "
                                   "shared with others, or where every work is alike under "
                                   "every criterion.")
         << "</p>\n</section>\n";
    return;
  }
  const std::size_t criteria = order.fit.criteria.size();
  page << "<p class=\"lede\">";
  if (criteria == 1) {
    page << "The one criterion places the ";
  } else {
    page << (criteria == 2 ? "Both" : "All " + std::to_string(criteria))
         << " criteria taken together place the ";
  }
  page << placed.size()
       << " works along one line, from the work least far along the criteria's directions, at "
          "the top, to the work furthest along: each dot is a work's position, its bar the 95% "
          "interval; beside it, its rank and the ranks it takes in 95% of the replicates.</p>\n";
  double low = *placed.front().fit->position;
  double high = *placed.back().fit->position;
  for (const PlacedWork& work : placed) {
    low = std::min(low, work.spread.positionLow.value_or(low));
    high = std::max(high, work.spread.positionHigh.value_or(high));
  }
  const PlotAxis axis = plotAxis(low, high, false);
  page << "<div class=\"panels\">";
  writeChart(page, placed, axis, data);
  writePrecedence(page, placed, order.bootstrap, data);
  page << "</div>\n";
  writeAgreement(page, order, data);
  writeCriterionCurves(page, record, axis, data);
  writeMeaning(page, order);
  page << "</section>\n";
}

const char* const kOrderStyle = R"(
#order .lede{max-width:52rem}
svg.dotplot.order text.rank{fill:var(--muted);font-size:11px}
.q0{background:#543005}.q1{background:#8c510a}.q2{background:#bf812d}.q3{background:#dfc27d}
.q4{background:#f6e8c3}.q5{background:#f5f5f5}.q6{background:#c7eae5}.q7{background:#80cdc1}
.q8{background:#35978f}.q9{background:#01665e}.q10{background:#003c30}
figure.precedence{margin:.4rem 0;flex:1 1 18rem;min-width:0}
figure.precedence figcaption{max-width:30rem}
.agreement,.meaning{max-width:52rem}
.meaning{color:var(--muted);font-size:.9rem}
.curves{display:flex;flex-wrap:wrap;gap:.4rem .7rem;margin:.6rem 0}
svg.curve{font-family:"DejaVu Sans",Arial,sans-serif}
svg.curve text{font-size:10px;fill:var(--muted)}
svg.curve text.y{text-anchor:end}
svg.curve text.title{font-size:11px;fill:var(--ink)}
svg.curve text.against{fill:#8b1a1a}
svg.curve .frame{fill:none;stroke:var(--hair)}
svg.curve .ci{stroke:var(--accent);stroke-opacity:.35;stroke-width:1.5}
svg.curve .pt{stroke:var(--accent);stroke-width:5;stroke-linecap:round}
svg.curve .fit{fill:none;stroke:var(--ink);stroke-width:1.5}
img.mapimage{image-rendering:pixelated;display:block;max-width:100%;height:auto}
div.mapimage{flex:0 1 auto;max-width:100%}
div.mapimage p.note{max-width:30rem;margin:.3rem 0 0}
)";

}  // namespace brevox
