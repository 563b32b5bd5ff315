#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "io/output_file.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

namespace fs = std::filesystem;
using tests::fileNames;
using tests::ProgramRun;
using tests::readFile;
using tests::runProgram;
using tests::TempDir;

// Three works under two criteria with small totals, so that every test of the full run is quick.
const std::string kData = tests::dataFile({{"k1", "Criterion one"}, {"k2", "Criterion two", -1}},
                                          {{"W1", "Work one", {2, 20, 0, 10}},
                                           {"W2", "Work two", {15, 20, 3, 12}},
                                           {"W3", "Work three", {4, 9, 9, 12}}});

// A file system mounted by a test, unmounted at the end of the scope.
class Mount {
 public:
  Mount(const char* source, const fs::path& target, const char* type, unsigned long flags,
        const char* options)
      : target_(target), mounted_(::mount(source, target.c_str(), type, flags, options) == 0) {}
  ~Mount() {
    if (mounted_) ::umount2(target_.c_str(), MNT_DETACH);
  }
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;
  bool mounted() const { return mounted_; }

 private:
  fs::path target_;
  bool mounted_;
};

ProgramRun runOnData(const std::vector<std::string>& options, const fs::path& folder) {
  return tests::runOnData(kData, options, folder);
}

// The names that `run` reported on standard error as not opened or not written completely, for
// the reason `reason`.
std::set<std::string> namedFailures(const ProgramRun& run, const std::string& reason) {
  std::set<std::string> names;
  std::size_t start = 0;
  while (start < run.err.size()) {
    std::size_t end = run.err.find('\n', start);
    if (end == std::string::npos) end = run.err.size();
    const std::string line = run.err.substr(start, end - start);
    for (const std::string prefix : {"Failed to write file ", "Failed to open file "}) {
      const std::string ending = ": " + reason;
      if (line.rfind(prefix, 0) == 0 && line.size() >= prefix.size() + ending.size() &&
          line.compare(line.size() - ending.size(), ending.size(), ending) == 0) {
        names.insert(line.substr(prefix.size(), line.size() - prefix.size() - ending.size()));
      }
    }
    start = end + 1;
  }
  return names;
}

// The files of `reference` that `folder` lacks or holds with other contents.
std::set<std::string> incompleteFiles(const fs::path& reference, const fs::path& folder) {
  const std::vector<std::string> written = fileNames(folder);
  std::set<std::string> incomplete;
  for (const std::string& name : fileNames(reference)) {
    // The manifest records when each file was written.
    if (name == ".brevox-manifest") continue;
    if (std::find(written.begin(), written.end(), name) == written.end() ||
        readFile(folder / name) != readFile(reference / name)) {
      incomplete.insert(name);
    }
  }
  return incomplete;
}

// Ten works under three criteria with a few hundred cases each: a full run of a second or two and
// some 750 files, long enough to be caught at any point of its work.
std::string longerRunData() {
  std::vector<tests::DataWork> works;
  for (std::uint32_t work = 1; work <= 10; ++work) {
    works.push_back({"W" + std::to_string(work), "Work " + std::to_string(work), {}});
    for (std::uint32_t criterion = 1; criterion <= 3; ++criterion) {
      const std::uint32_t total = 300 + 37 * work + 53 * criterion;
      works.back().counts.push_back(total * ((7 * work + 3 * criterion) % 11 + 2) / 15);
      works.back().counts.push_back(total);
    }
  }
  return tests::dataFile({{"k1", "One"}, {"k2", "Two", -1}, {"k3", "Three"}}, works);
}

// The files of `folder` that `reference` lacks or holds with other contents.
std::set<std::string> foreignFiles(const fs::path& reference, const fs::path& folder) {
  return incompleteFiles(folder, reference);
}

// Runs the program with `arguments` in an empty folder that it cannot write, and says how the
// folder was made so in `mechanism`. Returns with the folder removed.
ProgramRun runInUnwritableFolder(const std::vector<std::string>& arguments, std::string& mechanism,
                                 std::string& folder) {
  TempDir work;
  folder = fs::canonical(work.path()).string();
  ProgramRun run;
  if (geteuid() != 0) {
    // Permission bits stop every user but root.
    fs::permissions(work.path(), fs::perms::owner_read | fs::perms::owner_exec);
    mechanism = "permission bits";
    run = runProgram(arguments, work.path());
  } else {
    // Root writes through permission bits: a read-only mount stops it, where the test may mount.
    Mount bind(work.path().c_str(), work.path(), nullptr, MS_BIND, nullptr);
    if (bind.mounted() && ::mount(nullptr, work.path().c_str(), nullptr,
                                  MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0) {
      mechanism = "read-only mount";
      run = runProgram(arguments, work.path());
    } else {
      mechanism = "user nobody";
      run = runProgram(arguments, work.path(), tests::RunAs::nobody);
    }
  }
  if (!fileNames(work.path()).empty()) run.err += "(the folder was written)";
  return run;
}

TEST(FileFaults, WorkingDirectoryThatCannotBeWrittenStopsTheRun) {
  // Both modes stop at the lock file, which cannot be made: a run never goes on unlocked.
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"-D"}, {"-D1F", "1", "1", "2"}}) {
    std::string mechanism;
    std::string folder;
    const ProgramRun run = runInUnwritableFolder(arguments, mechanism, folder);
    SCOPED_TRACE(arguments[0] + " in a folder made unwritable by " + mechanism);
    std::cout << "Working directory made unwritable by: " << mechanism << '\n';
    const std::string reason =
        mechanism == "read-only mount" ? "Read-only file system" : "Permission denied";
    EXPECT_EQ(run.exitCode, 255);
    // The folder is named, and another offered.
    EXPECT_EQ(run.err, "Failed to lock this folder with .brevox.lock (" + reason +
                           "): this run wrote nothing in " + folder +
                           ": write into another folder with --output DIR\n");
    EXPECT_EQ(run.out, "");
  }
}

TEST(FileFaults, ReportThatIsAFolderIsSkippedAndTheRunGoesOn) {
  TempDir reference;
  const ProgramRun clean = runOnData({}, reference.path());
  ASSERT_EQ(clean.exitCode, 0);
  ASSERT_EQ(clean.err, "");
  const char* const blockedReports[] = {"binD_k1_W1_W2.csv", "chiSq_k2_W3_W1.csv",
                                        "fish_k1_W2_W1.csv", "perm_k2_W3_W2.csv"};
  for (const char* blocked : blockedReports) {
    SCOPED_TRACE(blocked);
    ASSERT_TRUE(fs::is_regular_file(reference.path() / blocked));
    TempDir work;
    fs::create_directory(work.path() / blocked);
    const ProgramRun run = runOnData({}, work.path());
    EXPECT_EQ(run.err, std::string("Failed to open file ") + blocked + ": Is a directory\n");
    // Every other file is written as in a run without the folder; the run reports the loss.
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(run.out, clean.out);
    EXPECT_EQ(incompleteFiles(reference.path(), work.path()), std::set<std::string>{blocked});
    EXPECT_TRUE(fs::is_directory(work.path() / blocked));
  }
}

TEST(FileFaults, HostileFolderNeitherStallsNorRedirectsTheRun) {
  TempDir reference;
  const ProgramRun clean = runOnData({}, reference.path());
  ASSERT_EQ(clean.exitCode, 0);
  const std::string refused = "Failed to lock this folder with .brevox.lock (";
  const struct {
    const char* name;
    const char* planted;  // in the working folder
    // "pipe", "folder", or a symbolic link to this path (relative: in another folder, which holds
    // a pipe named "fifo")
    std::string what;
    std::string err;  // empty: the run succeeds and writes what a run in an empty folder writes
  } cases[] = {
      {"a pipe under an output name", "T_input_data.csv", "pipe", ""},
      {"a link to a pipe under a report", "fish_k1_W2_W1.csv", "fifo", ""},
      {"a link to a device under a graph", "graph_fishDt_k1.gv", "/dev/null", ""},
      {"a dangling link as the lock", ".brevox.lock", "made.lock",
       refused + "it is a symbolic link): this run wrote nothing in "},
      {"a folder as the lock", ".brevox.lock", "folder",
       refused + "Is a directory): this run wrote nothing in "},
      {"a pipe as the lock", ".brevox.lock", "pipe",
       refused + "it is not a regular file): this run wrote nothing in "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir work;
    TempDir outside;
    ASSERT_EQ(mkfifo((outside.path() / "fifo").c_str(), 0666), 0);
    const fs::path planted = work.path() / c.planted;
    if (c.what == "pipe") {
      ASSERT_EQ(mkfifo(planted.c_str(), 0666), 0);
    } else if (c.what == "folder") {
      fs::create_directory(planted);
    } else {
      fs::create_symlink(c.what[0] == '/' ? fs::path(c.what) : outside.path() / c.what, planted);
    }
    const ProgramRun run = runOnData({}, work.path());
    const std::string another = ": write into another folder with --output DIR\n";
    EXPECT_EQ(run.err, c.err.empty() ? "" : c.err + fs::canonical(work.path()).string() + another);
    // Nothing was written through the links: the pipe and the device are as they were.
    EXPECT_EQ(fs::status(outside.path() / "fifo").type(), fs::file_type::fifo);
    EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 1);
    if (!c.err.empty()) {
      EXPECT_EQ(run.exitCode, 255);
      EXPECT_EQ(fileNames(work.path()), std::vector<std::string>{});
      continue;
    }
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, clean.out);
    EXPECT_EQ(tests::compareFolders(work.path(), reference.path()), "");
    // Only regular files: what stood under the output's name was replaced.
    for (const fs::directory_entry& entry : fs::directory_iterator(work.path())) {
      EXPECT_EQ(entry.symlink_status().type(), fs::file_type::regular) << entry.path();
    }
  }
}

// Runs the program as "brevox ... <&- >&-" does: standard input and output closed.
ProgramRun withClosedStandardDescriptors(const std::vector<std::string>& arguments,
                                         const fs::path& folder) {
  std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" <&- >&-", BREVOX_EXE};
  shell.insert(shell.end(), arguments.begin(), arguments.end());
  return tests::runCommand("/bin/sh", shell, folder);
}

TEST(FileFaults, LimitsOfTheSystemLeaveOnlyCompleteFiles) {
  const tests::DataFile data(kData);
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    bool fullDisk;
    tests::ChildSettings limits;
    // Of every file that is not written completely, each named on a line of its own; nullptr:
    // the run completes.
    const char* reason;
    // Standard input and output closed: the first files opened must not take their places.
    bool closedStandardDescriptors = false;
  } cases[] = {
      // A file system of 64 KiB holds sixteen pages: the run fills it with its first files. (A
      // link to /dev/full under an output's name would not do: the output replaces the link.)
      {"a full disk", {data.path}, true, {}, "No space left on device"},
      // Nine reports are larger than 700 bytes; the trace and the nine messages stay below it.
      {"ulimit -f", {data.path}, false, {tests::RunAs::self, 0, 0, 0, 700}, "File too large"},
      // The run and its workers have stacks of their own, and so have the threads of Graphviz's
      // text layout: reading the file and drawing the page's graphs need more than 64 KiB.
      {"ulimit -s 64, 16 threads",
       {data.path, "-H"},
       false,
       {tests::RunAs::self, 0, 0, 64 << 10},
       nullptr},
      {"brevox -D <&- >&-", {"-D"}, false, {}, nullptr, true},
  };
  setenv("BREVOX_THREADS", "16", 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir reference;
    const ProgramRun clean = tests::runCommand(BREVOX_EXE, c.arguments, reference.path());
    ASSERT_EQ(clean.exitCode, 0);
    TempDir work;
    std::unique_ptr<Mount> small;
    if (c.fullDisk) {
      small = std::make_unique<Mount>("tmpfs", work.path(), "tmpfs", 0, "size=64k");
      if (!small->mounted()) continue;  // no tmpfs can be mounted here
    }
    const ProgramRun limited =
        c.closedStandardDescriptors
            ? withClosedStandardDescriptors(c.arguments, work.path())
            : tests::runCommand(BREVOX_EXE, c.arguments, work.path(), c.limits);
    // Never a temporary file, the lock or a file cut short.
    EXPECT_EQ(foreignFiles(reference.path(), work.path()), std::set<std::string>{});
    const std::set<std::string> incomplete = incompleteFiles(reference.path(), work.path());
    if (c.reason == nullptr) {
      EXPECT_EQ(limited.exitCode, 0);
      EXPECT_EQ(limited.err, "");
      EXPECT_EQ(incomplete, std::set<std::string>{});
      continue;
    }
    EXPECT_EQ(limited.exitCode, 255);
    // The run goes on to its end: the same trace as without the fault.
    EXPECT_EQ(limited.out, clean.out);
    EXPECT_NE(incomplete, std::set<std::string>{});
    // Exactly the files that are missing or cut short are named, each on a line of its own.
    EXPECT_EQ(namedFailures(limited, c.reason), incomplete);
    EXPECT_EQ(std::count(limited.err.begin(), limited.err.end(), '\n'),
              static_cast<std::ptrdiff_t>(incomplete.size()));
  }
  unsetenv("BREVOX_THREADS");
}

TEST(FileFaults, TakenTemporaryNamesAreLeftForOthers) {
  // What a killed run of the same process id left: the temporary names that follow the next.
  TempDir folder;
  bool made = false;
  ASSERT_EQ(openOutputFolder(folder.path().string(), "out", made), std::nullopt);
  OutputFile probe;
  ASSERT_EQ(openOutputFile(probe, "probe.csv"), std::nullopt);
  const std::string taken = probe.temporaryName;
  discardOutputFile(probe);
  const std::size_t digits = taken.rfind('-') + 1;
  const unsigned long long next = std::stoull(taken.substr(digits, 10)) + 1;
  for (unsigned long long number = next; number < next + 300; ++number) {
    std::string name = std::to_string(number);
    name = taken.substr(0, digits) + std::string(10 - name.size(), '0') + name + ".tmp";
    tests::writeFile(folder.path() / name, "debris\n");
  }
  OutputFile file;
  EXPECT_EQ(openOutputFile(file, "report.csv"), std::nullopt);
  file.stream << "written\n";
  EXPECT_EQ(closeOutputFile(file), std::nullopt);
  closeOutputFolder(false);
  EXPECT_EQ(tests::readFile(folder.path() / "report.csv"), "written\n");
}

TEST(FileFaults, SecondRunInTheSameFolderWritesNothing) {
  const tests::DataFile longer(longerRunData());
  const std::string& data = longer.path;
  TempDir reference;
  const ProgramRun clean = runProgram({data}, reference.path());
  ASSERT_EQ(clean.exitCode, 0);
  TempDir work;
  tests::StartedCommand first = tests::startCommand(BREVOX_EXE, {data}, work.path());
  tests::StartedCommand second = tests::startCommand(BREVOX_EXE, {data}, work.path());
  ProgramRun runs[] = {tests::finishCommand(first), tests::finishCommand(second)};
  if (runs[0].exitCode != 0) std::swap(runs[0], runs[1]);
  EXPECT_EQ(runs[0].exitCode, 0);
  EXPECT_EQ(runs[0].out, clean.out);
  EXPECT_EQ(runs[0].err, "");
  EXPECT_EQ(runs[1].exitCode, 255);
  EXPECT_EQ(runs[1].out, "");
  EXPECT_EQ(
      runs[1].err,
      "Another run is writing in this folder (it holds .brevox.lock): this run wrote nothing\n");
  // The folder is that of one run alone, and the lock file is gone.
  EXPECT_EQ(incompleteFiles(reference.path(), work.path()), std::set<std::string>{});
  EXPECT_EQ(foreignFiles(reference.path(), work.path()), std::set<std::string>{});
  if (!fs::exists("/usr/bin/dot")) return;
  for (const std::string& name : fileNames(work.path())) {
    if (fs::path(name).extension() != ".gv") continue;
    EXPECT_EQ(tests::runCommand("/usr/bin/dot", {"-Tcanon", name}, work.path()).exitCode, 0)
        << name;
  }
}

// Runs the program on `data` in `folder` and, `delay` after it holds the lock or has written a
// file, sends it `signal`, or with 0 closes the pipe that is its standard output.
ProgramRun cutShort(const std::string& data, int signal, std::chrono::microseconds delay,
                    const fs::path& folder) {
  int output[2] = {-1, -1};
  tests::ChildSettings settings;
  if (signal == 0 && pipe(output) == 0) settings.standardOutput = output[1];
  tests::StartedCommand started = tests::startCommand(BREVOX_EXE, {data}, folder, settings);
  if (signal == 0) close(output[1]);
  // The run catches the signal from the moment it holds the lock.
  while (!fs::exists(folder / ".brevox.lock") && fileNames(folder).empty()) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  std::this_thread::sleep_for(delay);
  if (signal == 0) {
    close(output[0]);
  } else {
    kill(started.pid, signal);
  }
  return tests::finishCommand(started);
}

TEST(FileFaults, InterruptedRunLeavesOnlyCompleteFiles) {
  const tests::DataFile data(longerRunData());
  TempDir reference;
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun clean = runProgram({data.path}, reference.path());
  ASSERT_EQ(clean.exitCode, 0);
  const auto runLength = std::chrono::steady_clock::now() - start;
  // In the first half of the run: most runs are cut short, and those that end first hold the
  // signal back.
  std::mt19937 random(15);
  std::uniform_int_distribution<long long> delay(
      0, std::chrono::duration_cast<std::chrono::microseconds>(runLength).count() / 2);
  // Each way to cut a run short, at random moments: a signal, or the reader of standard output
  // going away (brevox ... | head).
  const struct {
    const char* name;
    int signal;  // 0: the pipe on standard output is closed
    bool ignored;
  } ways[] = {{"SIGINT", SIGINT, false},  {"SIGTERM", SIGTERM, false},
              {"SIGHUP", SIGHUP, false},  {"SIGQUIT", SIGQUIT, false},
              {"SIGPIPE", SIGPIPE, true}, {"a closed pipe on standard output", 0, false}};
  int interrupted = 0;
  int attempts = 0;
  for (const auto& way : ways) {
    for (int attempt = 0; attempt < 4; ++attempt) {
      SCOPED_TRACE(std::string(way.name) + ", attempt " + std::to_string(attempt));
      TempDir work;
      const ProgramRun run =
          cutShort(data.path, way.signal, std::chrono::microseconds(delay(random)), work.path());
      if (!way.ignored) ++attempts;
      // A run that ended before it was cut short is complete; any other says it was interrupted.
      if (run.exitCode == 0 || way.ignored) {
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(incompleteFiles(reference.path(), work.path()), std::set<std::string>{});
      } else {
        ++interrupted;
        EXPECT_EQ(run.exitCode, 255);
        EXPECT_EQ(run.err, "The run was interrupted: its results are incomplete\n");
      }
      // No temporary file, no lock file, no file cut short.
      EXPECT_EQ(foreignFiles(reference.path(), work.path()), std::set<std::string>{});
    }
  }
  // Else the runs were too short to test what an interrupt leaves.
  EXPECT_GE(2 * interrupted, attempts) << "runs interrupted before their end: " << interrupted;
}

}  // namespace
}  // namespace brevox
