#include "app/options.h"

#include <cctype>
#include <cstdint>
#include <limits>

namespace brevox {

namespace {

bool familySelected(char letter, const RunOptions& options) {
  switch (letter) {
    case 'b':
      return options.runBinomial;
    case 'c':
    case 'y':
    case 'n':
      return options.runChiSquare;
    case 'f':
    case 'm':
      return options.runFisher;
    case 'p':
      return options.runPermutation;
    default:
      return false;
  }
}

}  // namespace

int parseOptions(const std::string& optionText, RunOptions& options) {
  bool binomial = false;
  bool chiSquare = false;
  bool fisher = false;
  bool permutation = false;
  for (char letter : optionText) {
    switch (letter) {
      case '-':
        break;
      case '0':
        options.runBinomial = options.runChiSquare = false;
        options.runFisher = options.runPermutation = false;
        break;
      case '1':
        options.singleTest = true;
        break;
      case 'B':
        binomial = true;
        break;
      case 'C':
        chiSquare = true;
        break;
      case 'F':
        fisher = true;
        break;
      case 'P':
        permutation = true;
        break;
      case 'D':
        options.useDefaultData = true;
        break;
      case 'S':
        options.summaryOnly = true;
        break;
      case 'N':
        options.dottedEdges = true;
        break;
      case 'M':
        options.mergeGraphs = true;
        break;
      case 'b':
      case 'c':
      case 'f':
      case 'm':
      case 'n':
      case 'p':
      case 'y':
        if (options.mergeMainTest == '0') {
          options.mergeMainTest = letter;
        } else {
          options.mergeSubTest = letter;
        }
        break;
      default:
        return -1;
    }
  }
  // Test letters win over "0" wherever it stands.
  if (binomial || chiSquare || fisher || permutation) {
    options.runBinomial = binomial;
    options.runChiSquare = chiSquare;
    options.runFisher = fisher;
    options.runPermutation = permutation;
  }
  if (options.singleTest && int(binomial) + int(chiSquare) + int(fisher) + int(permutation) != 1) {
    return -1;
  }
  if (options.mergeGraphs) {
    if (options.mergeMainTest == '0' || options.mergeSubTest == '0') return -1;
    if (options.mergeMainTest == options.mergeSubTest) return -1;
    if (!familySelected(options.mergeMainTest, options) ||
        !familySelected(options.mergeSubTest, options)) {
      return -1;
    }
  }
  return 0;
}

std::uint32_t argumentNumber(const std::string& text) {
  std::size_t position = 0;
  while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position]))) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  // Accumulate with saturation: the runtime clamps out-of-range values to the 32-bit limits.
  const std::int64_t limit = negative ? -std::int64_t{std::numeric_limits<std::int32_t>::min()}
                                      : std::int64_t{std::numeric_limits<std::int32_t>::max()};
  std::int64_t magnitude = 0;
  while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) {
    magnitude = magnitude * 10 + (text[position] - '0');
    if (magnitude > limit) magnitude = limit;
    ++position;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

void printHelp(std::ostream& out) {
  out << "BREVOX - by Taveronk - version "
      << "1"
      << "."
      << "3"
      << "\n"
      << "\n"
      << "SYNOPSIS\n"
      << "\n"
      << "brevox [File] [-[D][0|1][B|C|F|P][S]] [cN waN wbN]\n"
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
      << "A different set of data can be defined with a CSV input file\n"
      << "The application produces detailed results for the selected tests over each pair of "
         "works as well as \n"
      << "   a summary of results and directed graph for each test and an overall graph for "
         "permutation test.\n"
      << "Directed graphs files use dot language and can be opened with graphviz application\n"
      << "\n"
      << "File is the path of the input CSV file with data: either option D or file path is "
         "needed.\n"
      << "\n"
      << "OPTIONS (case sensitive):\n"
      << "\n"
      << "   D: use default data (do not read file)\n"
      << "   0: do not perform any test (just produce a file with input or default data)\n"
      << "   B: perform binomial distribution test\n"
      << "   C: perform chi-square test\n"
      << "   F: perform Fisher's exact test\n"
      << "   P: perform permutation exact test\n"
      << "   (options B, C, F and P can be combined; no option 0, 1,  B, C, F, P: perform all "
         "tests)\n"
      << "   1: perform one single test (exactly one option B, C or P must be defined)\n"
      << "      in this case, no graph is generated and options S, N, M have no effect\n"
      << "      cN, waN and wbN define which two works and which criteria to select\n"
      << "      numbers define works and criteria according to the order in the input data\n"
      << "      (1 for the first work or criterium in the data set)\n"
      << "   S: do not produce detailed test results; produce only summary files\n"
      << "   N: shows dotted edges in the graphs for non significant results\n"
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
      << "\n"
      << "INPUT FILE FORMAT:\n"
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
      << "   to create a new file, please modify the default file and strictly keep\n"
      << "       the format (including the empty fields opening the first line)\n"
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
      << "                         read input data - performs Fisher test on just two works\n";
}

}  // namespace brevox
