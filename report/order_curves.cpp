#include "report/order_curves.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "report/page_text.h"

namespace brevox {

namespace {

// A panel's geometry, in pixels: three lines of title, the plot, the positions' ticks below.
constexpr int kWidth = 182;
constexpr int kLeft = 34;
constexpr int kTop = 42;
constexpr int kPlotWidth = 142;
constexpr int kPlotHeight = 96;
constexpr int kHeight = kTop + kPlotHeight + 18;
constexpr int kCurvePoints = 48;

std::string number(double value) { return printed("%.1f", value); }

std::string rateText(double value) { return withMinus(printed("%.2f", value)); }

const CriterionFindings* findingsOf(const RunRecord& record, std::uint32_t criterion) {
  for (const CriterionFindings& findings : record.findings) {
    if (findings.criterion == criterion) return &findings;
  }
  return nullptr;
}

void writeTitle(Markup& page, const OrderCriterionFit& criterion,
                const OrderCriterionSpread& spread, const DataSet& data) {
  const std::uint32_t number = criterion.criterion;
  page << "<text class=\"title\" x=\"0\" y=\"11\">" << number << " "
       << NameText{shortened(criterionLongName(data, number), 26)}
       << "</text><text x=\"0\" y=\"24\">";
  if (!criterion.rate) {
    page << "no rate: cases in one work only";
  } else {
    page << "rate " << rateText(*criterion.rate);
    if (spread.rateLow && spread.rateHigh) {
      page << " (" << rateText(*spread.rateLow) << " to " << rateText(*spread.rateHigh) << ")";
    }
  }
  page << "</text>";
  if (criterion.agrees && !*criterion.agrees) {
    page << "<text class=\"against\" x=\"0\" y=\"36\">against the order</text>";
  }
  page << "\n";
}

// The works' proportions and intervals at their positions: every interval in one path and every
// point in another, so that a panel of hundreds of works stays a few elements.
void writeWorks(Markup& page, const RunOrder& order, const CriterionFindings& found,
                const std::function<double(double)>& x, const std::function<double(double)>& y) {
  std::string intervals;
  std::string points;
  for (const OrderWorkFit& work : order.fit.works) {
    const WorkFinding& finding = found.works[work.work - 1];
    if (!work.position || finding.counts.total == 0) continue;
    const std::string at = number(x(*work.position));
    intervals +=
        "M" + at + " " + number(y(finding.interval.low)) + "V" + number(y(finding.interval.high));
    points += "M" + at + " " + number(y(finding.interval.proportion)) + "h0";
  }
  page << "\n<path class=\"ci\" d=\"" << intervals << "\"/>\n<path class=\"pt\" d=\"" << points
       << "\"/>\n";
}

// The panel of one criterion: its works' proportions against their positions, and its curve.
void writePanel(Markup& page, const RunOrder& order, std::size_t k, const CriterionFindings& found,
                const PlotAxis& positions, const DataSet& data) {
  const OrderCriterionFit& criterion = order.fit.criteria[k];
  const OrderCriterionSpread spread =
      k < order.bootstrap.criteria.size() ? order.bootstrap.criteria[k] : OrderCriterionSpread{};
  double low = 1;
  double high = 0;
  for (const OrderWorkFit& work : order.fit.works) {
    const WorkFinding& finding = found.works[work.work - 1];
    if (!work.position || finding.counts.total == 0) continue;
    low = std::min(low, finding.interval.low);
    high = std::max(high, finding.interval.high);
  }
  if (high < low) return;
  const PlotAxis shares = plotAxis(low, high, true);
  const std::function<double(double)> x = [&](double position) {
    return kLeft + axisShare(positions, position) * kPlotWidth;
  };
  const std::function<double(double)> y = [&](double share) {
    return kTop + (1 - std::clamp(axisShare(shares, share), 0.0, 1.0)) * kPlotHeight;
  };
  page << "<svg class=\"curve\" width=\"" << kWidth << "\" height=\"" << kHeight
       << "\" viewBox=\"0 0 " << kWidth << " " << kHeight
       << "\" role=\"img\" aria-label=\"proportions of "
       << NameText{criterionLongName(data, criterion.criterion)} << " against the positions\">\n";
  writeTitle(page, criterion, spread, data);
  page << "<rect class=\"frame\" x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << kPlotWidth
       << "\" height=\"" << kPlotHeight << "\"/>\n";
  for (double tick : {shares.ticks.front(), shares.ticks.back()}) {
    page << "<text class=\"y\" x=\"" << kLeft - 3 << "\" y=\"" << number(y(tick) + 3) << "\">"
         << tickText(shares, tick) << "</text>";
  }
  for (double tick : {positions.ticks.front(), positions.ticks.back()}) {
    page << "<text x=\"" << number(x(tick)) << "\" y=\"" << kTop + kPlotHeight + 12
         << "\" text-anchor=\"middle\">" << tickText(positions, tick) << "</text>";
  }
  writeWorks(page, order, found, x, y);
  if (criterion.rate) {
    std::string curve;
    for (int i = 0; i <= kCurvePoints; ++i) {
      const double position =
          positions.from + (positions.to - positions.from) * i / double{kCurvePoints};
      const double share = 1 / (1 + std::exp(-(criterion.level + *criterion.rate * position)));
      curve += (i == 0 ? "M" : "L") + number(x(position)) + " " + number(y(share));
    }
    page << "<path class=\"fit\" d=\"" << curve << "\"/>\n";
  }
  page << "</svg>\n";
}

}  // namespace

void writeCriterionCurves(Markup& page, const RunRecord& record, const PlotAxis& positions,
                          const DataSet& data) {
  if (!record.order) return;
  const RunOrder& order = *record.order;
  page << "<p class=\"note\">Each criterion against the order: the works' proportions with their "
          "95% intervals, at their positions (left to right), and the curve the order fitted "
          "through them.</p>\n<div class=\"curves\">\n";
  for (std::size_t k = 0; k < order.fit.criteria.size(); ++k) {
    const CriterionFindings* found = findingsOf(record, order.fit.criteria[k].criterion);
    if (found != nullptr) writePanel(page, order, k, *found, positions, data);
  }
  page << "</div>\n";
}

}  // namespace brevox
