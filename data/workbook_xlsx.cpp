// The reader of .xlsx workbooks: their first worksheet as typed cells.

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "data/workbook_archive.h"

namespace brevox {

namespace {

// --- Office Open XML (.xlsx) -----------------------------------------------------------------

/// The most relationships of the workbook, and number formats of its styles: a workbook has
/// some dozens of each, and a hostile one should not fill the memory with them.
constexpr std::size_t kMostDefinitions = 65536;

Failure tooMany(const char* what, const std::string& path) {
  return {"More than " + std::to_string(kMostDefinitions) + " " + what + " in " + path, ""};
}

/// The relationships of a part: identifier to type and target.
struct RelationshipsReader {
  static constexpr char kSeparator = kPrefix;
  explicit RelationshipsReader(const std::string& file) : path(file) {}

  XML_Parser parser = nullptr;
  XmlState state;
  const std::string& path;
  std::map<std::string, std::pair<std::string, std::string>> targets;

  void start(XmlName name, const char** attributes) {
    if (name.local != "Relationship") return;
    const char* id = attribute(attributes, "Id", "");
    const char* type = attribute(attributes, "Type", "");
    const char* target = attribute(attributes, "Target", "");
    if (id == nullptr || type == nullptr || target == nullptr) return;
    if (targets.size() >= kMostDefinitions) {
      state.failure = tooMany("relationships of the workbook", path);
      return;
    }
    targets[id] = {type, target};
  }
  void end(XmlName) {}
  void text(const char*, std::size_t) {}
};

/// The first worksheet of the workbook part, in the workbook's own order of sheets, and whether
/// another one follows.
struct WorkbookReader {
  static constexpr char kSeparator = kPrefix;
  explicit WorkbookReader(const RelationshipsReader& found) : relationships(found) {}

  XML_Parser parser = nullptr;
  XmlState state;
  const RelationshipsReader& relationships;
  std::string name;
  std::string target;
  bool taken = false;
  bool moreSheets = false;

  void start(XmlName element, const char** attributes) {
    if (element.local != "sheet") return;
    const char* sheetName = attribute(attributes, "name", "");
    // The relationship's identifier, r:id, whatever the prefix.
    const char* id = nullptr;
    for (const char** at = attributes; *at != nullptr; at += 2) {
      const XmlName attributeName = splitName(at[0], kPrefix);
      if (attributeName.local == "id" && !attributeName.uri.empty()) id = at[1];
    }
    if (sheetName == nullptr || id == nullptr) return;
    const auto found = relationships.targets.find(id);
    // Chart sheets hold no cells.
    if (found == relationships.targets.end() || !endsWith(found->second.first, "/worksheet")) {
      return;
    }
    if (taken) {
      moreSheets = true;
      state.done = true;
      return;
    }
    taken = true;
    name = sheetName;
    target = found->second.second;
  }
  void end(XmlName element) {
    if (element.local == "sheets" && taken) state.done = true;
  }
  void text(const char*, std::size_t) {}
};

/// A number format shows a date or a time when, outside quoted text, escaped characters and
/// brackets of colour or locale, it holds a letter of day, month, year, hour or second.
bool dateFormat(std::string_view code) {
  bool quoted = false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      const std::size_t close = code.find(']', i);
      if (close == std::string_view::npos) return false;
      // Elapsed hours, minutes and seconds: [h], [mm], [ss].
      const std::string_view inside = code.substr(i + 1, close - i - 1);
      if (!inside.empty() && std::strchr("hHmMsS", inside[0]) != nullptr) return true;
      i = close;
    } else if (std::strchr("dDmMyYhHsS", c) != nullptr) {
      return true;
    }
  }
  return false;
}

/// Excel's built-in number formats of dates and times.
bool builtInDateFormat(std::uint64_t id) {
  return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
         (id >= 50 && id <= 58);
}

/// Which cell styles show dates or times.
struct StylesReader {
  static constexpr char kSeparator = kPrefix;
  explicit StylesReader(const std::string& file) : path(file) {}

  XML_Parser parser = nullptr;
  XmlState state;
  const std::string& path;
  std::map<std::uint64_t, bool> customDate;
  std::vector<bool> dateStyles;
  bool inCellStyles = false;

  void start(XmlName name, const char** attributes) {
    std::uint64_t id = 0;
    if (name.local == "numFmt") {
      const char* code = attribute(attributes, "formatCode", "");
      if (parseWhole(attribute(attributes, "numFmtId", ""), id) && code != nullptr) {
        if (customDate.size() >= kMostDefinitions) {
          state.failure = tooMany("number formats", path);
          return;
        }
        customDate[id] = dateFormat(code);
      }
    } else if (name.local == "cellXfs") {
      inCellStyles = true;
    } else if (name.local == "xf" && inCellStyles) {
      bool date = false;
      if (parseWhole(attribute(attributes, "numFmtId", ""), id)) {
        const auto custom = customDate.find(id);
        date = custom != customDate.end() ? custom->second : builtInDateFormat(id);
      }
      if (dateStyles.size() < kMostCells) dateStyles.push_back(date);
    }
  }
  void end(XmlName name) {
    if (name.local == "cellXfs") state.done = true;
  }
  void text(const char*, std::size_t) {}
};

/// The shared strings: the text of each string item, its rich text runs joined, its phonetic
/// readings left out.
struct SharedStringsReader {
  static constexpr char kSeparator = kPrefix;
  explicit SharedStringsReader(SheetBuilder& sheet) : builder(sheet) {}

  XML_Parser parser = nullptr;
  XmlState state;
  SheetBuilder& builder;
  std::string current;
  bool inItem = false;
  bool inText = false;
  int phonetic = 0;

  void start(XmlName name, const char**) {
    if (name.local == "si") {
      inItem = true;
      current.clear();
    } else if (name.local == "rPh") {
      ++phonetic;
    } else if (name.local == "t" && inItem && phonetic == 0) {
      inText = true;
    }
  }
  void end(XmlName name) {
    if (name.local == "t") {
      inText = false;
    } else if (name.local == "rPh") {
      --phonetic;
    } else if (name.local == "si") {
      inItem = false;
      if (builder.sheet.texts.size() >= kMostCells) {
        state.failure = Failure{
            "More than " + std::to_string(kMostCells) + " shared strings in " + builder.path, ""};
        return;
      }
      builder.addText(std::move(current));
      current.clear();
    }
  }
  void text(const char* characters, std::size_t size) {
    if (!inText) return;
    if (current.size() + size > kMostCellText) {
      state.failure = Failure{"Shared string of more than " + std::to_string(kMostCellText) +
                                  " bytes in " + builder.path,
                              ""};
      return;
    }
    current.append(characters, size);
  }
};

/// The cells of a worksheet part.
struct XlsxSheetReader {
  static constexpr char kSeparator = kPrefix;
  XlsxSheetReader(SheetBuilder& sheet, const std::vector<bool>& dates)
      : builder(sheet), dateStyles(dates) {}

  XML_Parser parser = nullptr;
  XmlState state;
  SheetBuilder& builder;
  const std::vector<bool>& dateStyles;
  std::uint64_t sharedStrings = 0;

  bool inSheetData = false;
  std::uint64_t row = 0;
  std::uint64_t nextRow = 0;
  std::uint64_t column = 0;
  std::uint64_t nextColumn = 0;
  std::string type;
  std::uint64_t style = 0;
  bool formula = false;
  bool inValue = false;
  bool inInline = false;
  bool inInlineText = false;
  int phonetic = 0;
  std::string value;
  std::string inlineText;

  void fail(const std::string& what, const std::string& text) {
    state.failure = Failure{what + " " + quotedForMessage(text, kShownBytes) + " in " +
                                builder.path + " at " + builder.cellPlace(row, column),
                            ""};
  }

  void start(XmlName name, const char** attributes) {
    if (name.local == "sheetData") {
      inSheetData = true;
    } else if (!inSheetData) {
      return;
    } else if (name.local == "row") {
      const char* number = attribute(attributes, "r", "");
      std::uint64_t given = 0;
      if (number != nullptr) {
        if (!parseWhole(number, given) || given == 0) {
          state.failure = Failure{
              "Invalid row number " + quotedForMessage(number, kShownBytes) + builder.inSheet(),
              ""};
          return;
        }
        nextRow = given - 1;
      }
      row = nextRow++;
      nextColumn = 0;
    } else if (name.local == "c") {
      const char* reference = attribute(attributes, "r", "");
      if (reference != nullptr) {
        std::uint64_t referenceRow = 0;
        if (!parseReference(reference, referenceRow, nextColumn)) {
          state.failure = Failure{"Invalid cell reference " +
                                      quotedForMessage(reference, kShownBytes) + builder.inSheet(),
                                  ""};
          return;
        }
        row = referenceRow;
      }
      column = nextColumn++;
      const char* cellType = attribute(attributes, "t", "");
      type = cellType == nullptr ? "n" : cellType;
      if (!parseWhole(attribute(attributes, "s", ""), style)) style = 0;
      formula = false;
      value.clear();
      inlineText.clear();
    } else if (name.local == "v") {
      inValue = true;
    } else if (name.local == "f") {
      formula = true;
    } else if (name.local == "is") {
      inInline = true;
    } else if (name.local == "rPh") {
      ++phonetic;
    } else if (name.local == "t" && inInline && phonetic == 0) {
      inInlineText = true;
    }
  }

  void end(XmlName name) {
    if (name.local == "v") {
      inValue = false;
    } else if (name.local == "t") {
      inInlineText = false;
    } else if (name.local == "rPh") {
      --phonetic;
    } else if (name.local == "is") {
      inInline = false;
    } else if (name.local == "c" && inSheetData) {
      finishCell();
    } else if (name.local == "sheetData") {
      state.done = true;
    }
  }

  void text(const char* characters, std::size_t size) {
    std::string* target = inValue ? &value : inInlineText ? &inlineText : nullptr;
    if (target != nullptr) {
      state.keep(builder.appendText(*target, {characters, size}, row, column));
    }
  }

  void finishCell() {
    WorkbookCell cell;
    if (type == "inlineStr") {
      cell.kind = CellKind::text;
      cell.text = builder.addText(std::move(inlineText));
    } else if (formula && value.empty()) {
      cell.kind = CellKind::uncomputed;
    } else if (value.empty()) {
      return;
    } else if (type == "s") {
      std::uint64_t index = 0;
      if (!parseWhole(value.c_str(), index) || index >= sharedStrings) {
        return fail("Invalid shared string number", value);
      }
      cell.kind = CellKind::text;
      cell.text = static_cast<std::uint32_t>(index);
    } else if (type == "str") {
      cell.kind = CellKind::text;
      cell.text = builder.addText(std::move(value));
    } else if (type == "e" || type == "d") {
      cell.kind = type == "e" ? CellKind::error : CellKind::date;
      cell.text = builder.addText(std::move(value));
    } else if (type == "b") {
      cell.kind = CellKind::boolean;
      cell.number = value == "1" ? 1.0 : 0.0;
    } else {
      if (!parseNumber(value, cell.number)) return fail("Invalid number", value);
      cell.kind = CellKind::number;
      if (style < dateStyles.size() && dateStyles[style]) {
        cell.kind = CellKind::date;
        cell.text = builder.addText(std::move(value));
      }
    }
    state.keep(builder.place(row, column, cell));
  }
};

/// A target of the workbook part's relationships as a name in the archive.
std::string partName(const std::string& target) {
  if (!target.empty() && target[0] == '/') return target.substr(1);
  return "xl/" + target;
}

}  // namespace

Outcome readXlsx(Archive& archive, WorkbookSheet& sheet) {
  RelationshipsReader relationships(archive.path);
  if (Outcome failed = parseEntry(archive, "xl/_rels/workbook.xml.rels", relationships)) {
    return failed;
  }
  WorkbookReader workbook(relationships);
  if (Outcome failed = parseEntry(archive, "xl/workbook.xml", workbook)) return failed;
  if (workbook.target.empty()) return Failure{"No worksheet in workbook " + archive.path, ""};
  sheet.name = workbook.name;
  sheet.moreSheets = workbook.moreSheets;
  std::string stylesPart;
  std::string stringsPart;
  for (const auto& [id, relationship] : relationships.targets) {
    if (endsWith(relationship.first, "/styles")) stylesPart = partName(relationship.second);
    if (endsWith(relationship.first, "/sharedStrings")) stringsPart = partName(relationship.second);
  }
  StylesReader styles(archive.path);
  if (!stylesPart.empty()) {
    if (Outcome failed = parseEntry(archive, stylesPart, styles)) return failed;
  }
  SheetBuilder builder{sheet, archive.path};
  SharedStringsReader strings(builder);
  if (!stringsPart.empty()) {
    if (Outcome failed = parseEntry(archive, stringsPart, strings)) return failed;
  }
  XlsxSheetReader cells(builder, styles.dateStyles);
  cells.sharedStrings = sheet.texts.size();
  return parseEntry(archive, partName(workbook.target), cells);
}

}  // namespace brevox
