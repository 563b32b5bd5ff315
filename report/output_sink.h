#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "data/data_set.h"
#include "stats/families.h"
#include "stats/pair_comparison.h"

namespace brevox {

/// What the tests found for one ordered pair of works under a criterion: the pair's table, each
/// family's result (for the detailed reports) and each variant's outcome. A full run computes it
/// once and hands it to every output it writes.
struct PairResult {
  std::uint32_t workA = 0;  ///< the row of the criterion's tables
  std::uint32_t workB = 0;  ///< the column
  /// None for the diagonal and for a work without cases: nothing is tested there.
  std::optional<PairComparison> table;
  FamilyResults tests;
  std::array<std::optional<VariantOutcome>, kVariantCount> outcomes;
};

/// One output of a full run, fed in the run's order: each criterion begins, hands over every
/// ordered pair of works (row work A, then column work B, both in the order of the data, the
/// diagonal and the works without cases included) and ends; then the run ends. An output keeps
/// what it needs itself; a member left empty is an event it ignores. Each returns false when
/// something of the output could not be written; for beginCriterion that stops the run.
struct Sink {
  std::function<bool(std::uint32_t criterion, const DataSet& data)> beginCriterion;
  std::function<bool(const PairResult& result, const DataSet& data)> pair;
  /// For an output of a file per pair, which may be written on any thread: the pair as soon as
  /// its tests have run, on the thread that ran them, before it reaches `pair`. Its messages go
  /// to `err`, which the run prints in the run's order.
  std::function<bool(const PairResult& result, const DataSet& data, std::ostream& err)> computed;
  std::function<bool(std::uint32_t criterion, const DataSet& data)> endCriterion;
  std::function<bool(const DataSet& data)> endRun;
};

/// The outputs chosen for a run, in the order in which they hear of each event (and so write
/// their files and print their messages).
using Sinks = std::vector<Sink>;

/// Tells every output that a criterion begins. Returns false, at the first output that fails,
/// when the run must stop.
bool beginCriterion(Sinks& sinks, std::uint32_t criterion, const DataSet& data);

/// Hands a pair that was just computed to every output that writes a file per pair; false when
/// any could not write it.
bool pairComputed(const Sinks& sinks, const PairResult& result, const DataSet& data,
                  std::ostream& err);

/// Hands a pair to every output; false when any could not write what it holds.
bool takePair(Sinks& sinks, const PairResult& result, const DataSet& data);

/// Tells every output that the criterion ended; false when any could not write its files.
bool endCriterion(Sinks& sinks, std::uint32_t criterion, const DataSet& data);

/// Tells every output that the run ended; false when any could not write its files.
bool endRun(Sinks& sinks, const DataSet& data);

}  // namespace brevox
