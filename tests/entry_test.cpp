#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app/options.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

using testing::fileNames;
using testing::helpText;
using testing::runProgram;
using testing::TempDir;

TEST(CommandLine, PrintsHelpWhenMissingOrRejected) {
  const std::vector<std::vector<std::string>> commandLines = {
      {},
      {"-Dx"},
      {"-D1"},
      {"-D1BC", "1", "1", "2"},
      {"-D1B", "1", "2"},
      {"data.csv", "-1B", "1", "2"},
      {"data.csv", "-x"},
      {"-DMbb"},
      {"-DCMcb"},
  };
  for (const auto& arguments : commandLines) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    TempDir folder;
    const testing::ProgramRun run = runProgram(arguments, folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, helpText());
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fileNames(folder.path()).empty());
  }
}

TEST(CommandLine, WritesTheBuiltInDataWithD0) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"-D0"}, {"-0D"}, {"missing.csv", "-D0"}, {"-D0", "ignored", "arguments"}}) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    TempDir folder;
    const testing::ProgramRun run = runProgram(arguments, folder.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "\n\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(testing::compareWithGolden(folder.path(), "input_data_default"), "");
  }
}

TEST(CommandLine, ReadsTheFileNamedFirst) {
  TempDir folder;
  testing::writeFile(folder.path() / "mine.csv",
                     "x,0.1,a,Alpha,\n,,,-1,\nw1,One,1,4\nw2,Two,2,9,\n");
  const testing::ProgramRun run = runProgram({"mine.csv", "-0"}, folder.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  // The file names a single criterion; the directions of the built-in criteria 2 to 6 remain.
  EXPECT_EQ(testing::readFile(folder.path() / "T_input_data.csv"),
            "Threshold:,0.1,a,Alpha,\r\n,,,-1,,-1,,-1,,-1,,-1,,-1,\r\n"
            "w1,One,1,4,\r\nw2,Two,2,9,\r\n");
}

TEST(CommandLine, EndsWithTheReadersMessage) {
  struct Case {
    std::vector<std::string> arguments;
    std::string contents;
    std::string message;
  };
  const Case cases[] = {
      {{"-B"}, "", "Failed to open file  for reading\n"},
      {{"absent.csv", "-0"}, "", "Failed to open file absent.csv for reading\n"},
      {{"bad.csv", "-0"}, ",0.05,k\n", "Odd number of fields for list of criteria in bad.csv\n"},
      {{"bad.csv", "-0"},
       ",0.05,k,K\n,,\nw,W,5,3\n",
       "Observed count 5 above total 3 of criterium n. 1 for work n. 1 in bad.csv\n"},
      {{"bad.csv", "-0"},
       ",2,k,K\n",
       "Threshold \"2\" outside (0, 1] for list of criteria in "
       "bad.csv\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir folder;
    if (!c.contents.empty()) testing::writeFile(folder.path() / "bad.csv", c.contents);
    const testing::ProgramRun run = runProgram(c.arguments, folder.path());
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.message);
    const std::vector<std::string> left = fileNames(folder.path());
    EXPECT_TRUE(left.empty() || left == std::vector<std::string>{"bad.csv"});
  }
}

}  // namespace
}  // namespace brevox

namespace brevox {
namespace {

TEST(CommandLine, EndsWithAMessageWhenMemoryRunsOut) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit this test sets";
#endif
  TempDir folder;
  // Half a billion cases in each work, half of them occurrences: Fisher's test keeps a density
  // for each of the half billion possible tables, 8 GB, more than the limit set here.
  testing::writeFile(folder.path() / "big.csv",
                     ",0.05,k,K,\n,,,1,\nw,W,268435455,536870911,\nv,V,268435455,536870911,\n");
  const std::string command = "cd '" + folder.path().string() +
                              "' && ulimit -v 1000000 && exec '" BREVOX_EXE
                              "' big.csv -1F 1 1 2 >out.txt 2>err.txt";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 255);
  EXPECT_EQ(testing::readFile(folder.path() / "err.txt"), "Not enough memory to finish the run\n");
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "fishTest.csv"));
}

}  // namespace
}  // namespace brevox
