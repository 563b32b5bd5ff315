#include "data/csv_reader.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <sstream>

#include "io/number_text.h"
#include "io/output_file.h"

namespace brevox {

namespace {

/// Splits one line into the fields the input format defines: a field ends at a comma (consumed
/// with it) or at the end of the line, and no field is taken once the end has been reached.
class FieldCursor {
 public:
  explicit FieldCursor(const std::string& line) : line_(line) {}

  bool next(std::string& field) {
    if (position_ >= line_.size()) return false;
    std::size_t comma = line_.find(',', position_);
    if (comma == std::string::npos) comma = line_.size();
    field.assign(line_, position_, comma - position_);
    position_ = comma + 1;
    return true;
  }

 private:
  const std::string& line_;
  std::size_t position_ = 0;
};

/// An integer field: leading blanks, an optional sign, decimal digits; the rest of the field is
/// ignored. No digits, or a value outside the signed 32-bit range, give no value.
std::optional<std::int32_t> parseInteger(const std::string& field) {
  const ScannedInteger scanned = scanInteger(field);
  if (!scanned.digits || scanned.outOfRange) return std::nullopt;
  return scanned.value;
}

/// The threshold field, read as a decimal number and rounded to single precision. Text without
/// a number, and values that are not finite or too large for single precision, give no value.
/// A value too small for single precision is no error: it keeps its nearest single-precision
/// value, down to 0, so that thresholds the input-data writer prints with six digits near the
/// bottom of the single-precision range read back.
std::optional<double> parseThreshold(const std::string& field) {
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

/// A field as it appears in a message: quoted, with control bytes shown as escapes.
std::string quotedField(const std::string& field) {
  std::string text = "\"";
  for (unsigned char c : field) {
    if (c < 0x20 || c == 0x7f) {
      static const char kHex[] = "0123456789abcdef";
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 0xf];
    } else {
      text += static_cast<char>(c);
    }
  }
  return text + "\"";
}

/// Short names become parts of output file names: a path separator or a NUL byte would let a data
/// file write outside the working directory.
bool safeShortName(const std::string& name) {
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

struct Reader {
  std::istream& in;
  const std::string& path;
  DataSet& data;
  std::ostream& err;

  std::map<std::uint32_t, std::string> workLongNames;
  std::map<std::uint32_t, std::string> workShortNames;
  std::map<std::uint32_t, std::string> criterionLongNames;
  std::map<std::uint32_t, std::string> criterionShortNames;
  std::map<std::uint32_t, std::map<std::uint32_t, CountPair>> counts;

  bool readLine(std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

  bool fail(const std::string& message) {
    err << message << '\n';
    return false;
  }

  bool readCriteria(const std::string& line) {
    FieldCursor fields(line);
    std::string first;
    std::string second;
    for (std::uint32_t i = 0; fields.next(first); ++i) {
      if (!fields.next(second)) return fail("Odd number of fields for list of criteria in " + path);
      if (i == 0) {
        std::optional<double> threshold = parseThreshold(second);
        if (!threshold) {
          return fail("Invalid threshold " + quotedField(second) + " for list of criteria in " +
                      path);
        }
        if (!(*threshold > 0.0 && *threshold <= 1.0)) {
          return fail("Threshold " + quotedField(second) +
                      " outside (0, 1] for list of criteria in " + path);
        }
        data.threshold = *threshold;
      } else {
        if (!safeShortName(first)) {
          return fail("Invalid short name " + quotedField(first) + " of criterium n. " +
                      std::to_string(i) + " in " + path);
        }
        criterionShortNames[i] = first;
        criterionLongNames[i] = second;
      }
    }
    if (criterionShortNames.empty()) return fail("Empty list of criteria in " + path);
    return true;
  }

  bool readDirections(const std::string& line) {
    FieldCursor fields(line);
    std::string first;
    std::string second;
    for (std::uint32_t i = 0; fields.next(first); ++i) {
      if (!fields.next(second)) return fail("Odd number of fields for list of criteria in " + path);
      if (i == 0) continue;
      std::optional<std::int32_t> value = parseInteger(second);
      if (!value) {
        return fail("Invalid direction " + quotedField(second) + " of criterium n. " +
                    std::to_string(i) + " in " + path);
      }
      data.directions[i] = *value;
    }
    return true;
  }

  bool readWork(std::uint32_t work, const std::string& line) {
    const std::string workText = std::to_string(work);
    FieldCursor fields(line);
    std::string first;
    std::string second;
    std::map<std::uint32_t, CountPair> row;
    for (std::uint32_t k = 0; fields.next(first); ++k) {
      if (!fields.next(second)) {
        return fail("Odd number of fields for list of work n. " + workText + "in " + path);
      }
      if (k == 0) {
        if (!safeShortName(first)) {
          return fail("Invalid short name " + quotedField(first) + " of work n. " + workText +
                      " in " + path);
        }
        workShortNames[work] = first;
        workLongNames[work] = second;
        continue;
      }
      const std::string where =
          " of criterium n. " + std::to_string(k) + " for work n. " + workText + " in " + path;
      std::optional<std::int32_t> observed = parseInteger(first);
      if (!observed) return fail("Invalid observed count " + quotedField(first) + where);
      std::optional<std::int32_t> total = parseInteger(second);
      if (!total) return fail("Invalid total count " + quotedField(second) + where);
      if (*observed < 0) return fail("Negative observed count " + quotedField(first) + where);
      if (*total < 0) return fail("Negative total count " + quotedField(second) + where);
      if (*total > kMaximumTotal) {
        return fail("Total count " + std::to_string(*total) + " above " +
                    std::to_string(kMaximumTotal) + where);
      }
      if (*observed > *total) {
        return fail("Observed count " + std::to_string(*observed) + " above total " +
                    std::to_string(*total) + where);
      }
      row[k] = CountPair{static_cast<std::uint32_t>(*observed), static_cast<std::uint32_t>(*total)};
    }
    if (row.empty()) return fail("Empty list of data for work n. " + workText + "in " + path);
    if (row.size() != criterionShortNames.size()) {
      return fail("wrong number of fields for list of work n. " + workText + "in " + path);
    }
    counts[work] = std::move(row);
    return true;
  }

  bool read() {
    std::string line;
    if (readLine(line)) {
      if (!readCriteria(line)) return false;
      if (readLine(line) && !readDirections(line)) return false;
    }
    for (std::uint32_t work = 1; readLine(line); ++work) {
      if (!readWork(work, line)) return false;
    }
    if (in.bad()) return fail("Failed to read file " + path);
    if (counts.empty()) return fail("Empty list of works in " + path);
    data.workLongNames.swap(workLongNames);
    data.workShortNames.swap(workShortNames);
    data.criterionLongNames.swap(criterionLongNames);
    data.criterionShortNames.swap(criterionShortNames);
    data.counts.swap(counts);
    return true;
  }
};

}  // namespace

bool readDataSet(std::istream& in, const std::string& path, DataSet& data, std::ostream& err) {
  Reader reader{in, path, data, err, {}, {}, {}, {}, {}};
  return reader.read();
}

bool readDataSetFile(const std::string& path, DataSet& data, std::ostream& err) {
  InputFile file;
  if (!openInputFile(file, path, err, " for reading")) return false;
  return readDataSet(file.stream, path, data, err);
}

}  // namespace brevox
