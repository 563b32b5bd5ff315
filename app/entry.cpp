#include "app/entry.h"

#include <exception>
#include <new>

#include "app/full_run.h"
#include "app/options.h"
#include "app/single_test.h"
#include "data/csv_reader.h"
#include "data/data_set.h"
#include "report/output_names.h"

namespace brevox {

namespace {

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                   std::ostream& err) {
  const std::size_t argc = arguments.size();
  if (argc < 2) {
    printHelp(out);
    return 0;
  }
  RunOptions options;
  std::string path;
  int parsed = 0;
  bool rejected = false;
  if (!arguments[1].empty() && arguments[1][0] == '-') {
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
  if (!options.useDefaultData &&
      (!readDataSetFile(path, dataSet(), err) || !checkOutputNameLengths(dataSet(), path, err))) {
    return -1;
  }
  return options.singleTest ? runSingleTest(options, out, err) : runFull(options, out, err);
}

}  // namespace

int runBrevox(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  // The tests keep within the statistics library's domain, so only the system can throw here:
  // a table too large for the memory of the machine ends the run with a message, not a crash.
  try {
    return runCommandLine(arguments, out, err);
  } catch (const std::bad_alloc&) {
    out.flush();
    err << "Not enough memory to finish the run\n";
  } catch (const std::exception& failure) {
    out.flush();
    err << "The run stopped: " << failure.what() << '\n';
  }
  return -1;
}

}  // namespace brevox
