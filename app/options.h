#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "io/failure.h"
#include "stats/families.h"

namespace brevox {

/// The merge fields hold this while no test letter has been given.
inline constexpr char kNoMergeLetter = '0';

/// The parsed command line.
struct RunOptions {
  /// The families of tests to run.
  FamilySet families = kAllFamilies;
  bool singleTest = false;
  bool useDefaultData = false;
  bool summaryOnly = false;
  bool dottedEdges = false;
  bool mergeGraphs = false;
  /// E: the full run also writes one tidy table of every pair with estimates and adjusted
  /// p-values.
  bool estimates = false;
  /// H: the full run also writes one self-contained page with heat maps and drawn graphs.
  bool htmlReport = false;
  /// Not a letter: the data file is the output folder's T_input_data.csv, left as it is.
  bool keepsInputData = false;
  std::uint32_t criterionNumber = 1;
  std::uint32_t workANumber = 1;
  std::uint32_t workBNumber = 1;
  /// Test letter of the main and of the subordinate merged test, or kNoMergeLetter.
  char mergeMainTest = kNoMergeLetter;
  char mergeSubTest = kNoMergeLetter;
};

/// Applies one option string (its leading "-" included) to `options`. Fails when the string is
/// rejected, saying which letter was rejected and why, in one line. Prints nothing.
[[nodiscard]] Outcome parseOptions(const std::string& optionText, RunOptions& options);

/// What a command line asks for.
enum class CommandAction {
  help,     ///< print the help text and end with 0
  version,  ///< print the version and end with 0
  run,      ///< run on the data as the options say
  refuse,   ///< print the refusal and end with -1, writing nothing
};

/// A command line as parseCommandLine reads it.
struct CommandLine {
  CommandAction action = CommandAction::help;
  RunOptions options;
  std::string dataPath;      ///< the data file; empty for the built-in data
  std::string optionText;    ///< the option string as typed; empty when none was given
  std::string outputFolder;  ///< the folder of --output; empty for the working directory
  Failure refusal;           ///< with refuse: one line, what was refused and what to type instead
  bool synopsisAfterRefusal = false;  ///< with refuse: a rejected option string; the synopsis
                                      ///< and the way to the help follow
};

/// Reads the arguments (argument 0 is the program itself): the data file first unless option D
/// uses the built-in data, then one option string, then in single-test mode the three positions
/// of the criterion and the works; "--output DIR" or "--output=DIR" may stand anywhere. Without
/// arguments, or with -h or --help, asks for the help; with --version, for the version. Anything
/// that cannot be used is refused: a rejected option string, a second option string or any
/// argument left over, a data file after the option string, D together with a data file, no data
/// at all, a position that is not a whole number from 1, or --output without one folder.
[[nodiscard]] CommandLine parseCommandLine(const std::vector<std::string>& arguments);

/// Writes the help text.
void printHelp(std::ostream& out);

/// Writes the version line: "brevox " and the project's version.
void printVersion(std::ostream& out);

/// Writes what follows a rejected option string: the synopsis line of the help, then the way to
/// the rest of the help.
void printSynopsisAfterRefusal(std::ostream& out);

}  // namespace brevox
