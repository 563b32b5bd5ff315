// Times the table-by-table exact tests against the shortcuts of the product, side by side, and
// reports the peak heap use of each shortcut. Usage: brevox_bench [--slow]; --slow also counts
// the 5,000 x 5,000 permutation table by table (about two minutes).

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "stats/fisher_sum.h"
#include "stats/pair_comparison.h"
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

void printRow(const std::string& table, const std::string& literal, const std::string& fast,
              const std::string& ratio, const std::string& heap, const std::string& same) {
  std::printf("%-44s %12s %12s %10s %11s %6s\n", table.c_str(), literal.c_str(), fast.c_str(),
              ratio.c_str(), heap.c_str(), same.c_str());
  std::fflush(stdout);
}

std::string speedUp(double literal, double fast) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0fx", literal / fast);
  return text;
}

void benchPermutation(const Case& c, std::ostream& dots) {
  const PairComparison pair(1, 1, 2, c.a, c.nA, c.b, c.nB);
  brevox::PermutationWeights fastWeights;
  const Timing fast = measure([&] { fastWeights = brevox::countPermutationWeights(pair, dots); });
  if (!c.literalPermutation) {
    printRow(tableName(c), "-", seconds(fast.seconds), "-", megabytes(fast.peakHeap), "-");
    return;
  }
  brevox::PermutationWeights literalWeights;
  const Timing literal =
      measure([&] { literalWeights = brevox::oracle::literalPermutationWeights(pair, dots); });
  const bool same = fastWeights.extremeWeight == literalWeights.extremeWeight &&
                    fastWeights.totalWeight == literalWeights.totalWeight;
  printRow(tableName(c), seconds(literal.seconds), seconds(fast.seconds),
           speedUp(literal.seconds, fast.seconds), megabytes(fast.peakHeap), same ? "yes" : "NO");
}

void benchFisher(const Case& c) {
  const PairComparison pair(1, 1, 2, c.a, c.nA, c.b, c.nB);
  brevox::AddedTables fastAdded;
  brevox::FisherResult fastResult;
  const Timing fast =
      measure([&] { fastResult = brevox::sumFisherTables(pair, 0.05, &fastAdded); });
  if (!c.literalFisher) {
    printRow(tableName(c), "-", seconds(fast.seconds), "-", megabytes(fast.peakHeap), "-");
    return;
  }
  brevox::AddedTables literalAdded;
  brevox::FisherResult literalResult;
  const Timing literal = measure(
      [&] { literalResult = brevox::oracle::literalFisherTest(pair, 0.05, &literalAdded); });
  const bool same = brevox::oracle::everyAddedTable(fastAdded, pair) ==
                        brevox::oracle::everyAddedTable(literalAdded, pair) &&
                    fastResult.significantDoubleTail == literalResult.significantDoubleTail &&
                    fastResult.significantMidP == literalResult.significantMidP &&
                    std::abs(fastResult.pDoubleTail - literalResult.pDoubleTail) <=
                        1e-12 * literalResult.pDoubleTail &&
                    std::abs(fastResult.pMidP - literalResult.pMidP) <= 1e-12 * literalResult.pMidP;
  printRow(tableName(c), seconds(literal.seconds), seconds(fast.seconds),
           speedUp(literal.seconds, fast.seconds), megabytes(fast.peakHeap), same ? "yes" : "NO");
}

}  // namespace

int main(int argc, char** argv) {
  const bool slow = argc > 1 && std::strcmp(argv[1], "--slow") == 0;
  // The largest built-in pair is criterion 1 of works 1 and 2; the others keep a similar
  // difference of proportions.
  const Case cases[] = {
      {"built-in", 312, 1810, 303, 1694, true, true},
      {"200 x 200", 60, 200, 80, 200, true, true},
      {"2,000 x 2,000", 600, 2000, 660, 2000, true, true},
      {"5,000 x 5,000", 1500, 5000, 1600, 5000, slow, true},
      {"20,000 x 20,000", 6000, 20000, 6200, 20000, false, false},
      {"50,000 x 50,000", 15000, 50000, 15400, 50000, false, false},
  };
  std::ostream dots(nullptr);  // the progress dots are discarded

  std::printf("Exact permutation test: arrangement counts, table by table and by runs of tables\n");
  printRow("table", "literal", "fast", "speed-up", "fast heap", "same");
  for (const Case& c : cases) benchPermutation(c, dots);
  if (!slow) std::printf("(5,000 x 5,000 table by table takes about two minutes: --slow)\n");

  std::printf("\nFisher's exact test: library density per table, and by ratios of densities\n");
  printRow("table", "literal", "fast", "speed-up", "fast heap", "same");
  for (const Case& c : cases) benchFisher(c);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("\nPeak resident memory of the whole run: %.1f MB\n",
              static_cast<double>(usage.ru_maxrss) / 1e3);
  return 0;
}
