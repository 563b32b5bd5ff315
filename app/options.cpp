#include "app/options.h"

#include <array>
#include <cstdint>

#include "io/number_text.h"
#include "report/variants.h"

namespace brevox {

namespace {

// The selection field of a family, writable or not as the options are.
template <typename Options>
auto& familyField(Options& options, Family family) {
  switch (family) {
    case Family::binomial:
      return options.runBinomial;
    case Family::chiSquare:
      return options.runChiSquare;
    case Family::fisher:
      return options.runFisher;
    case Family::permutation:
      break;
  }
  return options.runPermutation;
}

std::optional<Family> familyOfOptionLetter(char letter) {
  for (const FamilyDescriptor& family : kFamilies) {
    if (family.optionLetter == letter) return family.family;
  }
  return std::nullopt;
}

// A merge letter counts only when it names a variant of a selected family.
bool mergeLetterUsable(char letter, const RunOptions& options) {
  const std::optional<Variant> variant = variantOfMergeLetter(letter);
  return variant && familySelected(options, descriptor(*variant).family);
}

}  // namespace

bool familySelected(const RunOptions& options, Family family) {
  return familyField(options, family);
}

bool anyFamilySelected(const RunOptions& options) {
  for (const FamilyDescriptor& family : kFamilies) {
    if (familySelected(options, family.family)) return true;
  }
  return false;
}

int parseOptions(const std::string& optionText, RunOptions& options) {
  std::array<bool, kFamilyCount> letters{};
  for (char letter : optionText) {
    if (const std::optional<Family> family = familyOfOptionLetter(letter)) {
      letters[index(*family)] = true;
      continue;
    }
    if (variantOfMergeLetter(letter)) {
      if (options.mergeMainTest == kNoMergeLetter) {
        options.mergeMainTest = letter;
      } else {
        options.mergeSubTest = letter;
      }
      continue;
    }
    switch (letter) {
      case '-':
        break;
      case '0':
        for (const FamilyDescriptor& family : kFamilies)
          familyField(options, family.family) = false;
        break;
      case '1':
        options.singleTest = true;
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
      case 'E':
        options.estimates = true;
        break;
      case 'H':
        options.htmlReport = true;
        break;
      default:
        return -1;
    }
  }
  // Test letters win over "0" wherever it stands.
  int lettersGiven = 0;
  for (bool given : letters) lettersGiven += given ? 1 : 0;
  if (lettersGiven > 0) {
    for (const FamilyDescriptor& family : kFamilies) {
      familyField(options, family.family) = letters[index(family.family)];
    }
  }
  if (options.singleTest && lettersGiven != 1) return -1;
  if (options.mergeGraphs) {
    if (options.mergeMainTest == kNoMergeLetter || options.mergeSubTest == kNoMergeLetter) {
      return -1;
    }
    if (options.mergeMainTest == options.mergeSubTest) return -1;
    if (!mergeLetterUsable(options.mergeMainTest, options) ||
        !mergeLetterUsable(options.mergeSubTest, options)) {
      return -1;
    }
  }
  return 0;
}

std::uint32_t argumentNumber(const std::string& text) {
  // Out of range, the runtime clamps to the 32-bit limits; without digits it gives 0.
  return static_cast<std::uint32_t>(scanInteger(text).value);
}

void printHelp(std::ostream& out) {
  // The version is the project's, as the build gives it.
  out << "BREVOX - by Taveronk - version " << BREVOX_VERSION_MAJOR << "." << BREVOX_VERSION_MINOR
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
