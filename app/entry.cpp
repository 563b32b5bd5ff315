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
#include "data/data_set.h"
#include "data/workbook_data.h"
#include "io/interrupt.h"
#include "report/output_names.h"

namespace brevox {

namespace {

// Beyond this many threads a full run gains nothing: its pairs are too few to share out.
constexpr unsigned kMostThreads = 1024;

// The threads of a full run: BREVOX_THREADS when it is set, else one per core.
std::optional<unsigned> fullRunThreads(std::ostream& err) {
  const char* setting = std::getenv("BREVOX_THREADS");
  if (setting == nullptr || *setting == '\0') {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
  }
  const std::string text = setting;
  unsigned long threads = 0;
  bool whole = text.size() <= 4;
  for (char c : text) whole = whole && c >= '0' && c <= '9';
  if (whole) threads = std::stoul(text);
  if (!whole || threads < 1 || threads > kMostThreads) {
    err << "Invalid BREVOX_THREADS \"" << text << "\": give a whole number of threads from 1 to "
        << kMostThreads << "\n";
    return std::nullopt;
  }
  return static_cast<unsigned>(threads);
}

int runCommandLine(const std::vector<std::string>& arguments, DataSet& data, EdgeRecords& records,
                   RunLock& lock, std::ostream& out, std::ostream& err) {
  const std::size_t argc = arguments.size();
  if (argc < 2) {
    printHelp(out);
    return 0;
  }
  RunOptions options;
  RunCommand command;
  std::string path;
  int parsed = 0;
  bool rejected = false;
  if (!arguments[1].empty() && arguments[1][0] == '-') {
    command.optionText = arguments[1];
    parsed = parseOptions(arguments[1], options);
    if (parsed == 0 && options.singleTest) {
      if (argc <= 4) {
        printHelp(out);
        return 0;
      }
      options.criterionNumber = argumentNumber(arguments[2]);
      options.workANumber = argumentNumber(arguments[3]);
      options.workBNumber = argumentNumber(arguments[4]);
    }
  } else {
    path = arguments[1];
    if (argc > 2 && !arguments[2].empty() && arguments[2][0] == '-') {
      command.optionText = arguments[2];
      parsed = parseOptions(arguments[2], options);
      if (parsed == 0 && options.singleTest) {
        if (argc <= 5) {
          rejected = true;
        } else {
          options.criterionNumber = argumentNumber(arguments[3]);
          options.workANumber = argumentNumber(arguments[4]);
          options.workBNumber = argumentNumber(arguments[5]);
        }
      }
    }
  }
  if (parsed != 0 || rejected) {
    printHelp(out);
    return 0;
  }
  if (!options.useDefaultData && (!readDataFile(path, data, command.sheetName, err) ||
                                  !checkOutputNames(data, path, err, command.sheetName))) {
    return -1;
  }
  std::optional<unsigned> threads = 1;
  if (!options.singleTest) threads = fullRunThreads(err);
  if (!threads) return -1;
  // Both modes write into the working directory: one run at a time.
  if (takeRunLock(lock) == LockOutcome::heldByAnotherRun) {
    err << "Another run is writing in this folder (it holds " << kRunLockFile
        << "): this run wrote nothing\n";
    return -1;
  }
  if (options.singleTest) return runSingleTest(options, data, out, err);
  if (!options.useDefaultData) command.dataFile = path;
  return runFull(options, command, data, records, *threads, out, err);
}

int runInterruptibly(const std::vector<std::string>& arguments, DataSet& data, EdgeRecords& records,
                     bool wholeProcess, std::ostream& out, std::ostream& err) {
  catchInterrupts();
  RunLock lock;
  int exitCode = -1;
  // The tests keep within the statistics library's domain, so only the system can throw here:
  // a table too large for the memory of the machine ends the run with a message, not a crash.
  // The files left open by the run are discarded on the way out.
  try {
    exitCode = runCommandLine(arguments, data, records, lock, out, err);
  } catch (const std::bad_alloc&) {
    out.flush();
    err << "Not enough memory to finish the run\n";
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
  return runInterruptibly(arguments, dataSet(), processEdgeRecords(), true, out, err);
}

int runBrevox(const std::vector<std::string>& arguments, DataSet& data, EdgeRecords& records,
              std::ostream& out, std::ostream& err) {
  return runInterruptibly(arguments, data, records, false, out, err);
}

}  // namespace brevox
