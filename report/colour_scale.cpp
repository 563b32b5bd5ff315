#include "report/colour_scale.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace brevox {

namespace {

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

}  // namespace

ColourScale scaleReaching(double smallest) {
  ColourScale scale;
  scale.steps = kMostSteps;
  if (smallest > 0) {
    const double decades = std::floor(-std::log10(smallest)) + 1;
    scale.steps = static_cast<int>(std::clamp(decades, double{kFewestSteps}, double{kMostSteps}));
  }
  return scale;
}

int stepOf(const ColourScale& scale, double p) {
  if (!(p > 0)) return scale.steps - 1;
  const double decades = std::floor(-std::log10(p));
  if (decades < 0) return 0;
  return decades >= scale.steps - 1 ? scale.steps - 1 : static_cast<int>(decades);
}

std::string cellClassOfStep(int step, bool significant) {
  return std::string(1, static_cast<char>((significant ? 'A' : 'a') + step));
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
    const std::string significantClass = cellClassOfStep(step, true);
    const std::string plainClass = cellClassOfStep(step, false);
    std::string selectors = "." + significantClass + ",." + plainClass;
    if (significantClass == scale.commonest || plainClass == scale.commonest) {
      selectors += ",table.map td:not([class])";
    }
    style += selectors + "{background:" + hexColour(colour) +
             (isDark(colour) ? ";color:#fff" : "") + "}";
    significant += (step == 0 ? "." : ",.") + significantClass;
  }
  // The significant cells' classes are the capitals.
  if (!scale.commonest.empty() && scale.commonest[0] >= 'A' && scale.commonest[0] <= 'Z') {
    significant += ",table.map td:not([class])";
  }
  return style + "\n:is(" + significant + ")::before{content:\"\\2022\"}\n";
}

}  // namespace brevox
