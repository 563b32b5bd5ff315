#include "io/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace brevox {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

// The output folder of the run: its descriptor (AT_FDCWD: the working directory), what messages
// show before the names of its files, and its path when the run made it.
struct OutputFolder {
  int descriptor = AT_FDCWD;
  std::string shownPrefix;
  std::string madePath;
};
OutputFolder outputFolder;

// The files renamed into place since the run began, in the order in which they were closed.
std::mutex writtenMutex;
std::vector<WrittenFile> writtenFiles;

// Numbers the temporary files of the process, whichever thread writes them.
std::atomic<std::uint64_t> temporaryCounter{0};

constexpr std::uint64_t kTemporaryNumbers = 10000000000ULL;

// A temporary name in the folder of `name`, so that the rename stays on one file system. Its
// length does not depend on the final name, which may already be as long as a name can be.
std::string temporaryNameFor(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
  char leaf[64];
  std::snprintf(leaf, sizeof leaf, ".brevox-%010ld-%010llu.tmp", static_cast<long>(::getpid()),
                static_cast<unsigned long long>(temporaryCounter.fetch_add(1) % kTemporaryNumbers));
  return folder + leaf;
}

// A number drawn at random among the temporary numbers, or from the clock where the system gives
// no random bytes.
std::uint64_t randomNumber() {
  std::uint64_t number = 0;
  if (::getrandom(&number, sizeof number, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof number)) {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    number = static_cast<std::uint64_t>(now.tv_nsec) * 2654435761ULL +
             static_cast<std::uint64_t>(now.tv_sec);
  }
  return number % kTemporaryNumbers;
}

// What stands in the way of writing a file under `name`, as an errno value (0: nothing). The name
// is looked at, never opened: a pipe would stall the run, and a device or a symbolic link would
// take the contents elsewhere. The rename replaces any of them.
int finalNameFault(const std::string& name) {
  struct stat status {};
  if (::fstatat(outputFolder.descriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? 0 : errno;
  }
  if (S_ISDIR(status.st_mode)) return EISDIR;
  if (!S_ISREG(status.st_mode)) return 0;
  // A file the user may not write keeps its contents, as it would if it were opened in place.
  return ::faccessat(outputFolder.descriptor, name.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

int createTemporaryFile(OutputFile& file) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    file.temporaryName = temporaryNameFor(file.name);
    const int descriptor = createRemovableFile(file.temporaryName, file.removal);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
    // Taken, as by the files that a killed run of the same process id (always 1 in a container)
    // left number after number: the numbers go on from one far away.
    temporaryCounter.fetch_add(randomNumber());
  }
  errno = EEXIST;
  return -1;
}

FileStamp stampOf(const struct stat& status) {
  FileStamp stamp;
  stamp.size = static_cast<std::uint64_t>(status.st_size);
  stamp.seconds = static_cast<std::int64_t>(status.st_mtim.tv_sec);
  stamp.nanoseconds = static_cast<std::int64_t>(status.st_mtim.tv_nsec);
  stamp.device = static_cast<std::uint64_t>(status.st_dev);
  stamp.inode = static_cast<std::uint64_t>(status.st_ino);
  return stamp;
}

void forget(OutputFile& file) {
  file.descriptor = -1;
  file.temporaryName.clear();
  releaseRemovableFile(file.removal);
  file.removal = nullptr;
}

// The descriptors the process holds, or nothing when they cannot be listed.
std::optional<std::size_t> openDescriptors() {
  DIR* folder = ::opendir("/proc/self/fd");
  if (folder == nullptr) return std::nullopt;
  std::size_t count = 0;
  while (const struct dirent* entry = ::readdir(folder)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(folder);
  // The listing's own descriptor is among them.
  return count > 0 ? count - 1 : 0;
}

}  // namespace

std::string systemReason(int error) { return std::generic_category().message(error); }

Outcome openOutputFolder(const std::string& path, const std::string& shownPath, bool& made) {
  made = ::mkdir(path.c_str(), 0777) == 0;
  if (!made && errno != EEXIST) {
    const int error = errno;
    return Failure{
        "Failed to make the output folder " + shownPath,
        systemReason(error) + (error == ENOENT ? " (the folder that holds it must exist)" : "")};
  }
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) {
    const int error = errno;
    if (made) ::rmdir(path.c_str());
    made = false;
    return Failure{"Failed to open the output folder " + shownPath, systemReason(error)};
  }
  closeOutputFolder(false);
  outputFolder.descriptor = descriptor;
  outputFolder.shownPrefix = shownPath.back() == '/' ? shownPath : shownPath + "/";
  outputFolder.madePath = made ? path : "";
  setRemovalFolder(descriptor);
  return std::nullopt;
}

void closeOutputFolder(bool removeIfEmpty) {
  if (outputFolder.descriptor == AT_FDCWD) return;
  setRemovalFolder(AT_FDCWD);
  ::close(outputFolder.descriptor);
  // Removed only when empty: a folder that holds anything is not the run's to take away.
  if (removeIfEmpty && !outputFolder.madePath.empty()) ::rmdir(outputFolder.madePath.c_str());
  outputFolder = OutputFolder{};
}

int outputFolderDescriptor() { return outputFolder.descriptor; }

std::string shownOutputName(const std::string& name) { return outputFolder.shownPrefix + name; }

std::optional<FileStamp> outputFileStamp(const std::string& name) {
  struct stat status {};
  if (::fstatat(outputFolder.descriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  return stampOf(status);
}

std::optional<FileStamp> pathStamp(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return stampOf(status);
}

std::optional<std::uint64_t> outputFolderFreeBytes() {
  struct statvfs system {};
  const int result = outputFolder.descriptor == AT_FDCWD
                         ? ::statvfs(".", &system)
                         : ::fstatvfs(outputFolder.descriptor, &system);
  if (result != 0) return std::nullopt;
  return static_cast<std::uint64_t>(system.f_bavail) * system.f_frsize;
}

void openClosedStandardDescriptors() {
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is the closed one: those below it are open by now.
    const int opened = ::open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != descriptor) ::close(opened);
  }
}

std::vector<WrittenFile> takeWrittenFiles() {
  const std::lock_guard<std::mutex> guard(writtenMutex);
  std::vector<WrittenFile> files;
  files.swap(writtenFiles);
  return files;
}

std::size_t descriptorsToSpare() {
  constexpr std::size_t kPlenty = std::size_t{1} << 30;
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur >= kPlenty) {
    return kPlenty;
  }
  std::optional<std::size_t> open = openDescriptors();
  if (!open) {
    // Without /proc: each low descriptor number is asked whether it is open; processes seldom
    // hold higher ones.
    open = 0;
    const rlim_t probed = std::min<rlim_t>(limit.rlim_cur, 65536);
    for (rlim_t descriptor = 0; descriptor < probed; ++descriptor) {
      if (::fcntl(static_cast<int>(descriptor), F_GETFD) != -1) ++*open;
    }
  }
  const auto allowed = static_cast<std::size_t>(limit.rlim_cur);
  return allowed > *open ? allowed - *open : 0;
}

OutputFile::OutputFile() : stream(&buffer) {}

OutputFile::~OutputFile() { discardOutputFile(*this); }

Outcome openOutputFile(OutputFile& file, const std::string& name, const char* suffix) {
  discardOutputFile(file);
  file.name = name;
  int fault = finalNameFault(name);
  // The temporary file is named where no name could be found for it: the final name is free.
  std::string temporary;
  if (fault == 0) {
    file.descriptor = createTemporaryFile(file);
    if (file.descriptor < 0) {
      fault = errno;
      if (fault == EEXIST) {
        temporary = " (every temporary name tried was taken, the last " +
                    shownOutputName(file.temporaryName) + ")";
      }
    }
  }
  if (fault != 0) {
    forget(file);
    stopIfInterrupted();
    return Failure{"Failed to open file " + shownOutputName(name) + suffix,
                   systemReason(fault) + temporary};
  }
  file.buffer.attach(file.descriptor, kBufferSize, false);
  file.stream.clear();
  return std::nullopt;
}

Outcome closeOutputFile(OutputFile& file) {
  if (file.descriptor < 0) return Failure{};
  file.buffer.detach();
  int fault = file.buffer.error();
  // Linux has closed the descriptor even when close reports an interruption.
  if (::close(file.descriptor) != 0 && errno != EINTR && fault == 0) fault = errno;
  const int folder = outputFolder.descriptor;
  if (fault == 0 &&
      ::renameat(folder, file.temporaryName.c_str(), folder, file.name.c_str()) != 0) {
    fault = errno;
  }
  if (fault != 0) ::unlinkat(folder, file.temporaryName.c_str(), 0);
  const std::string name = file.name;
  forget(file);
  if (fault == 0) {
    WrittenFile written{name, outputFileStamp(name).value_or(FileStamp{})};
    const std::lock_guard<std::mutex> guard(writtenMutex);
    writtenFiles.push_back(std::move(written));
    return std::nullopt;
  }
  stopIfInterrupted();
  return Failure{"Failed to write file " + shownOutputName(name), systemReason(fault)};
}

void discardOutputFile(OutputFile& file) {
  if (file.descriptor < 0) return;
  file.buffer.abandon();
  ::close(file.descriptor);
  ::unlinkat(outputFolder.descriptor, file.temporaryName.c_str(), 0);
  forget(file);
}

Outcome writeFile(const std::string& name, const std::function<void(std::ostream&)>& writer,
                  const char* openSuffix) {
  OutputFile file;
  if (Outcome failed = openOutputFile(file, name, openSuffix)) return failed;
  writer(file.stream);
  return closeOutputFile(file);
}

InputFile::InputFile() : stream(&buffer) {}

InputFile::~InputFile() {
  buffer.abandon();
  if (descriptor >= 0) ::close(descriptor);
}

Outcome openInputFile(InputFile& file, const std::string& path, const char* suffix) {
  int fault = 0;
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    fault = errno;
  } else {
    // A folder opens for reading on Linux but holds no data.
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
      fault = errno;
    } else if (S_ISDIR(status.st_mode)) {
      fault = EISDIR;
    }
    if (fault != 0) ::close(descriptor);
  }
  if (fault != 0) {
    return Failure{"Failed to open file " + path + suffix, systemReason(fault)};
  }
  file.descriptor = descriptor;
  file.buffer.attach(descriptor, kBufferSize, true);
  file.stream.clear();
  return std::nullopt;
}

bool openOutputFolderFile(InputFile& file, const std::string& name) {
  const int descriptor = ::openat(outputFolder.descriptor, name.c_str(),
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(descriptor);
    return false;
  }
  file.descriptor = descriptor;
  file.buffer.attach(descriptor, kBufferSize, true);
  file.stream.clear();
  return true;
}

}  // namespace brevox
