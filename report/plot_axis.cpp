#include "report/plot_axis.h"

#include <algorithm>
#include <cmath>

#include "report/page_text.h"

namespace brevox {

namespace {

constexpr int kMostTicks = 6;

// The ticks of `step` that cover low to high.
PlotAxis axisOfStep(double low, double high, double step) {
  PlotAxis axis;
  const double first = std::floor(low / step + 1e-9);
  const double last = std::ceil(high / step - 1e-9);
  axis.from = first * step;
  axis.to = last * step;
  for (double k = first; k <= last + 0.5; k += 1) axis.ticks.push_back(k * step);
  return axis;
}

}  // namespace

PlotAxis plotAxis(double low, double high, bool fromZero) {
  if (!(high >= low)) std::swap(low, high);
  if (!std::isfinite(low) || !std::isfinite(high)) {
    low = 0;
    high = 1;
  }
  if (high - low < 1e-12) {
    const double around = std::max(std::fabs(low) * 0.05, 1e-6);
    low -= around;
    high += around;
  }
  if (fromZero && low >= 0 && low <= (high - low) / 3) low = 0;
  // The finest round step that still gives at most kMostTicks ticks.
  const double magnitude = std::pow(10.0, std::floor(std::log10((high - low) / kMostTicks)));
  static const double kMultiples[] = {1, 2, 2.5, 5, 10, 20};
  PlotAxis axis;
  for (double multiple : kMultiples) {
    const double step = multiple * magnitude;
    axis = axisOfStep(low, high, step);
    if (axis.ticks.size() <= static_cast<std::size_t>(kMostTicks)) {
      const bool quarter = multiple == 2.5;
      axis.decimals =
          std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)) + (quarter ? 1 : 0));
      break;
    }
  }
  return axis;
}

double axisShare(const PlotAxis& axis, double value) {
  return axis.to > axis.from ? (value - axis.from) / (axis.to - axis.from) : 0.5;
}

std::string tickText(const PlotAxis& axis, double value) {
  const std::string format = "%." + std::to_string(axis.decimals) + "f";
  // A tick a rounding error below 0 is 0.
  return withMinus(printed(format.c_str(), std::fabs(value) < 1e-12 ? 0.0 : value));
}

void writeAxisLines(Markup& page, const PlotAxis& axis, const PlotFrame& frame, const char* title) {
  for (double tick : axis.ticks) {
    const std::string at = frame.x(tick);
    page << "<line class=\"grid\" x1=\"" << at << "\" x2=\"" << at << "\" y1=\"" << frame.top
         << "\" y2=\"" << frame.bottom << "\"/><text class=\"tick\" x=\"" << at << "\" y=\""
         << frame.bottom + 16 << "\" text-anchor=\"middle\">" << tickText(axis, tick)
         << "</text>\n";
  }
  page << "<text class=\"tick\" x=\"" << frame.middle << "\" y=\"" << frame.bottom + 32
       << "\" text-anchor=\"middle\">" << title << "</text>\n";
}

}  // namespace brevox
