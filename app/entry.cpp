#include "app/entry.h"

#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "app/full_run.h"
#include "app/options.h"
#include "app/run_lock.h"
#include "app/single_pair.h"
#include "data/built_in_data.h"
#include "data/data_set.h"
#include "data/workbook_data.h"
#include "io/interrupt.h"
#include "report/output_names.h"

namespace brevox {

namespace {

// Beyond this many threads a full run gains nothing: its pairs are too few to share out.
constexpr unsigned kMostThreads = 1024;

// The threads of a full run, into `threads`: BREVOX_THREADS when it is set, else one per core.
[[nodiscard]] Outcome fullRunThreads(unsigned& threads) {
  const char* setting = std::getenv("BREVOX_THREADS");
  if (setting == nullptr || *setting == '\0') {
    const unsigned cores = std::thread::hardware_concurrency();
    threads = cores == 0 ? 1 : cores;
    return std::nullopt;
  }
  const std::string text = setting;
  unsigned long number = 0;
  bool whole = text.size() <= 4;
  for (char c : text) whole = whole && c >= '0' && c <= '9';
  if (whole) number = std::stoul(text);
  if (!whole || number < 1 || number > kMostThreads) {
    return Failure{"Invalid BREVOX_THREADS \"" + text +
                       "\": give a whole number of threads from 1 to " +
                       std::to_string(kMostThreads),
                   ""};
  }
  threads = static_cast<unsigned>(number);
  return std::nullopt;
}

// The one place where the failures of the run's steps are printed: each once, on its own line.
// Returns whether there was one.
bool printed(const Outcome& failure, std::ostream& err) {
  if (failure) err << failureLine(*failure) << '\n';
  return failure.has_value();
}

int runCommandLine(const std::vector<std::string>& arguments, DataSet& data, EdgeRecords& records,
                   RunLock& lock, std::ostream& out, std::ostream& err) {
  const CommandLine line = parseCommandLine(arguments);
  if (line.action == CommandAction::refuse) printed(line.refusal, err);
  if (line.action == CommandAction::help || line.helpAfterRefusal) printHelp(out);
  if (line.action != CommandAction::run) return line.action == CommandAction::help ? 0 : -1;
  const RunOptions& options = line.options;
  const std::string& path = line.dataPath;
  std::string sheetName;
  if (!options.useDefaultData) {
    if (printed(readDataFile(path, data, sheetName), err)) return -1;
    if (printed(checkOutputNames(outputChoice(options), data, path, sheetName), err)) return -1;
  }
  unsigned threads = 1;
  if (!options.singleTest && printed(fullRunThreads(threads), err)) return -1;
  // Both modes write into the working directory: one run at a time, and never one unlocked.
  if (printed(takeRunLock(lock), err)) return -1;
  const RunCommand command{path, line.optionText, sheetName};
  Failures failures;
  if (options.singleTest) {
    if (Outcome failure = runSingleTest(options, data, out)) failures.push_back(*failure);
  } else {
    failures = runFull(options, command, data, records, threads, out);
  }
  for (const Failure& failure : failures) printed(failure, err);
  const int exitCode = failures.empty() ? 0 : -1;
  // A trace that could not be written all (standard output a pipe closed early, as with
  // "| head") ends the run as an interrupt does.
  if (!out.flush()) {
    err << kInterruptedMessage;
    return -1;
  }
  return exitCode;
}

int runInterruptibly(const std::vector<std::string>& arguments, DataSet& data, EdgeRecords& records,
                     bool wholeProcess, std::ostream& out, std::ostream& err) {
  catchInterrupts(wholeProcess);
  RunLock lock;
  int exitCode = -1;
  // The tests keep within the statistics library's domain, so only the system can throw here:
  // a table too large for the memory of the machine ends the run with a message, not a crash.
  // The files left open by the run are discarded on the way out.
  try {
    exitCode = runCommandLine(arguments, data, records, lock, out, err);
  } catch (const std::bad_alloc&) {
    // Said without building a text: the memory may still be short.
    out.flush();
    err << kNotEnoughMemory << '\n';
  } catch (const std::exception& failure) {
    out.flush();
    err << "The run stopped: " << failure.what() << '\n';
  }
  // The run is over: a signal from now on changes nothing, and in a process that ends with the
  // run it waits for the end unheard.
  if (wholeProcess) holdInterruptsToTheEnd();
  releaseRunLock(lock);
  releaseInterrupts();
  return exitCode;
}

}  // namespace

int runBrevox(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  // The run's data set, the built-in data until a data file replaces it, and the edges of its
  // graphs, kept for the graphs over all criteria.
  DataSet data = builtInDataSet();
  EdgeRecords records;
  return runInterruptibly(arguments, data, records, true, out, err);
}

int runBrevox(const std::vector<std::string>& arguments, DataSet& data, EdgeRecords& records,
              std::ostream& out, std::ostream& err) {
  return runInterruptibly(arguments, data, records, false, out, err);
}

}  // namespace brevox
