#include "data/data_layout.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>

#include "io/number_text.h"

namespace brevox {

namespace {

/// The largest number of cases of one work under one criterion. The hypergeometric distribution
/// of Fisher's test counts the cases of two works in a signed 32-bit integer that must stay below
/// 2^30, so each work keeps below 2^29.
constexpr std::int32_t kMaximumTotal = (1 << 29) - 1;

/// The length of the blank at `at` of `text`, or 0: a space, a tab, or a no-break space (UTF-8 or
/// a Latin-1 byte), which spreadsheets put between a number and its percent sign.
std::size_t blankAt(std::string_view text, std::size_t at) {
  if (at >= text.size()) return 0;
  if (text[at] == ' ' || text[at] == '\t' || text[at] == '\xA0') return 1;
  for (const std::string_view space :
       {std::string_view("\xC2\xA0"), std::string_view("\xE2\x80\xAF")}) {
    if (text.substr(at, space.size()) == space) return space.size();
  }
  return 0;
}

std::string_view trimmedBlanks(std::string_view text) {
  std::size_t start = 0;
  while (std::size_t blank = blankAt(text, start)) start += blank;
  text.remove_prefix(start);
  // The no-break spaces end in bytes that also end other UTF-8 characters (à is C3 A0).
  for (;;) {
    const std::size_t end = text.size();
    std::size_t length = 0;
    if (end >= 3 && blankAt(text, end - 3) == 3) {
      length = 3;
    } else if (end >= 2 && blankAt(text, end - 2) == 2) {
      length = 2;
    } else if (end >= 1 && blankAt(text, end - 1) == 1 &&
               (text[end - 1] != '\xA0' || end == 1 ||
                static_cast<unsigned char>(text[end - 2]) < 0xC0)) {
      length = 1;
    }
    if (length == 0) break;
    text.remove_suffix(length);
  }
  return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

/// A whole field of decimal digits, with blanks around them and an optional minus sign, within
/// the signed 32-bit range.
std::optional<std::int32_t> wholeNumber(std::string_view field) {
  std::string_view text = trimmedBlanks(field);
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::optional<std::uint32_t> magnitude = decimalDigits(text);
  if (!magnitude || *magnitude > std::uint32_t{std::numeric_limits<std::int32_t>::max()}) {
    return std::nullopt;
  }
  const auto value = static_cast<std::int32_t>(*magnitude);
  return negative ? -value : value;
}

/// Whether `text` is digits grouped by thousands, as spreadsheets show large numbers: 1.094,
/// 1,094, 1 094, 1'094 or 1 094 with a (narrow) no-break space, one separator throughout.
bool thousandsGrouped(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && isDigit(text[at])) ++at;
  if (at == 0 || at > 3 || at == text.size()) return false;
  const std::size_t separatorStart = at;
  while (at < text.size() && !isDigit(text[at])) ++at;
  const std::string_view separator = text.substr(separatorStart, at - separatorStart);
  if (separator != "." && separator != "," && separator != "'" && blankAt(separator, 0) == 0) {
    return false;
  }
  if (blankAt(separator, 0) != 0 && blankAt(separator, 0) != separator.size()) return false;
  for (at = separatorStart; at < text.size(); at += separator.size() + 3) {
    if (text.substr(at, separator.size()) != separator) return false;
    const std::string_view group = text.substr(at + separator.size(), 3);
    if (group.size() != 3 || !isDigit(group[0]) || !isDigit(group[1]) || !isDigit(group[2])) {
      return false;
    }
  }
  return at == text.size();
}

/// What to change in a count that is not a whole number.
std::string countCause(std::string_view field) {
  std::string_view text = trimmedBlanks(field);
  if (text.empty()) return "the field is empty";
  if (text.front() == '-') text.remove_prefix(1);
  if (thousandsGrouped(text)) {
    return "counts are whole numbers of digits alone: save the file without thousands separators";
  }
  bool digitsOnly = true;
  for (const char c : text) digitsOnly = digitsOnly && isDigit(c);
  if (digitsOnly) return "no count may pass " + std::to_string(kMaximumTotal);
  return "counts are whole numbers of digits alone, without decimals, exponents or letters";
}

/// The threshold field: a decimal number, blanks around it, and a percent sign after it that
/// divides it by 100. A comma, where it may be a decimal comma, stands for the decimal point.
/// Rounded to single precision; text without a number, or with anything else after it, and
/// values that are not finite or too large for single precision give no value. A value too small
/// for single precision is no error: it keeps its nearest single-precision value, down to 0, so
/// that thresholds the input-data writer prints with six digits near the bottom of the
/// single-precision range read back.
std::optional<double> thresholdValue(std::string_view field, bool decimalComma, bool& percent) {
  percent = false;
  if (field.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
  std::string text(trimmedBlanks(field));
  const std::size_t comma = text.find(',');
  if (decimalComma && comma != std::string::npos && text.rfind(',') == comma &&
      text.find('.') == std::string::npos) {
    text[comma] = '.';
  }
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  const auto numberLength = static_cast<std::size_t>(end - text.c_str());
  if (numberLength == 0) return std::nullopt;
  // strtod also reads hexadecimal numbers (0x1p-4), infinities and NaNs: none is a decimal number.
  if (std::string_view(text)
          .substr(0, numberLength)
          .find_first_not_of(" \t\n\v\f\r+-.0123456789eE") != std::string_view::npos) {
    return std::nullopt;
  }
  std::string_view rest = std::string_view(text).substr(numberLength);
  rest = trimmedBlanks(rest);
  if (!rest.empty() && rest.front() == '%') {
    percent = true;
    rest = trimmedBlanks(rest.substr(1));
  }
  if (!rest.empty()) return std::nullopt;
  if (percent) {
    std::string number = text.substr(0, numberLength);
    // A plain decimal read with its exponent moved is as exact as the same value written as a
    // proportion: 5% reads as 0.05 does.
    if (number.find_first_not_of(" \t\v\f+-.0123456789") == std::string::npos) {
      value = std::strtod((number + "e-2").c_str(), nullptr);
    } else {
      value /= 100;
    }
  }
  if (!std::isfinite(value) || std::fabs(value) > double{std::numeric_limits<float>::max()}) {
    return std::nullopt;
  }
  return static_cast<double>(static_cast<float>(value));
}

/// Short names become parts of output file names: a path separator or a NUL byte would let a data
/// file write outside the working directory.
bool safeShortName(std::string_view name) {
  return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

/// Every output file is comma-separated without quoting, the input-data file included: a name
/// with a comma, a double quote or a line end would not read back as it was.
bool plainName(std::string_view name) {
  return name.find_first_of(",\"\r\n") == std::string_view::npos;
}

std::string shown(std::string_view text) { return quotedForMessage(text, kShownBytes); }

}  // namespace

DataLayoutReader::DataLayoutReader(GridSource source) : source_(std::move(source)) {}

Outcome DataLayoutReader::refuse(std::string message, std::string cause) {
  refusal_ = Failure{std::move(message), std::move(cause)};
  return refusal_;
}

std::string DataLayoutReader::rowPlace(std::uint64_t row) const {
  if (source_.sheet.empty()) return "line " + std::to_string(row);
  return "row " + std::to_string(row) + " of " + sheetForMessage(source_.sheet);
}

std::string DataLayoutReader::cellPlace(std::uint64_t row, std::uint64_t column) const {
  return gridPlace(source_, row, column);
}

std::string DataLayoutReader::inRow(std::uint64_t row) const {
  return " in " + rowPlace(row) + " of " + source_.path;
}

void DataLayoutReader::beginRow(std::uint64_t row) {
  row_ = row;
  fields_ = 0;
  countPairs_ = 0;
  rowCounts_.clear();
}

Outcome DataLayoutReader::startRow(std::uint64_t row) {
  assert(row > row_);
  if (row > std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 1) {
    return refuse("Too many lines in " + source_.path);
  }
  // A source that does not end its rows ends each at its last cell.
  if (row_ > rowsEnded_) {
    if (Outcome failed = endRow(row_, fields_)) return failed;
  }
  // Rows the source passed over hold no cell. After the first blank work row, the others change
  // nothing.
  while (rowsEnded_ + 1 < row) {
    const std::uint64_t blank = rowsEnded_ + 1;
    beginRow(blank);
    if (Outcome failed = closeRow(0)) return failed;
    rowsEnded_ = blank >= 3 ? row - 1 : blank;
  }
  beginRow(row);
  return std::nullopt;
}

Outcome DataLayoutReader::cell(const GridCell& cell) {
  if (refusal_) return refusal_;
  // Empty cells are known by the gaps between the others.
  if (cell.text.empty()) return std::nullopt;
  if (cell.row != row_) {
    if (Outcome failed = startRow(cell.row)) return failed;
  }
  assert(cell.column > fields_);
  if (row_ >= 3 && fields_ == 0 && firstBlankWork_ != 0) {
    return refuse("Empty list of data for work n. " + std::to_string(firstBlankWork_) + "in " +
                      source_.path + " at " + rowPlace(firstBlankRow_),
                  "a blank line between two works would shift the numbers of the works after it");
  }
  while (fields_ + 1 < cell.column) {
    if (Outcome failed = field({}, fields_ + 1, false)) return failed;
  }
  return field(cell.text, cell.column, cell.decimalComma);
}

Outcome DataLayoutReader::endRow(std::uint64_t row, std::uint64_t width) {
  if (refusal_) return refusal_;
  if (row != row_) {
    if (Outcome failed = startRow(row)) return failed;
  }
  if (Outcome failed = closeRow(width)) return failed;
  rowsEnded_ = row;
  return std::nullopt;
}

Outcome DataLayoutReader::field(std::string_view text, std::uint64_t column, bool decimalComma) {
  fields_ = column;
  if (column % 2 == 1) {
    first_.assign(text);
    return std::nullopt;
  }
  const std::uint64_t pairIndex = column / 2 - 1;
  if (pairIndex > std::numeric_limits<std::uint32_t>::max() - 1) {
    return refuse("Too many fields" + inRow(row_));
  }
  const auto pair = static_cast<std::uint32_t>(pairIndex);
  if (row_ == 1) {
    return pair == 0 ? threshold(text, column, decimalComma) : criterionPair(pair, text, column);
  }
  if (row_ == 2) return pair == 0 ? std::nullopt : directionPair(pair, text, column);
  if (pair == 0) {
    if (Outcome failed = names("work", work(), text, column, workNumbers_)) return failed;
    // A blank line between works is refused before the next work: works have no gaps.
    assert(work() == works_.size() + 1);
    works_.push_back(Work{first_, std::string(text), {}});
    return std::nullopt;
  }
  return countPair(pair, text, column);
}

Outcome DataLayoutReader::threshold(std::string_view text, std::uint64_t column,
                                    bool decimalComma) {
  bool percent = false;
  const std::optional<double> value = thresholdValue(text, decimalComma, percent);
  const std::string where =
      " for list of criteria in " + source_.path + " at " + cellPlace(1, column);
  if (!value) {
    return refuse("Invalid threshold " + shown(text) + where,
                  "give a number such as 0.05, or a percentage such as 5%");
  }
  if (!(*value > 0.0 && *value <= 1.0)) {
    std::string cause;
    if (!percent && *value > 1.0 && *value <= 100.0) {
      const std::string typed(trimmedBlanks(text));
      cause = "a threshold is a share of 1; for " + typed + " percent write " + typed + "%";
    }
    return refuse("Threshold " + shown(text) + " outside (0, 1]" + where, cause);
  }
  threshold_ = *value;
  return std::nullopt;
}

Outcome DataLayoutReader::names(const char* kind, std::uint32_t number, std::string_view longName,
                                std::uint64_t column,
                                std::map<std::string, std::uint32_t>& numbers) {
  const std::string& shortName = first_;
  const std::string whose = std::string(" of ") + kind + " n. " + std::to_string(number);
  if (!safeShortName(shortName)) {
    return refuse("Invalid short name " + shown(shortName) + whose + " in " + source_.path +
                      " at " + cellPlace(row_, column - 1),
                  "short names become parts of file names, which cannot hold /, \\ or a NUL byte");
  }
  if (shortName.empty()) return refuse("Empty short name" + whose + inRow(row_));
  // A cell of a workbook, or a quoted field, may hold them.
  const char* unquoted = "names go into CSV files without quoting: use another sign";
  if (!plainName(shortName)) {
    return refuse(
        "Comma, double quote or line end in short name " + shown(shortName) + whose + inRow(row_),
        unquoted);
  }
  if (!plainName(longName)) {
    return refuse(
        "Comma, double quote or line end in long name " + shown(longName) + whose + inRow(row_),
        unquoted);
  }
  const auto [entry, added] = numbers.emplace(shortName, number);
  if (!added) {
    return refuse("Duplicate short name " + shown(shortName) + whose + " (same as " + kind +
                  " n. " + std::to_string(entry->second) + ")" + inRow(row_));
  }
  return std::nullopt;
}

Outcome DataLayoutReader::criterionPair(std::uint32_t criterion, std::string_view longName,
                                        std::uint64_t column) {
  if (Outcome failed = names("criterium", criterion, longName, column, criterionNumbers_)) {
    return failed;
  }
  // Every pair of the row comes in turn, and an empty one is refused: criteria have no gaps.
  assert(criterion == criteria_.size() + 1);
  criteria_.push_back(Criterion{first_, std::string(longName), 0});
  return std::nullopt;
}

Outcome DataLayoutReader::directionPair(std::uint32_t criterion, std::string_view text,
                                        std::uint64_t column) {
  // Files written by earlier releases list directions beyond the last criterion.
  if (criterion > criteria_.size()) return std::nullopt;
  const std::string where = " of criterium n. " + std::to_string(criterion) + " in " +
                            source_.path + " at " + cellPlace(2, column) + " (criterion " +
                            shown(criteria_[criterion - 1].shortName) + ")";
  // An empty field is a missing direction, which the end of the line reports.
  if (trimmedBlanks(text).empty()) return std::nullopt;
  const std::optional<std::int32_t> value = wholeNumber(text);
  if (!value || (*value != 1 && *value != -1)) {
    std::string cause = "a direction is 1 or -1";
    // A deleted line of directions leaves a work's counts on line 2: a count under the long name
    // and another before it, where directions leave the field empty.
    const std::optional<std::int32_t> before = wholeNumber(first_);
    if (value && *value >= 0 && before && *before >= 0) {
      const char* line = source_.sheet.empty() ? "line" : "row";
      cause += std::string("; ") + line + " 2 holds the directions (1 or -1 under each " +
               "criterion's long name), and this " + line + " looks like a work's counts";
    }
    return refuse("Invalid direction " + shown(text) + where, cause);
  }
  criteria_[criterion - 1].direction = *value;
  return std::nullopt;
}

Outcome DataLayoutReader::countPair(std::uint32_t criterion, std::string_view totalText,
                                    std::uint64_t column) {
  const std::string& observedText = first_;
  const bool known = criterion <= criteria_.size();
  // Spelled out only for a refusal: a large sheet has millions of counts.
  const auto at = [&](std::uint64_t countColumn) {
    return " of criterium n. " + std::to_string(criterion) + " for work n. " +
           std::to_string(work()) + " in " + source_.path + " at " + cellPlace(row_, countColumn) +
           " (work " + shown(works_.back().shortName) +
           (known ? ", criterion " + shown(criteria_[criterion - 1].shortName) : "") + ")";
  };
  const std::optional<std::int32_t> observed = wholeNumber(observedText);
  if (!observed) {
    return refuse("Invalid observed count " + shown(observedText) + at(column - 1),
                  countCause(observedText));
  }
  const std::optional<std::int32_t> total = wholeNumber(totalText);
  if (!total) {
    return refuse("Invalid total count " + shown(totalText) + at(column), countCause(totalText));
  }
  if (*observed < 0) {
    return refuse("Negative observed count " + shown(observedText) + at(column - 1));
  }
  if (*total < 0) return refuse("Negative total count " + shown(totalText) + at(column));
  if (*total > kMaximumTotal) {
    return refuse("Total count " + std::to_string(*total) + " above " +
                  std::to_string(kMaximumTotal) + at(column));
  }
  if (*observed > *total) {
    return refuse("Observed count " + std::to_string(*observed) + " above total " +
                  std::to_string(*total) + at(column - 1));
  }
  ++countPairs_;
  // Pairs beyond the last criterion are only counted, for the message that refuses them.
  if (known) {
    assert(criterion == rowCounts_.size() + 1);
    rowCounts_.push_back(
        CountPair{static_cast<std::uint32_t>(*observed), static_cast<std::uint32_t>(*total)});
  }
  return std::nullopt;
}

Outcome DataLayoutReader::closeRow(std::uint64_t width) {
  // Empty fields on the right go in whole pairs: the pair of the last field with text stays whole,
  // and the threshold's pair stays even when empty, so that its message stays.
  std::uint64_t kept = fields_ + fields_ % 2;
  if (row_ == 1 && kept < 2) kept = 2;
  if (kept > width) kept = std::max(width, fields_);
  while (fields_ < kept) {
    if (Outcome failed = field({}, fields_ + 1, false)) return failed;
  }
  const bool odd = fields_ % 2 != 0;
  if (row_ <= 2) {
    if (odd) {
      return refuse("Odd number of fields for list of criteria in " + source_.path + " at " +
                    rowPlace(row_));
    }
    if (row_ == 1 && criteria_.empty()) {
      return refuse("Empty list of criteria in " + source_.path + " at " + rowPlace(row_));
    }
    if (row_ == 2) return missingDirections();
    return std::nullopt;
  }
  const std::string workText = std::to_string(work());
  if (fields_ == 0) {
    // Blank lines are a spreadsheet's used range when nothing follows them; between works they
    // stand for a work without data.
    if (firstBlankWork_ == 0) {
      firstBlankWork_ = work();
      firstBlankRow_ = row_;
    }
    return std::nullopt;
  }
  const std::string where = "in " + source_.path + " at " + rowPlace(row_) +
                            (fields_ >= 2 ? " (work " + shown(works_.back().shortName) + ")" : "");
  if (odd) return refuse("Odd number of fields for list of work n. " + workText + where);
  if (countPairs_ == 0) return refuse("Empty list of data for work n. " + workText + where);
  if (countPairs_ != criteria_.size()) {
    const std::string criteria = std::to_string(criteria_.size());
    const bool one = criteria_.size() == 1;
    return refuse("wrong number of fields for list of work n. " + workText + where,
                  criteria + (one ? " criterion needs " : " criteria need ") + criteria +
                      (one ? " pair" : " pairs") + " of counts, the work has " +
                      std::to_string(countPairs_));
  }
  works_.back().counts = std::move(rowCounts_);
  rowCounts_.clear();
  return std::nullopt;
}

Outcome DataLayoutReader::missingDirections() {
  // Each criterion needs its own direction: one left out would be taken from nowhere.
  for (std::uint32_t criterion = 1; criterion <= criteria_.size(); ++criterion) {
    if (criteria_[criterion - 1].direction == 0) {
      const std::string& shortName = criteria_[criterion - 1].shortName;
      const std::uint64_t column = 2 * std::uint64_t{criterion} + 2;
      return refuse("Missing direction of criterium n. " + std::to_string(criterion) + " in " +
                        source_.path + " at " + cellPlace(2, column) + " (criterion " +
                        shown(shortName) + ")",
                    "write 1 or -1 on line 2 under the criterion's long name");
    }
  }
  return std::nullopt;
}

Outcome DataLayoutReader::finish(DataSet& data) {
  if (refusal_) return refusal_;
  if (row_ > rowsEnded_) {
    if (Outcome failed = endRow(row_, fields_)) return failed;
  }
  // Every work was taken whole, names and counts, or the data refused.
  if (works_.empty()) return refuse("Empty list of works in " + source_.path);
  data.works.swap(works_);
  data.criteria.swap(criteria_);
  data.threshold = threshold_;
  return std::nullopt;
}

}  // namespace brevox
