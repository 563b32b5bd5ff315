#include "tests/oracles/literal_exact_tests.h"

#include <algorithm>
#include <boost/math/distributions/hypergeometric.hpp>
#include <cstdint>
#include <vector>

#include "stats/multiprecision.h"

namespace brevox::oracle {

using boost::multiprecision::cpp_int;

PermutationWeights literalPermutationWeights(const PairComparison& pair, std::ostream& progress) {
  const std::uint32_t a = pair.observedA;
  const std::uint32_t nA = pair.totalA;
  const std::uint32_t b = pair.observedB;
  const std::uint32_t nB = pair.totalB;
  const double observedStatistic = permutationStatistic(a, nA, b, nB);

  // Ways to place k occurrences among the second work's cases, for every k; each coefficient
  // follows exactly from the one before.
  std::vector<cpp_int> arrangementsB(static_cast<std::size_t>(nB) + 1);
  arrangementsB[0] = 1;
  for (std::uint32_t k = 0; k < nB; ++k) {
    arrangementsB[k + 1] = arrangementsB[k] * (nB - k) / (k + 1);
  }

  cpp_int arrangementsA = 1;
  cpp_int observedArrangementsA = 0;
  for (std::uint32_t j = 0; j <= a; ++j) {
    if (j == a) {
      observedArrangementsA = arrangementsA;
    } else {
      arrangementsA = arrangementsA * (nA - j) / (j + 1);
    }
  }

  PermutationWeights weights;
  weights.extremeWeight = observedArrangementsA * arrangementsB[b];
  weights.totalWeight = weights.extremeWeight;

  cpp_int weight;
  arrangementsA = 1;
  for (std::uint32_t j = 0;; ++j) {
    if (j % 10 == 0) {
      progress << '.' << std::flush;
    }
    for (std::uint32_t k = 0;; ++k) {
      // The observed table's arrangements are already counted in both sums.
      if (j != a || k != b) {
        boost::multiprecision::multiply(weight, arrangementsA, arrangementsB[k]);
        weights.totalWeight += weight;
        // A table exactly as extreme as the observed one counts, without tolerance.
        if (permutationStatistic(j, nA, k, nB) >= observedStatistic) {
          weights.extremeWeight += weight;
        }
      }
      if (k == nB) {
        break;
      }
    }
    if (j == nA) {
      break;
    }
    arrangementsA = arrangementsA * (nA - j) / (j + 1);
  }
  return weights;
}

FisherResult literalFisherTest(const PairComparison& pair, double threshold,
                               AddedTables* addedTables) {
  const std::uint32_t a = pair.observedA;
  const std::uint32_t b = pair.observedB;
  // The first work's cases are the marked items, all occurrences the sample drawn from all cases.
  const std::uint32_t marked = pair.totalA;
  const std::uint32_t drawn = a + b;
  const std::uint32_t all = (pair.totalA - a) + (pair.totalB - b) + b + a;
  const boost::math::hypergeometric_distribution<double> distribution(marked, drawn, all);

  const double pObserved = boost::math::pdf(distribution, a);
  double pDoubleTail = pObserved;
  double pMidP = 0.5 * pObserved;
  const std::uint32_t highest = std::min(marked, drawn);
  AddedTables leftOut;
  for (std::uint32_t x = 0;; ++x) {
    // Counts below the lowest possible one, where the other work would need more occurrences
    // than it has cases, are not tables.
    const bool possible = !(x + all < drawn + marked);
    if (x != a && possible) {
      const double px = boost::math::pdf(distribution, x);
      // Tables exactly as probable as the observed one count, without tolerance.
      if (pObserved >= px) {
        pDoubleTail += px;
        pMidP += px;
      } else {
        if (leftOut.firstLeftOut > leftOut.lastLeftOut) leftOut.firstLeftOut = x;
        leftOut.lastLeftOut = x;
      }
    }
    if (x == highest) {
      break;
    }
  }
  if (addedTables != nullptr) *addedTables = leftOut;

  FisherResult result;
  result.threshold = threshold;
  result.pDoubleTail = pDoubleTail;
  result.pMidP = pMidP;
  result.significantDoubleTail = threshold > pDoubleTail ? 1 : 0;
  result.significantMidP = threshold > pMidP ? 1 : 0;
  return result;
}

namespace {

// The arrangements of every possible table, from the lowest possible count up.
struct TableArrangements {
  std::uint32_t lowest = 0;
  std::vector<cpp_int> ways;
};

TableArrangements tableArrangements(const PairComparison& pair) {
  const std::uint32_t r = pair.totalA;
  const std::uint32_t n = pair.observedA + pair.observedB;
  const std::uint32_t other = pair.totalB;  // cases of the second work, N - r
  TableArrangements tables;
  tables.lowest = n > other ? n - other : 0;
  const std::uint32_t highest = std::min(r, n);
  cpp_int waysA = 1;  // choose(r, x) and choose(N - r, n - x) at x = lowest
  for (std::uint32_t i = 0; i < tables.lowest; ++i) waysA = waysA * (r - i) / (i + 1);
  cpp_int waysB = 1;
  for (std::uint32_t i = 0; i < n - tables.lowest; ++i) waysB = waysB * (other - i) / (i + 1);
  for (std::uint32_t x = tables.lowest;; ++x) {
    tables.ways.push_back(waysA * waysB);
    if (x == highest) break;
    waysA = waysA * (r - x) / (x + 1);
    waysB = waysB * (n - x) / (other - (n - x) + 1);
  }
  return tables;
}

}  // namespace

AddedTables exactAddedTables(const PairComparison& pair) {
  const TableArrangements tables = tableArrangements(pair);
  const cpp_int& observed = tables.ways[pair.observedA - tables.lowest];
  AddedTables leftOut;
  for (std::size_t i = 0; i < tables.ways.size(); ++i) {
    if (tables.ways[i] <= observed) continue;
    const auto x = static_cast<std::uint32_t>(tables.lowest + i);
    if (leftOut.firstLeftOut > leftOut.lastLeftOut) leftOut.firstLeftOut = x;
    leftOut.lastLeftOut = x;
  }
  return leftOut;
}

FisherResult exactFisherTest(const PairComparison& pair, double threshold,
                             const AddedTables& addedTables) {
  const TableArrangements tables = tableArrangements(pair);
  cpp_int all = 0;
  cpp_int added = 0;
  for (std::size_t i = 0; i < tables.ways.size(); ++i) {
    all += tables.ways[i];
    if (addsTable(addedTables, static_cast<std::uint32_t>(tables.lowest + i))) {
      added += tables.ways[i];
    }
  }
  const cpp_int& observed = tables.ways[pair.observedA - tables.lowest];
  using Quotient = boost::multiprecision::cpp_bin_float_100;
  FisherResult result;
  result.threshold = threshold;
  result.pDoubleTail = (Quotient(added) / Quotient(all)).convert_to<double>();
  result.pMidP = (Quotient(2 * added - observed) / Quotient(2 * all)).convert_to<double>();
  result.significantDoubleTail = threshold > result.pDoubleTail ? 1 : 0;
  result.significantMidP = threshold > result.pMidP ? 1 : 0;
  return result;
}

std::vector<std::uint8_t> everyAddedTable(const AddedTables& tables, const PairComparison& pair) {
  const std::uint32_t drawn = pair.observedA + pair.observedB;
  const std::uint64_t all = std::uint64_t{pair.totalA} + pair.totalB;
  const std::uint32_t highest = std::min(pair.totalA, drawn);
  const std::uint32_t lowest = drawn + std::uint64_t{pair.totalA} > all
                                   ? static_cast<std::uint32_t>(drawn + pair.totalA - all)
                                   : 0;
  std::vector<std::uint8_t> every;
  for (std::uint32_t x = lowest;; ++x) {
    every.push_back(addsTable(tables, x) ? 1 : 0);
    if (x == highest) break;
  }
  return every;
}

}  // namespace brevox::oracle
