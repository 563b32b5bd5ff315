#pragma once

#include <cstddef>
#include <string>

namespace brevox {

/// The colour scale of the page's heat maps: one step per decade of the p-value, step k holding p
/// from 10^-(k+1) up to 10^-k and the last step everything below. One scale serves the whole page.
struct ColourScale {
  int steps = 3;
  /// The class of the page's commonest cells, which they go without: on a page of many works
  /// that differ almost pair by pair, most cells are of the darkest step, and the class would be
  /// a sixth of the page's weight.
  std::string commonest;
};

// The classes of a map's cells that hold no p-value. Like the steps' classes they are one letter
// each, as a page of many works has a hundred thousand cells; they are the letters after the
// steps'.
inline constexpr const char* kSameWorkClass = "x";
inline constexpr const char* kNoCasesClass = "z";
inline constexpr const char* kInvalidClass = "u";
inline constexpr const char* kNotTestedClass = "w";

/// A scale of enough steps to tell `smallest`, the smallest p-value the page maps, from the
/// others, and no more; its commonest class still empty.
ColourScale scaleReaching(double smallest);

/// The step of a p-value; a p-value of 0 or below, the last.
int stepOf(const ColourScale& scale, double p);

/// The class of a map's cell of `step`. The page prints it as one letter, 'a' onwards, in capitals
/// where the test finds a significant difference (the style marks those with a dot): a page of
/// many works has a hundred thousand cells, and longer names would weigh on every one of them.
std::string cellClassOfStep(int step, bool significant);

/// The style of the scale: the size of the cells for a map of `works` works, each step's colour
/// (with white marks on the dark ones), the page's commonest cells unclassed, and the dot of the
/// significant cells.
std::string scaleStyle(const ColourScale& scale, std::size_t works);

}  // namespace brevox
