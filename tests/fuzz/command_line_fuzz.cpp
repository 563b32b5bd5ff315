// libFuzzer target: arbitrary argument vectors. The input is split into arguments at NUL bytes and
// line feeds (so that every message on the error stream is one line); each argument goes through
// parseOptions on its own, and the whole vector through the program's entry.
//
// So that every command line ends in milliseconds and touches no real file, the entry runs in a
// private temporary working directory, the built-in data is replaced by a small data set of three
// works and two criteria (small totals, so the full run and single-test mode take microseconds per
// pair), and a file path argument and the folder of --output have their "/" bytes replaced by
// "_" (and ".." is "__"): they can name only the fixtures of that folder ("data.csv", "bad.csv",
// the folder "folder.csv") or files and folders within it. Everything a run writes is removed
// after it.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/entry.h"
#include "app/options.h"
#include "data/csv_reader.h"
#include "data/data_set.h"
#include "report/dot_graph.h"

namespace brevox {
namespace {

namespace fs = std::filesystem;

// At most this many arguments after the program name: the entry refuses any beyond five.
constexpr std::size_t kArgumentLimit = 8;

const char kSmallData[] =
    "Threshold:,0.05,k1,First,k2,Second,\n"
    ",,,1,,-1,\n"
    "w1,One,3,10,0,0,\n"
    "w2,Two,8,10,2,4,\n"
    "w3,Three,1,6,4,5,\n";
const char kBadData[] = "Threshold:,0.05,k1,First,\n,,,1,\nw1,One,3,10,7\n";
const char* const kFixtures[] = {"data.csv", "bad.csv", "folder.csv"};

DataSet smallDataSet;
std::filesystem::path workFolder;
std::string helpText;

[[noreturn]] void failure(const char* what, const std::string& detail) {
  std::fprintf(stderr, "command_line_fuzz: %s\n%s\n", what, detail.c_str());
  std::abort();
}

bool isFixture(const fs::path& name) {
  for (const char* fixture : kFixtures) {
    if (name == fixture) return true;
  }
  return false;
}

void removeOutputs() {
  for (const fs::directory_entry& entry : fs::directory_iterator(workFolder)) {
    if (!isFixture(entry.path().filename())) fs::remove_all(entry.path());
  }
}

std::string selectionText(const RunOptions& options) {
  return std::string{options.families[Family::binomial] ? 'B' : '-',
                     options.families[Family::chiSquare] ? 'C' : '-',
                     options.families[Family::fisher] ? 'F' : '-',
                     options.families[Family::permutation] ? 'P' : '-'};
}

// What parseOptions promises about a string it accepted.
void checkParsed(const std::string& text) {
  RunOptions options;
  if (parseOptions(text, options)) return;
  const int selected =
      int(options.families[Family::binomial]) + int(options.families[Family::chiSquare]) +
      int(options.families[Family::fisher]) + int(options.families[Family::permutation]);
  if (options.singleTest && selected != 1) failure("single test without one test", text);
  if (options.mergeGraphs && (options.mergeMainTest == '0' || options.mergeSubTest == '0' ||
                              options.mergeMainTest == options.mergeSubTest)) {
    failure("merged graph without two different tests", text + " " + selectionText(options));
  }
}

}  // namespace
}  // namespace brevox

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace brevox;
  std::ostringstream help;
  printHelp(help);
  helpText = help.str();
  std::istringstream small(kSmallData);
  if (Outcome failed = readDataSet(small, "data.csv", smallDataSet)) {
    failure("bad fixture", failureLine(*failed));
  }

  const fs::path folder = fs::temp_directory_path() / ("brevox-fuzz-" + std::to_string(getpid()));
  fs::create_directories(folder / "folder.csv");
  std::ofstream(folder / "data.csv", std::ios::binary) << kSmallData;
  std::ofstream(folder / "bad.csv", std::ios::binary) << kBadData;
  workFolder = folder;
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(workFolder, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace brevox;
  std::vector<std::string> arguments{"brevox"};
  std::string current;
  for (std::size_t i = 0; i < size && arguments.size() <= kArgumentLimit; ++i) {
    if (bytes[i] == 0 || bytes[i] == '\n') {
      arguments.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(bytes[i]);
    }
  }
  if (size > 0 && arguments.size() <= kArgumentLimit) arguments.push_back(current);
  for (std::size_t i = 1; i < arguments.size(); ++i) checkParsed(arguments[i]);
  // Argument 1 is a file path unless it starts with "-", and so is the folder of --output: keep
  // them inside the working directory.
  auto keepInside = [](std::string& path, std::size_t from) {
    for (std::size_t i = from; i < path.size(); ++i) {
      if (path[i] == '/') path[i] = '_';
    }
    if (path.compare(from, std::string::npos, "..") == 0) path.replace(from, 2, "__");
  };
  if (arguments.size() > 1 && (arguments[1].empty() || arguments[1][0] != '-')) {
    keepInside(arguments[1], 0);
  }
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i].rfind("--output=", 0) == 0) keepInside(arguments[i], 9);
    if (arguments[i] == "--output" && i + 1 < arguments.size()) keepInside(arguments[i + 1], 0);
  }

  // Each input runs on fresh state: the small data set, and no edges of an earlier run.
  DataSet data = smallDataSet;
  EdgeRecords records;
  std::ostringstream out;
  std::ostringstream err;
  // The working directory is the private folder only while the program runs, so that libFuzzer's
  // own relative paths (corpus, artifacts) keep their meaning.
  const fs::path previous = fs::current_path();
  fs::current_path(workFolder);
  const int code = runBrevox(arguments, data, records, out, err);
  fs::current_path(previous);
  if (code != 0 && code != -1) failure("exit code other than 0 or -1", std::to_string(code));
  if (code == -1 && err.str().empty()) failure("a failure without a message", out.str());
  // The entry turns exceptions into a message; none may reach it from the tests or the files.
  // Arguments hold no line break, so these lines cannot be a path echoed in another message.
  std::istringstream lines(err.str());
  for (std::string line; std::getline(lines, line);) {
    if (line == "Not enough memory to finish the run" || line.rfind("The run stopped: ", 0) == 0) {
      failure("an exception reached the entry", err.str());
    }
  }
  // The help ends with 0 and no message; a rejected option string is followed by the synopsis
  // on the error stream, never by the help.
  if (out.str() == helpText && (code != 0 || !err.str().empty())) {
    failure("help text with a failure", err.str());
  }
  removeOutputs();
  return 0;
}
