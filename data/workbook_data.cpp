#include "data/workbook_data.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "data/csv_reader.h"
#include "data/data_layout.h"
#include "io/output_file.h"

namespace brevox {

namespace {

/// What the rules read from a cell, by its place in the layout (0-based row and column).
enum class CellRole { ignored, threshold, name, direction, count };

CellRole roleOf(std::size_t row, std::size_t column) {
  if (row == 0)
    return column == 0 ? CellRole::ignored : column == 1 ? CellRole::threshold : CellRole::name;
  if (row == 1) return column >= 3 && column % 2 == 1 ? CellRole::direction : CellRole::ignored;
  return column < 2 ? CellRole::name : CellRole::count;
}

const char* roleWords(CellRole role) {
  switch (role) {
    case CellRole::threshold:
      return "the threshold";
    case CellRole::direction:
      return "a direction";
    case CellRole::count:
      return "a count";
    default:
      return "a name";
  }
}

/// A stored number as the rules read it: a whole number with all its digits, never an exponent
/// (1810.0 is 1810, and the rules refuse a count beyond their range by its digits); any other
/// number as the shortest decimal text that reads back to the same double, so that a threshold
/// keeps the value the spreadsheet stored, and a count that is not whole is refused as typed.
std::string numberText(double value) {
  if (value == 0.0) return "0";
  if (std::isfinite(value) && std::floor(value) == value) {
    if (std::fabs(value) < 9007199254740992.0) {
      char digits[24];
      const auto result =
          std::to_chars(digits, digits + sizeof digits, static_cast<std::int64_t>(value));
      return std::string(digits, result.ptr);
    }
    char digits[400];
    const int size = std::snprintf(digits, sizeof digits, "%.0f", value);
    return std::string(digits, static_cast<std::size_t>(size));
  }
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

/// The text the rules read from a cell into `text`; fails when the cell holds what its place may
/// not.
Outcome cellText(const WorkbookSheet& sheet, const WorkbookCell& cell, std::size_t row,
                 std::size_t column, const GridSource& source, std::string& text) {
  const CellRole role = roleOf(row, column);
  text.clear();
  switch (cell.kind) {
    case CellKind::empty:
      return std::nullopt;
    case CellKind::text:
      text = sheet.texts[cell.text];
      return std::nullopt;
    case CellKind::number:
      text = numberText(cell.number);
      return std::nullopt;
    default:
      break;
  }
  if (role == CellRole::ignored) {
    // The rules never read this cell; it only has to stand as not empty.
    text = "-";
    return std::nullopt;
  }
  const std::string where = " in " + source.path + " at " + gridPlace(source, row + 1, column + 1) +
                            ", which must hold " + roleWords(role);
  switch (cell.kind) {
    case CellKind::error:
      return Failure{"Error value " + quotedForMessage(sheet.texts[cell.text], kShownBytes) + where,
                     ""};
    case CellKind::date:
      return Failure{
          "Date or time " + quotedForMessage(sheet.texts[cell.text], kShownBytes) + where, ""};
    case CellKind::boolean:
      return Failure{std::string("Boolean ") + (cell.number != 0.0 ? "TRUE" : "FALSE") + where, ""};
    default:
      return Failure{"Formula without a computed value" + where,
                     "open the workbook in a spreadsheet and save it"};
  }
}

/// Whether the cell at `row` and `column` (from 0) holds a number, or text with a digit in it.
bool holdsNumber(const WorkbookSheet& sheet, std::size_t row, std::size_t column) {
  if (row >= sheet.rows.size() || column >= sheet.rows[row].size()) return false;
  const WorkbookCell& cell = sheet.rows[row][column];
  return cell.kind == CellKind::number ||
         (cell.kind == CellKind::text &&
          sheet.texts[cell.text].find_first_of("0123456789") != std::string::npos);
}

/// Whether the first sheet is one of notes or a title page before the data sheet: another sheet
/// follows, and neither its threshold (B1) nor the first criterion's direction (D2) is a number,
/// as they are in a data sheet with a mistake in it.
bool notesBeforeData(const WorkbookSheet& sheet) {
  return sheet.moreSheets && !holdsNumber(sheet, 0, 1) && !holdsNumber(sheet, 1, 3);
}

/// The cells of the sheet handed to the rules of the data, row by row.
Outcome handOverCells(const WorkbookSheet& sheet, const GridSource& source, DataSet& data) {
  DataLayoutReader layout(source);
  std::string text;
  // Every row spans the sheet's used range, as in the CSV file the spreadsheet would save: an
  // empty cell inside a pair of counts is a missing count, not the end of the row.
  std::size_t width = 0;
  for (const std::vector<WorkbookCell>& cells : sheet.rows) width = std::max(width, cells.size());
  // The cells go to the rules one by one, each with its address; empty ones are left out.
  for (std::size_t row = 0; row < sheet.rows.size(); ++row) {
    const std::vector<WorkbookCell>& cells = sheet.rows[row];
    for (std::size_t column = 0; column < cells.size(); ++column) {
      if (Outcome refused = cellText(sheet, cells[column], row, column, source, text)) {
        return refused;
      }
      // A workbook has no field separator: a comma in a text cell can only be a decimal comma.
      if (Outcome refused = layout.cell({text, row + 1, column + 1, true})) return refused;
    }
    if (Outcome refused = layout.endRow(row + 1, width)) return refused;
  }
  return layout.finish(data);
}

}  // namespace

Outcome readDataSetFromSheet(const WorkbookSheet& sheet, const std::string& filePath,
                             DataSet& data) {
  const std::string path = pathForMessage(filePath);
  const std::string& name = sheet.name;
  if (sheet.rows.empty()) {
    const Failure empty{"First sheet " + sheetForMessage(name) + " of " + path + " is empty",
                        "the data are read from the first sheet of a workbook"};
    return sheet.moreSheets ? withAdvice(empty, "move the data sheet first, or save it as CSV")
                            : empty;
  }
  Outcome refused = handOverCells(sheet, GridSource{path, name}, data);
  if (refused && notesBeforeData(sheet)) {
    refused = withAdvice(*refused, "brevox reads the first sheet, " + sheetForMessage(name) +
                                       ", which holds no data set: move the data sheet first, or "
                                       "save it as CSV");
  }
  return refused;
}

Outcome readDataFile(const std::string& path, DataSet& data, std::string& sheetName) {
  sheetName.clear();
  std::string bytes;
  {
    InputFile file;
    if (Outcome failed = openDataFile(file, path)) return failed;
    if (Outcome failed = readFileBytes(file.stream, path, bytes)) return failed;
  }
  if (recognizeContent(bytes) == FileContent::text) {
    return readDataSetBytes(std::move(bytes), path, data);
  }
  WorkbookSheet sheet;
  if (Outcome failed = readFirstSheet(bytes, path, sheet)) return failed;
  bytes = std::string();
  if (Outcome refused = readDataSetFromSheet(sheet, path, data)) return refused;
  sheetName = sheet.name;
  return std::nullopt;
}

}  // namespace brevox
