#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "io/output_file.h"
#include "report/html_report.h"

namespace brevox {

// What a person at a terminal reads while a run goes on and when it ends. Into a file or a pipe
// the run writes its trace of dots as it always has, and none of this.

/// A whole number with its thousands apart: 1,234,567.
std::string withThousands(std::uint64_t number);

/// A size in bytes as a reader takes it in: 987 bytes, 16.2 MB, 7.9 GB.
std::string sizeForPeople(std::uint64_t bytes);

/// Whether the run's standard output is a terminal.
bool consoleIsTerminal();

/// The progress of a full run as one line redrawn in place: the criterion, the pairs done of all
/// pairs, the time taken and the time left.
struct ConsoleProgress {
  std::ostream* out = nullptr;  ///< the terminal
  std::size_t criteria = 0;
  std::size_t criterion = 0;  ///< from 1
  std::string criterionName;
  std::uint64_t allPairs = 0;
  std::uint64_t donePairs = 0;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point drawn;
  bool everDrawn = false;
};

/// Starts the line for a run of `criteria` criteria of `allPairs` pairs of works in all.
void beginProgress(ConsoleProgress& progress, std::ostream& out, std::size_t criteria,
                   std::uint64_t allPairs);

/// The run goes on to criterion `criterion` (from 1), named `name`.
void progressCriterion(ConsoleProgress* progress, std::size_t criterion, const std::string& name);

/// One more pair of works was tested. The line is drawn again at most ten times a second.
void progressPair(ConsoleProgress* progress);

/// Clears the line, so that what follows starts on an empty line.
void endProgress(ConsoleProgress& progress);

/// A stream buffer that takes every byte and keeps none: the trace of dots while the progress
/// line stands in its place.
struct DiscardingBuffer : std::streambuf {
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

/// What the summary of a run says.
struct RunSummary {
  std::vector<WrittenFile> written;  ///< in the order in which they were written
  std::string folder;                ///< the output folder as the summary shows it
  double seconds = 0;
  EarlierFiles earlier;
  bool singleTest = false;
};

/// Writes the summary of a run that ended well: the files and bytes written into which folder,
/// the page and the tables, the time taken and the files of an earlier run left beside them; for a
/// single test, the report it wrote.
void printRunSummary(std::ostream& out, const RunSummary& summary);

}  // namespace brevox
