// The reader of .ods workbooks: the first table of content.xml as typed cells.

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/workbook_archive.h"

namespace brevox {

namespace {

// --- OpenDocument (.ods) ---------------------------------------------------------------------

constexpr std::string_view kOfficeSpace = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr std::string_view kTableSpace = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kTextSpace = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";

/// The cells of the first table of content.xml, and whether another table follows. Repeated rows
/// and cells are written out only up to the last one with content: a sheet's formatting to its
/// millionth row costs nothing.
struct OdsSheetReader {
  static constexpr char kSeparator = kJoinedUri;
  explicit OdsSheetReader(SheetBuilder& sheet) : builder(sheet) {}

  XML_Parser parser = nullptr;
  XmlState state;
  SheetBuilder& builder;

  /// A cell and how many times it repeats along its row.
  struct Run {
    std::uint64_t repeat;
    WorkbookCell cell;
  };

  int tables = 0;  // open tables: the first table, and tables nested in its cells
  bool started = false;
  bool inRow = false;
  std::uint64_t row = 0;
  std::uint64_t rowRepeat = 1;
  std::uint64_t column = 0;
  std::vector<Run> runs;

  bool inCell = false;
  std::uint64_t cellRepeat = 1;
  WorkbookCell cell;
  std::string valueType;
  bool formula = false;
  bool hasStringValue = false;
  std::string cellText;
  std::uint64_t paragraphs = 0;
  // For each element open inside the cell: whether its text belongs to the cell's text.
  // Annotations and drawings in a cell are not the cell's value.
  std::vector<bool> textual;

  static std::uint64_t repeats(const char* text) {
    std::uint64_t value = 1;
    return parseWhole(text, value) && value > 0 ? value : 1;
  }

  void start(XmlName name, const char** attributes) {
    if (inCell) return startInCell(name, attributes);
    if (name.uri != kTableSpace) return;
    if (name.local == "table") {
      if (started && tables == 0) {
        // The first table is over: the workbook has another sheet.
        builder.sheet.moreSheets = true;
        state.done = true;
        return;
      }
      if (!started) {
        started = true;
        const char* tableName = attribute(attributes, "name", kTableSpace, kJoinedUri);
        builder.sheet.name = tableName == nullptr ? "" : tableName;
      }
      ++tables;
    } else if (tables != 1) {
      return;
    } else if (name.local == "table-row") {
      inRow = true;
      rowRepeat = repeats(attribute(attributes, "number-rows-repeated", kTableSpace, kJoinedUri));
      runs.clear();
      column = 0;
    } else if (inRow && (name.local == "table-cell" || name.local == "covered-table-cell")) {
      startCell(attributes);
    }
  }

  /// The attributes of a cell that say what it holds, found in one pass: a sheet has many cells.
  struct CellAttributes {
    const char* repeated = nullptr;
    const char* type = nullptr;
    const char* calcType = nullptr;
    const char* formula = nullptr;
    const char* stringValue = nullptr;
    const char* value = nullptr;
    const char* dateValue = nullptr;
    const char* timeValue = nullptr;
    const char* booleanValue = nullptr;
  };

  static CellAttributes cellAttributes(const char** attributes) {
    CellAttributes found;
    for (; *attributes != nullptr; attributes += 2) {
      const XmlName name = splitName(attributes[0], kJoinedUri);
      const char* value = attributes[1];
      if (name.uri == kTableSpace) {
        if (name.local == "number-columns-repeated") found.repeated = value;
        if (name.local == "formula") found.formula = value;
      } else if (name.uri == kOfficeSpace) {
        if (name.local == "value-type") found.type = value;
        if (name.local == "value") found.value = value;
        if (name.local == "string-value") found.stringValue = value;
        if (name.local == "date-value") found.dateValue = value;
        if (name.local == "time-value") found.timeValue = value;
        if (name.local == "boolean-value") found.booleanValue = value;
      } else if (name.local == "value-type" && endsWith(name.uri, "calc:xmlns:calcext:1.0")) {
        found.calcType = value;
      }
    }
    return found;
  }

  void startCell(const char** attributes) {
    const CellAttributes found = cellAttributes(attributes);
    inCell = true;
    cellRepeat = repeats(found.repeated);
    cell = WorkbookCell{};
    cellText.clear();
    paragraphs = 0;
    textual.clear();
    valueType = found.calcType != nullptr && std::strcmp(found.calcType, "error") == 0 ? "error"
                : found.type != nullptr                                                ? found.type
                                                                                       : "";
    formula = found.formula != nullptr;
    // An error value keeps an empty string value beside its text.
    hasStringValue = valueType == "string" && found.stringValue != nullptr;
    // The string value is the cell's text, within the same limits as text in paragraphs.
    if (hasStringValue) state.keep(builder.appendText(cellText, found.stringValue, row, column));
    if (valueType == "float" || valueType == "percentage" || valueType == "currency") {
      if (found.value == nullptr || !parseNumber(found.value, cell.number)) {
        state.failure =
            Failure{"Invalid number " +
                        quotedForMessage(found.value == nullptr ? "" : found.value, kShownBytes) +
                        " in " + builder.path + " at " + builder.cellPlace(row, column),
                    ""};
        return;
      }
      cell.kind = CellKind::number;
    } else if (valueType == "date" || valueType == "time") {
      const char* when = valueType == "date" ? found.dateValue : found.timeValue;
      cell.kind = CellKind::date;
      cell.text = builder.addText(when == nullptr ? "" : when);
    } else if (valueType == "boolean") {
      cell.kind = CellKind::boolean;
      cell.number =
          found.booleanValue != nullptr && std::strcmp(found.booleanValue, "true") == 0 ? 1.0 : 0.0;
    }
  }

  void startInCell(XmlName name, const char** attributes) {
    const bool text = (textual.empty() || textual.back()) && name.uri == kTextSpace;
    textual.push_back(text);
    if (!text || hasStringValue) return;
    if (name.local == "p" || name.local == "h") {
      if (paragraphs++ > 0) addText("\n");
    } else if (name.local == "s") {
      // Runs of blanks are stored as a count; the count is bounded by the cell's text limit.
      std::uint64_t blanks = 1;
      if (!parseWhole(attribute(attributes, "c", kTextSpace, kJoinedUri), blanks)) blanks = 1;
      addText(std::string(std::min<std::uint64_t>(blanks, kMostCellText + 1), ' '));
    } else if (name.local == "tab") {
      addText("\t");
    } else if (name.local == "line-break") {
      addText("\n");
    }
  }

  void addText(std::string_view more) {
    state.keep(builder.appendText(cellText, more, row, column));
  }

  void end(XmlName name) {
    if (inCell && !textual.empty()) {
      textual.pop_back();
      return;
    }
    if (inCell) return finishCell();
    if (name.uri != kTableSpace) return;
    if (name.local == "table") {
      --tables;
    } else if (tables == 1 && name.local == "table-row" && inRow) {
      inRow = false;
      finishRow();
    }
  }

  void text(const char* characters, std::size_t size) {
    if (inCell && !textual.empty() && textual.back() && !hasStringValue) {
      addText({characters, size});
    }
  }

  void finishCell() {
    inCell = false;
    if (valueType == "error" || valueType == "string" ||
        (cell.kind == CellKind::empty && !cellText.empty())) {
      cell.kind = valueType == "error" ? CellKind::error : CellKind::text;
      cell.text = builder.addText(std::move(cellText));
    } else if (cell.kind == CellKind::empty && formula) {
      cell.kind = CellKind::uncomputed;
    }
    runs.push_back({cellRepeat, cell});
    column = std::min(column + cellRepeat, kMostColumns + 1);
  }

  void finishRow() {
    const bool content = std::any_of(
        runs.begin(), runs.end(), [](const Run& run) { return run.cell.kind != CellKind::empty; });
    if (!content) {
      row = std::min(row + rowRepeat, kMostRows + 1);
      return;
    }
    for (std::uint64_t copy = 0; copy < rowRepeat; ++copy, ++row) {
      std::uint64_t at = 0;
      for (const Run& run : runs) {
        if (run.cell.kind == CellKind::empty) {
          at = std::min(at + run.repeat, kMostColumns + 1);
          continue;
        }
        for (std::uint64_t i = 0; i < run.repeat; ++i, ++at) {
          if (Outcome refused = builder.place(row, at, run.cell)) {
            state.failure = std::move(refused);
            return;
          }
        }
      }
    }
  }
};

}  // namespace

Outcome readOds(Archive& archive, WorkbookSheet& sheet) {
  SheetBuilder builder{sheet, archive.path};
  OdsSheetReader cells(builder);
  if (Outcome failed = parseEntry(archive, "content.xml", cells)) return failed;
  if (!cells.started) return Failure{"No worksheet in workbook " + archive.path, ""};
  return std::nullopt;
}

}  // namespace brevox
