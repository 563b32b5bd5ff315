#include "data/data_set.h"

#include <cstdlib>
#include <iostream>

namespace brevox {

namespace {

[[noreturn]] void outsideDataSet(const char* kind, std::uint32_t number, std::size_t count) {
  std::cerr << "Internal error: " << kind << " n. " << number << " outside the data set, whose "
            << kind << " numbers run from 1 to " << count << '\n';
  std::abort();
}

}  // namespace

bool operator==(const CountPair& left, const CountPair& right) {
  return left.observed == right.observed && left.total == right.total;
}

bool operator==(const Work& left, const Work& right) {
  return left.shortName == right.shortName && left.longName == right.longName &&
         left.counts == right.counts;
}

bool operator==(const Criterion& left, const Criterion& right) {
  return left.shortName == right.shortName && left.longName == right.longName &&
         left.direction == right.direction;
}

bool operator==(const DataSet& left, const DataSet& right) {
  return left.works == right.works && left.criteria == right.criteria &&
         left.threshold == right.threshold;
}

bool hasWork(const DataSet& data, std::uint32_t work) {
  return work >= 1 && work <= data.works.size();
}

bool hasCriterion(const DataSet& data, std::uint32_t criterion) {
  return criterion >= 1 && criterion <= data.criteria.size();
}

const Work& workOf(const DataSet& data, std::uint32_t work) {
  if (!hasWork(data, work)) outsideDataSet("work", work, data.works.size());
  return data.works[work - 1];
}

const Criterion& criterionOf(const DataSet& data, std::uint32_t criterion) {
  if (!hasCriterion(data, criterion)) outsideDataSet("criterion", criterion, data.criteria.size());
  return data.criteria[criterion - 1];
}

const std::string& workLongName(const DataSet& data, std::uint32_t work) {
  return workOf(data, work).longName;
}

const std::string& workShortName(const DataSet& data, std::uint32_t work) {
  return workOf(data, work).shortName;
}

const std::string& criterionLongName(const DataSet& data, std::uint32_t criterion) {
  return criterionOf(data, criterion).longName;
}

const std::string& criterionShortName(const DataSet& data, std::uint32_t criterion) {
  return criterionOf(data, criterion).shortName;
}

CountPair countPair(const DataSet& data, std::uint32_t work, std::uint32_t criterion) {
  const Work& record = workOf(data, work);
  if (!hasCriterion(data, criterion)) outsideDataSet("criterion", criterion, data.criteria.size());
  // Every work has a pair per criterion, as the readers make sure.
  if (criterion > record.counts.size()) {
    std::cerr << "Internal error: work n. " << work << " has no count of criterion n. " << criterion
              << '\n';
    std::abort();
  }
  return record.counts[criterion - 1];
}

std::int32_t direction(const DataSet& data, std::uint32_t criterion) {
  return criterionOf(data, criterion).direction;
}

}  // namespace brevox
