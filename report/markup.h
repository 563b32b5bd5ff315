#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

namespace brevox {

/// Text for an HTML element or a quoted attribute: well-formed UTF-8 (io/utf8), with "&", "<",
/// ">", '"' and "'" as entities.
std::string escapedText(std::string_view text);

/// A name in the text of an element, escaped, and kept apart from the text around it by <bdi>
/// where it needs isolation (page_text): a name written from right to left, or one that turns the
/// direction of what follows, would reorder the sentence it stands in. Markup.
std::string nameMarkup(const std::string& name);

/// A name where no markup may stand (attributes, the page's title, the text of a drawing), escaped,
/// and kept apart by the isolating characters where it needs isolation.
std::string nameText(const std::string& name);

/// The markup of a page as it is written to `out`. A string literal is the program's own markup
/// and goes out as it stands; every other text (names from the data, titles, messages, printed
/// numbers) is escaped on its way; markup made elsewhere, such as a drawing by Graphviz, goes out
/// unescaped only when it is given as Raw.
struct Markup {
  std::ostream& out;
};

/// Text that is markup already, written as it stands.
struct Raw {
  const std::string& markup;
};

/// A name in the text of an element, as nameMarkup writes it.
struct Name {
  const std::string& name;
};

/// A name where no markup may stand (an attribute, the text of a drawing), as nameText writes it.
struct NameText {
  const std::string& name;
};

template <std::size_t N>
Markup& operator<<(Markup& page, const char (&markup)[N]) {
  page.out << markup;
  return page;
}

Markup& operator<<(Markup& page, std::string_view text);
Markup& operator<<(Markup& page, Raw raw);
Markup& operator<<(Markup& page, Name name);
Markup& operator<<(Markup& page, NameText name);

/// Whole numbers in their digits.
template <typename Number,
          typename = std::enable_if_t<std::is_integral_v<Number> && !std::is_same_v<Number, char> &&
                                      !std::is_same_v<Number, bool>>>
Markup& operator<<(Markup& page, Number number) {
  page.out << number;
  return page;
}

}  // namespace brevox
