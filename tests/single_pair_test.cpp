#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace brevox {
namespace {

namespace fs = std::filesystem;
using tests::compareWithGolden;
using tests::fileNames;
using tests::ProgramRun;
using tests::runProgram;
using tests::TempDir;

// The shell sees the program's -1 as 255.
constexpr int kFailure = 255;

TEST(SingleTest, WritesTheReportOfTheChosenTest) {
  const struct {
    const char* scenario;
    std::vector<std::string> arguments;
    const char* out;  // the permutation test's progress dots, one per ten counts of work A
  } cases[] = {
      // H. Delian Ap. 2 of 2 against H. Demeter 3 of 4: both totals below 5.
      {"single_binomial_small_totals", {"-D1B", "2", "6", "5"}, ""},
      // The other order: a success probability of 1 leaves all the density on the last count.
      {"single_binomial_certain_occurrence", {"-D1B", "2", "5", "6"}, ""},
      {"single_binomial_erga_theogony", {"-D1B", "3", "4", "3"}, ""},
      // Smallest expected count 1/3: the warning covers the N-1 test as well.
      {"single_chisq_warning", {"-D1C", "2", "5", "6"}, ""},
      // Smallest expected count 40/29: the warning spares the N-1 test.
      {"single_chisq_warning_ok_n1", {"-D1C", "6", "5", "6"}, ""},
      {"single_chisq_iliad_odyssey", {"-D1C", "1", "1", "2"}, ""},
      // A work against itself, every case an occurrence: an expected count of 0.
      {"single_chisq_same_work", {"-D1C", "2", "6", "6"}, ""},
      {"single_fisher_small_totals", {"-D1F", "2", "5", "6"}, ""},
      {"single_fisher_iliad_odyssey", {"-D1F", "1", "1", "2"}, ""},
      // The page of a full run is not written in this mode.
      {"single_fisher_iliad_odyssey", {"-D1FH", "1", "1", "2"}, ""},
      {"single_permutation_small_totals", {"-D1P", "2", "5", "6"}, "."},
      {"single_permutation_erga_theogony", {"-D1P", "3", "4", "3"}, ".."},
  };
  for (const auto& c : cases) {
    TempDir folder;
    const ProgramRun run = runProgram(c.arguments, folder.path());
    EXPECT_EQ(run.exitCode, 0) << c.scenario;
    EXPECT_EQ(run.err, "") << c.scenario;
    EXPECT_EQ(run.out, c.out) << c.scenario;
    EXPECT_EQ(compareWithGolden(folder.path(), c.scenario), "") << c.scenario;
  }
}

TEST(SingleTest, JudgesAtTheFixedThresholdWhateverTheDataFileSays) {
  // The file asks for 0.2; 9 of 20 against 3 of 20 is significant at 0.2 but not at 0.05.
  const tests::DataFile data(tests::dataFile(
      {{"Dig", "Digamma neglect"}}, {{"Il", "Iliad", {9, 20}}, {"Od", "Odyssey", {3, 20}}}, "0.2"));
  TempDir folder;
  const ProgramRun run = runProgram({data.path, "-1F", "1", "1", "2"}, folder.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(compareWithGolden(folder.path(), "single_threshold_from_file"), "");
}

TEST(SingleTest, RefusesNumbersOutsideTheDataSet) {
  const struct {
    std::vector<std::string> arguments;
    const char* err;
  } cases[] = {
      {{"-D1B", "7", "1", "2"}, "Criterium n. 7 does not exist\n"},
      {{"-D1C", "1", "1", "99"}, "Work n. 99 does not exist\n"},
      {{"-D1F", "1", "10", "1"}, "Work n. 10 does not exist\n"},
      // Only the first failing number is reported.
      {{"-D1P", "99", "99", "99"}, "Criterium n. 99 does not exist\n"},
  };
  for (const auto& c : cases) {
    TempDir folder;
    const ProgramRun run = runProgram(c.arguments, folder.path());
    EXPECT_EQ(run.exitCode, kFailure) << c.err;
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "") << c.err;
    EXPECT_TRUE(fileNames(folder.path()).empty()) << c.err;
  }
}

TEST(SingleTest, RefusesAWorkWithoutCasesOfTheCriterion) {
  // The Pythian hymn (work 7) has no case of the A-stem genitive singular (criterion 2).
  const std::vector<std::vector<std::string>> cases = {
      {"-D1B", "2", "7", "1"}, {"-D1B", "2", "1", "7"}, {"-D1C", "2", "7", "7"},
      {"-D1F", "2", "3", "7"}, {"-D1P", "2", "7", "3"},
  };
  for (const auto& arguments : cases) {
    TempDir folder;
    const ProgramRun run = runProgram(arguments, folder.path());
    EXPECT_EQ(run.exitCode, kFailure) << arguments[0] << arguments[2] << arguments[3];
    EXPECT_EQ(run.err, "Work n. 7 has no case of criterium n. 2\n");
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(fileNames(folder.path()).empty());
  }
}

TEST(SingleTest, FailsWhenTheReportCannotBeWritten) {
  const struct {
    const char* option;
    const char* fileName;
  } cases[] = {{"-D1B", "binDistriTest.csv"},
               {"-D1C", "chiSqTest.csv"},
               {"-D1F", "fishTest.csv"},
               {"-D1P", "permutTest.csv"}};
  for (const auto& c : cases) {
    // A folder in the report's place keeps the file from being created.
    TempDir folder;
    fs::create_directory(folder.path() / c.fileName);
    const ProgramRun run = runProgram({c.option, "2", "5", "6"}, folder.path());
    EXPECT_EQ(run.exitCode, kFailure) << c.option;
    EXPECT_EQ(run.err, std::string("Failed to open file ") + c.fileName + ": Is a directory\n");
    EXPECT_TRUE(fileNames(folder.path()).empty()) << c.option;
  }
}

TEST(SingleTest, KeepsTheReportsOfOtherTests) {
  TempDir folder;
  tests::writeFile(folder.path() / "fishTest.csv", "an older report\n");
  tests::writeFile(folder.path() / "chiSqTest.csv", "a report of another test\n");
  ASSERT_EQ(runProgram({"-D1F", "2", "5", "6"}, folder.path()).exitCode, 0);
  EXPECT_EQ(fileNames(folder.path()),
            (std::vector<std::string>{".brevox-manifest", "chiSqTest.csv", "fishTest.csv"}));
  EXPECT_EQ(tests::readFile(folder.path() / "chiSqTest.csv"), "a report of another test\n");
  EXPECT_EQ(tests::readFile(folder.path() / "fishTest.csv"),
            tests::readFile(tests::goldenFolder("single_fisher_small_totals") / "fishTest.csv"));
}

}  // namespace
}  // namespace brevox
