#include "data/csv_reader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "io/number_text.h"
#include "io/output_file.h"

namespace brevox {

namespace {

/// Appends the UTF-8 bytes of a Unicode code point.
void appendUtf8(std::uint32_t code, std::string& text) {
  if (code < 0x80) {
    text += static_cast<char>(code);
    return;
  }
  if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
  } else {
    if (code < 0x10000) {
      text += static_cast<char>(0xE0 | (code >> 12));
    } else {
      text += static_cast<char>(0xF0 | (code >> 18));
      text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    }
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  }
  text += static_cast<char>(0x80 | (code & 0x3F));
}

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

/// What splitting a line found besides its fields.
struct LineScan {
  std::size_t separators = 0;      ///< separators outside double quotes
  std::size_t unquotedCommas = 0;  ///< commas outside double quotes
  bool unclosedQuote = false;      ///< a quoted field ran to the end of the text
};

/// Splits the line that starts at `position` of `text` into `fields` and moves `position` past its
/// line end (CR LF, LF or CR alone). A field ends at the separator, which is consumed with it, or
/// at the line end, and no field is taken once the line end has been reached. A field that begins
/// with a double quote runs to the next double quote that is not doubled: separators and line
/// ends inside belong to it, a doubled quote stands for one, and text after the closing quote is
/// kept as it stands. A double quote anywhere else is an ordinary character.
LineScan splitLine(const std::string& text, std::size_t& position, char separator,
                   std::vector<std::string>& fields) {
  LineScan scan;
  fields.clear();
  const std::size_t size = text.size();
  auto atLineEnd = [&] {
    return position >= size || text[position] == '\n' || text[position] == '\r';
  };
  while (!atLineEnd()) {
    std::string field;
    if (text[position] == '"') {
      ++position;
      for (;;) {
        const std::size_t quote = text.find('"', position);
        if (quote == std::string::npos) {
          field.append(text, position, std::string::npos);
          position = size;
          scan.unclosedQuote = true;
          break;
        }
        field.append(text, position, quote - position);
        position = quote + 1;
        if (position >= size || text[position] != '"') break;
        field += '"';
        ++position;
      }
    }
    const std::size_t start = position;
    while (!atLineEnd() && text[position] != separator) {
      if (text[position] == ',') ++scan.unquotedCommas;
      ++position;
    }
    field.append(text, start, position - start);
    fields.push_back(std::move(field));
    if (atLineEnd()) break;
    ++scan.separators;
    ++position;
  }
  if (position < size && text[position] == '\r') {
    ++position;
    if (position < size && text[position] == '\n') ++position;
  } else if (position < size && text[position] == '\n') {
    ++position;
  }
  return scan;
}

/// The field separator of the file. Spreadsheets in most European locales write semicolons, with
/// a decimal comma in numbers, and Excel's "Unicode text" writes tabs: the first line then holds
/// semicolons or tabs, and outside double quotes at most the one comma of a decimal threshold. A
/// comma-separated first line with a criterion holds at least three commas.
char fieldSeparator(const std::string& text) {
  for (const char separator : {';', '\t'}) {
    std::size_t position = 0;
    std::vector<std::string> fields;
    const LineScan scan = splitLine(text, position, separator, fields);
    if (scan.separators > 0 && scan.unquotedCommas <= 1) return separator;
  }
  return ',';
}

/// Drops the empty fields a spreadsheet writes to the right of a line's data (up to the width of
/// its widest row): those after the last field with text, the pair of that field kept whole. No
/// fewer than `minimum` fields stay.
void dropEmptyFieldsOnTheRight(std::vector<std::string>& fields, std::size_t minimum) {
  std::size_t used = fields.size();
  while (used > 0 && fields[used - 1].empty()) --used;
  used += used % 2;
  if (used < minimum) used = minimum;
  if (used < fields.size()) fields.resize(used);
}

/// A number field may hold neither a comma nor a line end; the reader would otherwise read the
/// digits before a thousands separator or a decimal comma and drop the rest.
bool plainNumberField(const std::string& field) {
  return field.find_first_of(",\r\n") == std::string::npos;
}

/// An integer field: leading blanks, an optional sign, decimal digits; the rest of the field is
/// ignored. No digits, a comma or a line end, or a value outside the signed 32-bit range, give no
/// value.
std::optional<std::int32_t> parseInteger(const std::string& field) {
  if (!plainNumberField(field)) return std::nullopt;
  const ScannedInteger scanned = scanInteger(field);
  if (!scanned.digits || scanned.outOfRange) return std::nullopt;
  return scanned.value;
}

/// The threshold field, read as a decimal number and rounded to single precision. Text without
/// a number, a comma or a line end, and values that are not finite or too large for single
/// precision, give no value. A value too small for single precision is no error: it keeps its
/// nearest single-precision value, down to 0, so that thresholds the input-data writer prints
/// with six digits near the bottom of the single-precision range read back.
std::optional<double> parseThreshold(const std::string& field) {
  if (!plainNumberField(field)) return std::nullopt;
  const std::string text = field.c_str();  // conversion stops at an embedded NUL
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(value)) return std::nullopt;
  if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
    return std::nullopt;
  }
  return static_cast<double>(static_cast<float>(value));
}

/// The largest number of cases of one work under one criterion. The hypergeometric distribution
/// of Fisher's test counts the cases of two works in a signed 32-bit integer that must stay below
/// 2^30, so each work keeps below 2^29.
constexpr std::int32_t kMaximumTotal = (1 << 29) - 1;

/// Short names become parts of output file names: a path separator or a NUL byte would let a data
/// file write outside the working directory.
bool safeShortName(const std::string& name) {
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

/// Every output file is comma-separated without quoting, the input-data file included: a name
/// with a comma, a double quote or a line end would not read back as it was.
bool plainName(const std::string& name) {
  return name.find_first_of(",\"\r\n") == std::string::npos;
}

struct Reader {
  Reader(const std::string& filePath, DataSet& target, std::ostream& errors)
      : path(filePath), data(target), err(errors) {}

  const std::string& path;
  DataSet& data;
  std::ostream& err;
  char separator = ',';
  // The cells of a workbook's sheet are named in messages in place of the lines of a CSV file.
  const FieldPlace* place = nullptr;

  std::map<std::uint32_t, std::string> workLongNames;
  std::map<std::uint32_t, std::string> workShortNames;
  std::map<std::uint32_t, std::string> criterionLongNames;
  std::map<std::uint32_t, std::string> criterionShortNames;
  std::map<std::uint32_t, std::map<std::uint32_t, CountPair>> counts;
  // Two works or two criteria of one short name would write their outputs to the same files.
  std::map<std::string, std::uint32_t> workNumbers;
  std::map<std::string, std::uint32_t> criterionNumbers;

  bool fail(const std::string& message) {
    err << message << '\n';
    return false;
  }

  std::string inLine(std::uint64_t line) const {
    return " in line " + std::to_string(line) + " of " + path;
  }

  // Where a message points: in a CSV file as `csvWhere` says, in a sheet to the field's cell.
  std::string at(std::uint64_t line, std::size_t field, const std::string& csvWhere) const {
    if (place == nullptr) return csvWhere;
    return " in " + (*place)(line, field) + " of " + path;
  }

  bool acceptNames(const char* kind, std::uint32_t number, std::uint64_t line, std::size_t field,
                   const std::string& shortName, const std::string& longName,
                   std::map<std::string, std::uint32_t>& numbers) {
    const std::string whose = std::string(" of ") + kind + " n. " + std::to_string(number);
    if (!safeShortName(shortName)) {
      return fail("Invalid short name " + quotedForMessage(shortName) + whose +
                  at(line, field, " in " + path));
    }
    if (shortName.empty()) return fail("Empty short name" + whose + at(line, field, inLine(line)));
    if (!plainName(shortName)) {
      return fail("Comma, double quote or line end in short name " + quotedForMessage(shortName) +
                  whose + at(line, field, inLine(line)));
    }
    if (!plainName(longName)) {
      return fail("Comma, double quote or line end in long name " + quotedForMessage(longName) +
                  whose + at(line, field + 1, inLine(line)));
    }
    const auto [entry, added] = numbers.emplace(shortName, number);
    if (!added) {
      return fail("Duplicate short name " + quotedForMessage(shortName) + whose + " (same as " +
                  kind + " n. " + std::to_string(entry->second) + ")" +
                  at(line, field, inLine(line)));
    }
    return true;
  }

  bool readThreshold(const std::string& field) {
    std::string number = field;
    // The decimal comma of a file separated by semicolons or tabs.
    const std::size_t comma = number.find(',');
    if (separator != ',' && comma != std::string::npos && number.rfind(',') == comma &&
        number.find('.') == std::string::npos) {
      number[comma] = '.';
    }
    const std::optional<double> threshold = parseThreshold(number);
    if (!threshold) {
      return fail("Invalid threshold " + quotedForMessage(field) + " for list of criteria" +
                  at(1, 1, " in " + path));
    }
    if (!(*threshold > 0.0 && *threshold <= 1.0)) {
      return fail("Threshold " + quotedForMessage(field) + " outside (0, 1] for list of criteria" +
                  at(1, 1, " in " + path));
    }
    data.threshold = *threshold;
    return true;
  }

  // Each line is read as pairs of fields; a field left over fails after the pairs before it.
  bool readCriteria(const std::vector<std::string>& fields) {
    for (std::uint32_t i = 0; i < fields.size() / 2; ++i) {
      const std::string& first = fields[2 * std::size_t{i}];
      const std::string& second = fields[2 * std::size_t{i} + 1];
      if (i == 0) {
        if (!readThreshold(second)) return false;
        continue;
      }
      if (!acceptNames("criterium", i, 1, 2 * std::size_t{i}, first, second, criterionNumbers)) {
        return false;
      }
      criterionShortNames[i] = first;
      criterionLongNames[i] = second;
    }
    if (fields.size() % 2 != 0) {
      return fail("Odd number of fields for list of criteria" +
                  at(1, fields.size(), " in " + path));
    }
    if (criterionShortNames.empty()) {
      return fail("Empty list of criteria" + at(1, 2, " in " + path));
    }
    return true;
  }

  bool readDirections(const std::vector<std::string>& fields) {
    for (std::uint32_t i = 1; i < fields.size() / 2; ++i) {
      const std::string& second = fields[2 * std::size_t{i} + 1];
      std::optional<std::int32_t> value = parseInteger(second);
      if (!value) {
        return fail("Invalid direction " + quotedForMessage(second) + " of criterium n. " +
                    std::to_string(i) + at(2, 2 * std::size_t{i} + 1, " in " + path));
      }
      data.directions[i] = *value;
    }
    if (fields.size() % 2 != 0) {
      return fail("Odd number of fields for list of criteria" +
                  at(2, fields.size(), " in " + path));
    }
    return true;
  }

  bool readWork(std::uint32_t work, const std::vector<std::string>& fields) {
    const std::string workText = std::to_string(work);
    const std::uint64_t line = std::uint64_t{work} + 2;
    std::map<std::uint32_t, CountPair> row;
    for (std::uint32_t k = 0; k < fields.size() / 2; ++k) {
      const std::string& first = fields[2 * std::size_t{k}];
      const std::string& second = fields[2 * std::size_t{k} + 1];
      if (k == 0) {
        if (!acceptNames("work", work, line, 0, first, second, workNumbers)) {
          return false;
        }
        workShortNames[work] = first;
        workLongNames[work] = second;
        continue;
      }
      // Messages are rare: where they point is spelled out only for one.
      auto whereIn = [&](std::size_t field) {
        return " of criterium n. " + std::to_string(k) + " for work n. " + workText +
               at(line, field, " in " + path);
      };
      const std::size_t observedField = 2 * std::size_t{k};
      const std::size_t totalField = observedField + 1;
      std::optional<std::int32_t> observed = parseInteger(first);
      if (!observed) {
        return fail("Invalid observed count " + quotedForMessage(first) + whereIn(observedField));
      }
      std::optional<std::int32_t> total = parseInteger(second);
      if (!total) {
        return fail("Invalid total count " + quotedForMessage(second) + whereIn(totalField));
      }
      if (*observed < 0) {
        return fail("Negative observed count " + quotedForMessage(first) + whereIn(observedField));
      }
      if (*total < 0) {
        return fail("Negative total count " + quotedForMessage(second) + whereIn(totalField));
      }
      if (*total > kMaximumTotal) {
        return fail("Total count " + std::to_string(*total) + " above " +
                    std::to_string(kMaximumTotal) + whereIn(totalField));
      }
      if (*observed > *total) {
        return fail("Observed count " + std::to_string(*observed) + " above total " +
                    std::to_string(*total) + whereIn(observedField));
      }
      row[k] = CountPair{static_cast<std::uint32_t>(*observed), static_cast<std::uint32_t>(*total)};
    }
    if (fields.size() % 2 != 0) {
      return fail("Odd number of fields for list of work n. " + workText +
                  at(line, fields.size(), "in " + path));
    }
    if (row.empty()) {
      return fail("Empty list of data for work n. " + workText + at(line, 2, "in " + path));
    }
    if (row.size() != criterionShortNames.size()) {
      const std::size_t firstAmiss = std::min(fields.size(), 2 * criterionShortNames.size() + 2);
      return fail("wrong number of fields for list of work n. " + workText +
                  at(line, firstAmiss, "in " + path));
    }
    counts[work] = std::move(row);
    return true;
  }

  bool read(const std::string& text) {
    separator = fieldSeparator(text);
    std::size_t position = 0;
    std::vector<std::string> fields;
    auto unclosedQuote = [&](std::uint64_t line) {
      return fail("Unclosed double quote" + inLine(line));
    };
    if (position < text.size()) {
      if (splitLine(text, position, separator, fields).unclosedQuote) return unclosedQuote(1);
      // The threshold's pair stays even when empty, so that its message stays.
      dropEmptyFieldsOnTheRight(fields, 2);
      if (!readCriteria(fields)) return false;
      if (position < text.size()) {
        if (splitLine(text, position, separator, fields).unclosedQuote) return unclosedQuote(2);
        dropEmptyFieldsOnTheRight(fields, 0);
        if (!readDirections(fields)) return false;
      }
    }
    // Blank lines are a spreadsheet's used range when nothing follows them; between works they
    // stand for a work without data.
    std::uint32_t firstBlankWork = 0;
    for (std::uint32_t work = 1; position < text.size(); ++work) {
      const LineScan scan = splitLine(text, position, separator, fields);
      dropEmptyFieldsOnTheRight(fields, 0);
      if (fields.empty() && !scan.unclosedQuote) {
        if (firstBlankWork == 0) firstBlankWork = work;
        continue;
      }
      if (firstBlankWork != 0) return blankWork(firstBlankWork);
      if (scan.unclosedQuote) return unclosedQuote(std::uint64_t{work} + 2);
      if (!readWork(work, fields)) return false;
    }
    return finish();
  }

  bool blankWork(std::uint32_t work) {
    return fail("Empty list of data for work n. " + std::to_string(work) +
                at(std::uint64_t{work} + 2, 2, "in " + path));
  }

  // The grid of fields of a sheet, line by line as the lines of a CSV file.
  bool readFields(std::vector<std::vector<std::string>>& lines) {
    if (!lines.empty()) {
      dropEmptyFieldsOnTheRight(lines[0], 2);
      if (!readCriteria(lines[0])) return false;
    }
    if (lines.size() > 1) {
      dropEmptyFieldsOnTheRight(lines[1], 0);
      if (!readDirections(lines[1])) return false;
    }
    std::uint32_t firstBlankWork = 0;
    for (std::size_t line = 2; line < lines.size(); ++line) {
      const auto work = static_cast<std::uint32_t>(line - 1);
      dropEmptyFieldsOnTheRight(lines[line], 0);
      if (lines[line].empty()) {
        if (firstBlankWork == 0) firstBlankWork = work;
        continue;
      }
      if (firstBlankWork != 0) return blankWork(firstBlankWork);
      if (!readWork(work, lines[line])) return false;
    }
    return finish();
  }

  bool finish() {
    if (counts.empty()) return fail("Empty list of works" + at(3, 0, " in " + path));
    data.workLongNames.swap(workLongNames);
    data.workShortNames.swap(workShortNames);
    data.criterionLongNames.swap(criterionLongNames);
    data.criterionShortNames.swap(criterionShortNames);
    data.counts.swap(counts);
    return true;
  }
};

}  // namespace

std::string quotedForMessage(const std::string& text) {
  std::string quoted = "\"";
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (c < 0x20 || c == 0x7f) {
      static const char kHex[] = "0123456789abcdef";
      quoted += "\\x";
      quoted += kHex[c >> 4];
      quoted += kHex[c & 0xf];
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

bool readFileBytes(std::istream& in, const std::string& path, std::string& bytes,
                   std::ostream& err) {
  bytes.clear();
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) {
    err << "Failed to read file " << path << '\n';
    return false;
  }
  return true;
}

bool readDataSet(std::istream& in, const std::string& path, DataSet& data, std::ostream& err) {
  std::string bytes;
  return readFileBytes(in, path, bytes, err) && readDataSetBytes(std::move(bytes), path, data, err);
}

bool readDataSetBytes(std::string bytes, const std::string& path, DataSet& data,
                      std::ostream& err) {
  // Spreadsheets mark UTF-16 text (Excel's "Unicode text") and often UTF-8 text with a
  // byte-order mark; the fields are read from UTF-8.
  const bool littleEndian = bytes.compare(0, 2, "\xFF\xFE") == 0;
  if (littleEndian || bytes.compare(0, 2, "\xFE\xFF") == 0) {
    std::string text;
    const std::size_t offset = utf16ToUtf8(bytes, !littleEndian, text);
    if (offset != std::string::npos) {
      err << "Invalid UTF-16 text at byte offset " << offset << " of " << path << '\n';
      return false;
    }
    bytes.swap(text);
  } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    bytes.erase(0, 3);
  }
  Reader reader{path, data, err};
  return reader.read(bytes);
}

bool readDataSetFields(std::vector<std::vector<std::string>> lines, const std::string& path,
                       const FieldPlace& place, DataSet& data, std::ostream& err) {
  Reader reader{path, data, err};
  reader.place = &place;
  return reader.readFields(lines);
}

bool readDataSetFile(const std::string& path, DataSet& data, std::ostream& err) {
  InputFile file;
  if (!openInputFile(file, path, err, " for reading")) return false;
  return readDataSet(file.stream, path, data, err);
}

}  // namespace brevox
