#include "report/svg_trim.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace brevox {

namespace {

// The numbers of a path or polygon to whole points: a fraction of a point is lost in any drawing
// scaled to a page, and the digits are most of a dense drawing's weight.
std::string roundedNumbers(const std::string& points) {
  std::string rounded;
  std::size_t i = 0;
  while (i < points.size()) {
    const char c = points[i];
    const bool starts = (c >= '0' && c <= '9') || (c == '-' && i + 1 < points.size() &&
                                                   points[i + 1] >= '0' && points[i + 1] <= '9');
    if (!starts) {
      rounded += c;
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < points.size() &&
           ((points[end] >= '0' && points[end] <= '9') || points[end] == '.')) {
      ++end;
    }
    const long whole = std::lround(std::strtod(points.substr(i, end - i).c_str(), nullptr));
    rounded += std::to_string(whole == 0 ? 0 : whole);
    i = end;
  }
  return rounded;
}

// Where the attribute `name` (with its leading blank and "=\"") stands in a line: from its name to
// its closing quote, and where its value begins.
struct AttributePlace {
  std::size_t start;
  std::size_t from;
  std::size_t to;
};

std::optional<AttributePlace> findAttribute(const std::string& line, const char* name) {
  const std::size_t start = line.find(name);
  if (start == std::string::npos) return std::nullopt;
  const std::size_t from = start + std::strlen(name);
  const std::size_t to = line.find('"', from);
  if (to == std::string::npos) return std::nullopt;
  return AttributePlace{start, from, to};
}

// Rounds the numbers of the attribute `name` in a line.
void roundAttribute(std::string& line, const char* name) {
  if (const std::optional<AttributePlace> at = findAttribute(line, name)) {
    line.replace(at->from, at->to - at->from,
                 roundedNumbers(line.substr(at->from, at->to - at->from)));
  }
}

// A polygon closes by itself, but Graphviz repeats its first point at its end.
void dropClosingPoint(std::string& line) {
  const std::optional<AttributePlace> at = findAttribute(line, " points=\"");
  if (!at) return;
  const std::size_t from = at->from;
  const std::size_t to = at->to;
  const std::size_t firstEnd = line.find(' ', from);
  const std::size_t lastStart = line.rfind(' ', to);
  if (firstEnd == std::string::npos || lastStart <= firstEnd || lastStart < from) return;
  if (line.compare(from, firstEnd - from, line, lastStart + 1, to - lastStart - 1) == 0) {
    line.erase(lastStart, to - lastStart);
  }
}

void dropText(std::string& line, const char* text) {
  const std::size_t at = line.find(text);
  if (at != std::string::npos) line.erase(at, std::strlen(text));
}

void dropAttribute(std::string& line, const char* name) {
  if (const std::optional<AttributePlace> at = findAttribute(line, name)) {
    line.erase(at->start, at->to + 1 - at->start);
  }
}

}  // namespace

std::string inlineSvg(const char* data, unsigned int length) {
  const std::string svg(data, length);
  std::string element;
  element.reserve(svg.size() / 2);
  std::size_t start = svg.find("<svg");
  // Whether each open group was kept, to know whether its end is.
  std::vector<bool> groups;
  bool inComment = false;
  while (start < svg.size()) {
    std::size_t end = svg.find('\n', start);
    if (end == std::string::npos) end = svg.size();
    std::string line = svg.substr(start, end - start);
    start = end + 1;
    if (inComment || line.rfind("<!--", 0) == 0) {
      inComment = line.find("-->") == std::string::npos;
      continue;
    }
    if (line.rfind("<title>", 0) == 0 && line.size() >= 8 &&
        line.compare(line.size() - 8, 8, "</title>") == 0) {
      continue;
    }
    if (line.rfind("<g ", 0) == 0) {
      const bool itemGroup = line.find("class=\"node\"") != std::string::npos ||
                             line.find("class=\"edge\"") != std::string::npos;
      groups.push_back(!itemGroup);
      if (itemGroup) continue;
      dropAttribute(line, " id=\"");
      dropAttribute(line, " class=\"");
    } else if (line == "</g>") {
      const bool kept = groups.empty() || groups.back();
      if (!groups.empty()) groups.pop_back();
      if (!kept) continue;
    } else if (line.rfind("<polygon fill=\"white\" stroke=\"transparent\"", 0) == 0) {
      continue;
    } else {
      dropText(line, " fill=\"none\" stroke=\"black\"");
      dropText(line, " fill=\"black\" stroke=\"black\"");
      dropText(line, " font-family=\"Times,serif\" font-size=\"14.00\"");
      dropText(line, " text-anchor=\"middle\"");
      roundAttribute(line, " d=\"");
      roundAttribute(line, " points=\"");
      dropClosingPoint(line);
    }
    element += line;
    element += '\n';
  }
  return element;
}

}  // namespace brevox
