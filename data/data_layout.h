#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "data/data_set.h"
#include "data/grid_place.h"
#include "io/failure.h"

namespace brevox {

/// One cell of the data grid.
struct GridCell {
  /// The text as read: a quoted field without its quotes. A workbook's number cell gives the
  /// shortest decimal text of its value, which reads back to the same number.
  std::string_view text;
  std::uint64_t row = 0;     ///< from 1: a text file's line (a record), a sheet's row
  std::uint64_t column = 0;  ///< from 1: a text file's field, a sheet's column
  /// Whether a comma in the text may be a decimal comma (the threshold's): in a quoted field, or
  /// in a file whose fields are separated by semicolons or tabs.
  bool decimalComma = false;
};

/// The layout of a data grid and the rules of its values. Row 1: an ignored cell, the p-value
/// threshold, then a short and a long name per criterion. Row 2: two ignored cells, then under
/// each criterion's long name its direction, 1 or -1 (cells beyond the last criterion are
/// ignored). Every further row is one work: its short and long name, then per criterion the
/// observed occurrences and the total number of cases, whole numbers.
///
/// The reader of a file hands over its cells row by row, left to right; empty cells may be left
/// out, as their places tell where they were. Empty cells to the right of a row's data (a
/// spreadsheet's used range) and blank rows after the last work are ignored; a blank row between
/// two works is refused. Nothing is kept per cell beyond the data itself.
class DataLayoutReader {
 public:
  explicit DataLayoutReader(GridSource source);

  /// Takes the next cell, of the current row or of a later one. Fails once the data is refused;
  /// nothing more is taken then, and every later call fails alike.
  [[nodiscard]] Outcome cell(const GridCell& cell);
  /// Ends row `row`, whose cells spanned `width` columns (the number of fields of a text file's
  /// line). Fails once the data is refused.
  [[nodiscard]] Outcome endRow(std::uint64_t row, std::uint64_t width);
  /// Ends the grid. On success the names, counts, directions and threshold replace those of
  /// `data`; otherwise `data` is unchanged and the refusal is returned.
  [[nodiscard]] Outcome finish(DataSet& data);

 private:
  Outcome refuse(std::string message, std::string cause = "");
  std::string rowPlace(std::uint64_t row) const;
  std::string cellPlace(std::uint64_t row, std::uint64_t column) const;
  std::string inRow(std::uint64_t row) const;
  std::uint32_t work() const { return static_cast<std::uint32_t>(row_ - 2); }
  void beginRow(std::uint64_t row);
  Outcome startRow(std::uint64_t row);
  Outcome closeRow(std::uint64_t width);
  Outcome field(std::string_view text, std::uint64_t column, bool decimalComma);
  Outcome threshold(std::string_view text, std::uint64_t column, bool decimalComma);
  Outcome names(const char* kind, std::uint32_t number, std::string_view longName,
                std::uint64_t column, std::map<std::string, std::uint32_t>& numbers);
  Outcome criterionPair(std::uint32_t criterion, std::string_view longName, std::uint64_t column);
  Outcome directionPair(std::uint32_t criterion, std::string_view text, std::uint64_t column);
  Outcome countPair(std::uint32_t criterion, std::string_view totalText, std::uint64_t column);
  Outcome missingDirections();

  GridSource source_;
  Outcome refusal_;  ///< why the data was refused, once it was: the message and what to change

  std::uint64_t row_ = 0;         ///< the row whose cells are being taken; 0 before the first
  std::uint64_t rowsEnded_ = 0;   ///< rows 1 to this one are over
  std::uint64_t fields_ = 0;      ///< fields of the current row taken so far, empty ones included
  std::string first_;             ///< the first field of a pair, until its second comes
  std::uint32_t countPairs_ = 0;  ///< count pairs of the current work row
  std::uint32_t firstBlankWork_ = 0;  ///< the first work whose row was blank, or 0
  std::uint64_t firstBlankRow_ = 0;

  double threshold_ = 0.0;
  /// The works so far: the last one is the current work row's from its names on, and has its
  /// counts once its row is over.
  std::vector<Work> works_;
  std::vector<Criterion> criteria_;   ///< numbered from 1 in their order, as every row is
  std::vector<CountPair> rowCounts_;  ///< the counts of the current work row
  // Two works or two criteria of one short name would write their outputs to the same files.
  std::map<std::string, std::uint32_t> workNumbers_;
  std::map<std::string, std::uint32_t> criterionNumbers_;
};

}  // namespace brevox
