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
    Selection tests;
    bool single, defaults, summary, dotted, merge;
    char mainTest, subTest;
  };
  const Case cases[] = {
      {"-D", {true, true, true, true}, false, true, false, false, false, '0', '0'},
      {"-DB0", {true, false, false, false}, false, true, false, false, false, '0', '0'},
      {"-D0B", {true, false, false, false}, false, true, false, false, false, '0', '0'},
      {"-D0", {false, false, false, false}, false, true, false, false, false, '0', '0'},
      {"-D-C--F", {false, true, true, false}, false, true, false, false, false, '0', '0'},
      {"-D1F", {false, false, true, false}, true, true, false, false, false, '0', '0'},
      {"-1PP", {false, false, false, true}, true, false, false, false, false, '0', '0'},
      {"-DMnf", {true, true, true, true}, false, true, false, false, true, 'n', 'f'},
      {"-DMbcf", {true, true, true, true}, false, true, false, false, true, 'b', 'f'},
      {"-DbS", {true, true, true, true}, false, true, true, false, false, 'b', '0'},
      {"-SNP", {false, false, false, true}, false, false, true, true, false, '0', '0'},
      {"-DCMcy", {false, true, false, false}, false, true, false, false, true, 'c', 'y'},
      {"--", {true, true, true, true}, false, false, false, false, false, '0', '0'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    RunOptions options;
    EXPECT_FALSE(parseOptions(c.text, options));
    EXPECT_EQ(options.families[Family::binomial], c.tests.binomial);
    EXPECT_EQ(options.families[Family::chiSquare], c.tests.chiSquare);
    EXPECT_EQ(options.families[Family::fisher], c.tests.fisher);
    EXPECT_EQ(options.families[Family::permutation], c.tests.permutation);
    EXPECT_EQ(options.singleTest, c.single);
    EXPECT_EQ(options.useDefaultData, c.defaults);
    EXPECT_EQ(options.summaryOnly, c.summary);
    EXPECT_EQ(options.dottedEdges, c.dotted);
    EXPECT_EQ(options.mergeGraphs, c.merge);
    EXPECT_EQ(options.mergeMainTest, c.mainTest);
    EXPECT_EQ(options.mergeSubTest, c.subTest);
  }
}

TEST(ParseOptions, RejectsBadStringsNamingTheLetter) {
  const std::string one = "Option 1 needs exactly one of the tests B, C, F, P in option string ";
  const std::string merge =
      "Option M needs two different merge letters (b c y n f m p) in option "
      "string ";
  const struct {
    const char* text;
    std::string refusal;
  } cases[] = {
      {"-Dx", "Unknown letter \"x\" in option string \"-Dx\""},
      {"-D1", one + "\"-D1\""},
      {"-D1BC", one + "\"-D1BC\""},
      {"-D10", one + "\"-D10\""},
      {"-1", one + "\"-1\""},
      {"-DMbb", merge + "\"-DMbb\""},
      {"-DM", merge + "\"-DM\""},
      {"-DMb", merge + "\"-DMb\""},
      {"-DCMcb",
       "Merge letter \"b\" names a test that is not selected in option string \"-DCMcb\""},
      {"-DFMfp",
       "Merge letter \"p\" names a test that is not selected in option string \"-DFMfp\""},
      {"-d", "Unknown letter \"d\" in option string \"-d\" (letters are case sensitive: D)"},
      {"-e", "Unknown letter \"e\" in option string \"-e\" (letters are case sensitive: E)"},
      {"-D 1B", "Unknown letter \" \" in option string \"-D 1B\""},
      {"-DMnfx", "Unknown letter \"x\" in option string \"-DMnfx\""},
      {"-DBMbq", "Unknown letter \"q\" in option string \"-DBMbq\""},
      {"-D1\xc3\xa9", "Unknown letter \"\xc3\" in option string \"-D1\xc3\xa9\""},
      {"-D\t", "Unknown letter \"\\x09\" in option string \"-D\\x09\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    RunOptions options;
    const Outcome refusal = parseOptions(c.text, options);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message, c.refusal);
  }
}

TEST(ParseOptions, StopsAtTheFirstUnknownCharacter) {
  RunOptions options;
  EXPECT_TRUE(parseOptions("-Sx1N", options));
  EXPECT_TRUE(options.summaryOnly);
  EXPECT_FALSE(options.singleTest);
  EXPECT_FALSE(options.dottedEdges);
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
  // The letters E and H, and an example of each, are added to the lines that stand.
  EXPECT_NE(help.find("      p: Permutation test\n   E: also produce T_all_results.csv"),
            std::string::npos);
  EXPECT_NE(help.find("\n   H: also produce brevox_report.html"), std::string::npos);
  EXPECT_NE(help.find("two works\nbrevox <filePath> -E   read"), std::string::npos);
  EXPECT_NE(help.find("\nbrevox -DH             use"), std::string::npos);
  // The lines mended where they were wrong, and those of the output folder and the workbooks.
  for (const char* mended : {
           "\nbrevox [File] [-[D][0|1][B|C|F|P][S][N][M<t1><t2>][E][H]] [cN waN wbN] [--output "
           "DIR]\n",
           "(exactly one option B, C, F or P must be defined)\n",
           "   N: shows dotted edges in the graphs for significant results that rest on too few "
           "cases\n",
           "defined with a CSV input file or an .xlsx or .ods workbook\n",
           "\n   --output DIR: write every file into folder DIR (made if missing), not the current "
           "folder\n",
           "please modify a copy of the default file (e.g. mydata.csv) and strictly keep\n",
           "\nbrevox --version       print the version\n",
       }) {
    EXPECT_NE(help.find(mended), std::string::npos) << mended;
  }
  EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 83);
}

}  // namespace
}  // namespace brevox
