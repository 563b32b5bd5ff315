#include "app/entry.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "app/console.h"
#include "app/full_run.h"
#include "app/options.h"
#include "app/report_sizes.h"
#include "app/run_folder.h"
#include "app/run_lock.h"
#include "app/single_pair.h"
#include "data/built_in_data.h"
#include "data/data_set.h"
#include "data/workbook_data.h"
#include "io/interrupt.h"
#include "io/output_file.h"
#include "io/run_thread.h"
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

// Where a run's console goes: the trace of dots into a file or a pipe, or at a terminal the
// progress line in its place and a summary at the end.
struct Console {
  bool terminal = false;
  std::ostream& out;
  std::ostream& err;
};

// What a run that holds its folder's lock does: the data file kept safe, the mode run, the
// manifest written last. Returns the failures of the run.
Failures runInFolder(RunOptions options, const RunCommand& given, const DataSet& data,
                     EdgeRecords& records, unsigned threads, const Console& console,
                     RunSummary& summary) {
  const std::vector<ManifestEntry> earlier = readManifest();
  RunCommand command = given;
  if (!options.singleTest) {
    OutputChoice choice = outputChoice(options);
    if (Outcome refusal = guardInputData(earlier, data, command.dataFile, choice)) {
      return {*refusal};
    }
    options.keepsInputData = !choice.inputData;
    command.earlier = earlierFiles(earlier, choice, data);
  }
  if (Outcome refusal = checkFreeSpace(options, data)) return {*refusal};
  summary.earlier = command.earlier;
  (void)takeWrittenFiles();
  Failures failures;
  if (options.singleTest) {
    if (Outcome failure = runSingleTest(options, data, console.out)) failures.push_back(*failure);
  } else if (console.terminal) {
    ConsoleProgress progress;
    const std::uint64_t works = data.works.size();
    beginProgress(progress, console.out, data.criteria.size(),
                  data.criteria.size() * (works * (works - (works > 0 ? 1 : 0)) / 2));
    DiscardingBuffer discarded;
    std::ostream trace(&discarded);
    failures = runFull(options, command, data, records, threads, trace, &progress);
    endProgress(progress);
  } else {
    failures = runFull(options, command, data, records, threads, console.out);
  }
  summary.written = takeWrittenFiles();
  if (!failures.empty()) return failures;
  std::vector<ManifestEntry> entries;
  // A single test adds its report to what the folder holds: the earlier run's files stay its own.
  if (options.singleTest) {
    entries = unchangedEntries(earlier, summary.written);
  }
  for (ManifestEntry& entry : manifestEntries(summary.written)) entries.push_back(std::move(entry));
  addFailure(failures, writeManifest(entries));
  return failures;
}

int runCommandLine(const std::vector<std::string>& arguments, DataSet& data, EdgeRecords& records,
                   RunLock& lock, const Console& console) {
  std::ostream& out = console.out;
  std::ostream& err = console.err;
  const CommandLine line = parseCommandLine(arguments);
  if (line.action == CommandAction::refuse) printed(line.refusal, err);
  if (line.synopsisAfterRefusal) printSynopsisAfterRefusal(err);
  if (line.action == CommandAction::help) printHelp(out);
  if (line.action == CommandAction::version) printVersion(out);
  if (line.action != CommandAction::run) return line.action == CommandAction::refuse ? -1 : 0;
  const RunOptions& options = line.options;
  const std::string& path = line.dataPath;
  std::string sheetName;
  if (!options.useDefaultData) {
    if (printed(readDataFile(path, data, sheetName), err)) return -1;
    if (printed(checkOutputNames(outputChoice(options), data, path, sheetName), err)) return -1;
  }
  unsigned threads = 1;
  if (!options.singleTest && printed(fullRunThreads(threads), err)) return -1;
  if (printed(openRunFolder(line.outputFolder), err)) return -1;
  // Both modes write into the output folder: one run at a time, and never one unlocked.
  if (printed(takeRunLock(lock, shownRunFolder(line.outputFolder)), err)) return -1;
  const auto start = std::chrono::steady_clock::now();
  RunSummary summary;
  const Failures failures = runInFolder(options, RunCommand{path, line.optionText, sheetName, {}},
                                        data, records, threads, console, summary);
  for (const Failure& failure : failures) printed(failure, err);
  if (failures.empty() && console.terminal) {
    summary.folder = shownRunFolder(line.outputFolder);
    summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    summary.singleTest = options.singleTest;
    printRunSummary(out, summary);
  }
  // A trace that could not be written all (standard output a pipe closed early, as with
  // "| head") ends the run as an interrupt does.
  if (!out.flush()) {
    err << kInterruptedMessage;
    return -1;
  }
  return failures.empty() ? 0 : -1;
}

int runInterruptibly(const std::vector<std::string>& arguments, DataSet& data, EdgeRecords& records,
                     bool wholeProcess, std::ostream& out, std::ostream& err) {
  // Only the program's own standard output can be a person's terminal.
  const Console console{wholeProcess && consoleIsTerminal(), out, err};
  catchInterrupts(wholeProcess);
  RunLock lock;
  int exitCode = -1;
  // The tests keep within the statistics library's domain, so only the system can throw here:
  // a table too large for the memory of the machine ends the run with a message, not a crash.
  // The files left open by the run are discarded on the way out.
  try {
    exitCode = runCommandLine(arguments, data, records, lock, console);
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
  // A folder that the run made and left empty goes again.
  closeOutputFolder(true);
  releaseInterrupts();
  return exitCode;
}

}  // namespace

int runBrevox(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  // Before anything else: a file opened later must not take the place of a closed standard
  // descriptor, where the console's trace would be written into it.
  openClosedStandardDescriptors();
  widenLibraryThreadStacks();
  int exitCode = -1;
  const std::function<void()> run = [&] {
    // The run's data set, the built-in data until a data file replaces it, and the edges of its
    // graphs, kept for the graphs over all criteria.
    DataSet data = builtInDataSet();
    EdgeRecords records;
    exitCode = runInterruptibly(arguments, data, records, true, out, err);
  };
  if (!runOnAStackOfItsOwn(run)) run();
  return exitCode;
}

int runBrevox(const std::vector<std::string>& arguments, DataSet& data, EdgeRecords& records,
              std::ostream& out, std::ostream& err) {
  return runInterruptibly(arguments, data, records, false, out, err);
}

}  // namespace brevox
