#include "report/output_sink.h"

namespace brevox {

bool beginCriterion(Sinks& sinks, std::uint32_t criterion, const DataSet& data) {
  for (Sink& sink : sinks) {
    if (sink.beginCriterion && !sink.beginCriterion(criterion, data)) return false;
  }
  return true;
}

bool pairComputed(const Sinks& sinks, const PairResult& result, const DataSet& data,
                  std::ostream& err) {
  bool allWritten = true;
  for (const Sink& sink : sinks) {
    if (sink.computed && !sink.computed(result, data, err)) allWritten = false;
  }
  return allWritten;
}

bool takePair(Sinks& sinks, const PairResult& result, const DataSet& data) {
  bool allWritten = true;
  for (Sink& sink : sinks) {
    if (sink.pair && !sink.pair(result, data)) allWritten = false;
  }
  return allWritten;
}

bool endCriterion(Sinks& sinks, std::uint32_t criterion, const DataSet& data) {
  bool allWritten = true;
  for (Sink& sink : sinks) {
    if (sink.endCriterion && !sink.endCriterion(criterion, data)) allWritten = false;
  }
  return allWritten;
}

bool endRun(Sinks& sinks, const DataSet& data) {
  bool allWritten = true;
  for (Sink& sink : sinks) {
    if (sink.endRun && !sink.endRun(data)) allWritten = false;
  }
  return allWritten;
}

}  // namespace brevox
