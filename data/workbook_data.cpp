#include "data/workbook_data.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "data/csv_reader.h"
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

/// The shortest decimal text that reads back to the same double: a threshold so written reads
/// to the same single-precision value as the number the spreadsheet stored.
std::string shortestText(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

/// A whole number written out in full, every digit: the rules read the digits of a count and
/// ignore what follows, so an exponent must never appear.
std::string wholeText(double value) {
  if (std::fabs(value) < 9007199254740992.0) {
    char digits[24];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, static_cast<std::int64_t>(value));
    return std::string(digits, result.ptr);
  }
  char text[400];
  const int size = std::snprintf(text, sizeof text, "%.0f", value);
  return std::string(text, static_cast<std::size_t>(size));
}

/// The text the rules read from a cell, or false after a message when the cell holds what its
/// place may not.
bool cellField(const WorkbookSheet& sheet, const WorkbookCell& cell, std::size_t row,
               std::size_t column, const std::string& path, std::string& field, std::ostream& err) {
  const CellRole role = roleOf(row, column);
  auto where = [&] { return " in " + cellAddress(sheet.name, row, column) + " of " + path; };
  auto which = [&] { return std::string(", which must hold ") + roleWords(role); };
  field.clear();
  switch (cell.kind) {
    case CellKind::empty:
      return true;
    case CellKind::text:
      field = sheet.texts[cell.text];
      return true;
    case CellKind::number:
      if ((role == CellRole::count || role == CellRole::direction) &&
          std::floor(cell.number) != cell.number) {
        err << (role == CellRole::count ? "Count " : "Direction ") << shortestText(cell.number)
            << where() << " is not a whole number\n";
        return false;
      }
      field = role == CellRole::count || role == CellRole::direction ? wholeText(cell.number)
                                                                     : shortestText(cell.number);
      return true;
    default:
      break;
  }
  if (role == CellRole::ignored) {
    // The rules never read this cell; it only has to stand as not empty.
    field = "-";
    return true;
  }
  switch (cell.kind) {
    case CellKind::error:
      err << "Error value \"" << sheet.texts[cell.text] << "\"" << where() << which() << '\n';
      break;
    case CellKind::date:
      err << "Date or time \"" << sheet.texts[cell.text] << "\"" << where() << which() << '\n';
      break;
    case CellKind::boolean:
      err << "Boolean " << (cell.number != 0.0 ? "TRUE" : "FALSE") << where() << which() << '\n';
      break;
    default:
      err << "Formula without a computed value" << where() << which()
          << ": open the workbook in a spreadsheet and save it\n";
      break;
  }
  return false;
}

}  // namespace

bool readDataSetFromSheet(const WorkbookSheet& sheet, const std::string& path, DataSet& data,
                          std::ostream& err) {
  if (sheet.rows.empty()) {
    err << "First sheet " << sheet.name << " of " << path
        << " is empty: the data are read from the first sheet of a workbook\n";
    return false;
  }
  std::vector<std::vector<std::string>> lines(sheet.rows.size());
  for (std::size_t row = 0; row < sheet.rows.size(); ++row) {
    const std::vector<WorkbookCell>& cells = sheet.rows[row];
    lines[row].resize(cells.size());
    for (std::size_t column = 0; column < cells.size(); ++column) {
      if (!cellField(sheet, cells[column], row, column, path, lines[row][column], err)) {
        return false;
      }
    }
  }
  const FieldPlace place = [&sheet](std::uint64_t line, std::size_t field) {
    return cellAddress(sheet.name, line - 1, field);
  };
  return readDataSetFields(std::move(lines), path, place, data, err);
}

bool readDataFile(const std::string& path, DataSet& data, std::string& sheetName,
                  std::ostream& err) {
  sheetName.clear();
  std::string bytes;
  {
    InputFile file;
    if (!openInputFile(file, path, err, " for reading") ||
        !readFileBytes(file.stream, path, bytes, err)) {
      return false;
    }
  }
  if (recognizeContent(bytes) == FileContent::text) {
    return readDataSetBytes(std::move(bytes), path, data, err);
  }
  WorkbookSheet sheet;
  if (!readFirstSheet(bytes, path, sheet, err)) return false;
  bytes = std::string();
  if (!readDataSetFromSheet(sheet, path, data, err)) return false;
  sheetName = sheet.name;
  return true;
}

}  // namespace brevox
