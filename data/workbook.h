#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/failure.h"

namespace brevox {

/// What a cell of a workbook holds, as the spreadsheet stored it. Errors, dates and times,
/// booleans and formulas never computed are kept apart, so that no count is read from them.
enum class CellKind : std::uint8_t { empty, number, text, error, date, boolean, uncomputed };

/// One cell. `number` holds a number, or 1 and 0 for a boolean; `text` indexes the sheet's texts
/// for text, an error value (such as #DIV/0!) and a date or time as stored.
struct WorkbookCell {
  CellKind kind = CellKind::empty;
  double number = 0.0;
  std::uint32_t text = 0;
};

/// The first worksheet of a workbook. rows[r][c] is the cell of row r + 1 and column c + 1; empty
/// rows and cells after the last cell with content are left out, repeated ones written out.
struct WorkbookSheet {
  std::string name;
  std::vector<std::string> texts;
  std::vector<std::vector<WorkbookCell>> rows;
  bool moreSheets = false;  ///< whether another worksheet follows it in the workbook
};

/// What the first bytes of a data file say it is.
enum class FileContent {
  text,           ///< anything else: read as CSV
  zipArchive,     ///< a zip archive: an .xlsx or .ods workbook, or refused
  legacyWorkbook  ///< an OLE compound file, as Excel's .xls
};

/// What a data file's first bytes make it: a zip archive (which a workbook is), an OLE compound
/// file (which a legacy .xls is), or text.
FileContent recognizeContent(const std::string& bytes);

/// The most bytes one entry of a workbook may inflate to, and the most times its packed size;
/// beyond either the workbook is refused as a zip bomb. Counted while inflating.
constexpr std::uint64_t kMostEntryBytes = std::uint64_t{128} << 20;
constexpr std::uint64_t kMostInflationRatio = 1000;
/// The most cells (counting the empty ones inside the used range) and rows a sheet may have, and
/// its widest column (XFD, as in Excel); the most bytes of text in one cell.
constexpr std::uint64_t kMostCells = 2000000;
constexpr std::uint64_t kMostRows = 1048576;
constexpr std::uint64_t kMostColumns = 16384;
constexpr std::uint64_t kMostCellText = std::uint64_t{1} << 20;

/// Reads the first worksheet of the workbook in `bytes` (the whole file `path`): of an .xlsx the
/// first worksheet in the workbook's order, of an .ods the first table. A legacy .xls, a zip
/// archive that is damaged, truncated or holds no workbook, a zip bomb, a document type
/// declaration or entity, malformed XML and a sheet beyond the limits above fail with one message
/// naming `path` and what is wrong.
[[nodiscard]] Outcome readFirstSheet(const std::string& bytes, const std::string& path,
                                     WorkbookSheet& sheet);

}  // namespace brevox
