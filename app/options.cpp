#include "app/options.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "data/data_layout.h"
#include "io/number_text.h"
#include "report/variants.h"

namespace brevox {

namespace {

// The capital letters of the option string, to which a small letter may have been meant.
constexpr std::string_view kOptionLetters = "BCDEFHMNPS";

std::optional<Family> familyOfOptionLetter(char letter) {
  for (const FamilyDescriptor& family : kFamilies) {
    if (family.optionLetter == letter) return family.family;
  }
  return std::nullopt;
}

// A merge letter counts only when it names a variant of a selected family.
bool mergeLetterUsable(char letter, const RunOptions& options) {
  const std::optional<Variant> variant = variantOfMergeLetter(letter);
  return variant && options.families[descriptor(*variant).family];
}

}  // namespace

namespace {

// Applies one letter that is neither a test letter nor a merge letter. Returns false for a letter
// that the option string does not know.
bool applyFlagLetter(char letter, RunOptions& options) {
  switch (letter) {
    case '-':
      return true;
    case '0':
      options.families = FamilySet{};
      return true;
    case '1':
      options.singleTest = true;
      return true;
    case 'D':
      options.useDefaultData = true;
      return true;
    case 'S':
      options.summaryOnly = true;
      return true;
    case 'N':
      options.dottedEdges = true;
      return true;
    case 'M':
      options.mergeGraphs = true;
      return true;
    case 'E':
      options.estimates = true;
      return true;
    case 'H':
      options.htmlReport = true;
      return true;
    default:
      return false;
  }
}

// Why a letter is refused, with the capital meant where a small letter stands for one.
std::string unknownLetter(char letter, const std::string& inText) {
  std::string why = "Unknown letter " + quotedForMessage(std::string(1, letter)) + inText;
  const char upper = static_cast<char>(letter - 'a' + 'A');
  if (letter >= 'a' && letter <= 'z' && kOptionLetters.find(upper) != std::string::npos) {
    why += " (letters are case sensitive: " + std::string(1, upper) + ")";
  }
  return why;
}

// What is wrong with the merge letters of option M, or nothing.
std::optional<std::string> mergeRefusal(const RunOptions& options, const std::string& inText) {
  if (options.mergeMainTest == kNoMergeLetter || options.mergeSubTest == kNoMergeLetter ||
      options.mergeMainTest == options.mergeSubTest) {
    return "Option M needs two different merge letters (b c y n f m p)" + inText;
  }
  for (const char merge : {options.mergeMainTest, options.mergeSubTest}) {
    if (!mergeLetterUsable(merge, options)) {
      return "Merge letter " + quotedForMessage(std::string(1, merge)) +
             " names a test that is not selected" + inText;
    }
  }
  return std::nullopt;
}

}  // namespace

Outcome parseOptions(const std::string& optionText, RunOptions& options) {
  auto reject = [](const std::string& why) { return Failure{why, ""}; };
  const std::string inText = " in option string " + quotedForMessage(optionText, kShownBytes);
  FamilySet letters;
  for (char letter : optionText) {
    if (const std::optional<Family> family = familyOfOptionLetter(letter)) {
      letters[*family] = true;
    } else if (variantOfMergeLetter(letter)) {
      (options.mergeMainTest == kNoMergeLetter ? options.mergeMainTest : options.mergeSubTest) =
          letter;
    } else if (!applyFlagLetter(letter, options)) {
      return reject(unknownLetter(letter, inText));
    }
  }
  // Test letters win over "0" wherever it stands.
  int lettersGiven = 0;
  for (bool given : letters.members) lettersGiven += given ? 1 : 0;
  if (lettersGiven > 0) options.families = letters;
  if (options.singleTest && lettersGiven != 1) {
    return reject("Option 1 needs exactly one of the tests B, C, F, P" + inText);
  }
  if (options.mergeGraphs) {
    if (const std::optional<std::string> why = mergeRefusal(options, inText)) return reject(*why);
  }
  return std::nullopt;
}

namespace {

bool isOptionString(const std::string& argument) { return !argument.empty() && argument[0] == '-'; }

CommandLine refused(CommandLine line, std::string why, bool withSynopsis = false) {
  line.action = CommandAction::refuse;
  line.refusal = Failure{std::move(why), ""};
  line.synopsisAfterRefusal = withSynopsis;
  return line;
}

constexpr std::string_view kOutputOption = "--output";

// Takes "--output DIR" and "--output=DIR" out of the arguments, wherever they stand, into the
// command line's folder; returns why they cannot be used, or nothing.
std::optional<std::string> takeOutputFolder(std::vector<std::string>& arguments,
                                            CommandLine& line) {
  const std::string needs =
      "Option --output needs a folder, as in brevox -DH --output results or --output=results";
  std::vector<std::string> rest;
  bool taken = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::string folder;
    if (i > 0 && argument == kOutputOption) {
      // A folder that begins with "-" is given as --output=-name or --output ./-name.
      if (i + 1 >= arguments.size() || isOptionString(arguments[i + 1])) return needs;
      folder = arguments[++i];
    } else if (i > 0 && argument.rfind(std::string(kOutputOption) + "=", 0) == 0) {
      folder = argument.substr(kOutputOption.size() + 1);
    } else {
      rest.push_back(argument);
      continue;
    }
    if (folder.empty()) return needs;
    if (taken) {
      return "Option --output names two folders, " +
             quotedForMessage(line.outputFolder, kShownBytes) + " and " +
             quotedForMessage(folder, kShownBytes) + ": give one";
    }
    taken = true;
    line.outputFolder = folder;
  }
  arguments = std::move(rest);
  return std::nullopt;
}

// The option string without its letters D: for the command that reads the file instead.
std::string withoutD(const std::string& optionText) {
  std::string text;
  for (const char c : optionText) {
    if (c != 'D') text += c;
  }
  return text.find_first_not_of('-') == std::string::npos ? "" : " " + text;
}

// An argument in a command that a message suggests: control bytes escaped and long texts cut, so
// that the message stays one short line.
std::string asTyped(const std::string& argument) {
  const std::string quoted = quotedForMessage(argument, kShownBytes);
  return quoted.substr(1, quoted.size() - 2);
}

// The arguments from `first` on, each after a blank, as a command to type shows them.
std::string argumentsFrom(const std::vector<std::string>& arguments, std::size_t first) {
  std::string text;
  for (std::size_t i = first; i < arguments.size(); ++i) text += " " + asTyped(arguments[i]);
  return text;
}

// Reads the three positions of option 1 from arguments[next] on into the options and moves `next`
// past them; returns why they cannot be used, or nothing.
std::optional<std::string> readPositions(const std::vector<std::string>& arguments,
                                         std::size_t& next, bool fileNamed, CommandLine& line) {
  RunOptions& options = line.options;
  const char* const what[] = {"criterion", "work A", "work B"};
  std::uint32_t* const numbers[] = {&options.criterionNumber, &options.workANumber,
                                    &options.workBNumber};
  for (std::size_t n = 0; n < 3; ++n, ++next) {
    if (next >= arguments.size()) {
      const std::string command =
          "brevox " + (fileNamed ? line.dataPath + " " : "") + line.optionText + " 1 1 2";
      return "Option 1 needs three numbers after " +
             quotedForMessage(line.optionText, kShownBytes) +
             ": the criterion, work A and work B, as in " + quotedForMessage(command, kShownBytes);
    }
    const std::optional<std::uint32_t> number = decimalDigits(arguments[next]);
    if (!number || *number == 0) {
      return std::string("Invalid ") + what[n] + " number " +
             quotedForMessage(arguments[next], kShownBytes) +
             ": give its position in the data, a whole number from 1";
    }
    *numbers[n] = *number;
  }
  return std::nullopt;
}

// Why an argument after everything the command line may hold is refused.
std::string leftOverRefusal(const std::string& extra, const CommandLine& line) {
  const std::string shownExtra = quotedForMessage(extra, kShownBytes);
  if (isOptionString(extra) && !line.optionText.empty()) {
    std::string joined = line.optionText;
    for (const char c : extra) {
      if (c != '-') joined += c;
    }
    return "Second option string " + shownExtra +
           ": put all letters in one string: " + asTyped(joined);
  }
  if (line.options.singleTest) {
    return "Unexpected argument " + shownExtra +
           ": option 1 takes three numbers, as in brevox data.csv -1F 2 1 3";
  }
  return "Unexpected argument " + shownExtra +
         ": give one data file, then one option string, as in "
         "brevox data.csv -FP (or brevox -DFP for the built-in data)";
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& given) {
  CommandLine line;
  for (std::size_t i = 1; i < given.size(); ++i) {
    if (given[i] == "-h" || given[i] == "--help") return line;
    if (given[i] == "--version") {
      line.action = CommandAction::version;
      return line;
    }
  }
  std::vector<std::string> arguments = given;
  if (const std::optional<std::string> wrong = takeOutputFolder(arguments, line)) {
    return refused(line, *wrong);
  }
  const std::size_t count = arguments.size();
  if (count < 2) return line;
  const bool fileNamed = !isOptionString(arguments[1]);
  std::size_t next = 1;
  if (fileNamed) line.dataPath = arguments[next++];
  if (next < count && isOptionString(arguments[next])) line.optionText = arguments[next++];
  const std::string optionText = asTyped(line.optionText);
  if (Outcome rejected = parseOptions(line.optionText, line.options)) {
    return refused(line, std::move(rejected->message), true);
  }
  RunOptions& options = line.options;
  const std::string shownText = quotedForMessage(line.optionText, kShownBytes);
  // A file named after the option string, where a file is needed and no position can stand.
  if (!fileNamed && !options.useDefaultData && next < count && !isOptionString(arguments[next]) &&
      !decimalDigits(arguments[next])) {
    return refused(line, "Data file " + quotedForMessage(arguments[next], kShownBytes) +
                             " after the option string " + shownText +
                             ": the data file comes first: brevox " + asTyped(arguments[next]) +
                             " " + optionText + argumentsFrom(arguments, next + 1));
  }
  if (options.singleTest) {
    if (const std::optional<std::string> wrong = readPositions(arguments, next, fileNamed, line)) {
      return refused(line, *wrong);
    }
  }
  if (next < count) return refused(line, leftOverRefusal(arguments[next], line));
  if (options.useDefaultData && fileNamed) {
    return refused(line, "Option D uses the built-in data, but a data file is named too: brevox " +
                             optionText + " for the built-in data, brevox " +
                             asTyped(line.dataPath) + asTyped(withoutD(line.optionText)) +
                             " for the file");
  }
  if (!options.useDefaultData && !fileNamed) {
    const std::string rest = argumentsFrom(arguments, 2);
    return refused(line, "No data file before the option string " + shownText +
                             ": the data file comes first (brevox data.csv " + optionText + rest +
                             "), or D uses the built-in data (brevox -D" + optionText.substr(1) +
                             rest + ")");
  }
  line.action = CommandAction::run;
  return line;
}

namespace {

// The synopsis: every letter of the option string, and the output folder.
constexpr const char* kSynopsis =
    "brevox [File] [-[D][0|1][B|C|F|P][S][N][M<t1><t2>][E][H]] [cN waN wbN] [--output DIR]";

// The title, the synopsis and what the program does.
void printDescription(std::ostream& out) {
  // The version is the project's, as the build gives it.
  out << "BREVOX - by Taveronk - version " << BREVOX_VERSION_MAJOR << "." << BREVOX_VERSION_MINOR
      << "\n"
      << "\n"
      << "SYNOPSIS\n"
      << "\n"
      << kSynopsis << "\n"
      << "\n"
      << "DESCRIPTION\n"
      << "\n"
      << "Performs statistic tests among a set of works evaluating a set of criteria.\n"
      << "Available tests:\n"
      << "  B: binomial distribution (single and double-tail, standard and mid-p)\n"
      << "  C: chi-square (standard Pearson's, with Yates-correction, N-1)\n"
      << "  F: Fisher's exact (double tail and mid-p)\n"
      << "  P: permutation exact\n"
      << "A default set of observed values for a group of works and criteria is built-in\n"
      << "A different set of data can be defined with a CSV input file or an .xlsx or .ods "
         "workbook\n"
      << "The application produces detailed results for the selected tests over each pair of "
         "works as well as \n"
      << "   a summary of results and directed graph for each test and an overall graph for "
         "permutation test.\n"
      << "Directed graphs files use dot language and can be opened with graphviz application\n"
      << "\n"
      << "File is the path of the input CSV file (or .xlsx or .ods workbook) with data: either "
         "option D or file path is needed.\n"
      << "\n";
}

// The option letters.
void printOptionLetters(std::ostream& out) {
  out << "OPTIONS (case sensitive):\n"
      << "\n"
      << "   D: use default data (do not read file)\n"
      << "   0: do not perform any test (just produce a file with input or default data)\n"
      << "   B: perform binomial distribution test\n"
      << "   C: perform chi-square test\n"
      << "   F: perform Fisher's exact test\n"
      << "   P: perform permutation exact test\n"
      << "   (options B, C, F and P can be combined; no option 0, 1,  B, C, F, P: perform all "
         "tests)\n"
      << "   1: perform one single test (exactly one option B, C, F or P must be defined)\n"
      << "      in this case, no graph is generated and options S, N, M have no effect\n"
      << "      cN, waN and wbN define which two works and which criteria to select\n"
      << "      numbers define works and criteria according to the order in the input data\n"
      << "      (1 for the first work or criterium in the data set)\n"
      << "   S: do not produce detailed test results; produce only summary files\n"
      << "   N: shows dotted edges in the graphs for significant results that rest on too few "
         "cases\n"
      << "   M<t1><t2>: merge graph of results from two tests t1 (main test) and t2 "
         "(subordinate) \n"
      << "      t1 and t2 should have one of the following values\n"
      << "      b: Binomial distribution test\n"
      << "      c: Standard Pearson's chi-square\n"
      << "      y: Chi-square with Yates-correction\n"
      << "      n: Chi-square N-1 test\n"
      << "      f: Double-tail Fisher's test\n"
      << "      m: Mid-point Fisher's test\n"
      << "      p: Permutation test\n"
      << "   E: also produce T_all_results.csv: all pairs with estimates and adjusted p-values\n"
      << "   H: also produce brevox_report.html: a page with the data, heat maps and graphs\n"
      << "   --output DIR: write every file into folder DIR (made if missing), not the current "
         "folder\n"
      << "\n";
}

// The layout of a data file and examples of command lines.
void printFormatAndExamples(std::ostream& out) {
  out << "INPUT FILE FORMAT:\n"
      << "\n"
      << "CSV file with:\n"
      << "   A dummy field, followed by the threshold for p-value in tests, followed by the\n"
      << "       list of short and long names for the criteria in the first line;\n"
      << "   second line defines the direction of ordering for criteria: 1 o -1 under the names' "
         "columns;\n"
      << "   following lines contain short and long name for each work and one pair of\n"
      << "       integer numbers for each of the criteria defined in 1st line:\n"
      << "       observed occurrences and total number of cases\n"
      << "   the values used (either input or default) are printed out in file "
         "T_input_data.csv;\n"
      << "   the default file can be produced with options -D0 \n"
      << "   to create a new file, please modify a copy of the default file (e.g. mydata.csv) and "
         "strictly keep\n"
      << "       the format (including the empty fields opening the first line)\n"
      << "   an .xlsx or .ods workbook is read as well: its first sheet holds the same cells\n"
      << "\n"
      << "USAGE EXAMPLES:\n"
      << "\n"
      << "brevox                 print this message\n"
      << "brevox -D0             produces file with default data\n"
      << "brevox <filePath>      read input data from <filePath> - perform all tests\n"
      << "brevox <filePath> -FP  read input data - perform Fisher's and permutation tests\n"
      << "brevox -D              use default built-in data - perform all tests\n"
      << "brevox -DC             use default built-in data - perform chi-square test\n"
      << "brevox -DMnf           use default built-in data - perform all tests\n"
      << "                         produces graphs mergin results from Chi-square N-1 and DT "
         "Fisher's tests\n"
      << "brevox <filePath> -1F cN waN wbN\n"
      << "                         read input data - performs Fisher test on just two works\n"
      << "brevox <filePath> -E   read input data - perform all tests and write "
         "T_all_results.csv\n"
      << "brevox -DH             use default built-in data - perform all tests and write "
         "brevox_report.html\n"
      << "brevox <filePath> -H --output DIR\n"
      << "                         read input data - perform all tests, write every file into "
         "folder DIR\n"
      << "brevox --version       print the version\n";
}

}  // namespace

void printHelp(std::ostream& out) {
  printDescription(out);
  printOptionLetters(out);
  printFormatAndExamples(out);
}

void printVersion(std::ostream& out) {
  out << "brevox " << BREVOX_VERSION_MAJOR << "." << BREVOX_VERSION_MINOR << "."
      << BREVOX_VERSION_PATCH << "\n";
}

void printSynopsisAfterRefusal(std::ostream& out) {
  out << kSynopsis << "\n"
      << "Run brevox --help for every option.\n";
}

}  // namespace brevox
