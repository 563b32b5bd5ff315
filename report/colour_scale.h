#pragma once

#include <cstddef>
#include <string>

#include "report/png_image.h"

namespace brevox {

/// The colour scale of the page's heat maps: one step per decade of the p-value, step k holding p
/// from 10^-(k+1) up to 10^-k and the last step everything below. One scale serves the whole page.
struct ColourScale {
  int steps = 3;
};

/// The most steps a scale has, so that neighbouring steps stay apart.
inline constexpr int kMostSteps = 16;

// The classes of a map's cells that hold no p-value. Like the steps' classes they are one letter
// each, as a page of many works has a hundred thousand cells; they are the letters after the
// steps'.
inline constexpr const char* kSameWorkClass = "x";
inline constexpr const char* kNoCasesClass = "z";
inline constexpr const char* kInvalidClass = "u";
inline constexpr const char* kNotTestedClass = "w";

/// A scale of enough steps to tell `smallest`, the smallest p-value the page maps, from the
/// others, and no more.
ColourScale scaleReaching(double smallest);

/// The step of a p-value; a p-value of 0 or below, the last.
int stepOf(const ColourScale& scale, double p);

/// The step of a p-value on the largest scale, as a map's cell records it before the page's scale
/// is known: the page's style gives every step beyond the scale's last the last one's colour.
int cellStep(double p);

/// The class of a map's cell of `step`. The page prints it as one letter, 'a' onwards, in capitals
/// where the test finds a significant difference (the style marks those with a dot): a page of
/// many works has a hundred thousand cells, and longer names would weigh on every one of them.
std::string cellClassOfStep(int step, bool significant);

/// The class of a map whose commonest cells go without a class: "k" and theirs. On a map of many
/// works that differ almost pair by pair, most cells are of the darkest step, and the class would
/// be a sixth of the map's weight.
std::string commonestClass(const std::string& cellClass);

/// The colour of a step (beyond the last, the last's).
Colour stepColour(const ColourScale& scale, int step);

/// The style of the scale: the size of the cells for a map of `works` works, each step's colour
/// (with white marks on the dark ones), each map's commonest cells unclassed, and the dot of the
/// significant cells.
std::string scaleStyle(const ColourScale& scale, std::size_t works);

}  // namespace brevox
