#pragma once

// What the readers of .xlsx and .ods workbooks share: the zip archive read within the limits of
// data/workbook.h, its XML entries parsed without a document type, numbers and cell references as
// the XML stores them, and the sheet being built within its limits.

#include <expat.h>
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "data/grid_place.h"
#include "data/workbook.h"
#include "io/failure.h"

namespace brevox {

// --- Zip archive ----------------------------------------------------------------------------

struct ZipCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
/// An open workbook archive and the path of its file, for messages.
struct Archive {
  std::unique_ptr<zip_t, ZipCloser> zip;
  const std::string& path;
};

bool hasEntry(const Archive& archive, const std::string& name);

/// The name of an entry as messages show it. Names of parts come from the workbook's own
/// relationships, so a hostile one may hold line breaks or run to megabytes.
inline std::string entryShown(const std::string& name) { return sheetForMessage(name); }

/// Inflates the entry `name` chunk by chunk into `consume` (the bytes, their size, whether they
/// are the last), which returns false when it needs no more. Counts the bytes as they come: the
/// sizes in the archive's directory may lie. The entry is read to its end all the same, and fails
/// when it is missing, damaged (its data, its CRC or its size wrong) or inflates beyond the
/// limits, whatever its reader made of it.
[[nodiscard]] Outcome inflateEntry(
    Archive& archive, const std::string& name,
    const std::function<bool(const char*, std::size_t, bool)>& consume);

// --- XML -------------------------------------------------------------------------------------

// The parts of an OpenDocument file are read with their namespaces, which the parser joins to
// each name as URI, a blank and local name. The parts of an .xlsx use their namespaces in the
// same few ways everywhere and are read without that cost: a name is then its prefix, a colon
// and local name.
struct XmlName {
  std::string_view uri;  ///< the namespace URI, or the prefix; empty when there is none
  std::string_view local;
};

inline constexpr char kJoinedUri = ' ';
inline constexpr char kPrefix = ':';

XmlName splitName(const char* name, char separator);

/// The value of the attribute of `local` name whose namespace URI or prefix ends with `uriEnd`
/// (empty: an attribute without namespace), or nullptr.
const char* attribute(const char** attributes, std::string_view local, std::string_view uriEnd,
                      char separator = kPrefix);

/// What every reader of an entry shares: a message when it refuses the entry, and whether it has
/// read all it needs.
struct XmlState {
  Outcome failure;
  bool done = false;
  bool doctype = false;  ///< a document type declaration or an entity stopped the parser

  /// Keeps `outcome` when it is a failure: the parser stops, though a callback or two may follow.
  void keep(Outcome outcome) {
    if (outcome) failure = std::move(outcome);
  }
};

template <typename Reader>
struct XmlCallbacks {
  static void stopIfOver(Reader& reader) {
    if (reader.state.failure || reader.state.done) {
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

/// The most memory the parser of one entry may take. A workbook's XML needs some kilobytes of it;
/// hostile XML, a tag of millions of attributes or millions of different names, would take
/// gigabytes, and seconds for every hundred megabytes.
constexpr std::size_t kMostParserBytes = std::size_t{32} << 20;

/// A new parser, with namespaces joined by kJoinedUri or without them, whose memory is counted
/// against kMostParserBytes on the calling thread: expat's allocation functions take no context,
/// and a thread parses one entry at a time.
XML_Parser createCountedParser(bool namespaces);

/// Whether the parser of this thread was refused memory beyond kMostParserBytes.
bool parserMemoryExhausted();

/// Hands an entry's text to its parser. expat scans a token whose end it has not seen again from
/// its start with each piece of text it is given: a tag of millions of attributes, or a comment of
/// a hundred megabytes, in the pieces of 64 KiB that the archive inflates would be scanned
/// thousands of times over. So the pieces grow to the size of what the parser holds back, and each
/// byte is scanned a few times at most.
struct XmlFeed {
  XML_Parser parser;
  std::string held;  ///< text kept until it makes a piece
  std::uint64_t piece = std::uint64_t{1} << 16;
  std::uint64_t given = 0;  ///< bytes given to the parser so far

  /// Gives the parser `bytes`, or keeps them until they make a piece. False once it failed or
  /// was stopped.
  bool take(const char* bytes, std::size_t size, bool last);
  bool give(const char* bytes, std::size_t size, bool last);
};

/// Parses the entry `name` with `reader`, which has `parser`, `state`, start, end and text. A
/// workbook's XML has no document type: a declaration could define entities that expand to
/// gigabytes, so the parser stops at its start and no entity is ever defined.
template <typename Reader>
[[nodiscard]] Outcome parseEntry(Archive& archive, const std::string& name, Reader& reader) {
  std::unique_ptr<XML_ParserStruct, ParserFreer> parser(
      createCountedParser(Reader::kSeparator == kJoinedUri));
  if (!parser) return Failure{"Not enough memory to read " + archive.path, ""};
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
  XmlFeed feed{parser.get(), {}};
  auto consume = [&](const char* bytes, std::size_t size, bool last) {
    parsed = feed.take(bytes, size, last);
    return parsed;
  };
  if (Outcome failed = inflateEntry(archive, name, consume)) return failed;
  if (parsed && !reader.state.done && !reader.state.failure) return std::nullopt;
  if (reader.state.failure) return reader.state.failure;
  if (parserMemoryExhausted()) {
    return Failure{"Entry " + entryShown(name) + " of " + archive.path + " needs more than " +
                       std::to_string(kMostParserBytes) + " bytes of memory to parse",
                   "refused, a workbook's XML needs far less"};
  }
  if (reader.state.doctype) {
    return Failure{"Document type declaration in " + entryShown(name) + " of " + archive.path,
                   "refused, a workbook has none"};
  }
  if (reader.state.done) return std::nullopt;
  return Failure{"Invalid XML in " + entryShown(name) + " of " + archive.path + ", line " +
                     std::to_string(XML_GetCurrentLineNumber(parser.get())),
                 XML_ErrorString(XML_GetErrorCode(parser.get()))};
}

/// Whether `text` ends with `end`, as the types of relationships and the namespaces are compared.
bool endsWith(std::string_view text, std::string_view end);

// --- Numbers and references ------------------------------------------------------------------

/// A decimal number as XML stores it, surrounding blanks allowed.
bool parseNumber(std::string_view text, double& value);

/// A count of repetitions or a row number: decimal digits, saturating far above every limit.
bool parseWhole(const char* text, std::uint64_t& value);

/// An A1 reference such as D5 into its 0-based row and column.
bool parseReference(const char* text, std::uint64_t& row, std::uint64_t& column);

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
  [[nodiscard]] Outcome place(std::uint64_t row, std::uint64_t column, const WorkbookCell& cell) {
    if (row >= kMostRows || column >= kMostColumns) {
      return Failure{"Cell beyond row " + std::to_string(kMostRows) + " or column " +
                         columnLetters(kMostColumns) + inSheet(),
                     ""};
    }
    if (row >= sheet.rows.size()) sheet.rows.resize(row + 1);
    std::vector<WorkbookCell>& cellsOfRow = sheet.rows[row];
    if (column >= cellsOfRow.size()) {
      cells += column + 1 - cellsOfRow.size();
      if (cells > kMostCells) {
        return Failure{"More than " + std::to_string(kMostCells) + " cells" + inSheet(), ""};
      }
      cellsOfRow.resize(column + 1);
    }
    cellsOfRow[column] = cell;
    return std::nullopt;
  }

  std::uint32_t addText(std::string&& text) {
    textBytes += text.size();
    sheet.texts.push_back(std::move(text));
    return static_cast<std::uint32_t>(sheet.texts.size() - 1);
  }

  /// Appends to the text of the cell at `row`, `column`, within the limit of one cell and of the
  /// whole sheet.
  [[nodiscard]] Outcome appendText(std::string& text, std::string_view more, std::uint64_t row,
                                   std::uint64_t column) {
    if (text.size() + more.size() > kMostCellText ||
        textBytes + text.size() + more.size() > kMostEntryBytes) {
      return Failure{"Text of more than " + std::to_string(kMostCellText) + " bytes in " + path +
                         " at " + cellPlace(row, column) + ", or of more than " +
                         std::to_string(kMostEntryBytes) + " bytes in its sheet",
                     ""};
    }
    text.append(more);
    return std::nullopt;
  }
};

/// Reads the first worksheet, in the workbook's order of sheets, of an .xlsx archive.
[[nodiscard]] Outcome readXlsx(Archive& archive, WorkbookSheet& sheet);

/// Reads the first table of an .ods archive.
[[nodiscard]] Outcome readOds(Archive& archive, WorkbookSheet& sheet);

}  // namespace brevox
