#pragma once

#include <functional>
#include <string>
#include <vector>

#include "report/markup.h"

namespace brevox {

/// The axis of one of the page's plots: where it starts and ends, and its labelled ticks.
struct PlotAxis {
  double from = 0;
  double to = 1;
  std::vector<double> ticks;  ///< from `from` to `to`, three to six of them, evenly spaced
  int decimals = 1;           ///< the digits after the point that tell the ticks apart
};

/// An axis over the data's span, `low` to `high`, widened to round ticks (steps of 1, 2, 2.5 or
/// 5 times a power of ten). With `fromZero` it starts at 0 where the data's low end lies within a
/// third of its span above 0, so that a plot of proportions near 0 shows how near they are. A
/// span of nothing is widened around its value.
PlotAxis plotAxis(double low, double high, bool fromZero);

/// Where a value falls on the axis, 0 at its start and 1 at its end.
double axisShare(const PlotAxis& axis, double value);

/// A tick's label: its value with the axis's decimals, a true minus sign below 0.
std::string tickText(const PlotAxis& axis, double value);

/// Where a plot across the page puts a value (its x, as SVG prints it), and the rows it spans.
struct PlotFrame {
  std::function<std::string(double)> x;
  int top = 0;
  int bottom = 0;
  int middle = 0;  ///< the x of the axis's title
};

/// The vertical grid lines of an SVG plot at the axis's ticks, each labelled below `bottom`, and
/// the axis's title below them.
void writeAxisLines(Markup& page, const PlotAxis& axis, const PlotFrame& frame, const char* title);

}  // namespace brevox
