#include "io/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <system_error>

namespace brevox {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

// Numbers the temporary files of the process, whichever thread writes them.
std::atomic<std::uint64_t> temporaryCounter{0};

// A temporary name in the folder of `name`, so that the rename stays on one file system. Its
// length does not depend on the final name, which may already be as long as a name can be.
std::string temporaryNameFor(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
  char leaf[64];
  std::snprintf(leaf, sizeof leaf, ".brevox-%010ld-%010llu.tmp", static_cast<long>(::getpid()),
                static_cast<unsigned long long>(temporaryCounter.fetch_add(1) % 10000000000ULL));
  return folder + leaf;
}

// What stands in the way of writing a file under `name`, as an errno value (0: nothing). The name
// is looked at, never opened: a pipe would stall the run, and a device or a symbolic link would
// take the contents elsewhere. The rename replaces any of them.
int finalNameFault(const std::string& name) {
  struct stat status {};
  if (::lstat(name.c_str(), &status) != 0) return errno == ENOENT ? 0 : errno;
  if (S_ISDIR(status.st_mode)) return EISDIR;
  if (!S_ISREG(status.st_mode)) return 0;
  // A file the user may not write keeps its contents, as it would if it were opened in place.
  return ::faccessat(AT_FDCWD, name.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

int createTemporaryFile(OutputFile& file) {
  // A number taken by a file that an earlier process of the same id left behind: try the next.
  for (int attempt = 0; attempt < 100; ++attempt) {
    file.temporaryName = temporaryNameFor(file.name);
    const int descriptor = createRemovableFile(file.temporaryName, file.removal);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
  }
  return -1;
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
  if (fault == 0) {
    file.descriptor = createTemporaryFile(file);
    if (file.descriptor < 0) fault = errno;
  }
  if (fault != 0) {
    forget(file);
    stopIfInterrupted();
    return Failure{"Failed to open file " + name + suffix, systemReason(fault)};
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
  if (fault == 0 && ::rename(file.temporaryName.c_str(), file.name.c_str()) != 0) fault = errno;
  if (fault != 0) ::unlink(file.temporaryName.c_str());
  const std::string name = file.name;
  forget(file);
  if (fault == 0) return std::nullopt;
  stopIfInterrupted();
  return Failure{"Failed to write file " + name, systemReason(fault)};
}

void discardOutputFile(OutputFile& file) {
  if (file.descriptor < 0) return;
  file.buffer.abandon();
  ::close(file.descriptor);
  ::unlink(file.temporaryName.c_str());
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

}  // namespace brevox
