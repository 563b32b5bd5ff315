#include "report/markup.h"

#include <algorithm>

#include "io/utf8.h"
#include "report/page_text.h"

namespace brevox {

namespace {

// Text that escaping leaves as it is: printable ASCII without the characters of markup. Numbers,
// the classes of the cells and most names are, and go out without a copy.
bool plain(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>' && c != '"' && c != '\'';
  });
}

}  // namespace

std::string escapedText(std::string_view text) {
  std::string escaped;
  for (char character : wellFormed(std::string(text))) {
    switch (character) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += character;
    }
  }
  return escaped;
}

std::string nameMarkup(const std::string& name) {
  return needsIsolation(name) ? "<bdi>" + escapedText(name) + "</bdi>" : escapedText(name);
}

std::string nameText(const std::string& name) { return escapedText(isolated(name)); }

Markup& operator<<(Markup& page, std::string_view text) {
  if (plain(text)) {
    page.out << text;
  } else {
    page.out << escapedText(text);
  }
  return page;
}

Markup& operator<<(Markup& page, Raw raw) {
  page.out << raw.markup;
  return page;
}

Markup& operator<<(Markup& page, Name name) {
  page.out << nameMarkup(name.name);
  return page;
}

Markup& operator<<(Markup& page, NameText name) {
  page.out << nameText(name.name);
  return page;
}

}  // namespace brevox
