#include "report/heat_map.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <string>

#include "report/page_text.h"
#include "report/png_image.h"

namespace brevox {

namespace {

// With more works than this a cell's hover text is its p-value alone: naming the pair in each of
// the thousands of cells would make the page several times larger.
constexpr std::size_t kNamedCellsUpTo = 30;

// With this many works or fewer a cell also prints its p-value, so that a printed page holds it.
constexpr std::size_t kNumberedCellsUpTo = 12;

// A cell's byte: its step and marks, or a cell without a p-value and what it is.
constexpr std::uint8_t kStepBits = 0x0F;
constexpr std::uint8_t kSignificant = 0x10;
constexpr std::uint8_t kFewCases = 0x20;
constexpr std::uint8_t kFirm = 0x40;
constexpr std::uint8_t kBlank = 0x80;
enum BlankCell : std::uint8_t { kSameWork, kNoCases, kNotTested, kInvalid, kNotANumber };
constexpr std::uint8_t kBlankBits = 0x07;

bool isBlank(std::uint8_t cell) { return (cell & kBlank) != 0; }
BlankCell blankOf(std::uint8_t cell) { return static_cast<BlankCell>(cell & kBlankBits); }
int stepOfCell(std::uint8_t cell) { return cell & kStepBits; }

std::string classOfCell(std::uint8_t cell) {
  return cellClassOfStep(stepOfCell(cell), (cell & kSignificant) != 0);
}

std::uint8_t cellOf(const PairOutcomes* record, Variant variant, bool firm, double& p) {
  if (record == nullptr) return kBlank | kNoCases;
  const std::optional<VariantOutcome>& outcome = record->outcomes[index(variant)];
  if (!outcome) return kBlank | kNotTested;
  const std::uint8_t star = outcome->valid ? 0 : kFewCases;
  if (outcome->undefined) return kBlank | kInvalid | star;
  if (std::isnan(outcome->pValue)) return kBlank | kNotANumber | star;
  p = outcome->pValue;
  return static_cast<std::uint8_t>(cellStep(p) | (outcome->flag == 1 ? kSignificant : 0) | star |
                                   (firm ? kFirm : 0));
}

// The start of a cell's hover text on a map that names the pairs: "A vs B: ".
void writePairNames(Markup& page, const DataSet& data, std::uint32_t workA, std::uint32_t workB) {
  page << NameText{workShortName(data, workA)} << " vs " << NameText{workShortName(data, workB)}
       << ": ";
}

// What a table map needs to write one of its cells.
struct TableCell {
  std::uint32_t workA;
  std::uint32_t workB;
  std::uint8_t cell;
  double p;
};

// A cell's tag is left open: a map of many works has a hundred thousand cells, and the closing
// tags would add a tenth to the page.
void writeCell(Markup& page, const DataSet& data, const TableCell& at, bool named, bool numbered,
               const std::string& commonest) {
  const std::uint8_t cell = at.cell;
  const char* star = (cell & kFewCases) != 0 ? "*" : "";
  if (isBlank(cell)) {
    static const char* const kClasses[] = {kSameWorkClass, kNoCasesClass, kNotTestedClass,
                                           kInvalidClass, kNotTestedClass};
    static const char* const kTitles[] = {"", "no cases", "not tested", "INVALID", "nan"};
    const BlankCell blank = blankOf(cell);
    page << "<td class=" << kClasses[blank];
    if (blank == kSameWork) {
      page << ">";
      return;
    }
    page << " title=\"";
    if (named && blank != kNoCases) writePairNames(page, data, at.workA, at.workB);
    page << kTitles[blank] << "\">" << star;
    return;
  }
  const std::string cellClass = classOfCell(cell);
  page << "<td";
  if ((cell & kFirm) != 0) {
    page << " class=\"" << cellClass << " o\"";
  } else if (cellClass != commonest) {
    page << " class=" << cellClass;
  }
  page << " title=";
  if (named) {
    page << "\"";
    writePairNames(page, data, at.workA, at.workB);
    page << "p = " << pValueText(at.p) << "\"";
  } else {
    page << pValueText(at.p);
  }
  page << ">" << star;
  // Two significant digits, which the cell's width holds.
  if (numbered) page << printed("%.2g", clampedP(at.p));
}

// The class of the map's commonest cells with a p-value that are not outlined.
std::string commonestOf(const MapCells& map) {
  std::map<std::string, std::size_t> counts;
  for (std::uint8_t cell : map.cells) {
    if (!isBlank(cell) && (cell & kFirm) == 0) ++counts[classOfCell(cell)];
  }
  std::string commonest;
  std::size_t most = 0;
  for (const auto& [cellClass, count] : counts) {
    if (count > most) {
      most = count;
      commonest = cellClass;
    }
  }
  return commonest;
}

void writeTableMap(Markup& page, const DataSet& data, const MapCells& map) {
  const VariantDescriptor& variant = descriptor(map.variant);
  const bool square = descriptor(variant.family).bothOrders;
  const bool named = map.works <= kNamedCellsUpTo;
  const bool numbered = map.works <= kNumberedCellsUpTo;
  const std::string commonest = commonestOf(map);
  page << "<div class=\"scroll\"><table class=\"map" << (numbered ? " numbered" : "");
  if (!commonest.empty()) page << " " << commonestClass(commonest);
  page << "\" aria-label=\"p-values: " << variant.pageTitle << "\">\n<thead><tr><th></th>";
  for (const auto& [work, shortName] : workShortNames(data)) {
    page << "<th title=\"" << NameText{workLongName(data, work)} << "\"><span>" << Name{shortName}
         << "</span></th>";
  }
  page << "</tr></thead>\n<tbody>\n";
  for (std::uint32_t a = 1; a <= map.works; ++a) {
    page << "<tr><th title=\"" << NameText{workLongName(data, a)} << "\">"
         << Name{workShortName(data, a)} << "</th>";
    for (std::uint32_t b = 1; b <= (square ? map.works : a); ++b) {
      const std::size_t at = (a - 1) * map.works + (b - 1);
      writeCell(page, data, {a, b, map.cells[at], map.pValues[at]}, named, numbered, commonest);
    }
    page << "</tr>\n";
  }
  page << "</tbody></table></div>\n";
}

// The palette of a map drawn as an image: the paper, each step, each step faded, then the cells
// without a p-value.
constexpr std::uint8_t kPaperIndex = 0;
constexpr std::uint8_t kFirstStepIndex = 1;
constexpr std::uint8_t kFirstFadedIndex = kFirstStepIndex + kMostSteps;
constexpr std::uint8_t kFirstBlankIndex = kFirstFadedIndex + kMostSteps;

std::vector<Colour> imagePalette(const ColourScale& scale) {
  std::vector<Colour> palette = {{255, 255, 255}};
  for (int step = 0; step < kMostSteps; ++step) palette.push_back(stepColour(scale, step));
  for (int step = 0; step < kMostSteps; ++step) {
    // A third of the colour on the paper: still its hue, plainly lighter than any firm cell.
    Colour faded = stepColour(scale, step);
    for (std::uint8_t& part : faded) part = static_cast<std::uint8_t>((part + 2 * 255) / 3);
    palette.push_back(faded);
  }
  // The same work, no cases, not tested or nan, INVALID.
  for (const Colour& blank : {Colour{230, 230, 225}, Colour{212, 212, 206}, Colour{230, 230, 225},
                              Colour{185, 185, 178}}) {
    palette.push_back(blank);
  }
  return palette;
}

std::uint8_t pixelOf(std::uint8_t cell, bool fade) {
  if (isBlank(cell)) {
    static const std::uint8_t kBlankPixels[] = {0, 1, 2, 3, 2};
    return static_cast<std::uint8_t>(kFirstBlankIndex + kBlankPixels[blankOf(cell)]);
  }
  const bool faded = fade && (cell & kFirm) == 0;
  return static_cast<std::uint8_t>((faded ? kFirstFadedIndex : kFirstStepIndex) + stepOfCell(cell));
}

void writeImageMap(Markup& page, const ColourScale& scale, const DataSet& data, const MapCells& map,
                   bool marksFirm) {
  const VariantDescriptor& variant = descriptor(map.variant);
  const bool square = descriptor(variant.family).bothOrders;
  PaletteImage image;
  image.width = image.height = map.works;
  image.palette = imagePalette(scale);
  image.pixels.assign(map.works * map.works, kPaperIndex);
  for (std::size_t a = 0; a < map.works; ++a) {
    for (std::size_t b = 0; b <= (square ? map.works - 1 : a); ++b) {
      image.pixels[a * map.works + b] = pixelOf(map.cells[a * map.works + b], marksFirm);
    }
  }
  const std::string url = pngDataUrl(image);
  if (url.empty()) {
    page << "<p class=\"note failed\">Not enough memory to draw this map.</p>\n";
    return;
  }
  // Whole screen pixels per cell, so that every cell is drawn alike.
  const std::size_t size = map.works * std::clamp<std::size_t>(720 / map.works, 2, 12);
  page << "<div class=\"mapimage\"><img class=\"mapimage\" src=\"" << Raw{url} << "\" width=\""
       << size << "\" height=\"" << size << "\" alt=\"p-values: " << variant.pageTitle << ", "
       << map.works << " works in the order of the data, one cell per pair\"><p class=\"note\">"
       << "A cell per pair, the works in the order of the data: " << Name{workShortName(data, 1)}
       << " at the top and on the left, "
       << Name{workShortName(data, static_cast<std::uint32_t>(map.works))}
       << " at the bottom and on the right. The p-value of each pair is in the summary tables "
          "and in <code>T_all_results.csv</code> of option E.</p></div>\n";
}

}  // namespace

bool shown(const RunSettings& settings, const VariantDescriptor& variant) {
  return settings.families[variant.family];
}

PairGrid pairGrid(const std::vector<PairOutcomes>& pairs, std::size_t works) {
  PairGrid grid;
  grid.works = works;
  grid.cells.assign(works * works, nullptr);
  for (const PairOutcomes& record : pairs) {
    grid.cells[(record.pair.workA - 1) * works + (record.pair.workB - 1)] = &record;
  }
  return grid;
}

MapCells mapCells(const PairGrid& grid, Variant variant, const WorkPairs& firm) {
  MapCells map;
  map.variant = variant;
  map.works = grid.works;
  const std::size_t n = grid.works;
  map.cells.assign(n * n, kBlank | kSameWork);
  if (n <= kTableMapsUpTo) map.pValues.assign(n * n, std::numeric_limits<double>::quiet_NaN());
  for (std::uint32_t a = 1; a <= n; ++a) {
    for (std::uint32_t b = 1; b <= n; ++b) {
      if (a == b) continue;
      const std::size_t at = (a - 1) * n + (b - 1);
      double p = std::numeric_limits<double>::quiet_NaN();
      map.cells[at] = cellOf(grid.cells[at], variant, firm.count(std::minmax(a, b)) != 0, p);
      if (p >= 0 && p < map.smallest) map.smallest = p;
      if (!map.pValues.empty()) map.pValues[at] = p;
    }
  }
  return map;
}

void writeMap(Markup& page, const ColourScale& scale, const DataSet& data, const MapCells& map,
              bool marksFirm) {
  if (map.works <= kTableMapsUpTo) {
    writeTableMap(page, data, map);
  } else {
    writeImageMap(page, scale, data, map, marksFirm);
  }
}

}  // namespace brevox
