#include "data/csv_reader.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/data_layout.h"
#include "io/output_file.h"
#include "io/utf8.h"

namespace brevox {

namespace {

/// Converts UTF-16 `bytes`, which begin with their byte-order mark, to UTF-8 `text`. Returns the
/// offset of the first byte that is not part of well-formed UTF-16, or npos.
std::size_t utf16ToUtf8(const std::string& bytes, bool bigEndian, std::string& text) {
  auto unitAt = [&](std::size_t offset) {
    const auto first = static_cast<unsigned char>(bytes[offset]);
    const auto second = static_cast<unsigned char>(bytes[offset + 1]);
    return bigEndian ? std::uint32_t{first} << 8 | second : std::uint32_t{second} << 8 | first;
  };
  text.clear();
  text.reserve(bytes.size());
  for (std::size_t offset = 2; offset < bytes.size(); offset += 2) {
    if (offset + 1 == bytes.size()) return offset;
    std::uint32_t code = unitAt(offset);
    if (code >= 0xDC00 && code <= 0xDFFF) return offset;
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (offset + 3 >= bytes.size()) return offset;
      const std::uint32_t low = unitAt(offset + 2);
      if (low < 0xDC00 || low > 0xDFFF) return offset;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      offset += 2;
    }
    appendUtf8(code, text);
  }
  return std::string::npos;
}

bool atLineEnd(std::string_view text, std::size_t position) {
  return position >= text.size() || text[position] == '\n' || text[position] == '\r';
}

/// Moves `position` past the line end there: CR LF, LF or CR alone.
void skipLineEnd(std::string_view text, std::size_t& position) {
  if (position < text.size() && text[position] == '\r') {
    ++position;
    if (position < text.size() && text[position] == '\n') ++position;
  } else if (position < text.size() && text[position] == '\n') {
    ++position;
  }
}

/// One field as the text holds it.
struct Field {
  std::string_view text;  ///< without its quotes; valid until the next field is read
  bool quoted = false;
  bool unclosed = false;  ///< a quoted field ran to the end of the text
};

/// Reads the field at `position` of `text`, which is not at a line end, and moves `position` to
/// the separator or line end after it. A field that begins with a double quote runs to the next
/// double quote that is not doubled: separators and line ends inside belong to it, a doubled
/// quote stands for one, and text after the closing quote is kept as it stands. A double quote
/// anywhere else is an ordinary character. Commas outside double quotes are added to
/// `unquotedCommas`. `buffer` holds the text of a quoted field where it is not a part of `text`.
Field readField(std::string_view text, std::size_t& position, char separator, std::string& buffer,
                std::size_t& unquotedCommas) {
  Field field;
  const std::size_t size = text.size();
  bool buffered = false;
  std::size_t start = position;
  if (text[position] == '"') {
    field.quoted = true;
    ++position;
    start = position;
    for (;;) {
      const std::size_t quote = text.find('"', position);
      if (quote == std::string_view::npos) {
        field.unclosed = true;
        position = size;
        return field;
      }
      if (quote + 1 < size && text[quote + 1] == '"') {
        // A doubled quote: the field's text is no longer a part of the file's.
        if (!buffered) buffer.clear();
        buffered = true;
        buffer.append(text, position, quote + 1 - position);
        position = quote + 2;
        continue;
      }
      if (buffered) buffer.append(text, position, quote - position);
      field.text = text.substr(start, quote - start);
      position = quote + 1;
      break;
    }
    start = position;
  }
  while (!atLineEnd(text, position) && text[position] != separator) {
    if (text[position] == ',') ++unquotedCommas;
    ++position;
  }
  if (position > start || buffered) {
    if (field.quoted) {
      if (!buffered) buffer.assign(field.text);
      buffer.append(text, start, position - start);
      field.text = buffer;
    } else {
      field.text = text.substr(start, position - start);
    }
  }
  return field;
}

/// The field separator of the file. Spreadsheets in most European locales write semicolons, with
/// a decimal comma in numbers, and Excel's "Unicode text" writes tabs: the first line then holds
/// semicolons or tabs, and outside double quotes at most the one comma of a decimal threshold. A
/// comma-separated first line with a criterion holds at least three commas.
char fieldSeparator(std::string_view text) {
  std::string buffer;
  for (const char separator : {';', '\t'}) {
    std::size_t position = 0;
    std::size_t separators = 0;
    std::size_t unquotedCommas = 0;
    while (!atLineEnd(text, position)) {
      readField(text, position, separator, buffer, unquotedCommas);
      if (atLineEnd(text, position)) break;
      ++separators;
      ++position;
    }
    if (separators > 0 && unquotedCommas <= 1) return separator;
  }
  return ',';
}

/// Hands the fields of `text` to `layout`, line by line. A field ends at the separator, which is
/// consumed with it, or at the line end (CR LF, LF or CR alone), and no field is taken once the
/// line end has been reached: a line has as many fields as separators when it ends with one, one
/// more otherwise, and none when it is empty. Fails when the layout refused the data or a quoted
/// field ran to the end of the text (`unclosedLine` then names its line, and the failure is
/// empty).
Outcome handOverFields(std::string_view text, DataLayoutReader& layout,
                       std::uint64_t& unclosedLine) {
  const char separator = fieldSeparator(text);
  std::string buffer;
  std::size_t unquotedCommas = 0;
  std::size_t position = 0;
  for (std::uint64_t line = 1; position < text.size(); ++line) {
    std::uint64_t column = 0;
    while (!atLineEnd(text, position)) {
      ++column;
      const Field field = readField(text, position, separator, buffer, unquotedCommas);
      if (field.unclosed) {
        unclosedLine = line;
        return Failure{};
      }
      // The decimal comma of a threshold: quoting keeps it from splitting the field.
      if (Outcome refused =
              layout.cell({field.text, line, column, field.quoted || separator != ','})) {
        return refused;
      }
      if (atLineEnd(text, position)) break;
      ++position;
    }
    skipLineEnd(text, position);
    if (Outcome refused = layout.endRow(line, column)) return refused;
  }
  return std::nullopt;
}

/// Files that cannot be data files whatever their fields, by their first bytes: spreadsheet
/// workbooks, and UTF-16 text without the byte-order mark that would say so. The cause to name, or
/// an empty text.
std::string likelyCause(std::string_view bytes) {
  const std::string saveAsCsv = ", not CSV text: save it as CSV (see the README)";
  if (bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4)) {
    return "the file is a spreadsheet workbook (.xlsx or .ods)" + saveAsCsv;
  }
  if (bytes.substr(0, 8) == "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") {
    return "the file is a spreadsheet workbook (.xls)" + saveAsCsv;
  }
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") return "";
  // In UTF-16 every character of the Latin alphabet has a zero byte, on the same side.
  const std::size_t looked = std::min<std::size_t>(bytes.size(), 512) / 2 * 2;
  std::size_t zeros[2] = {0, 0};
  for (std::size_t i = 0; i < looked; ++i) zeros[i % 2] += bytes[i] == '\0' ? 1 : 0;
  if (looked >= 4 && ((zeros[0] == 0 && 2 * zeros[1] >= looked / 2) ||
                      (zeros[1] == 0 && 2 * zeros[0] >= looked / 2))) {
    return "the file looks like UTF-16 text without a byte-order mark: save it as UTF-8, or as "
           "UTF-16 with its byte-order mark";
  }
  return "";
}

}  // namespace

Outcome readFileBytes(std::istream& in, const std::string& path, std::string& bytes) {
  bytes.clear();
  // On the heap: under a small `ulimit -s` the calling thread's stack may hold less than this.
  std::vector<char> buffer(std::size_t{1} << 16);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    bytes.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return Failure{"Failed to read file " + pathForMessage(path), ""};
  return std::nullopt;
}

Outcome readDataSet(std::istream& in, const std::string& path, DataSet& data) {
  std::string bytes;
  if (Outcome failed = readFileBytes(in, path, bytes)) return failed;
  return readDataSetBytes(std::move(bytes), path, data);
}

Outcome readDataSetBytes(std::string bytes, const std::string& path, DataSet& data) {
  const std::string shownPath = pathForMessage(path);
  const std::string cause = likelyCause(bytes);
  // Spreadsheets mark UTF-16 text (Excel's "Unicode text") and often UTF-8 text with a
  // byte-order mark; the fields are read from UTF-8.
  const bool littleEndian = bytes.compare(0, 2, "\xFF\xFE") == 0;
  if (littleEndian || bytes.compare(0, 2, "\xFE\xFF") == 0) {
    std::string text;
    const std::size_t offset = utf16ToUtf8(bytes, !littleEndian, text);
    if (offset != std::string::npos) {
      return Failure{
          "Invalid UTF-16 text at byte offset " + std::to_string(offset) + " of " + shownPath, ""};
    }
    bytes.swap(text);
  } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    bytes.erase(0, 3);
  }
  DataLayoutReader layout(GridSource{shownPath, ""});
  std::uint64_t unclosedLine = 0;
  Outcome refused = handOverFields(bytes, layout, unclosedLine);
  if (!refused) refused = layout.finish(data);
  if (!refused) return std::nullopt;
  if (unclosedLine != 0) {
    refused->message =
        "Unclosed double quote in line " + std::to_string(unclosedLine) + " of " + shownPath;
    refused->reason.clear();
  }
  // The file's first bytes tell a likelier cause than its fields.
  if (!cause.empty()) refused->reason = cause;
  return refused;
}

Outcome openDataFile(InputFile& file, const std::string& path) {
  Outcome failed = openInputFile(file, path, " for reading");
  if (failed) failed->message = "Failed to open file " + pathForMessage(path) + " for reading";
  return failed;
}

Outcome readDataSetFile(const std::string& path, DataSet& data) {
  InputFile file;
  if (Outcome failed = openDataFile(file, path)) return failed;
  return readDataSet(file.stream, path, data);
}

}  // namespace brevox
