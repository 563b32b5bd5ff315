#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/run_record.h"
#include "analysis/tested_pair.h"
#include "data/data_set.h"
#include "io/failure.h"

namespace brevox {

/// One output of a full run, fed in the run's order: the run begins; each criterion begins, hands
/// over every ordered pair of works (row work A, then column work B, both in the order of the
/// data, the diagonal and the works without cases included) and ends with what the analysis found
/// of it; then the run ends with its record. An output keeps what it needs itself and recomputes
/// nothing of the record; a member left empty is an event it ignores. Each event returns what
/// could not be written; a failure to begin a criterion stops the run.
struct Sink {
  /// Opens what the output writes over the whole run; the run goes on without what failed.
  std::function<Failures()> beginRun;
  std::function<Outcome(std::uint32_t criterion, const DataSet& data)> beginCriterion;
  /// For an output of a file per pair, which may be written on any thread: the pair as soon as
  /// its tests have run, on the thread that ran them, before it reaches `pair`.
  std::function<Failures(const TestedPair& pair, const DataSet& data)> computed;
  std::function<void(const TestedPair& pair, const DataSet& data)> pair;
  std::function<Failures(const CriterionAnalysis& analysis, const RunRecord& record,
                         const DataSet& data)>
      endCriterion;
  std::function<Failures(const RunRecord& record, const DataSet& data)> endRun;
};

/// The outputs chosen for a run, in the order in which they hear of each event (and so write
/// their files and fail).
using Sinks = std::vector<Sink>;

/// Adds a step's failure, if any, to those of the run.
void addFailure(Failures& failures, Outcome outcome);
void addFailures(Failures& failures, Failures more);

/// Tells every output that the run begins.
[[nodiscard]] Failures beginRun(Sinks& sinks);

/// Tells every output that a criterion begins, up to the first that fails: then the run stops.
[[nodiscard]] Outcome beginCriterion(Sinks& sinks, std::uint32_t criterion, const DataSet& data);

/// Hands a pair that was just computed to every output that writes a file per pair.
[[nodiscard]] Failures pairComputed(const Sinks& sinks, const TestedPair& pair,
                                    const DataSet& data);

/// Hands a pair to every output.
void takePair(Sinks& sinks, const TestedPair& pair, const DataSet& data);

/// Tells every output that the criterion ended, with what the analysis found of it.
[[nodiscard]] Failures endCriterion(Sinks& sinks, const CriterionAnalysis& analysis,
                                    const RunRecord& record, const DataSet& data);

/// Tells every output that the run ended, with its record.
[[nodiscard]] Failures endRun(Sinks& sinks, const RunRecord& record, const DataSet& data);

}  // namespace brevox
