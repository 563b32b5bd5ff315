#include "report/dot_graph.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>

#include "data/built_in_data.h"

namespace brevox {
namespace {

// Works w1 .. w3 and `criteria` criteria c1, c2, ... with the given direction for all of them.
DataSet smallDataSet(std::uint32_t criteria, std::int32_t ordering) {
  DataSet data;
  for (std::uint32_t work = 1; work <= 3; ++work) {
    data.works.push_back({"w" + std::to_string(work), "Work " + std::to_string(work), {}});
  }
  for (std::uint32_t criterion = 1; criterion <= criteria; ++criterion) {
    data.criteria.push_back(
        {"c" + std::to_string(criterion), "Criterion " + std::to_string(criterion), ordering});
  }
  return data;
}

std::string allCriteriaGraph(const EdgeRecordMap& records, const DataSet& data, bool dotted) {
  std::ostringstream out;
  writeAllCriteriaGraph(out, "digraph binD_all_cr", dotted, records, data);
  return out.str();
}

// The lines from the header up to the closing "]" of the graph attributes.
std::string headerBlock(const std::string& legend, std::size_t criteria) {
  return "digraph binD_all_cr {\r\ngraph[\r\nfontsize = 8; \r\nfontname = \"sans-serif\"\r\n"
         "label = \"\\nAll: all " +
         std::to_string(criteria) + " criteria;\r\n" + legend +
         "\";\r\nranksep = 0.1;\r\nrankdir = \"LR\";\r\n]\r\n";
}

const std::string kAttributes =
    "\", decorate = true, fontsize = 8, fontname = \"sans-serif\"];\r\n";

TEST(DotId, QuotesNamesThatAreNotIdentifiers) {
  const struct {
    const char* name;
    const char* id;
  } cases[] = {
      {"Iliad", "Iliad"},
      {"H_Dem2", "H_Dem2"},
      {"_x", "_x"},
      {"nodes", "nodes"},
      {"H Dem", "\"H Dem\""},
      {"H.Dem", "\"H.Dem\""},
      {"2Thess", "\"2Thess\""},
      {"12", "\"12\""},
      {"", "\"\""},
      {"a-b", "\"a-b\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"back\\slash\\", "\"back\\\\slash\\\\\""},
      {"graph", "\"graph\""},
      {"Node", "\"Node\""},
      {"STRICT", "\"STRICT\""},
      {"\xC3\x89rga", "\"\xC3\x89rga\""},
  };
  for (const auto& c : cases) EXPECT_EQ(dotId(c.name), c.id) << c.name;
}

TEST(MakeCriterionEdge, OrientsByDirectionAndRecords) {
  struct Case {
    std::int32_t ordering;
    std::uint32_t observedA, totalA, observedB, totalB;
    bool valid, dotted;
    const char* text;
    std::uint32_t source, target;
  };
  // Work A is w1, work B is w2.
  const Case cases[] = {
      // w1 has the smaller proportion: +1 points to the larger one, -1 to the smaller one.
      {1, 3, 40, 12, 50, true, false, "w1 -> w2;", 1, 2},
      {-1, 3, 40, 12, 50, true, false, "w2 -> w1;", 2, 1},
      {1, 12, 50, 3, 40, true, false, "w2 -> w1;", 2, 1},
      {-1, 12, 50, 3, 40, true, true, "w1 -> w2;", 1, 2},
      // Direction 0 and equal proportions keep A as the source.
      {0, 12, 50, 3, 40, true, false, "w1 -> w2;", 1, 2},
      {1, 1, 4, 5, 20, true, false, "w1 -> w2;", 1, 2},
      {-1, 1, 4, 5, 20, true, false, "w1 -> w2;", 1, 2},
      // Any positive direction counts as +1.
      {7, 12, 50, 3, 40, true, false, "w2 -> w1;", 2, 1},
      // Not valid: dotted with option N, an empty line without it, recorded either way.
      {1, 1, 4, 20, 50, false, true, "w1 -> w2 [style=dotted];", 1, 2},
      {1, 1, 4, 20, 50, false, false, "", 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ordering << " " << c.observedA << "/" << c.totalA << " "
                                    << c.observedB << "/" << c.totalB);
    const DataSet data = smallDataSet(2, c.ordering);
    EdgeRecordMap records;
    const PairComparison pair(2, 1, {c.observedA, c.totalA}, 2, {c.observedB, c.totalB});
    EXPECT_EQ(makeCriterionEdge(pair, c.valid, c.dotted, records, data), c.text);
    const EdgeRecordMap expected{{c.source, {{c.target, {{2, c.valid}}}}}};
    EXPECT_EQ(records, expected);
  }
}

TEST(MakeCriterionEdge, AbsentDirectionAndOverwrittenRecord) {
  DataSet data = smallDataSet(2, 1);
  data.criteria[1].direction = 0;
  EdgeRecordMap records;
  const PairComparison pair(2, 3, {9, 10}, 1, {1, 10});
  EXPECT_EQ(makeCriterionEdge(pair, true, false, records, data), "w3 -> w1;");
  // The other order of the same pair, now without enough data, overwrites the record.
  const PairComparison reversed(2, 1, {1, 10}, 3, {9, 10});
  EXPECT_EQ(makeCriterionEdge(reversed, false, false, records, data), "");
  EXPECT_EQ(records, (EdgeRecordMap{{1, {{3, {{2, false}}}}}, {3, {{1, {{2, true}}}}}}));
}

TEST(MakeCriterionEdge, QuotesAwkwardWorkNames) {
  DataSet data = smallDataSet(1, 1);
  data.works[0].shortName = "H. Dem";
  data.works[1].shortName = "3\"x";
  EdgeRecordMap records;
  const PairComparison pair(1, 1, {1, 10}, 2, {9, 10});
  EXPECT_EQ(makeCriterionEdge(pair, false, true, records, data),
            "\"H. Dem\" -> \"3\\\"x\" [style=dotted];");
}

TEST(MergedEdge, MainDecidesWhereValidSubordinateFillsIn) {
  struct Case {
    bool mainValid, mainSignificant, subValid, subSignificant;
    bool edge, valid;
  };
  const Case cases[] = {
      // Main valid: its significance alone decides.
      {true, true, false, false, true, true},
      {true, true, true, false, true, true},
      {true, true, false, true, true, true},
      {true, true, true, true, true, true},
      {true, false, false, false, false, false},
      {true, false, true, true, false, false},
      {true, false, false, true, false, false},
      {true, false, true, false, false, false},
      // Main not valid, subordinate valid: the subordinate decides.
      {false, true, true, true, true, true},
      {false, false, true, true, true, true},
      {false, true, true, false, false, false},
      {false, false, true, false, false, false},
      // Neither valid: a not-valid edge when either is significant.
      {false, true, false, false, true, false},
      {false, true, false, true, true, false},
      {false, false, false, true, true, false},
      {false, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.mainValid << c.mainSignificant << c.subValid << c.subSignificant);
    const std::optional<bool> valid =
        mergedEdgeValidity({c.mainValid, c.mainSignificant}, {c.subValid, c.subSignificant});
    EXPECT_EQ(valid.has_value(), c.edge);
    if (c.edge && valid) {
      EXPECT_EQ(*valid, c.valid);
    }
  }
}

TEST(WriteAllCriteriaGraph, BuiltInExample) {
  const DataSet data = builtInDataSet();
  const EdgeRecordMap records{{1, {{2, {{1, true}, {3, true}, {4, false}, {5, true}}}}}};
  const std::string legend = "1: Digamma;2: AGenS;\\n3: GenPl;4: OGenS;\\n5: DatPl;6: AccPl;\\n";
  EXPECT_EQ(allCriteriaGraph(records, data, true),
            headerBlock(legend, 6) + "Iliad -> Odyss [style = bold, label = \"135" + kAttributes +
                "Iliad -> Odyss [style = dotted, label = \"4" + kAttributes + "}\r\n");
  // Without option N the not-valid criteria are left out.
  EXPECT_EQ(allCriteriaGraph(records, data, false),
            headerBlock(legend, 6) + "Iliad -> Odyss [style = bold, label = \"135" + kAttributes +
                "}\r\n");
}

// The records of edges given as source, target, criterion and validity, in that order.
EdgeRecordMap recorded(
    const std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, bool>>& edges) {
  EdgeRecordMap records;
  for (const auto& [source, target, criterion, valid] : edges) {
    recordEdge(records, source, target, criterion, valid);
  }
  return records;
}

TEST(WriteAllCriteriaGraph, LabelsAndLegend) {
  struct Case {
    const char* name;
    std::uint32_t criteria;
    EdgeRecordMap records;
    bool dotted;
    std::string body;
  };
  const Case cases[] = {
      {"empty map", 3, {}, true, ""},
      {"single criterion, valid: the id, not All",
       1,
       {{1, {{2, {{1, true}}}}}},
       true,
       "w1 -> w2 [style = solid, label = \"1" + kAttributes},
      {"single criterion, not valid: All",
       1,
       {{1, {{2, {{1, false}}}}}},
       true,
       "w1 -> w2 [style = dotted, label = \"All" + kAttributes},
      {"valid under all criteria",
       3,
       {{2, {{1, {{1, true}, {2, true}, {3, true}}}}}},
       false,
       "w2 -> w1 [style = bold, label = \"All" + kAttributes},
      {"ids concatenated",
       14,
       {{1, {{3, {{1, true}, {2, true}, {13, true}, {4, false}, {14, false}}}}}},
       true,
       "w1 -> w3 [style = bold, label = \"1213" + kAttributes +
           "w1 -> w3 [style = dotted, label = \"414" + kAttributes},
      {"one valid, one not",
       3,
       {{3, {{2, {{2, false}, {3, true}}}}}},
       true,
       "w3 -> w2 [style = solid, label = \"3" + kAttributes +
           "w3 -> w2 [style = dotted, label = \"2" + kAttributes},
      {"only not valid, without option N", 3, {{1, {{2, {{1, false}, {2, false}}}}}}, false, ""},
      {"pairs in ascending order, whatever the order they were recorded in", 2,
       recorded({{3, 1, 2, true}, {1, 3, 1, true}, {1, 2, 2, true}, {1, 2, 1, true}}), false,
       "w1 -> w2 [style = bold, label = \"All" + kAttributes +
           "w1 -> w3 [style = solid, label = \"1" + kAttributes +
           "w3 -> w1 [style = solid, label = \"2" + kAttributes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DataSet data = smallDataSet(c.criteria, 1);
    std::string legend;
    for (std::uint32_t criterion = 1; criterion <= c.criteria; ++criterion) {
      legend += std::to_string(criterion) + ": c" + std::to_string(criterion) + ";";
      if (criterion % 2 == 0) legend += "\\n";
    }
    EXPECT_EQ(allCriteriaGraph(c.records, data, c.dotted),
              headerBlock(legend, c.criteria) + c.body + "}\r\n");
  }
}

TEST(WriteAllCriteriaGraph, OddAndEvenLegendEnds) {
  // An odd count ends the legend with the last ";", an even one with a line break mark.
  EXPECT_NE(allCriteriaGraph({}, smallDataSet(3, 1), false).find("3: c3;\";\r\n"),
            std::string::npos);
  EXPECT_NE(allCriteriaGraph({}, smallDataSet(2, 1), false).find("2: c2;\\n\";\r\n"),
            std::string::npos);
}

TEST(WriteAllCriteriaGraph, QuotesAwkwardNames) {
  DataSet data = smallDataSet(2, 1);
  data.works[0].shortName = "H. Dem";
  data.works[1].shortName = "9x";
  data.criteria[1].shortName = "a\"b\\";
  const EdgeRecordMap records{{1, {{2, {{2, true}}}}}};
  EXPECT_EQ(allCriteriaGraph(records, data, false),
            headerBlock("1: c1;2: a\\\"b\\\\;\\n", 2) +
                "\"H. Dem\" -> \"9x\" [style = solid, label = \"2" + kAttributes + "}\r\n");
}

TEST(WriteAllCriteriaGraph, FileThatCannotBeOpened) {
  const Outcome written = writeAllCriteriaGraph("/nonexistent-folder/graph.gv", "digraph x", false,
                                                {}, smallDataSet(1, 1));
  ASSERT_TRUE(written);
  EXPECT_EQ(failureLine(*written),
            "Failed to open file /nonexistent-folder/graph.gv: No such file or directory");
}

}  // namespace
}  // namespace brevox
