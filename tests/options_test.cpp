#include "app/options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace brevox {
namespace {

struct Selection {
  bool binomial, chiSquare, fisher, permutation;
};

TEST(ParseOptions, SelectsTestsAndFlags) {
  struct Case {
    const char* text;
    int result;
    Selection tests;
    bool single, defaults, summary, dotted, merge;
    char mainTest, subTest;
  };
  const Case cases[] = {
      {"-D", 0, {true, true, true, true}, false, true, false, false, false, '0', '0'},
      {"-DB0", 0, {true, false, false, false}, false, true, false, false, false, '0', '0'},
      {"-D0B", 0, {true, false, false, false}, false, true, false, false, false, '0', '0'},
      {"-D0", 0, {false, false, false, false}, false, true, false, false, false, '0', '0'},
      {"-D-C--F", 0, {false, true, true, false}, false, true, false, false, false, '0', '0'},
      {"-D1F", 0, {false, false, true, false}, true, true, false, false, false, '0', '0'},
      {"-1PP", 0, {false, false, false, true}, true, false, false, false, false, '0', '0'},
      {"-DMnf", 0, {true, true, true, true}, false, true, false, false, true, 'n', 'f'},
      {"-DMbcf", 0, {true, true, true, true}, false, true, false, false, true, 'b', 'f'},
      {"-DbS", 0, {true, true, true, true}, false, true, true, false, false, 'b', '0'},
      {"-SNP", 0, {false, false, false, true}, false, false, true, true, false, '0', '0'},
      {"-DCMcy", 0, {false, true, false, false}, false, true, false, false, true, 'c', 'y'},
      {"--", 0, {true, true, true, true}, false, false, false, false, false, '0', '0'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    RunOptions options;
    EXPECT_EQ(parseOptions(c.text, options), c.result);
    EXPECT_EQ(options.runBinomial, c.tests.binomial);
    EXPECT_EQ(options.runChiSquare, c.tests.chiSquare);
    EXPECT_EQ(options.runFisher, c.tests.fisher);
    EXPECT_EQ(options.runPermutation, c.tests.permutation);
    EXPECT_EQ(options.singleTest, c.single);
    EXPECT_EQ(options.useDefaultData, c.defaults);
    EXPECT_EQ(options.summaryOnly, c.summary);
    EXPECT_EQ(options.dottedEdges, c.dotted);
    EXPECT_EQ(options.mergeGraphs, c.merge);
    EXPECT_EQ(options.mergeMainTest, c.mainTest);
    EXPECT_EQ(options.mergeSubTest, c.subTest);
  }
}

TEST(ParseOptions, RejectsBadStrings) {
  const char* rejected[] = {
      "-Dx",    "-D1", "-D1BC", "-D10",   "-DMbb",  "-DM", "-DMb",        "-DCMcb",
      "-DFMfp", "-d",  "-D 1B", "-DMnfx", "-DBMbq", "-1",  "-D1\xc3\xa9",
  };
  for (const char* text : rejected) {
    SCOPED_TRACE(text);
    RunOptions options;
    EXPECT_EQ(parseOptions(text, options), -1);
  }
}

TEST(ParseOptions, StopsAtTheFirstUnknownCharacter) {
  RunOptions options;
  EXPECT_EQ(parseOptions("-Sx1N", options), -1);
  EXPECT_TRUE(options.summaryOnly);
  EXPECT_FALSE(options.singleTest);
  EXPECT_FALSE(options.dottedEdges);
}

TEST(ArgumentNumber, ConvertsLikeTheRuntime) {
  struct Case {
    const char* text;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"2", 2},
      {"  17", 17},
      {"+5", 5},
      {"-1", 4294967295u},
      {"c3", 0},
      {"12abc", 12},
      {"", 0},
      {"- 4", 0},
      {"\t\n 8", 8},
      {"99999999999", 2147483647u},
      {"-99999999999", 2147483648u},
      {"007", 7},
      {"3.9", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(argumentNumber(c.text), c.value);
  }
}

TEST(PrintHelp, EndsThreeLinesWithABlank) {
  std::ostringstream out;
  printHelp(out);
  const std::string help = out.str();
  EXPECT_EQ(help.rfind("BREVOX - by Taveronk - version 1.3\n\nSYNOPSIS\n", 0), 0u);
  EXPECT_NE(help.find("each pair of works as well as \n"), std::string::npos);
  EXPECT_NE(help.find("t2 (subordinate) \n"), std::string::npos);
  EXPECT_NE(help.find("with options -D0 \n"), std::string::npos);
  EXPECT_EQ(help.back(), '\n');
  EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 74);
}

}  // namespace
}  // namespace brevox
