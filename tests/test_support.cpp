#include "tests/test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "app/options.h"

namespace brevox::tests {

namespace fs = std::filesystem;

PairComparison table(std::uint32_t a, std::uint32_t nA, std::uint32_t b, std::uint32_t nB) {
  return PairComparison(1, 1, {a, nA}, 2, {b, nB});
}

std::string dataFile(const std::vector<DataCriterion>& criteria, const std::vector<DataWork>& works,
                     const std::string& threshold, const std::string& lineEnd) {
  std::string names = "Threshold:," + threshold + ",";
  std::string directions = ",,";
  for (const DataCriterion& criterion : criteria) {
    names += criterion.shortName + "," + criterion.longName + ",";
    directions += "," + std::to_string(criterion.direction) + ",";
  }
  std::string text = names + lineEnd + directions + lineEnd;
  for (const DataWork& work : works) {
    text += work.shortName + "," + work.longName + ",";
    for (const std::uint32_t count : work.counts) text += std::to_string(count) + ",";
    text += lineEnd;
  }
  return text;
}

TempDir::TempDir() {
  std::random_device seed;
  std::mt19937_64 generator(seed());
  for (;;) {
    path_ = fs::temp_directory_path() / ("brevox-test-" + std::to_string(generator()));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Folders made read-only by a test must be writable again before they can be removed.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

}  // namespace

StartedCommand startCommand(const std::string& program, const std::vector<std::string>& arguments,
                            const fs::path& folder, const ChildSettings& settings) {
  StartedCommand started;
  started.capture = std::make_unique<TempDir>();
  const fs::path outPath = started.capture->path() / "stdout";
  const fs::path errPath = started.capture->path() / "stderr";
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);

  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int out = settings.standardOutput >= 0
                        ? settings.standardOutput
                        : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(folder.c_str()) != 0) {
      _exit(127);
    }
    // Only standard input, output and error stay open in the child.
    for (int descriptor = 3; descriptor < 1024; ++descriptor) close(descriptor);
    const struct {
      int resource;
      std::size_t value;
    } limits[] = {{RLIMIT_AS, settings.addressSpaceLimit},
                  {RLIMIT_NOFILE, settings.descriptorLimit},
                  {RLIMIT_STACK, settings.stackLimit},
                  {RLIMIT_FSIZE, settings.fileSizeLimit}};
    for (const auto& limit : limits) {
      const rlimit value{limit.value, limit.value};
      if (limit.value != 0 && setrlimit(limit.resource, &value) != 0) _exit(127);
    }
    if (settings.user == RunAs::nobody &&
        (setgroups(0, nullptr) != 0 || setgid(kNoGroup) != 0 || setuid(kNobody) != 0)) {
      _exit(127);
    }
    // A test runner started in the background may ignore them, and the child would inherit that.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    execv(program.c_str(), pointers.data());
    _exit(127);
  }
  started.pid = child;
  return started;
}

ProgramRun finishCommand(StartedCommand& started) {
  int status = 0;
  waitpid(started.pid, &status, 0);
  ProgramRun run;
  run.out = readFile(started.capture->path() / "stdout");
  run.err = readFile(started.capture->path() / "stderr");
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  started.capture.reset();
  return run;
}

ProgramRun runCommand(const std::string& program, const std::vector<std::string>& arguments,
                      const fs::path& folder, const ChildSettings& settings) {
  StartedCommand started = startCommand(program, arguments, folder, settings);
  return finishCommand(started);
}

ProgramRun runProgram(const std::vector<std::string>& arguments, const fs::path& folder,
                      RunAs user) {
  ChildSettings settings;
  settings.user = user;
  return runCommand(BREVOX_EXE, arguments, folder, settings);
}

DataFile::DataFile(const std::string& text) : path((folder.path() / "data.csv").string()) {
  writeFile(path, text);
}

ProgramRun runOnData(const std::string& data, const std::vector<std::string>& options,
                     const fs::path& folder) {
  const DataFile file(data);
  std::vector<std::string> arguments{file.path};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return runProgram(arguments, folder);
}

std::string helpText() {
  std::ostringstream out;
  printHelp(out);
  return out.str();
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

void writeFile(const fs::path& file, const std::string& contents) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << contents;
}

std::vector<std::string> fileNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

fs::path goldenFolder(const std::string& scenario) {
  return fs::path(BREVOX_SOURCE_DIR) / "tests" / "golden" / scenario;
}

std::string compareWithGolden(const fs::path& folder, const std::string& scenario) {
  const fs::path golden = goldenFolder(scenario);
  const char* update = std::getenv("BREVOX_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    fs::remove_all(golden);
    fs::create_directories(golden);
    for (const std::string& name : fileNames(folder)) fs::copy_file(folder / name, golden / name);
    return "";
  }
  if (!fs::is_directory(golden)) return "no golden folder " + golden.string();
  return compareFolders(folder, golden);
}

std::string compareFolders(const fs::path& folder, const fs::path& golden) {
  std::ostringstream differences;
  // The manifest records the times of the files: the tests of the folder's runs read it.
  std::vector<std::string> actual = fileNames(folder);
  std::vector<std::string> expected = fileNames(golden);
  for (std::vector<std::string>* names : {&actual, &expected}) {
    names->erase(std::remove(names->begin(), names->end(), ".brevox-manifest"), names->end());
  }
  for (const std::string& name : expected) {
    if (std::find(actual.begin(), actual.end(), name) == actual.end()) {
      differences << "missing file " << name << '\n';
    } else if (readFile(folder / name) != readFile(golden / name)) {
      differences << "file " << name << " differs from " << (golden / name).string() << '\n';
    }
  }
  for (const std::string& name : actual) {
    if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
      differences << "extra file " << name << '\n';
    }
  }
  return differences.str();
}

}  // namespace brevox::tests
