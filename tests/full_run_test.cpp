#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace brevox {
namespace {

namespace fs = std::filesystem;
using tests::compareWithGolden;
using tests::fileNames;
using tests::ProgramRun;
using tests::readFile;
using tests::runProgram;
using tests::TempDir;

// Four works under two criteria, small enough to check by hand:
// - k1 (ordered upwards): W3 has only 4 cases, so every pair with W3 rests on too little data;
// - k2 (ordered downwards): W4 has no case at all; W1 and W2 have no occurrence, so their table
//   has an expected count of 0; W3 against W1 or W2 has a smallest expected count between 1 and
//   5, enough for the N-1 test only.
const std::string kSmallData =
    tests::dataFile({{"k1", "Criterion one", 1}, {"k2", "Criterion two", -1}},
                    {{"W1", "Work one", {2, 20, 0, 10}},
                     {"W2", "Work two", {15, 20, 0, 12}},
                     {"W3", "Work three", {4, 4, 9, 12}},
                     {"W4", "Work four", {8, 20, 0, 0}}});

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

ProgramRun runOnSmallData(const std::vector<std::string>& options, const fs::path& folder) {
  return tests::runOnData(kSmallData, options, folder);
}

// The tables of option E, with those of the order of the works and its graph.
const std::vector<const char*> kEstimateTables = {
    "T_all_results.csv", "T_criteria_results.csv",  "T_work_results.csv",
    "T_order_works.csv", "T_order_criteria.csv",    "T_order_precedence.csv",
    "T_order_fit.csv",   "graphOrderAllCriteria.gv"};

TEST(FullRun, SmallDataSetMatchesGoldenFiles) {
  const struct {
    const char* scenario;
    std::vector<std::string> options;
    std::string trace;
    // The files that an option adds to the scenario's files, and the golden folder that holds
    // them.
    std::vector<const char*> addedFiles;
    const char* addedScenario;
  } cases[] = {
      {"run_default", {}, smallTrace(true), {}, nullptr},
      {"run_S", {"-S"}, smallTrace(true), {}, nullptr},
      {"run_0", {"-0"}, "\n\n", {}, nullptr},
      {"run_C", {"-C"}, smallTrace(false), {}, nullptr},
      {"run_NMbf", {"-NMbf"}, smallTrace(true), {}, nullptr},
      {"run_BFN", {"-BFN"}, smallTrace(false), {}, nullptr},
      {"run_SMnb", {"-SMnb"}, smallTrace(true), {}, nullptr},
      {"run_default", {"-E"}, smallTrace(true), kEstimateTables, "run_E"},
      {"run_C", {"-EC"}, smallTrace(false), kEstimateTables, "run_CE"},
      // The page holds the date of the run: html_report_test looks into it.
      {"run_default", {"-H"}, smallTrace(true), {"brevox_report.html"}, nullptr},
      {"run_NMbf", {"-NHMbf"}, smallTrace(true), {"brevox_report.html"}, nullptr},
  };
  // One thread tests the pairs in place; several test them apart and write them in order.
  for (const char* threads : {"1", "3"}) {
    setenv("BREVOX_THREADS", threads, 1);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.scenario) + " on " + threads + " threads");
      TempDir work;
      const ProgramRun run = runOnSmallData(c.options, work.path());
      EXPECT_EQ(run.exitCode, 0);
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(run.out, c.trace);
      if (!c.addedFiles.empty()) {
        TempDir added;
        for (const char* file : c.addedFiles) fs::rename(work.path() / file, added.path() / file);
        if (c.addedScenario != nullptr) {
          EXPECT_EQ(compareWithGolden(added.path(), c.addedScenario), "");
        }
      }
      EXPECT_EQ(compareWithGolden(work.path(), c.scenario), "");
    }
  }
  unsetenv("BREVOX_THREADS");
}

// The small data set with work W4 renamed W5: every report of W4 is left from an earlier run.
std::string renamedSmallData() {
  std::string data = kSmallData;
  data.replace(data.find("W4,"), 3, "W5,");
  return data;
}

// A command as the shell reads it, each argument in single quotes.
std::string shellCommand(const std::vector<std::string>& arguments) {
  std::string command = "'" + std::string(BREVOX_EXE) + "'";
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  return command;
}

// How many of the folder's files hold `part` in their names.
std::size_t filesNamedWith(const fs::path& folder, const std::string& part) {
  const std::vector<std::string> names = fileNames(folder);
  return static_cast<std::size_t>(std::count_if(names.begin(), names.end(), [&](const auto& name) {
    return name.find(part) != std::string::npos;
  }));
}

// What the user does to the folder between two runs: the built-in template edited in place.
void editTemplate(const fs::path& folder) {
  std::string text = readFile(folder / "T_input_data.csv");
  text.replace(text.find("Iliad,312,"), 10, "Iliad,313,");
  tests::writeFile(folder / "T_input_data.csv", text);
}

void expectEditedTemplate(const fs::path& folder) {
  EXPECT_NE(readFile(folder / "T_input_data.csv").find("Iliad,313,"), std::string::npos);
}

// A run at a terminal after a work was renamed: the progress line in place of the trace, then the
// summary; the earlier run's reports of the work are counted and named there and on the page.
void expectSummaryOfARenamedWork(const fs::path& folder, const std::string& out) {
  const std::size_t left = filesNamedWith(folder, "W4");
  const std::string earlier = std::to_string(left) + " files";
  const std::string shown = fs::canonical(folder).string();
  const std::string written = std::to_string(filesNamedWith(folder, ".") - left - 1);
  EXPECT_NE(out.find("\rcriterion 1 of 2, k1: pairs 0 of 12, 0:00 taken\x1b[K"), std::string::npos);
  EXPECT_EQ(out.find("...vs."), std::string::npos);
  EXPECT_NE(out.find("brevox wrote " + written + " files ("), std::string::npos);
  EXPECT_NE(out.find("into " + shown + " in "), std::string::npos);
  EXPECT_NE(out.find("The page: " + shown + "/brevox_report.html\r\n"), std::string::npos);
  const std::string names = "binD_k1_W1_W4.csv, binD_k1_W2_W4.csv, binD_k1_W3_W4.csv, ...";
  EXPECT_NE(out.find("The folder also holds " + earlier +
                     " of an earlier run that this run did not write: " + names + "\r\n"),
            std::string::npos);
  EXPECT_NE(readFile(folder / "brevox_report.html")
                .find("<dt>Earlier run</dt><dd>" + earlier +
                      " of an earlier run, not written by this run, in the folder: "
                      "<code>binD_k1_W1_W4.csv</code>, <code>binD_k1_W2_W4.csv</code>, "
                      "<code>binD_k1_W3_W4.csv</code>, ...</dd>"),
            std::string::npos);
}

TEST(FullRun, KeepsTheUsersFilesAndSaysWhatItWrote) {
  const std::string kept =
      "File T_input_data.csv holds data that brevox did not write there, and "
      "this run would replace it: rename it (for example to mydata.csv, then "
      "run brevox mydata.csv) or remove it; this run wrote nothing\n";
  const std::string noParent =
      "Failed to make the output folder no/out: No such file or directory "
      "(the folder that holds it must exist)\n";
  auto makeOut = [](const fs::path& folder) { fs::create_directory(folder / "out"); };
  const struct {
    const char* name;
    std::vector<std::string> first;                // a run before in the same folder; empty: none
    std::function<void(const fs::path&)> between;  // what the user does after it
    std::vector<std::string> arguments;            // "{data}", "{renamed}": the data files
    bool terminal;                                 // run under a pseudo-terminal
    int exitCode;
    std::string err;  // with terminal, within the console's output
    std::function<void(const fs::path& folder, const std::string& out)> check;
  } cases[] = {
      // clang-format off
      {"the edited template and a later -DS", {"-D0"}, editTemplate, {"-DS"}, false, 255, kept,
       [](const fs::path& folder, const std::string&) {
         expectEditedTemplate(folder);
         EXPECT_EQ(filesNamedWith(folder, "graph_"), 0u);
       }},
      {"the template as the data file", {"-D0"}, editTemplate, {"T_input_data.csv", "-S"}, false,
       0, "", [](const fs::path& folder, const std::string&) {
         expectEditedTemplate(folder);
         EXPECT_TRUE(fs::is_regular_file(folder / "T_exp_prob_AccPl.csv"));
       }},
      {"--output into a new folder", {}, nullptr, {"{data}", "-S", "--output", "out"}, false, 0, "",
       [](const fs::path& folder, const std::string&) {
         EXPECT_EQ(fileNames(folder), std::vector<std::string>{});
         EXPECT_EQ(compareWithGolden(folder / "out", "run_S"), "");
       }},
      {"--output= into an existing folder", {}, makeOut, {"--output=out", "{data}", "-S"}, false,
       0, "", [](const fs::path& folder, const std::string&) {
         EXPECT_EQ(compareWithGolden(folder / "out", "run_S"), "");
       }},
      {"--output under a missing folder", {}, nullptr, {"{data}", "-S", "--output", "no/out"},
       false, 255, noParent, [](const fs::path& folder, const std::string&) {
         EXPECT_FALSE(fs::exists(folder / "no"));
       }},
      {"a repeated run after renaming a work, at a terminal", {"{data}", "-H"}, nullptr,
       {"{renamed}", "-H"}, true, 0, "", expectSummaryOfARenamedWork},
      // clang-format on
  };
  TempDir data;
  tests::writeFile(data.path() / "small.csv", kSmallData);
  tests::writeFile(data.path() / "renamed.csv", renamedSmallData());
  auto placed = [&](std::vector<std::string> arguments) {
    for (std::string& argument : arguments) {
      if (argument == "{data}") argument = (data.path() / "small.csv").string();
      if (argument == "{renamed}") argument = (data.path() / "renamed.csv").string();
    }
    return arguments;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir work;
    if (!c.first.empty()) {
      ASSERT_EQ(runProgram(placed(c.first), work.path()).exitCode, 0);
    }
    if (c.between) c.between(work.path());
    const std::vector<std::string> terminal = {"-qec", shellCommand(placed(c.arguments)),
                                               "/dev/null"};
    const ProgramRun run = c.terminal ? tests::runCommand("/usr/bin/script", terminal, work.path())
                                      : runProgram(placed(c.arguments), work.path());
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(c.terminal ? "" : run.err, c.err);
    c.check(work.path(), run.out);
  }
}

TEST(FullRun, AnyNumberOfThreadsWritesWhatOneWrites) {
  // The built-in data, and forty works under two criteria: 780 pairs each, more than most threads.
  std::vector<tests::DataWork> forty;
  for (std::uint32_t work = 1; work <= 40; ++work) {
    const std::uint32_t total = 20 + (work * 37) % 50;
    forty.push_back(
        {"W" + std::to_string(work), "Work", {work * 7 % (total + 1), total, work * 3 % 21, 20}});
  }
  const tests::DataFile fortyFile(tests::dataFile({{"k1", "One"}, {"k2", "Two", -1}}, forty));
  // Sixty works that differ pair by pair: the estimates of option E for many pairs.
  std::vector<tests::DataWork> sixty;
  for (std::uint32_t work = 1; work <= 60; ++work) {
    sixty.push_back({"W" + std::to_string(work), "W", {3 * work, 200}});
  }
  const tests::DataFile sixtyFile(tests::dataFile({{"k", "K"}}, sixty));
  // Fisher's test alone on the forty: a report per pair, without the files of every test.
  const std::vector<std::string> dataSets[] = {
      {"-D"}, {fortyFile.path, "-F"}, {sixtyFile.path, "-SFE"}};
  TempDir one[3];
  std::string trace[3];
  setenv("BREVOX_THREADS", "1", 1);
  for (int set = 0; set < 3; ++set) {
    trace[set] = tests::runCommand(BREVOX_EXE, dataSets[set], one[set].path()).out;
  }
  const struct {
    int set;
    const char* threads;
    std::size_t descriptors;
    std::size_t addressSpace;
  } cases[] = {
      {0, "1024", 0, 0},
      {1, "300", 0, 0},
      {1, "1024", 0, 0},
      {1, "1024", 256, 0},  // fewer threads: each holds a report file open
      // Fewer threads, as many as leave the run room beside their stacks: some forty, then none.
      {1, "64", 0, std::size_t{400} << 20},
      {1, "64", 0, std::size_t{40} << 20},
      // Option E's estimates on the threads that start, in little memory.
      {2, "64", 0, std::size_t{120000} << 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.threads) + " threads on data set " + std::to_string(c.set) + ", " +
                 std::to_string(c.descriptors) + " descriptors");
#ifdef __SANITIZE_ADDRESS__
    if (c.addressSpace != 0) continue;  // AddressSanitizer reserves far more
#endif
    tests::ChildSettings limits;
    limits.descriptorLimit = c.descriptors;
    limits.addressSpaceLimit = c.addressSpace;
    TempDir many;
    setenv("BREVOX_THREADS", c.threads, 1);
    const ProgramRun run = tests::runCommand(BREVOX_EXE, dataSets[c.set], many.path(), limits);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, trace[c.set]);
    EXPECT_EQ(tests::compareFolders(many.path(), one[c.set].path()), "");
  }
  unsetenv("BREVOX_THREADS");
}

// Under a small limit on the address space Graphviz's text layout crashed in fontconfig, or ended
// the run where Pango could not start its thread: the page is written without its drawings, and
// says why.
TEST(FullRun, PageLeavesItsDrawingsOutInLittleAddressSpace) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit this test sets";
#endif
  TempDir work;
  tests::ChildSettings limits;
  limits.addressSpaceLimit = std::size_t{60} << 20;
  const ProgramRun run = tests::runCommand(BREVOX_EXE, {"-DH"}, work.path(), limits);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  const std::string page = tests::readFile(work.path() / "brevox_report.html");
  EXPECT_NE(page.find("leaves too little room for Graphviz"), std::string::npos);
  EXPECT_EQ(page.find("<div class=\"graph\"><svg"), std::string::npos);
}

// Sums of probabilities may pass 1 by a rounding: on the built-in data the binomial test of
// HDAp's count against HPAp's proportion (Accusative plural) sums to 1.0000000000000002.
TEST(FullRun, TablesOfOptionEHoldPValuesFrom0To1) {
  TempDir work;
  const ProgramRun run = runProgram({"-SDE"}, work.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  int checked = 0;
  for (const char* table : {"T_all_results.csv", "T_criteria_results.csv"}) {
    std::istringstream lines(tests::readFile(work.path() / table));
    std::vector<std::string> header;
    for (std::string line; std::getline(lines, line, '\n');) {
      std::istringstream cells(line.substr(0, line.size() - 1));  // without the CR
      std::vector<std::string> row;
      for (std::string cell; std::getline(cells, cell, ',');) row.push_back(cell);
      if (header.empty()) {
        header = row;
        continue;
      }
      for (std::size_t k = 0; k < row.size(); ++k) {
        const std::string& name = header[k];
        const bool pValue =
            name.rfind("p_", 0) == 0 || name.rfind("holm_", 0) == 0 || name.rfind("bh_", 0) == 0;
        if (!pValue || row[k].empty()) continue;
        ++checked;
        const double p = std::stod(row[k]);
        EXPECT_TRUE(p >= 0 && p <= 1) << table << ": " << name << " = " << row[k];
      }
    }
  }
  EXPECT_GT(checked, 4000);
}

TEST(FullRun, GraphvizReadsEveryGraph) {
  if (!fs::exists("/usr/bin/dot")) GTEST_SKIP() << "Graphviz's dot is not installed (/usr/bin/dot)";
  // Short names that are not DOT identifiers: blanks, a dot, quotes, punctuation, a leading
  // digit, a Graphviz keyword. (A backslash or a double quote cannot reach a short name: the
  // reader refuses them.)
  const tests::DataFile awkward(tests::dataFile(
      {{"Dig amma", "Criterion one"}, {"1st", "Criterion two", -1}, {"q'c", "Criterion three"}},
      {{"H. Dem", "Work one", {2, 20, 0, 10, 5, 10}},
       {"2nd", "Work two", {15, 20, 0, 12, 9, 10}},
       {"say 'hi'", "Work three", {4, 4, 9, 12, 1, 10}},
       {"graph", "Work four", {8, 20, 3, 9, 0, 10}},
       {"-x;y", "Work five", {19, 20, 8, 9, 2, 10}}}));
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    // Seven per criterion and seven over all criteria; one more of each when merged, and the
    // order's graph with E.
    int graphs;
  } cases[] = {
      {"built-in data, dotted edges", {"-DN"}, 49},
      {"built-in data, merged graphs", {"-DMnf"}, 56},
      {"awkward names, with the order's graph", {awkward.path, "-NMbpE"}, 3 * 8 + 8 + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir work;
    const ProgramRun run = runProgram(c.arguments, work.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    int graphs = 0;
    for (const std::string& name : tests::fileNames(work.path())) {
      if (fs::path(name).extension() != ".gv") continue;
      ++graphs;
      const ProgramRun dot = tests::runCommand("/usr/bin/dot", {"-Tcanon", name}, work.path());
      EXPECT_EQ(dot.exitCode, 0) << name << ": " << dot.err;
      EXPECT_EQ(dot.err, "") << name;
    }
    EXPECT_EQ(graphs, c.graphs);
  }
}

TEST(FullRun, StopsWhenASummaryOrGraphFileCannotBeOpened) {
  const struct {
    const char* blocked;
    const char* scenario;
    std::string trace;
  } cases[] = {
      // A binomial table of the second criterion: the first criterion is complete, the tables of
      // the second opened before it are removed.
      {"T_binD_Dt_Flag_k2.csv", "run_open_failure_table",
       "\n\nk1"
       "\n * W1 ...vs. W2 ...vs. W3 ...vs. W4"
       "\n * W2 ...vs. W1... ...vs. W3 ...vs. W4"
       "\n * W3 ...vs. W1. ...vs. W2. ...vs. W4"
       "\n * W4 ...vs. W1... ...vs. W2... ...vs. W3..."},
      // The permutation graph of the first criterion: nothing of it is printed, and only the
      // input-data file is left.
      {"graph_perm_k1.gv", "run_open_failure_graph", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blocked);
    TempDir work;
    fs::create_directory(work.path() / c.blocked);
    const ProgramRun run = runOnSmallData({"-S"}, work.path());
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(run.err, std::string("Failed to open file ") + c.blocked + ": Is a directory\n");
    EXPECT_EQ(run.out, c.trace);
    EXPECT_EQ(compareWithGolden(work.path(), c.scenario), "");
  }
}

TEST(FullRun, OutputOfTheWholeRunThatCannotBeOpenedIsSkipped) {
  const struct {
    const char* blocked;
    const char* written;  // another output of the whole run, written all the same
  } cases[] = {
      {"graphFishMpAllCriteria.gv", "graphFishDtAllCriteria.gv"},
      {"brevox_report.html", "graphFishMpAllCriteria.gv"},
      {"T_order_precedence.csv", "T_order_fit.csv"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blocked);
    TempDir work;
    fs::create_directory(work.path() / c.blocked);
    const ProgramRun run = runOnSmallData({"-SFEH"}, work.path());
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(run.err, std::string("Failed to open file ") + c.blocked + ": Is a directory\n");
    EXPECT_TRUE(fs::is_regular_file(work.path() / c.written));
    EXPECT_EQ(run.out.substr(run.out.size() - 2), "\n\n");
  }
}

}  // namespace
}  // namespace brevox
