#include "data/built_in_data.h"

#include <array>

namespace brevox {

namespace {

struct WorkEntry {
  const char* shortName;
  const char* longName;
  std::array<CountPair, 6> counts;
};

struct CriterionEntry {
  const char* shortName;
  const char* longName;
  std::int32_t direction;
};

// Counts are observed / total per criterion, in the criteria's order below.
const WorkEntry kWorks[] = {
    {"Iliad",
     "Iliad",
     {{{312, 1810}, {173, 194}, {188, 224}, {1094, 1469}, {1528, 1576}, {440, 1010}}}},
    {"Odyss",
     "Odyssey",
     {{{303, 1694}, {80, 85}, {130, 162}, {715, 1063}, {1280, 1350}, {273, 688}}}},
    {"Theo", "Theogony", {{{30, 89}, {5, 12}, {24, 39}, {78, 144}, {143, 173}, {19, 93}}}},
    {"Erga", "Erga", {{{55, 145}, {5, 9}, {6, 11}, {36, 95}, {95, 124}, {8, 49}}}},
    {"HDem", "H. Demeter", {{{28, 61}, {3, 4}, {13, 16}, {37, 62}, {66, 91}, {3, 21}}}},
    {"HDAp", "H. Delian Ap.", {{{9, 26}, {2, 2}, {1, 2}, {11, 17}, {16, 20}, {2, 8}}}},
    // The Pythian hymn has no case of the A-stem genitive singular.
    {"HPAp", "H. Pythian Ap.", {{{11, 49}, {0, 0}, {3, 6}, {21, 34}, {60, 64}, {6, 18}}}},
    {"HHerm", "H. Hermes", {{{30, 56}, {1, 2}, {4, 7}, {41, 56}, {80, 83}, {14, 46}}}},
    {"HAphr", "H. Aphrodite", {{{9, 47}, {0, 2}, {6, 7}, {16, 30}, {53, 57}, {11, 26}}}},
};

const CriterionEntry kCriteria[] = {
    {"Digamma", "Digamma neglect", 1},       {"AGenS", "A-stem genitive singular", -1},
    {"GenPl", "A-stem genitive plural", -1}, {"OGenS", "O-stem genitive singular", -1},
    {"DatPl", "Dative plural", -1},          {"AccPl", "Accusative plural", -1},
};

}  // namespace

DataSet builtInDataSet() {
  DataSet data;
  for (const WorkEntry& entry : kWorks) {
    data.works.push_back(
        {entry.shortName, entry.longName, {entry.counts.begin(), entry.counts.end()}});
  }
  for (const CriterionEntry& entry : kCriteria) {
    data.criteria.push_back({entry.shortName, entry.longName, entry.direction});
  }
  data.threshold = 0.05;
  return data;
}

}  // namespace brevox
