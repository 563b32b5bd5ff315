// libFuzzer target: arbitrary bytes as a data file. What the reader accepts must keep the reader's
// promises, read back from the input-data writer's text, and go through every test the full run
// would run on it.

#include <algorithm>
#include <boost/math/distributions/hypergeometric.hpp>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data/csv_reader.h"
#include "data/data_set.h"
#include "data/input_data_writer.h"
#include "io/number_text.h"
#include "stats/binomial.h"
#include "stats/chi_square.h"
#include "stats/fisher_exact.h"
#include "stats/fisher_sum_internal.h"
#include "stats/multiprecision.h"
#include "stats/pair_comparison.h"
#include "tests/oracles/literal_binomial.h"
#include "tests/oracles/literal_exact_tests.h"

namespace brevox {
namespace {

// Fuzzing limits, so that no single input keeps the fuzzer busy for more than a fraction of a
// second. The tests run on every pair the full run would test, in its order, until an input's
// budget of work is spent; a test whose table alone would cost more than what is left is skipped.
// Large tables are covered by the unit tests and the large-input benchmark instead. The cost of a
// test is the number of tables or probabilities it visits: totalA + 1 for the binomial test,
// min(totalA, occurrences) + 1 for Fisher's test, totalA + totalB + 2 for the permutation count,
// and 1 for the chi-square tests. The table-by-table references of the binomial, Fisher's and
// the permutation test, which the program's faster forms must match, cost totalA + 1,
// min(totalA, occurrences) + 1 and (totalA + 1) (totalB + 1); Fisher's exact sums, where the
// totals allow them, are counted with its table-by-table sum.
constexpr std::uint64_t kWorkBudget = 20000;

[[noreturn]] void failure(const char* what, const std::string& detail) {
  std::fprintf(stderr, "csv_reader_fuzz: %s\n%s\n", what, detail.c_str());
  std::abort();
}

bool sameNamesAndCounts(const DataSet& left, const DataSet& right) {
  return left.works == right.works && left.criteria == right.criteria;
}

// The reader's promises about a data set it accepted.
void checkAccepted(const DataSet& data) {
  if (!(data.threshold > 0.0 && data.threshold <= 1.0)) failure("threshold outside (0, 1]", "");
  if (data.criteria.empty() || data.works.empty()) failure("empty tables", "");
  for (const Work& work : data.works) {
    if (work.counts.size() != data.criteria.size()) failure("ragged counts", "");
    for (const CountPair& pair : work.counts) {
      if (pair.observed > pair.total || pair.total > 0x7fffffffU) failure("bad counts", "");
    }
  }
  for (const Criterion& criterion : data.criteria) {
    if (criterion.direction != 1 && criterion.direction != -1) {
      failure("a direction other than 1 or -1 of a criterion", std::to_string(criterion.direction));
    }
  }
  std::vector<std::pair<std::uint32_t, std::string>> workNames;
  std::vector<std::pair<std::uint32_t, std::string>> criterionNames;
  for (const auto& [work, name] : workShortNames(data)) workNames.emplace_back(work, name);
  for (const auto& [criterion, name] : criterionShortNames(data)) {
    criterionNames.emplace_back(criterion, name);
  }
  for (const auto* names : {&workNames, &criterionNames}) {
    std::set<std::string> distinct;
    for (const auto& entry : *names) {
      if (entry.second.find_first_of(std::string("/\\\0,\"\r\n", 7)) != std::string::npos) {
        failure("short name with a path separator or a character of CSV", entry.second);
      }
      if (entry.second.empty() || !distinct.insert(entry.second).second) {
        failure("an empty or repeated short name", entry.second);
      }
    }
  }
}

// The input-data file of an accepted data set reads back to the same names, counts and
// directions.
void checkRoundTrip(const DataSet& data) {
  std::ostringstream written;
  writeInputData(written, data);
  std::istringstream in(written.str());
  DataSet reread;
  if (Outcome failed = readDataSet(in, "T_input_data.csv", reread)) {
    failure("the input-data file does not read back", failureLine(*failed) + "\n" + written.str());
  }
  if (!sameNamesAndCounts(data, reread)) {
    failure("the input-data file reads back differently", written.str());
  }
}

void checkFlag(std::int32_t flag) {
  if (flag != 0 && flag != 1) failure("a flag other than 0 or 1", std::to_string(flag));
}

std::string tableText(const PairComparison& pair) {
  return std::to_string(pair.observedA) + " of " + std::to_string(pair.totalA) + " against " +
         std::to_string(pair.observedB) + " of " + std::to_string(pair.totalB);
}

bool closeTo(double value, double reference) {
  return std::fabs(value - reference) <= 1e-9 * std::fabs(reference);
}

// Whether Fisher's p-values of a pair can be summed exactly in about a millisecond or less: the
// exact sums hold numbers of as many bits as choose(N, n), one product per possible table.
bool fisherExactlyAffordable(const PairComparison& pair) {
  const double population = static_cast<double>(pair.totalA) + pair.totalB;
  const double drawn = static_cast<double>(pair.observedA) + pair.observedB;
  const double bits =
      (std::lgamma(population + 1) - std::lgamma(drawn + 1) - std::lgamma(population - drawn + 1)) /
      std::log(2.0);
  const double limbs = bits / 64 + 1;
  return (std::min<double>(pair.totalA, drawn) + 1) * limbs * limbs <= 1e6;
}

// Whether every table on which two runs of added tables disagree is one whose library density
// lies within 1e-9 of the observed one's: a tie, or nearly one, that the library's rounding
// decides and exact numbers may decide otherwise.
bool differOnlyAtTies(const PairComparison& pair, const AddedTables& left,
                      const AddedTables& right) {
  const std::uint32_t drawn = pair.observedA + pair.observedB;
  const boost::math::hypergeometric_distribution<double> distribution(pair.totalA, drawn,
                                                                      pair.totalA + pair.totalB);
  const double observed = boost::math::pdf(distribution, pair.observedA);
  const std::vector<std::uint8_t> leftAdded = oracle::everyAddedTable(left, pair);
  const std::vector<std::uint8_t> rightAdded = oracle::everyAddedTable(right, pair);
  const std::uint32_t lowest = drawn > pair.totalB ? drawn - pair.totalB : 0;
  for (std::size_t i = 0; i < leftAdded.size(); ++i) {
    if (leftAdded[i] == rightAdded[i]) continue;
    const double density = boost::math::pdf(distribution, lowest + static_cast<std::uint32_t>(i));
    if (!closeTo(density, observed)) return false;
  }
  return true;
}

// Where the totals allow exact sums, the program's Fisher sum adds exactly the tables that whole
// numbers add, prints the six digits and decides the flags of the exact sums, also at a threshold
// the p-value meets, and holds all their digits within 4e-16. Elsewhere it adds the tables of the
// table-by-table sum but where that sum's densities nearly tie, with p-values close to it, and
// its flags are that sum's where it lies clear of the threshold.
void compareFisher(const PairComparison& pair, double threshold, const FisherResult& fisher,
                   const AddedTables& added) {
  if (fisherExactlyAffordable(pair)) {
    const AddedTables exactAdded = oracle::exactAddedTables(pair);
    if (oracle::everyAddedTable(added, pair) != oracle::everyAddedTable(exactAdded, pair)) {
      failure("Fisher's sum adds other tables than the exact sum", tableText(pair));
    }
    const FisherResult exact = oracle::exactFisherTest(pair, threshold, exactAdded);
    if (formatDouble(fisher.pDoubleTail) != formatDouble(exact.pDoubleTail) ||
        formatDouble(fisher.pMidP) != formatDouble(exact.pMidP) ||
        fisher.significantDoubleTail != exact.significantDoubleTail ||
        fisher.significantMidP != exact.significantMidP ||
        !(std::fabs(fisher.pDoubleTail - exact.pDoubleTail) <= 4e-16 * exact.pDoubleTail) ||
        !(std::fabs(fisher.pMidP - exact.pMidP) <= 4e-16 * exact.pMidP)) {
      failure("Fisher's test differs from the exact sums", tableText(pair));
    }
    return;
  }
  AddedTables literalAdded;
  const FisherResult literal = oracle::literalFisherTest(pair, threshold, &literalAdded);
  if (oracle::everyAddedTable(added, pair) != oracle::everyAddedTable(literalAdded, pair)) {
    if (!differOnlyAtTies(pair, added, literalAdded)) {
      failure("Fisher's sum differs from the table-by-table sum", tableText(pair));
    }
    return;
  }
  if (!closeTo(fisher.pDoubleTail, literal.pDoubleTail) || !closeTo(fisher.pMidP, literal.pMidP)) {
    failure("Fisher's p-values differ from the table-by-table sum", tableText(pair));
  }
  const bool clear = !closeTo(threshold, literal.pDoubleTail) && !closeTo(threshold, literal.pMidP);
  if (clear && (fisher.significantDoubleTail != literal.significantDoubleTail ||
                fisher.significantMidP != literal.significantMidP)) {
    failure("Fisher's flags differ from the table-by-table sum", tableText(pair));
  }
}

// The program's count of arrangements is exactly the table-by-table count, dots included, and the
// test prints the six digits of the exact quotient of the counts and flags it where that quotient
// lies below the threshold.
void comparePermutation(const PairComparison& pair, const PermutationResult& result,
                        const std::string& resultDots) {
  std::ostringstream dots;
  std::ostringstream literalDots;
  const PermutationWeights weights = countPermutationWeights(pair, dots);
  const PermutationWeights literal = oracle::literalPermutationWeights(pair, literalDots);
  if (weights.extremeWeight != literal.extremeWeight ||
      weights.totalWeight != literal.totalWeight || dots.str() != literalDots.str() ||
      resultDots != literalDots.str()) {
    failure("the permutation count differs from the table-by-table count", tableText(pair));
  }
  using Quotient = boost::multiprecision::cpp_bin_float_100;
  const Quotient quotient = Quotient(literal.extremeWeight) / Quotient(literal.totalWeight);
  if (formatDouble(result.pValue) != formatDouble(quotient.convert_to<double>()) ||
      result.significant != (quotient < Quotient(result.threshold) ? 1 : 0)) {
    failure("the permutation test differs from the exact quotient", tableText(pair));
  }
}

// Spends the budget on one test: true when the test fits in what is left.
bool spend(std::uint64_t& budget, std::uint64_t cost) {
  if (cost > budget) return false;
  budget -= cost;
  return true;
}

// Every test the full run runs on the pairs of each criterion, in its order.
void runPairTests(const DataSet& data) {
  std::uint64_t budget = kWorkBudget;
  for (const auto& criterionEntry : criterionShortNames(data)) {
    const std::uint32_t criterion = criterionEntry.first;
    for (const auto& workA : workShortNames(data)) {
      for (const auto& workB : workShortNames(data)) {
        const CountPair countsA = countPair(data, workA.first, criterion);
        const CountPair countsB = countPair(data, workB.first, criterion);
        if (workA.first == workB.first || countsA.total == 0 || countsB.total == 0) continue;
        if (!spend(budget, 1)) return;
        const PairComparison pair(criterion, workA.first, countsA, workB.first, countsB);
        if (spend(budget, std::uint64_t{pair.totalA} + 1)) {
          const BinomialResult binomial = binomialTest(pair, data.threshold);
          checkFlag(binomial.significantDoubleTail);
          if (spend(budget, std::uint64_t{pair.totalA} + 1)) {
            const std::string difference = oracle::binomialDifference(pair, data.threshold, data);
            if (!difference.empty())
              failure("binomial test differs from its literal form", difference);
          }
        }
        if (workB.first > workA.first) continue;
        checkFlag(chiSquareTests(pair, data.threshold).significantPearson);
        const std::uint64_t occurrences = std::uint64_t{pair.observedA} + pair.observedB;
        const std::uint64_t fisherCost = std::min<std::uint64_t>(pair.totalA, occurrences) + 1;
        if (spend(budget, fisherCost)) {
          AddedTables added;
          const FisherResult fisher = sumFisherTables(pair, data.threshold, &added);
          checkFlag(fisher.significantDoubleTail);
          if (spend(budget, fisherCost)) compareFisher(pair, data.threshold, fisher, added);
        }
        const std::uint64_t countCost = std::uint64_t{pair.totalA} + pair.totalB + 2;
        if (spend(budget, countCost)) {
          std::ostringstream dots;
          const PermutationResult permutation = permutationTest(pair, data.threshold, dots);
          // The share of extreme arrangements is never 0, but below 2^-1075 it rounds to 0.
          if (!(permutation.pValue >= 0.0 && permutation.pValue <= 1.0)) {
            failure("permutation p-value outside [0, 1]", std::to_string(permutation.pValue));
          }
          checkFlag(permutation.significant);
          const std::uint64_t tables =
              (std::uint64_t{pair.totalA} + 1) * (std::uint64_t{pair.totalB} + 1);
          if (spend(budget, tables)) comparePermutation(pair, permutation, dots.str());
        }
      }
    }
  }
}

}  // namespace
}  // namespace brevox

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace brevox;
  std::istringstream in(std::string(reinterpret_cast<const char*>(bytes), size));
  DataSet data;
  const DataSet before = data;
  if (Outcome failed = readDataSet(in, "fuzz.csv", data)) {
    const std::string message = failureLine(*failed) + '\n';
    // One message line, and the names and counts as they were.
    if (message.size() == 1 || message.find('\n') != message.size() - 1) {
      failure("not one message line", message);
    }
    if (!sameNamesAndCounts(data, before)) failure("a failed read changed the data set", message);
    return 0;
  }
  checkAccepted(data);
  checkRoundTrip(data);
  runPairTests(data);
  return 0;
}
