#include "app/run_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <unordered_set>
#include <utility>

#include "data/grid_place.h"
#include "data/input_data_writer.h"

namespace brevox {

namespace {

// The first line of every manifest.
constexpr const char* kManifestTitle = "brevox manifest 1";

// At most this many earlier files are named; the others are counted.
constexpr std::size_t kEarlierNamed = 3;

// A name as a manifest's line ends with it: a backslash, a tab and a line end escaped.
std::string escapedName(const std::string& name) {
  std::string text;
  for (const char c : name) {
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\t') {
      text += "\\t";
    } else {
      text += c;
    }
  }
  return text;
}

std::string unescapedName(const std::string& text) {
  std::string name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      name += text[i];
      continue;
    }
    const char next = text[++i];
    name += next == 'n' ? '\n' : next == 't' ? '\t' : next;
  }
  return name;
}

// One line of a manifest: size, tab, seconds.nanoseconds, tab, the escaped name.
std::optional<ManifestEntry> entryOfLine(const std::string& line) {
  const std::size_t first = line.find('\t');
  const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
  if (second == std::string::npos || second + 1 == line.size()) return std::nullopt;
  ManifestEntry entry;
  unsigned long long size = 0;
  long long seconds = 0;
  long nanoseconds = 0;
  const std::string numbers = line.substr(0, second);
  if (std::sscanf(numbers.c_str(), "%llu\t%lld.%ld", &size, &seconds, &nanoseconds) != 3) {
    return std::nullopt;
  }
  entry.stamp.size = size;
  entry.stamp.seconds = seconds;
  entry.stamp.nanoseconds = nanoseconds;
  entry.name = unescapedName(line.substr(second + 1));
  // Only a file of the folder itself, as every output is.
  if (entry.name.find('/') != std::string::npos || entry.name == "." || entry.name == "..") {
    return std::nullopt;
  }
  return entry;
}

bool sameContents(const FileStamp& left, const FileStamp& right) {
  return left.size == right.size && left.seconds == right.seconds &&
         left.nanoseconds == right.nanoseconds;
}

// Whether the file `name` of the output folder holds exactly `expected`.
bool holdsExactly(const std::string& name, const std::string& expected) {
  InputFile file;
  if (!openOutputFolderFile(file, name)) return false;
  std::string held(expected.size() + 1, '\0');
  file.stream.read(&held[0], static_cast<std::streamsize>(held.size()));
  held.resize(static_cast<std::size_t>(file.stream.gcount()));
  return held == expected;
}

}  // namespace

Outcome openRunFolder(const std::string& folder) {
  if (folder.empty()) return std::nullopt;
  std::string shown = quotedForMessage(folder, kShownBytes);
  shown = shown.substr(1, shown.size() - 2);
  bool made = false;
  return openOutputFolder(folder, shown, made);
}

std::string shownRunFolder(const std::string& folder) {
  const std::string path = folder.empty() ? "." : folder;
  std::unique_ptr<char, decltype(&std::free)> full(::realpath(path.c_str(), nullptr), &std::free);
  return pathForMessage(full ? std::string(full.get()) : path);
}

std::vector<ManifestEntry> readManifest() {
  std::vector<ManifestEntry> entries;
  InputFile file;
  if (!openOutputFolderFile(file, manifestFileName())) return entries;
  std::string line;
  if (!std::getline(file.stream, line) || line != kManifestTitle) return entries;
  while (std::getline(file.stream, line)) {
    if (std::optional<ManifestEntry> entry = entryOfLine(line)) entries.push_back(*entry);
  }
  return entries;
}

Outcome writeManifest(std::vector<ManifestEntry> files) {
  // In the order of the names, whichever thread wrote each file first.
  std::sort(files.begin(), files.end(), [](const ManifestEntry& left, const ManifestEntry& right) {
    return left.name < right.name;
  });
  return writeFile(manifestFileName(), [&files](std::ostream& out) {
    out << kManifestTitle << '\n';
    char nanoseconds[16];
    for (const ManifestEntry& file : files) {
      std::snprintf(nanoseconds, sizeof nanoseconds, "%09lld",
                    static_cast<long long>(file.stamp.nanoseconds));
      out << file.stamp.size << '\t' << file.stamp.seconds << '.' << nanoseconds << '\t'
          << escapedName(file.name) << '\n';
    }
  });
}

std::vector<ManifestEntry> manifestEntries(const std::vector<WrittenFile>& files) {
  std::vector<ManifestEntry> entries;
  entries.reserve(files.size());
  for (const WrittenFile& file : files) entries.push_back({file.name, file.stamp});
  return entries;
}

std::vector<ManifestEntry> unchangedEntries(const std::vector<ManifestEntry>& earlier,
                                            const std::vector<WrittenFile>& rewritten) {
  std::unordered_set<std::string> names;
  for (const WrittenFile& file : rewritten) names.insert(file.name);
  std::vector<ManifestEntry> kept;
  for (const ManifestEntry& entry : earlier) {
    const std::optional<FileStamp> now = outputFileStamp(entry.name);
    if (names.count(entry.name) == 0 && now && sameContents(*now, entry.stamp)) {
      kept.push_back(entry);
    }
  }
  return kept;
}

Outcome guardInputData(const std::vector<ManifestEntry>& earlier, const DataSet& data,
                       const std::string& dataPath, OutputChoice& choice) {
  const std::string name = inputDataFileName();
  const std::optional<FileStamp> standing = outputFileStamp(name);
  if (!standing) return std::nullopt;
  const std::optional<FileStamp> read = dataPath.empty() ? std::nullopt : pathStamp(dataPath);
  if (read && read->device == standing->device && read->inode == standing->inode) {
    choice.inputData = false;
    return std::nullopt;
  }
  for (const ManifestEntry& entry : earlier) {
    if (entry.name == name && sameContents(entry.stamp, *standing)) return std::nullopt;
  }
  std::ostringstream written;
  writeInputData(written, data);
  if (holdsExactly(name, written.str())) return std::nullopt;
  return Failure{"File " + shownOutputName(name) +
                     " holds data that brevox did not write there, and this run would replace "
                     "it: rename it (for example to mydata.csv, then run brevox mydata.csv) or "
                     "remove it; this run wrote nothing",
                 ""};
}

EarlierFiles earlierFiles(const std::vector<ManifestEntry>& earlier, const OutputChoice& choice,
                          const DataSet& data) {
  EarlierFiles found;
  if (earlier.empty()) return found;
  std::unordered_set<std::string> names;
  for (const ManifestEntry& entry : earlier) names.insert(entry.name);
  forEachOutputFileName(choice, data, [&names](const std::string& name) { names.erase(name); });
  // The data file left as it is stays the run's own.
  names.erase(inputDataFileName());
  for (const ManifestEntry& entry : earlier) {
    if (names.erase(entry.name) == 0 || !outputFileStamp(entry.name)) continue;
    if (found.firstNames.size() < kEarlierNamed) found.firstNames.push_back(entry.name);
    ++found.count;
  }
  return found;
}

}  // namespace brevox
