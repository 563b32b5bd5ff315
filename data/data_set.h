#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace brevox {

/// Occurrences of a criterion's feature in a work, and the cases in which it could occur.
struct CountPair {
  std::uint32_t observed = 0;
  std::uint32_t total = 0;
};

/// A literary work: its names and its counts, one pair per criterion in the criteria's order.
struct Work {
  std::string shortName;
  std::string longName;
  std::vector<CountPair> counts;
};

/// A linguistic criterion: its names and the ordering of its proportions, 1 or -1 (0 in a data
/// set built without one).
struct Criterion {
  std::string shortName;
  std::string longName;
  std::int32_t direction = 0;
};

/// Works and criteria in their order, and the p-value threshold. Works and criteria are numbered
/// from 1 in that order, as every output prints them.
struct DataSet {
  std::vector<Work> works;
  std::vector<Criterion> criteria;
  double threshold = 0.05;
};

bool operator==(const CountPair& left, const CountPair& right);
bool operator==(const Work& left, const Work& right);
bool operator==(const Criterion& left, const Criterion& right);
bool operator==(const DataSet& left, const DataSet& right);

/// The numbers 1 to n of a data set's works or criteria, for loops over them by number.
class NumberRange {
 public:
  class Iterator {
   public:
    explicit Iterator(std::uint32_t number) : number_(number) {}
    std::uint32_t operator*() const { return number_; }
    Iterator& operator++() {
      ++number_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return number_ != other.number_; }

   private:
    std::uint32_t number_;
  };

  explicit NumberRange(std::size_t count) : end_(static_cast<std::uint32_t>(count) + 1) {}
  Iterator begin() const { return Iterator(1); }
  Iterator end() const { return Iterator(end_); }

 private:
  std::uint32_t end_;
};

inline NumberRange workNumbers(const DataSet& data) { return NumberRange(data.works.size()); }
inline NumberRange criterionNumbers(const DataSet& data) {
  return NumberRange(data.criteria.size());
}

/// The names of a data set's works or criteria, each with its number from 1, for loops that print
/// both: `for (const auto& [work, name] : workShortNames(data))`.
template <typename Record>
class NumberedNames {
 public:
  using Name = std::string Record::*;

  class Iterator {
   public:
    Iterator(const Record* record, std::uint32_t number, Name name)
        : record_(record), number_(number), name_(name) {}
    std::pair<std::uint32_t, const std::string&> operator*() const {
      return {number_, record_->*name_};
    }
    Iterator& operator++() {
      ++record_;
      ++number_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return record_ != other.record_; }

   private:
    const Record* record_;
    std::uint32_t number_;
    Name name_;
  };

  NumberedNames(const std::vector<Record>& records, Name name) : records_(records), name_(name) {}
  Iterator begin() const { return Iterator(records_.data(), 1, name_); }
  Iterator end() const {
    return Iterator(records_.data() + records_.size(),
                    static_cast<std::uint32_t>(records_.size()) + 1, name_);
  }

 private:
  const std::vector<Record>& records_;
  Name name_;
};

inline NumberedNames<Work> workShortNames(const DataSet& data) {
  return {data.works, &Work::shortName};
}
inline NumberedNames<Work> workLongNames(const DataSet& data) {
  return {data.works, &Work::longName};
}
inline NumberedNames<Criterion> criterionShortNames(const DataSet& data) {
  return {data.criteria, &Criterion::shortName};
}
inline NumberedNames<Criterion> criterionLongNames(const DataSet& data) {
  return {data.criteria, &Criterion::longName};
}

/// Whether the data set has a work or criterion of this number.
bool hasWork(const DataSet& data, std::uint32_t work);
bool hasCriterion(const DataSet& data, std::uint32_t criterion);

// Reads by number. The numbers come from the data set itself or were checked against it, so a
// number outside it is a fault of the program, which stops with a message rather than go on with
// a name or a count from nowhere.
const Work& workOf(const DataSet& data, std::uint32_t work);
const Criterion& criterionOf(const DataSet& data, std::uint32_t criterion);
const std::string& workLongName(const DataSet& data, std::uint32_t work);
const std::string& workShortName(const DataSet& data, std::uint32_t work);
const std::string& criterionLongName(const DataSet& data, std::uint32_t criterion);
const std::string& criterionShortName(const DataSet& data, std::uint32_t criterion);
CountPair countPair(const DataSet& data, std::uint32_t work, std::uint32_t criterion);
std::int32_t direction(const DataSet& data, std::uint32_t criterion);

}  // namespace brevox
