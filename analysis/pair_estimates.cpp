#include "analysis/pair_estimates.h"

#include <algorithm>
#include <cstddef>

#include "io/in_order.h"

namespace brevox {

namespace {

// Fewer tables than this to a thread and a thread costs more than it saves.
constexpr std::size_t kTablesPerJob = 64;

}  // namespace

std::vector<PairEstimate> pairEstimates(const std::vector<PairComparison>& tables,
                                        unsigned threads) {
  std::vector<PairEstimate> estimates(tables.size());
  const std::size_t jobs = (tables.size() + kTablesPerJob - 1) / kTablesPerJob;
  // Each job fills its own stretch of the estimates, so taking it in order leaves nothing to do.
  auto compute = [&](std::size_t job, bool&, bool) {
    const std::size_t end = std::min(tables.size(), (job + 1) * kTablesPerJob);
    for (std::size_t k = job * kTablesPerJob; k < end; ++k) {
      estimates[k] = {proportionDifference(tables[k]), conditionalOddsRatio(tables[k])};
    }
  };
  auto take = [](std::size_t, bool&) { return true; };
  const auto used = static_cast<unsigned>(std::clamp<std::size_t>(jobs, 1, std::max(threads, 1u)));
  // Every job is taken: nothing stops the estimates half way.
  static_cast<void>(computeInOrder<bool>(jobs, used, 2 * std::size_t{used}, compute, take));
  return estimates;
}

}  // namespace brevox
