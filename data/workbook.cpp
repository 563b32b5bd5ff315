#include "data/workbook.h"

#include <expat.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>
#include <utility>

#include "data/data_layout.h"

namespace brevox {

namespace {

// --- Zip archive ----------------------------------------------------------------------------

struct ZipCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct ZipFileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

/// An open workbook archive and the path of its file, for messages.
struct Archive {
  std::unique_ptr<zip_t, ZipCloser> zip;
  const std::string& path;
  std::ostream& err;
};

bool hasEntry(const Archive& archive, const std::string& name) {
  return zip_name_locate(archive.zip.get(), name.c_str(), 0) >= 0;
}

/// The name of an entry as messages show it. Names of parts come from the workbook's own
/// relationships, so a hostile one may hold line breaks or run to megabytes.
std::string entryShown(const std::string& name) { return sheetForMessage(name); }

/// Inflates the entry `name` chunk by chunk into `consume`, which returns false to stop early.
/// Counts the bytes as they come: the sizes in the archive's directory may lie. Returns false
/// after a message when the entry is missing, damaged or inflates beyond the limits.
template <typename Consume>
bool inflateEntry(Archive& archive, const std::string& name, Consume&& consume) {
  const zip_int64_t index = zip_name_locate(archive.zip.get(), name.c_str(), 0);
  if (index < 0) {
    archive.err << "Missing entry " << entryShown(name) << " in workbook " << archive.path << '\n';
    return false;
  }
  const auto entry = static_cast<zip_uint64_t>(index);
  zip_stat_t stat;
  zip_stat_init(&stat);
  zip_uint64_t packed = 0;
  if (zip_stat_index(archive.zip.get(), entry, 0, &stat) == 0 &&
      (stat.valid & ZIP_STAT_COMP_SIZE) != 0) {
    packed = stat.comp_size;
  }
  auto bomb = [&](std::uint64_t size) {
    if (size > kMostEntryBytes) {
      archive.err << "Entry " << entryShown(name) << " of " << archive.path << " inflates beyond "
                  << kMostEntryBytes << " bytes: refused as a zip bomb\n";
      return true;
    }
    if (size > (std::uint64_t{1} << 20) &&
        size / kMostInflationRatio > std::max<std::uint64_t>(packed, 1)) {
      archive.err << "Entry " << entryShown(name) << " of " << archive.path
                  << " inflates more than " << kMostInflationRatio
                  << " times its packed size: refused as a zip bomb\n";
      return true;
    }
    return false;
  };
  if ((stat.valid & ZIP_STAT_SIZE) != 0 && bomb(stat.size)) return false;
  std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(archive.zip.get(), entry, 0));
  if (!file) {
    archive.err << "Damaged entry " << entryShown(name) << " of " << archive.path << ": "
                << zip_strerror(archive.zip.get()) << '\n';
    return false;
  }
  static thread_local char buffer[1 << 16];
  std::uint64_t inflated = 0;
  for (;;) {
    const zip_int64_t read = zip_fread(file.get(), buffer, sizeof buffer);
    if (read < 0) {
      archive.err << "Damaged entry " << entryShown(name) << " of " << archive.path << ": "
                  << zip_file_strerror(file.get()) << '\n';
      return false;
    }
    if (read == 0) {
      consume(nullptr, 0, true);
      return true;
    }
    inflated += static_cast<std::uint64_t>(read);
    if (bomb(inflated)) return false;
    if (!consume(buffer, static_cast<std::size_t>(read), false)) return true;
  }
}

// --- XML -------------------------------------------------------------------------------------

// The parts of an OpenDocument file are read with their namespaces, which the parser joins to
// each name as URI, a blank and local name. The parts of an .xlsx use their namespaces in the
// same few ways everywhere and are read without that cost: a name is then its prefix, a colon
// and local name.
struct XmlName {
  std::string_view uri;  ///< the namespace URI, or the prefix; empty when there is none
  std::string_view local;
};

constexpr char kJoinedUri = ' ';
constexpr char kPrefix = ':';

XmlName splitName(const char* name, char separator) {
  const std::string_view whole(name);
  const std::size_t split = whole.rfind(separator);
  if (split == std::string_view::npos) return {{}, whole};
  return {whole.substr(0, split), whole.substr(split + 1)};
}

/// The value of the attribute of `local` name whose namespace URI or prefix ends with `uriEnd`
/// (empty: an attribute without namespace), or nullptr.
const char* attribute(const char** attributes, std::string_view local, std::string_view uriEnd,
                      char separator = kPrefix) {
  for (; *attributes != nullptr; attributes += 2) {
    const XmlName name = splitName(attributes[0], separator);
    if (name.local != local) continue;
    if (uriEnd.empty() ? name.uri.empty()
                       : name.uri.size() >= uriEnd.size() &&
                             name.uri.substr(name.uri.size() - uriEnd.size()) == uriEnd) {
      return attributes[1];
    }
  }
  return nullptr;
}

/// What every reader of an entry shares: a message when it refuses the entry, and whether it has
/// read all it needs.
struct XmlState {
  std::string failure;
  bool done = false;
  bool doctype = false;  ///< a document type declaration or an entity stopped the parser
};

template <typename Reader>
struct XmlCallbacks {
  static void stopIfOver(Reader& reader) {
    if (!reader.state.failure.empty() || reader.state.done) {
      XML_StopParser(reader.parser, XML_FALSE);
    }
  }
  static void start(void* data, const char* name, const char** attributes) {
    Reader& reader = *static_cast<Reader*>(data);
    reader.start(splitName(name, Reader::kSeparator), attributes);
    stopIfOver(reader);
  }
  static void end(void* data, const char* name) {
    Reader& reader = *static_cast<Reader*>(data);
    reader.end(splitName(name, Reader::kSeparator));
    stopIfOver(reader);
  }
  static void text(void* data, const char* characters, int length) {
    Reader& reader = *static_cast<Reader*>(data);
    reader.text(characters, static_cast<std::size_t>(length));
    stopIfOver(reader);
  }
};

struct ParserFreer {
  void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

/// Parses the entry `name` with `reader`, which has `parser`, `state`, start, end and text. A
/// workbook's XML has no document type: a declaration could define entities that expand to
/// gigabytes, so the parser stops at its start and no entity is ever defined.
template <typename Reader>
bool parseEntry(Archive& archive, const std::string& name, Reader& reader) {
  std::unique_ptr<XML_ParserStruct, ParserFreer> parser(
      Reader::kSeparator == kJoinedUri ? XML_ParserCreateNS(nullptr, kJoinedUri)
                                       : XML_ParserCreate(nullptr));
  if (!parser) {
    archive.err << "Not enough memory to read " << archive.path << '\n';
    return false;
  }
  reader.parser = parser.get();
  XML_SetUserData(parser.get(), &reader);
  XML_SetElementHandler(parser.get(), XmlCallbacks<Reader>::start, XmlCallbacks<Reader>::end);
  XML_SetCharacterDataHandler(parser.get(), XmlCallbacks<Reader>::text);
  XML_SetStartDoctypeDeclHandler(
      parser.get(), [](void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        Reader& refused = *static_cast<Reader*>(data);
        refused.state.doctype = true;
        XML_StopParser(refused.parser, XML_FALSE);
      });
  XML_SetEntityDeclHandler(
      parser.get(), [](void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                       const XML_Char*, const XML_Char*, const XML_Char*) {
        Reader& refused = *static_cast<Reader*>(data);
        refused.state.doctype = true;
        XML_StopParser(refused.parser, XML_FALSE);
      });
  XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
  bool parsed = true;
  auto consume = [&](const char* bytes, std::size_t size, bool last) {
    if (XML_Parse(parser.get(), bytes, static_cast<int>(size), last ? 1 : 0) == XML_STATUS_OK) {
      return true;
    }
    parsed = false;
    return false;
  };
  if (!inflateEntry(archive, name, consume)) return false;
  if (parsed && !reader.state.done && reader.state.failure.empty()) return true;
  if (!reader.state.failure.empty()) {
    archive.err << reader.state.failure << '\n';
    return false;
  }
  if (reader.state.doctype) {
    archive.err << "Document type declaration in " << entryShown(name) << " of " << archive.path
                << ": refused, a workbook has none\n";
    return false;
  }
  if (reader.state.done) return true;
  archive.err << "Invalid XML in " << entryShown(name) << " of " << archive.path << ", line "
              << XML_GetCurrentLineNumber(parser.get()) << ": "
              << XML_ErrorString(XML_GetErrorCode(parser.get())) << '\n';
  return false;
}

// --- Numbers and references ------------------------------------------------------------------

/// A decimal number as XML stores it, surrounding blanks allowed.
bool parseNumber(std::string_view text, double& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
  return fault == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

/// A count of repetitions or a row number: decimal digits, saturating far above every limit.
bool parseWhole(const char* text, std::uint64_t& value) {
  if (text == nullptr || *text == '\0') return false;
  value = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
    value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(*text - '0'),
                                    std::uint64_t{1} << 40);
  }
  return true;
}

/// An A1 reference such as D5 into its 0-based row and column.
bool parseReference(const char* text, std::uint64_t& row, std::uint64_t& column) {
  std::uint64_t letters = 0;
  column = 0;
  for (; *text >= 'A' && *text <= 'Z' && letters < 4; ++text, ++letters) {
    column = column * 26 + static_cast<std::uint64_t>(*text - 'A' + 1);
  }
  if (letters == 0 || !parseWhole(text, row) || row == 0) return false;
  --row;
  --column;
  return true;
}

// --- The sheet being built -------------------------------------------------------------------

struct SheetBuilder {
  WorkbookSheet& sheet;
  const std::string& path;
  std::uint64_t cells = 0;
  std::uint64_t textBytes = 0;

  std::string inSheet() const { return " in sheet " + sheetForMessage(sheet.name) + " of " + path; }
  /// A cell named as the rules of the data name it, for the 0-based row and column.
  std::string cellPlace(std::uint64_t row, std::uint64_t column) const {
    return gridPlace({path, sheet.name}, row + 1, column + 1);
  }

  /// Puts a cell with content in place; empty ones are never placed, so that a sheet's
  /// formatting to its last row and column costs nothing.
  bool place(std::uint64_t row, std::uint64_t column, const WorkbookCell& cell,
             std::string& failure) {
    if (row >= kMostRows || column >= kMostColumns) {
      failure = "Cell beyond row " + std::to_string(kMostRows) + " or column " +
                columnLetters(kMostColumns) + inSheet();
      return false;
    }
    if (row >= sheet.rows.size()) sheet.rows.resize(row + 1);
    std::vector<WorkbookCell>& cellsOfRow = sheet.rows[row];
    if (column >= cellsOfRow.size()) {
      cells += column + 1 - cellsOfRow.size();
      if (cells > kMostCells) {
        failure = "More than " + std::to_string(kMostCells) + " cells" + inSheet();
        return false;
      }
      cellsOfRow.resize(column + 1);
    }
    cellsOfRow[column] = cell;
    return true;
  }

  std::uint32_t addText(std::string&& text) {
    textBytes += text.size();
    sheet.texts.push_back(std::move(text));
    return static_cast<std::uint32_t>(sheet.texts.size() - 1);
  }

  /// Appends to the text of the cell at `row`, `column`, within the limit of one cell and of the
  /// whole sheet.
  bool appendText(std::string& text, std::string_view more, std::uint64_t row, std::uint64_t column,
                  std::string& failure) {
    if (text.size() + more.size() > kMostCellText ||
        textBytes + text.size() + more.size() > kMostEntryBytes) {
      failure = "Text of more than " + std::to_string(kMostCellText) + " bytes in " + path +
                " at " + cellPlace(row, column) + ", or of more than " +
                std::to_string(kMostEntryBytes) + " bytes in its sheet";
      return false;
    }
    text.append(more);
    return true;
  }
};

// --- Office Open XML (.xlsx) -----------------------------------------------------------------

/// The most relationships of the workbook, and number formats of its styles: a workbook has
/// some dozens of each, and a hostile one should not fill the memory with them.
constexpr std::size_t kMostDefinitions = 65536;

std::string tooMany(const char* what, const std::string& path) {
  return "More than " + std::to_string(kMostDefinitions) + " " + what + " in " + path;
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

bool endsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

/// The first worksheet of the workbook part, in the workbook's own order of sheets.
struct WorkbookReader {
  static constexpr char kSeparator = kPrefix;
  explicit WorkbookReader(const RelationshipsReader& found) : relationships(found) {}

  XML_Parser parser = nullptr;
  XmlState state;
  const RelationshipsReader& relationships;
  std::string name;
  std::string target;

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
    name = sheetName;
    target = found->second.second;
    state.done = true;
  }
  void end(XmlName) {}
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
        state.failure =
            "More than " + std::to_string(kMostCells) + " shared strings in " + builder.path;
        return;
      }
      builder.addText(std::move(current));
      current.clear();
    }
  }
  void text(const char* characters, std::size_t size) {
    if (!inText) return;
    if (current.size() + size > kMostCellText) {
      state.failure = "Shared string of more than " + std::to_string(kMostCellText) + " bytes in " +
                      builder.path;
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
    state.failure = what + " " + quotedForMessage(text, kShownBytes) + " in " + builder.path +
                    " at " + builder.cellPlace(row, column);
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
          state.failure =
              "Invalid row number " + quotedForMessage(number, kShownBytes) + builder.inSheet();
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
          state.failure = "Invalid cell reference " + quotedForMessage(reference, kShownBytes) +
                          builder.inSheet();
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
      builder.appendText(*target, {characters, size}, row, column, state.failure);
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
    builder.place(row, column, cell, state.failure);
  }
};

/// A target of the workbook part's relationships as a name in the archive.
std::string partName(const std::string& target) {
  if (!target.empty() && target[0] == '/') return target.substr(1);
  return "xl/" + target;
}

bool readXlsx(Archive& archive, WorkbookSheet& sheet) {
  RelationshipsReader relationships(archive.path);
  if (!parseEntry(archive, "xl/_rels/workbook.xml.rels", relationships)) return false;
  WorkbookReader workbook(relationships);
  if (!parseEntry(archive, "xl/workbook.xml", workbook)) return false;
  if (workbook.target.empty()) {
    archive.err << "No worksheet in workbook " << archive.path << '\n';
    return false;
  }
  sheet.name = workbook.name;
  std::string stylesPart;
  std::string stringsPart;
  for (const auto& [id, relationship] : relationships.targets) {
    if (endsWith(relationship.first, "/styles")) stylesPart = partName(relationship.second);
    if (endsWith(relationship.first, "/sharedStrings")) stringsPart = partName(relationship.second);
  }
  StylesReader styles(archive.path);
  if (!stylesPart.empty() && !parseEntry(archive, stylesPart, styles)) return false;
  SheetBuilder builder{sheet, archive.path};
  SharedStringsReader strings(builder);
  if (!stringsPart.empty() && !parseEntry(archive, stringsPart, strings)) return false;
  XlsxSheetReader cells(builder, styles.dateStyles);
  cells.sharedStrings = sheet.texts.size();
  return parseEntry(archive, partName(workbook.target), cells);
}

// --- OpenDocument (.ods) ---------------------------------------------------------------------

constexpr std::string_view kOfficeSpace = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr std::string_view kTableSpace = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kTextSpace = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";

/// The cells of the first table of content.xml. Repeated rows and cells are written out only
/// up to the last one with content: a sheet's formatting to its millionth row costs nothing.
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
    if (hasStringValue) cellText = found.stringValue;
    if (valueType == "float" || valueType == "percentage" || valueType == "currency") {
      if (found.value == nullptr || !parseNumber(found.value, cell.number)) {
        state.failure = "Invalid number " +
                        quotedForMessage(found.value == nullptr ? "" : found.value, kShownBytes) +
                        " in " + builder.path + " at " + builder.cellPlace(row, column);
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
    builder.appendText(cellText, more, row, column, state.failure);
  }

  void end(XmlName name) {
    if (inCell && !textual.empty()) {
      textual.pop_back();
      return;
    }
    if (inCell) return finishCell();
    if (name.uri != kTableSpace) return;
    if (name.local == "table") {
      if (--tables == 0) state.done = true;
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
          if (!builder.place(row, at, run.cell, state.failure)) return;
        }
      }
    }
  }
};

bool readOds(Archive& archive, WorkbookSheet& sheet) {
  SheetBuilder builder{sheet, archive.path};
  OdsSheetReader cells(builder);
  if (!parseEntry(archive, "content.xml", cells)) return false;
  if (!cells.started) {
    archive.err << "No worksheet in workbook " << archive.path << '\n';
    return false;
  }
  return true;
}

constexpr std::string_view kOdsType = "application/vnd.oasis.opendocument.spreadsheet";

enum class WorkbookFormat { xlsx, ods, none, failed };

WorkbookFormat workbookFormat(Archive& archive) {
  if (hasEntry(archive, "xl/workbook.xml")) return WorkbookFormat::xlsx;
  if (!hasEntry(archive, "mimetype")) return WorkbookFormat::none;
  std::string type;
  bool fits = true;
  const bool read =
      inflateEntry(archive, "mimetype", [&](const char* bytes, std::size_t size, bool) {
        fits = type.size() + size <= kOdsType.size();
        if (fits) type.append(bytes, size);
        return fits;
      });
  if (!read) return WorkbookFormat::failed;
  return fits && type == kOdsType ? WorkbookFormat::ods : WorkbookFormat::none;
}

}  // namespace

FileContent recognizeContent(const std::string& bytes) {
  if (bytes.compare(0, 4, "PK\x03\x04") == 0 || bytes.compare(0, 4, "PK\x05\x06") == 0) {
    return FileContent::zipArchive;
  }
  if (bytes.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") == 0) {
    return FileContent::legacyWorkbook;
  }
  return FileContent::text;
}

bool readFirstSheet(const std::string& bytes, const std::string& path, WorkbookSheet& sheet,
                    std::ostream& err) {
  sheet = WorkbookSheet{};
  if (recognizeContent(bytes) == FileContent::legacyWorkbook) {
    err << path << " is a legacy Excel workbook (.xls) or another OLE compound file: "
        << "save it as .xlsx, .ods or CSV\n";
    return false;
  }
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* zip = source == nullptr ? nullptr
                                 : zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (zip == nullptr) {
    err << "Damaged or truncated zip archive " << path << ": " << zip_error_strerror(&error)
        << '\n';
    if (source != nullptr) zip_source_free(source);
    zip_error_fini(&error);
    return false;
  }
  zip_error_fini(&error);
  Archive archive{std::unique_ptr<zip_t, ZipCloser>(zip), path, err};
  switch (workbookFormat(archive)) {
    case WorkbookFormat::xlsx:
      return readXlsx(archive, sheet);
    case WorkbookFormat::ods:
      return readOds(archive, sheet);
    case WorkbookFormat::failed:
      return false;
    case WorkbookFormat::none:
      break;
  }
  err << "Zip archive " << path << " holds no workbook: neither xl/workbook.xml of an .xlsx "
      << "nor the mimetype of an .ods\n";
  return false;
}

}  // namespace brevox
