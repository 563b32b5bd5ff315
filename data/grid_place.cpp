#include "data/grid_place.h"

#include "io/utf8.h"

namespace brevox {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string columnLetters(std::uint64_t column) {
  std::string letters;
  for (; column > 0; column = (column - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (column - 1) % 26));
  }
  return letters;
}

std::string sheetForMessage(std::string_view sheet) {
  const std::string quoted = quotedForMessage(sheet, kShownBytes);
  return quoted.substr(1, quoted.size() - 2);
}

std::string cellAddress(std::string_view sheet, std::uint64_t row, std::uint64_t column) {
  // Spreadsheets quote a sheet name that is not a plain word, doubling its single quotes.
  bool plain = !sheet.empty();
  for (const char c : sheet) {
    const auto byte = static_cast<unsigned char>(c);
    plain = plain && (byte >= 0x80 || isDigit(c) || (c >= 'A' && c <= 'Z') ||
                      (c >= 'a' && c <= 'z') || c == '_' || c == '.');
  }
  const std::string shownName = sheetForMessage(sheet);
  std::string name;
  if (plain) {
    name = shownName;
  } else {
    name = "'";
    for (const char c : shownName) name += c == '\'' ? std::string("''") : std::string(1, c);
    name += "'";
  }
  return name + "!" + columnLetters(column) + std::to_string(row);
}

std::string gridPlace(const GridSource& source, std::uint64_t row, std::uint64_t column) {
  if (source.sheet.empty()) {
    return "line " + std::to_string(row) + ", field " + std::to_string(column);
  }
  return "cell " + cellAddress(source.sheet, row, column);
}

std::string quotedForMessage(std::string_view text, std::size_t limit) {
  bool cut = false;
  if (text.size() > limit) {
    std::size_t end = limit;
    // Cut before a UTF-8 continuation byte's character, not inside it.
    while (end > 0 && isUtf8Continuation(text[end])) --end;
    text = text.substr(0, end);
    cut = true;
  }
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
  return quoted + (cut ? "...\"" : "\"");
}

Failure withAdvice(Failure failure, const std::string& advice) {
  failure.reason = failure.reason.empty() ? advice : failure.reason + "; " + advice;
  return failure;
}

std::string pathForMessage(std::string_view path) {
  bool plain = path.size() <= kShownPathBytes;
  for (const char byte : path) {
    const auto c = static_cast<unsigned char>(byte);
    plain = plain && c >= 0x20 && c != 0x7f;
  }
  return plain ? std::string(path) : quotedForMessage(path, kShownPathBytes);
}

}  // namespace brevox
