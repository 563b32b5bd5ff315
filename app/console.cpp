#include "app/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "report/output_names.h"

namespace brevox {

namespace {

using Clock = std::chrono::steady_clock;

// The line is drawn again no sooner than this.
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

// A criterion's name on the line is cut after this many bytes, at a character's start.
constexpr std::size_t kShownName = 32;

// The width of the terminal in columns; 80 when it does not say.
std::size_t terminalWidth() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// A duration as a clock shows it: 0:07, 12:30, 1:02:03.
std::string clockTime(double seconds) {
  const auto whole = static_cast<unsigned long long>(seconds < 0 ? 0 : seconds + 0.5);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60,
                  whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", whole / 60, whole % 60);
  }
  return text;
}

// A name as the line shows it: control bytes as "?", cut at a character's start.
std::string shownName(const std::string& name) {
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (shown.size() >= kShownName && (byte & 0xC0) != 0x80) return shown + "...";
    shown += byte < 0x20 || byte == 0x7F ? '?' : c;
  }
  return shown;
}

// The line cut to the terminal's width less one column, so that it never wraps.
std::string fitted(std::string line) {
  const std::size_t width = terminalWidth();
  std::size_t columns = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
    if (++columns >= width) {
      line.resize(i);
      break;
    }
  }
  return line;
}

void draw(ConsoleProgress& progress) {
  const Clock::time_point now = Clock::now();
  const double elapsed = std::chrono::duration<double>(now - progress.start).count();
  std::string line = "criterion " + std::to_string(progress.criterion) + " of " +
                     std::to_string(progress.criteria) + ", " + progress.criterionName +
                     ": pairs " + withThousands(progress.donePairs) + " of " +
                     withThousands(progress.allPairs) + ", " + clockTime(elapsed) + " taken";
  if (progress.donePairs > 0 && progress.donePairs < progress.allPairs) {
    const double left = elapsed * static_cast<double>(progress.allPairs - progress.donePairs) /
                        static_cast<double>(progress.donePairs);
    line += ", " + clockTime(left) + " left";
  }
  *progress.out << '\r' << fitted(line) << "\x1b[K" << std::flush;
  progress.drawn = now;
  progress.everDrawn = true;
}

void drawSoon(ConsoleProgress& progress) {
  if (!progress.everDrawn || Clock::now() - progress.drawn >= kRedrawEvery) draw(progress);
}

std::string inFolder(const std::string& folder, const std::string& name) {
  return folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
}

void printEarlier(std::ostream& out, const EarlierFiles& earlier) {
  if (earlier.count == 0) return;
  out << "The folder also holds " << withThousands(earlier.count)
      << (earlier.count == 1 ? " file" : " files")
      << " of an earlier run that this run did not write: ";
  for (std::size_t k = 0; k < earlier.firstNames.size(); ++k) {
    out << (k == 0 ? "" : ", ") << shownName(earlier.firstNames[k]);
  }
  out << (earlier.count > earlier.firstNames.size() ? ", ...\n" : "\n");
}

}  // namespace

std::string withThousands(std::uint64_t number) {
  std::string digits = std::to_string(number);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

std::string sizeForPeople(std::uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  const char* const units[] = {"kB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1000;
  std::size_t unit = 0;
  while (value >= 1000 && unit + 1 < 4) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

bool consoleIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

void beginProgress(ConsoleProgress& progress, std::ostream& out, std::size_t criteria,
                   std::uint64_t allPairs) {
  progress = ConsoleProgress{};
  progress.out = &out;
  progress.criteria = criteria;
  progress.allPairs = allPairs;
  progress.start = Clock::now();
}

void progressCriterion(ConsoleProgress* progress, std::size_t criterion, const std::string& name) {
  if (progress == nullptr) return;
  progress->criterion = criterion;
  progress->criterionName = shownName(name);
  drawSoon(*progress);
}

void progressPair(ConsoleProgress* progress) {
  if (progress == nullptr) return;
  ++progress->donePairs;
  drawSoon(*progress);
}

void endProgress(ConsoleProgress& progress) {
  if (progress.out != nullptr && progress.everDrawn) *progress.out << "\r\x1b[K" << std::flush;
}

void printRunSummary(std::ostream& out, const RunSummary& summary) {
  char tenths[32];
  std::snprintf(tenths, sizeof tenths, "%.1f s", summary.seconds);
  const std::string taken = summary.seconds < 60 ? std::string(tenths) : clockTime(summary.seconds);
  if (summary.singleTest) {
    for (const WrittenFile& file : summary.written) {
      out << "brevox wrote the report " << inFolder(summary.folder, file.name) << " ("
          << sizeForPeople(file.stamp.size) << ") in " << taken << "\n";
    }
    return;
  }
  std::uint64_t bytes = 0;
  std::vector<std::string> tables;
  std::string page;
  for (const WrittenFile& file : summary.written) {
    bytes += file.stamp.size;
    if (file.name == pageFileName()) page = file.name;
    for (const ResultsTable table :
         {ResultsTable::pairs, ResultsTable::criteria, ResultsTable::works}) {
      if (file.name == resultsTableFileName(table)) tables.push_back(file.name);
    }
  }
  const std::size_t count = summary.written.size();
  out << "brevox wrote " << withThousands(count) << (count == 1 ? " file" : " files") << " ("
      << sizeForPeople(bytes) << ") into " << summary.folder << " in " << taken << "\n";
  if (!page.empty()) out << "The page: " << inFolder(summary.folder, page) << "\n";
  for (std::size_t k = 0; k < tables.size(); ++k) {
    out << (k == 0 ? "The tables: " : "            ") << inFolder(summary.folder, tables[k])
        << "\n";
  }
  printEarlier(out, summary.earlier);
}

}  // namespace brevox
