#include "app/full_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace brevox {
namespace {

namespace fs = std::filesystem;
using testing::compareWithGolden;
using testing::ProgramRun;
using testing::runProgram;
using testing::TempDir;

// Four works under two criteria, small enough to check by hand:
// - k1 (ordered upwards): W3 has only 4 cases, so every pair with W3 rests on too little data;
// - k2 (ordered downwards): W4 has no case at all; W1 and W2 have no occurrence, so their table
//   has an expected count of 0; W3 against W1 or W2 has a smallest expected count between 1 and
//   5, enough for the N-1 test only.
const char* const kSmallData =
    "Threshold:,0.05,k1,Criterion one,k2,Criterion two,\r\n"
    ",,,1,,-1,\r\n"
    "W1,Work one,2,20,0,10,\r\n"
    "W2,Work two,15,20,0,12,\r\n"
    "W3,Work three,4,4,9,12,\r\n"
    "W4,Work four,8,20,0,0,\r\n";

// The console trace of the small data set. The permutation test prints a dot for every ten
// occurrences it gives to the row's work: W2 and W4 have 20 cases under k1 (three dots), W3 has 4
// (one dot); under k2 W2 and W3 have 12 cases (two dots).
std::string smallTrace(bool withDots) {
  auto dots = [withDots](const char* text) { return withDots ? std::string(text) : ""; };
  return "\n\nk1"
         "\n * W1 ...vs. W2 ...vs. W3 ...vs. W4"
         "\n * W2 ...vs. W1" +
         dots("...") + " ...vs. W3 ...vs. W4" + "\n * W3 ...vs. W1" + dots(".") + " ...vs. W2" +
         dots(".") + " ...vs. W4" + "\n * W4 ...vs. W1" + dots("...") + " ...vs. W2" + dots("...") +
         " ...vs. W3" + dots("...") +
         "\n\nk2"
         "\n * W1 ...vs. W2 ...vs. W3"
         "\n * W2 ...vs. W1" +
         dots("..") + " ...vs. W3" + "\n * W3 ...vs. W1" + dots("..") + " ...vs. W2" + dots("..") +
         "\n * W4"
         "\n\n";
}

// Runs the program on the small data set in `folder`, the data file kept outside it so that the
// folder holds only what the program wrote.
ProgramRun runOnSmallData(const std::vector<std::string>& options, const fs::path& folder) {
  TempDir input;
  const fs::path dataFile = input.path() / "data.csv";
  testing::writeFile(dataFile, kSmallData);
  std::vector<std::string> arguments{dataFile.string()};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return runProgram(arguments, folder);
}

TEST(FullRun, SmallDataSetMatchesGoldenFiles) {
  const struct {
    const char* scenario;
    std::vector<std::string> options;
    std::string trace;
  } cases[] = {
      {"run_default", {}, smallTrace(true)},
      {"run_S", {"-S"}, smallTrace(true)},
      {"run_0", {"-0"}, "\n\n"},
      {"run_C", {"-C"}, smallTrace(false)},
      {"run_NMbf", {"-NMbf"}, smallTrace(true)},
      {"run_BFN", {"-BFN"}, smallTrace(false)},
      {"run_SMnb", {"-SMnb"}, smallTrace(true)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    TempDir work;
    const ProgramRun run = runOnSmallData(c.options, work.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, c.trace);
    EXPECT_EQ(compareWithGolden(work.path(), c.scenario), "");
  }
}

// Runs Graphviz's dot on one file; returns its exit status, with what it printed in `messages`.
int runDot(const fs::path& graph, std::string& messages) {
  TempDir capture;
  const fs::path errPath = capture.path() / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::string program = "/usr/bin/dot";
  std::string format = "-Tcanon";
  std::string file = graph.string();
  char* argv[] = {program.data(), format.data(), file.data(), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  waitpid(child, &status, 0);
  messages = testing::readFile(errPath);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(FullRun, GraphvizReadsEveryGraph) {
  if (!fs::exists("/usr/bin/dot")) GTEST_SKIP() << "Graphviz's dot is not installed (/usr/bin/dot)";
  // Short names that are not DOT identifiers: blanks, a dot, quotes, punctuation, a leading
  // digit, a Graphviz keyword. (A backslash or a double quote cannot reach a short name: the
  // reader refuses them.)
  const char* const awkwardData =
      "Threshold:,0.05,Dig amma,Criterion one,1st,Criterion two,q'c,Criterion three,\r\n"
      ",,,1,,-1,,1,\r\n"
      "H. Dem,Work one,2,20,0,10,5,10,\r\n"
      "2nd,Work two,15,20,0,12,9,10,\r\n"
      "say 'hi',Work three,4,4,9,12,1,10,\r\n"
      "graph,Work four,8,20,3,9,0,10,\r\n"
      "-x;y,Work five,19,20,8,9,2,10,\r\n";
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    const char* data;
  } cases[] = {
      {"built-in data, dotted edges", {"-DN"}, nullptr},
      {"built-in data, merged graphs", {"-DMnf"}, nullptr},
      {"awkward names", {"", "-NMbp"}, awkwardData},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir input;
    TempDir work;
    std::vector<std::string> arguments = c.arguments;
    if (c.data != nullptr) {
      testing::writeFile(input.path() / "data.csv", c.data);
      arguments[0] = (input.path() / "data.csv").string();
    }
    const ProgramRun run = runProgram(arguments, work.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    int graphs = 0;
    for (const std::string& name : testing::fileNames(work.path())) {
      if (fs::path(name).extension() != ".gv") continue;
      ++graphs;
      std::string messages;
      EXPECT_EQ(runDot(work.path() / name, messages), 0) << name << ": " << messages;
      EXPECT_EQ(messages, "") << name;
    }
    // Seven graphs per criterion and seven over all criteria; one more of each when merged.
    const int expected = c.data != nullptr ? 3 * 8 + 8 : c.arguments[0] == "-DN" ? 49 : 56;
    EXPECT_EQ(graphs, expected);
  }
}

TEST(FullRun, StopsWhenASummaryOrGraphFileCannotBeOpened) {
  const struct {
    const char* blocked;
    const char* scenario;
    std::string trace;
  } cases[] = {
      // A binomial table of the second criterion: the first criterion is complete, the tables of
      // the second opened before it are closed as they are.
      {"T_binD_Dt_Flag_k2.csv", "run_open_failure_table",
       "\n\nk1"
       "\n * W1 ...vs. W2 ...vs. W3 ...vs. W4"
       "\n * W2 ...vs. W1... ...vs. W3 ...vs. W4"
       "\n * W3 ...vs. W1. ...vs. W2. ...vs. W4"
       "\n * W4 ...vs. W1... ...vs. W2... ...vs. W3..."},
      // The permutation graph of the first criterion: nothing of it is printed.
      {"graph_perm_k1.gv", "run_open_failure_graph", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blocked);
    TempDir work;
    fs::create_directory(work.path() / c.blocked);
    const ProgramRun run = runOnSmallData({"-S"}, work.path());
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(run.err, std::string("Failed to open file ") + c.blocked + "\n");
    EXPECT_EQ(run.out, c.trace);
    EXPECT_EQ(compareWithGolden(work.path(), c.scenario), "");
  }
}

TEST(FullRun, GraphOverAllCriteriaThatCannotBeOpenedIsSkipped) {
  TempDir work;
  fs::create_directory(work.path() / "graphFishMpAllCriteria.gv");
  const ProgramRun run = runOnSmallData({"-SF"}, work.path());
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(run.err, "Failed to open file graphFishMpAllCriteria.gv\n");
  EXPECT_TRUE(fs::is_regular_file(work.path() / "graphFishDtAllCriteria.gv"));
  EXPECT_EQ(run.out.substr(run.out.size() - 2), "\n\n");
}

TEST(FullRun, WriteErrorsAreReportedAndFailTheRun) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to simulate a full disk";
  TempDir work;
  // Each of these names leads to a device on which every write fails.
  const char* const full[] = {"T_input_data.csv", "fish_k1_W2_W1.csv", "T_ChiSq_Y_Flagk1.csv",
                              "graph_perm_k2.gv", "graphBinDAllCriteria.gv"};
  for (const char* name : full) fs::create_symlink("/dev/full", work.path() / name);
  const ProgramRun run = runOnSmallData({}, work.path());
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(run.err,
            "Failed to write file T_input_data.csv\n"
            "Failed to write file fish_k1_W2_W1.csv\n"
            "Failed to write file T_ChiSq_Y_Flagk1.csv\n"
            "Failed to write file graph_perm_k2.gv\n"
            "Failed to write file graphBinDAllCriteria.gv\n");
  // The run went on to the end.
  EXPECT_EQ(run.out, smallTrace(true));
  EXPECT_TRUE(fs::is_regular_file(work.path() / "graphPermAllCriteria.gv"));
}

}  // namespace
}  // namespace brevox
