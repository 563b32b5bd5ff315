#include "report/output_sink.h"

#include <iterator>
#include <utility>

namespace brevox {

void addFailure(Failures& failures, Outcome outcome) {
  if (outcome) failures.push_back(std::move(*outcome));
}

void addFailures(Failures& failures, Failures more) {
  failures.insert(failures.end(), std::make_move_iterator(more.begin()),
                  std::make_move_iterator(more.end()));
}

Failures beginRun(Sinks& sinks) {
  Failures failures;
  for (Sink& sink : sinks) {
    if (sink.beginRun) addFailures(failures, sink.beginRun());
  }
  return failures;
}

Outcome beginCriterion(Sinks& sinks, std::uint32_t criterion, const DataSet& data) {
  for (Sink& sink : sinks) {
    if (!sink.beginCriterion) continue;
    if (Outcome failure = sink.beginCriterion(criterion, data)) return failure;
  }
  return std::nullopt;
}

Failures pairComputed(const Sinks& sinks, const TestedPair& pair, const DataSet& data) {
  Failures failures;
  for (const Sink& sink : sinks) {
    if (sink.computed) addFailures(failures, sink.computed(pair, data));
  }
  return failures;
}

void takePair(Sinks& sinks, const TestedPair& pair, const DataSet& data) {
  for (Sink& sink : sinks) {
    if (sink.pair) sink.pair(pair, data);
  }
}

Failures endCriterion(Sinks& sinks, const CriterionAnalysis& analysis, const RunRecord& record,
                      const DataSet& data) {
  Failures failures;
  for (Sink& sink : sinks) {
    if (sink.endCriterion) addFailures(failures, sink.endCriterion(analysis, record, data));
  }
  return failures;
}

Failures endRun(Sinks& sinks, const RunRecord& record, const DataSet& data) {
  Failures failures;
  for (Sink& sink : sinks) {
    if (sink.endRun) addFailures(failures, sink.endRun(record, data));
  }
  return failures;
}

}  // namespace brevox
