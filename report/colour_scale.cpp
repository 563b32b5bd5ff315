#include "report/colour_scale.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace brevox {

namespace {

// The colour scale has one step per decade of the p-value, from 1 down to 10^-(steps-1) and
// below, at least this many.
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

std::array<int, 3> paletteColour(const ColourScale& scale, int step) {
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

// The rule of one cell class, and of the maps whose commonest cells it is.
std::string classSelectors(const std::string& cellClass) {
  return "." + cellClass + ",table." + commonestClass(cellClass) + " td:not([class])";
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

int cellStep(double p) { return stepOf(ColourScale{kMostSteps}, p); }

std::string cellClassOfStep(int step, bool significant) {
  return std::string(1, static_cast<char>((significant ? 'A' : 'a') + step));
}

std::string commonestClass(const std::string& cellClass) { return "k" + cellClass; }

Colour stepColour(const ColourScale& scale, int step) {
  const std::array<int, 3> colour = paletteColour(scale, std::min(step, scale.steps - 1));
  return {static_cast<std::uint8_t>(colour[0]), static_cast<std::uint8_t>(colour[1]),
          static_cast<std::uint8_t>(colour[2])};
}

std::string scaleStyle(const ColourScale& scale, std::size_t works) {
  // Cells shrink from 22 to 12 pixels as the works grow from 12 to 42, so that a map of many
  // works stays within the width of a screen.
  const std::size_t extra = works > 12 ? std::min<std::size_t>(works - 12, 30) : 0;
  const std::size_t cell = 22 - extra / 3;
  std::string style = ":root{--cell:" + std::to_string(cell) +
                      "px;--glyph:" + std::to_string(cell > 16 ? 12 : 9) + "px}\n";
  std::string significant;
  // Every step a cell may record; those beyond the scale's last take its colour.
  for (int step = 0; step < kMostSteps; ++step) {
    const std::array<int, 3> colour = paletteColour(scale, std::min(step, scale.steps - 1));
    const std::string significantClass = cellClassOfStep(step, true);
    style += classSelectors(significantClass) + "," + classSelectors(cellClassOfStep(step, false)) +
             "{background:" + hexColour(colour) + (isDark(colour) ? ";color:#fff" : "") + "}";
    significant += (step == 0 ? "" : ",") + classSelectors(significantClass);
  }
  return style + "\n:is(" + significant + ")::before{content:\"\\2022\"}\n";
}

}  // namespace brevox
