// Times the exact tests of the product against their references, side by side, and reports the
// peak heap use of the product's tests. The permutation test: the table-by-table count, the exact
// count by runs of tables, and the test itself (a floating sum, counted exactly only when its
// bound leaves the printed digits or the flag open). Fisher's test: the library's density of
// every table, and the test itself, also with the threshold on its p-value at the largest totals,
// where the sums are done again at 50 digits. Then the conditional odds ratio with its interval on
// the largest tables the reader accepts, and both exact tests over every pair of a data file, as a
// full run tests them. Usage: brevox_bench [--slow] [data file]; --slow also counts the
// 5,000 x 5,000 permutation table by table (about two minutes) and the 50,000 x 50,000 one
// exactly.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "data/csv_reader.h"
#include "data/data_set.h"
#include "io/number_text.h"
#include "stats/fisher_exact.h"
#include "stats/fisher_sum_internal.h"
#include "stats/multiprecision.h"
#include "stats/odds_ratio.h"
#include "stats/pair_comparison.h"
#include "stats/permutation.h"
#include "stats/permutation_count.h"
#include "tests/oracles/literal_exact_tests.h"

namespace {

// Heap accounting: every allocation carries its size in a header, so the live and peak byte
// counts are exact for the code under measurement.
std::size_t liveBytes = 0;
std::size_t peakBytes = 0;
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* allocate(std::size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  liveBytes += size;
  peakBytes = std::max(peakBytes, liveBytes);
  return static_cast<char*>(block) + kHeader;
}

void release(void* pointer) noexcept {
  if (pointer == nullptr) return;
  char* block = static_cast<char*>(pointer) - kHeader;
  liveBytes -= *reinterpret_cast<std::size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* pointer) noexcept { release(pointer); }
void operator delete[](void* pointer) noexcept { release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { release(pointer); }

namespace {

using brevox::PairComparison;
using Clock = std::chrono::steady_clock;

struct Case {
  const char* name;
  std::uint32_t a;
  std::uint32_t nA;
  std::uint32_t b;
  std::uint32_t nB;
  bool literalPermutation;  // counting every table finishes within a minute
  bool exactPermutation;    // counting by runs of tables finishes within seconds
  bool literalFisher;
};

struct Timing {
  double seconds = 0;        // per call
  std::size_t peakHeap = 0;  // bytes above what was live before the first call
};

// Calls `work` until at least a quarter of a second has passed (once for slow work) and returns
// the mean time per call.
template <typename Work>
Timing measure(Work work) {
  Timing timing;
  const std::size_t before = liveBytes;
  peakBytes = liveBytes;
  int calls = 0;
  const Clock::time_point start = Clock::now();
  double elapsed = 0;
  do {
    work();
    ++calls;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < 0.25);
  timing.seconds = elapsed / calls;
  timing.peakHeap = peakBytes - before;
  return timing;
}

std::string seconds(double value) {
  char text[32];
  if (value < 0.01) {
    std::snprintf(text, sizeof text, "%.3f ms", value * 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.3f s", value);
  }
  return text;
}

std::string megabytes(std::size_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

std::string tableName(const Case& c) {
  return std::string(c.name) + " " + std::to_string(c.a) + "/" + std::to_string(c.nA) + " vs " +
         std::to_string(c.b) + "/" + std::to_string(c.nB);
}

void printRow(const std::string& table, const std::string& literal, const std::string& exact,
              const std::string& fast, const std::string& heap, const std::string& same) {
  std::printf("%-50s %11s %11s %11s %10s %6s\n", table.c_str(), literal.c_str(), exact.c_str(),
              fast.c_str(), heap.c_str(), same.c_str());
  std::fflush(stdout);
}

// The printed p-value and the flag at 0.05 of the exact quotient of two arrangement counts.
std::string exactText(const brevox::PermutationWeights& weights) {
  using Quotient = boost::multiprecision::cpp_bin_float_100;
  const double share =
      (Quotient(weights.extremeWeight) / Quotient(weights.totalWeight)).convert_to<double>();
  return brevox::formatDouble(share) + (share < 0.05 ? " 1" : " 0");
}

void benchPermutation(const Case& c, std::ostream& dots) {
  const PairComparison pair(1, 1, {c.a, c.nA}, 2, {c.b, c.nB});
  brevox::PermutationResult result;
  const Timing fast = measure([&] { result = brevox::permutationTest(pair, 0.05, dots); });
  const std::string fastText =
      brevox::formatDouble(result.pValue) + " " + std::to_string(result.significant);
  std::string literalTime = "-";
  std::string exactTime = "-";
  std::string same = "-";
  if (c.exactPermutation) {
    brevox::PermutationWeights weights;
    const Timing exact = measure([&] { weights = brevox::countPermutationWeights(pair, dots); });
    exactTime = seconds(exact.seconds);
    same = exactText(weights) == fastText ? "yes" : "NO";
    if (c.literalPermutation) {
      brevox::PermutationWeights literal;
      const Timing table =
          measure([&] { literal = brevox::oracle::literalPermutationWeights(pair, dots); });
      literalTime = seconds(table.seconds);
      if (literal.extremeWeight != weights.extremeWeight) same = "NO";
    }
  }
  printRow(tableName(c) + " p=" + brevox::formatDouble(result.pValue), literalTime, exactTime,
           seconds(fast.seconds), megabytes(fast.peakHeap), same);
}

void benchFisher(const Case& c) {
  const PairComparison pair(1, 1, {c.a, c.nA}, 2, {c.b, c.nB});
  brevox::AddedTables fastAdded;
  brevox::FisherResult fastResult;
  const Timing fast =
      measure([&] { fastResult = brevox::sumFisherTables(pair, 0.05, &fastAdded); });
  const std::string name = tableName(c) + " p=" + brevox::formatDouble(fastResult.pDoubleTail);
  if (!c.literalFisher) {
    printRow(name, "-", "", seconds(fast.seconds), megabytes(fast.peakHeap), "-");
    return;
  }
  brevox::AddedTables literalAdded;
  brevox::FisherResult literalResult;
  const Timing literal = measure(
      [&] { literalResult = brevox::oracle::literalFisherTest(pair, 0.05, &literalAdded); });
  // The same tables as whole numbers add, the same flags, digits and 17 digits as their sums.
  const brevox::AddedTables exactAdded = brevox::oracle::exactAddedTables(pair);
  const brevox::FisherResult exact = brevox::oracle::exactFisherTest(pair, 0.05, exactAdded);
  const bool same =
      brevox::oracle::everyAddedTable(fastAdded, pair) ==
          brevox::oracle::everyAddedTable(exactAdded, pair) &&
      fastResult.significantDoubleTail == exact.significantDoubleTail &&
      fastResult.significantMidP == exact.significantMidP &&
      std::fabs(fastResult.pDoubleTail - exact.pDoubleTail) <= 4e-16 * exact.pDoubleTail &&
      std::fabs(fastResult.pMidP - exact.pMidP) <= 4e-16 * exact.pMidP;
  printRow(name, seconds(literal.seconds), "", seconds(fast.seconds), megabytes(fast.peakHeap),
           same ? "yes" : "NO");
}

// Fisher's test with the threshold on its own p-value (at threshold 1 where every table counts, on
// its mid-p value): no bound of the fast sum settles the flag, so the sums are done again at 50
// digits. Returns the time of the decision.
double benchFisherAtThreshold(const Case& c) {
  const PairComparison pair(1, 1, {c.a, c.nA}, 2, {c.b, c.nB});
  const brevox::FisherResult fast = brevox::sumFisherTables(pair, 0.05);
  const bool everyTable = fast.pDoubleTail == 1;
  const double threshold = everyTable ? fast.pMidP : fast.pDoubleTail;
  brevox::FisherResult result;
  const Timing fastTiming = measure([&] { brevox::sumFisherTables(pair, 0.05); });
  const Timing timing = measure([&] { result = brevox::sumFisherTables(pair, threshold); });
  const std::string value = everyTable ? "mid-p=" + brevox::formatDouble(result.pMidP) + " " +
                                             std::to_string(result.significantMidP)
                                       : "p=" + brevox::formatDouble(result.pDoubleTail) + " " +
                                             std::to_string(result.significantDoubleTail);
  printRow(tableName(c) + " " + value, "", seconds(fastTiming.seconds), seconds(timing.seconds),
           megabytes(timing.peakHeap), "");
  return timing.seconds;
}

// Both tests on every pair of every criterion of a data file that a full run tests them on.
void benchDataSet(const char* path) {
  std::ifstream in(path);
  brevox::DataSet data;
  if (brevox::Outcome failed = brevox::readDataSet(in, path, data)) {
    std::printf("\n%s\n", brevox::failureLine(*failed).c_str());
    return;
  }
  std::ostream dots(nullptr);
  std::size_t pairs = 0;
  auto overPairs = [&](auto test) {
    for (const auto& criterion : brevox::criterionShortNames(data)) {
      for (const auto& workA : brevox::workShortNames(data)) {
        for (const auto& workB : brevox::workShortNames(data)) {
          if (workB.first >= workA.first) continue;
          const brevox::CountPair countsA = brevox::countPair(data, workA.first, criterion.first);
          const brevox::CountPair countsB = brevox::countPair(data, workB.first, criterion.first);
          if (countsA.total == 0 || countsB.total == 0) continue;
          test(PairComparison(criterion.first, workA.first, countsA, workB.first, countsB));
        }
      }
    }
  };
  const Timing permutation = measure([&] {
    pairs = 0;
    overPairs([&](const PairComparison& pair) {
      brevox::permutationTest(pair, data.threshold, dots);
      ++pairs;
    });
  });
  const Timing fisher = measure(
      [&] { overPairs([&](const PairComparison& pair) { brevox::fisherExactTest(pair, 0.05); }); });
  std::printf("\nEvery pair of %s (%zu pairs):\n", path, pairs);
  std::printf("  permutation test %s, peak heap %s\n", seconds(permutation.seconds).c_str(),
              megabytes(permutation.peakHeap).c_str());
  std::printf("  Fisher's test    %s, peak heap %s\n", seconds(fisher.seconds).c_str(),
              megabytes(fisher.peakHeap).c_str());
}

void benchOddsRatio(const Case& c) {
  const PairComparison pair(1, 1, {c.a, c.nA}, 2, {c.b, c.nB});
  brevox::OddsRatioEstimate result;
  const Timing timing = measure([&] { result = brevox::conditionalOddsRatio(pair); });
  char estimate[96];
  std::snprintf(estimate, sizeof estimate, "%.6g (%.6g, %.6g)",
                result.estimate ? *result.estimate : std::nan(""), result.low, result.high);
  std::printf("%-62s %10s %9s  %s\n", tableName(c).c_str(), seconds(timing.seconds).c_str(),
              megabytes(timing.peakHeap).c_str(), estimate);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  bool slow = false;
  const char* dataFile = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--slow") == 0) {
      slow = true;
    } else {
      dataFile = argv[i];
    }
  }
  constexpr std::uint32_t kLargest = 536870911;  // the largest total a work may have
  // The largest built-in pair is criterion 1 of works 1 and 2; the next ones keep a similar
  // difference of proportions; the last ones reach the largest totals.
  const Case cases[] = {
      {"built-in", 312, 1810, 303, 1694, true, true, true},
      {"200 x 200", 60, 200, 80, 200, true, true, true},
      {"2,000 x 2,000", 600, 2000, 660, 2000, true, true, true},
      {"5,000 x 5,000", 1500, 5000, 1600, 5000, slow, true, true},
      {"20,000 x 20,000", 6000, 20000, 6200, 20000, false, true, false},
      {"50,000 x 50,000", 15000, 50000, 15400, 50000, false, slow, false},
      {"10^6 x 10^6", 1, 1000000, 0, 1000000, false, false, false},
      {"largest", 1, kLargest, 0, kLargest, false, false, false},
      {"largest", 268435455, kLargest, 268400000, kLargest, false, false, false},
      {"largest", 268435455, kLargest, 268435456, kLargest - 1, false, false, false},
      {"largest", 268480000, kLargest, 268390000, kLargest, false, false, false},
      {"largest", kLargest, kLargest, 0, kLargest, false, false, false},
      {"largest", 3, 10, 268435455, kLargest, false, false, false},
  };
  std::ostream dots(nullptr);  // the progress dots are discarded

  std::printf("Exact permutation test: p-value and flag of the test against the exact count\n");
  printRow("table", "literal", "exact", "test", "test heap", "same");
  for (const Case& c : cases) benchPermutation(c, dots);
  if (!slow) std::printf("(--slow counts 5,000 x 5,000 table by table, 50,000 x 50,000 exactly)\n");

  std::printf("\nFisher's exact test: library density per table, and the test\n");
  printRow("table", "literal", "", "test", "test heap", "same");
  for (const Case& c : cases) benchFisher(c);

  // At the largest totals the tables that carry the p-value spread furthest; the observed count
  // lies at the mode (every table counts) and 0.7, 2, 6, 18, 34 and 37 standard deviations from it.
  const std::uint32_t half = kLargest / 2;
  const Case nearThreshold[] = {
      {"largest", half, kLargest, half, kLargest, false, false, false},
      {"largest", half + 5500, kLargest, half - 5500, kLargest, false, false, false},
      {"largest", half + 16000, kLargest, half - 16000, kLargest, false, false, false},
      {"largest", half + 50000, kLargest, half - 50000, kLargest, false, false, false},
      {"largest", half + 150000, kLargest, half - 150000, kLargest, false, false, false},
      {"largest", half + 278000, kLargest, half - 278000, kLargest, false, false, false},
      {"largest", half + 300000, kLargest, half - 300000, kLargest, false, false, false},
      {"largest", 1000, kLargest, 1100, kLargest, false, false, false},
  };
  std::printf("\nFisher's test with the threshold on its p-value (summed again at 50 digits)\n");
  printRow("table", "", "at 0.05", "at p", "heap", "");
  double slowest = 0;
  for (const Case& c : nearThreshold) slowest = std::max(slowest, benchFisherAtThreshold(c));
  std::printf("Slowest decision at the threshold: %s\n", seconds(slowest).c_str());

  // The widest spread of tables comes with the largest totals and half of the cases occurrences;
  // the others put the observed count at the edge of what the margins allow.
  const Case oddsRatioCases[] = {
      {"built-in", 312, 1810, 303, 1694, false, false, false},
      {"50,000 x 50,000", 15000, 50000, 15400, 50000, false, false, false},
      {"largest, halves", kLargest / 2, kLargest, kLargest / 2, kLargest, false, false, false},
      {"largest, close", kLargest / 2, kLargest, kLargest / 2 - 20000, kLargest, false, false,
       false},
      {"largest, apart", kLargest / 4, kLargest, kLargest / 2, kLargest, false, false, false},
      {"largest, skewed", 274172198, kLargest, 131951802, kLargest, false, false, false},
      {"largest, one", 1, kLargest, kLargest / 2, kLargest, false, false, false},
      {"largest, all but one", kLargest - 1, kLargest, kLargest / 2, kLargest, false, false, false},
      {"largest, none", 0, kLargest, kLargest / 2, kLargest, false, false, false},
      {"one case vs largest", 1, 1, kLargest / 2, kLargest, false, false, false},
      {"largest vs one case", kLargest / 2, kLargest, 0, 1, false, false, false},
  };
  std::printf("\nConditional odds ratio with its 95%% interval\n");
  std::printf("%-62s %10s %9s  %s\n", "table", "time", "heap", "estimate (low, high)");
  for (const Case& c : oddsRatioCases) benchOddsRatio(c);
  if (dataFile != nullptr) benchDataSet(dataFile);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("\nPeak resident memory of the whole run: %.1f MB\n",
              static_cast<double>(usage.ru_maxrss) / 1e3);
  return 0;
}
