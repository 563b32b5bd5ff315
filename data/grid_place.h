#pragma once

// How messages name the places and values of a data grid: a text file's line and field, a
// workbook's cell address, names and values quoted and cut.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/failure.h"

namespace brevox {

/// Names and values in messages are cut after this many bytes: a long name must not make a long
/// message line.
inline constexpr std::size_t kShownBytes = 80;

/// A path in a message is cut after this many bytes, the longest path the system opens: a path
/// that names a file is shown whole.
inline constexpr std::size_t kShownPathBytes = 4096;

/// Where the cells of a data grid come from, as refusals name their places.
struct GridSource {
  std::string path;   ///< the file as messages show it (pathForMessage)
  std::string sheet;  ///< a workbook's sheet (places read "cell Sheet1!D5"); empty for a text
                      ///< file (places read "line 5, field 4")
};

/// A spreadsheet's column letters: 1 is A, 27 is AA.
std::string columnLetters(std::uint64_t column);

/// A sheet's name as messages show it: control bytes as \x escapes, and cut after kShownBytes
/// with "..." (a spreadsheet allows 31 characters; only a damaged or forged workbook has more).
std::string sheetForMessage(std::string_view sheet);

/// A cell's address as a spreadsheet writes it, such as Sheet1!D5 or 'My data'!D5, for a row and
/// column from 1.
std::string cellAddress(std::string_view sheet, std::uint64_t row, std::uint64_t column);

/// How messages name a cell of `source`, row and column from 1: "line 5, field 4" in a text file,
/// "cell Sheet1!D5" in a workbook's sheet.
std::string gridPlace(const GridSource& source, std::uint64_t row, std::uint64_t column);

/// A name or value as messages show it: in double quotes, control bytes as \x escapes, and
/// longer texts cut after `limit` bytes (at a character's start) with "...".
std::string quotedForMessage(std::string_view text, std::size_t limit = std::string_view::npos);

/// `failure` with `advice` on what to change after all it says.
Failure withAdvice(Failure failure, const std::string& advice);

/// A file's path as messages show it: as typed when it holds no control byte and is at most
/// kShownPathBytes long, otherwise quoted and cut as quotedForMessage does, so that no path can
/// break a message's line or make it long.
std::string pathForMessage(std::string_view path);

}  // namespace brevox
