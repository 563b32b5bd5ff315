#include "app/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include "io/interrupt.h"
#include "io/output_file.h"

namespace brevox {

namespace {

bool sameFile(const struct stat& left, const struct stat& right) {
  return left.st_dev == right.st_dev && left.st_ino == right.st_ino;
}

// What stands under the lock file's name and may not be opened there, or an empty text.
std::string unfitLockFile(const struct stat& status) {
  if (S_ISLNK(status.st_mode)) return "it is a symbolic link";
  if (S_ISDIR(status.st_mode)) return systemReason(EISDIR);
  if (!S_ISREG(status.st_mode)) return "it is not a regular file";
  return "";
}

// Opens the lock file, making it when it is missing. Without blocking: a pipe put there in the
// meantime must not stall the run. Returns -1 with errno set on failure.
int openLockFile() {
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  const int folder = outputFolderDescriptor();
  const int descriptor = ::openat(folder, kRunLockFile, O_RDWR | O_CREAT | kFlags, 0666);
  if (descriptor >= 0 || errno != EACCES) return descriptor;
  // Another user's lock file can still be locked through a descriptor for reading.
  const int readable = ::openat(folder, kRunLockFile, O_RDONLY | kFlags);
  if (readable < 0) errno = EACCES;
  return readable;
}

// The lock's name as it stands in the output folder, never through a symbolic link.
int statLockFile(struct stat& status) {
  return ::fstatat(outputFolderDescriptor(), kRunLockFile, &status, AT_SYMLINK_NOFOLLOW);
}

Failure refused(const std::string& fault, const std::string& shownFolder) {
  return Failure{std::string("Failed to lock this folder with ") + kRunLockFile + " (" + fault +
                     "): this run wrote nothing in " + shownFolder +
                     ": write into another folder with --output DIR",
                 ""};
}

// One attempt at the lock: taken (no failure), refused, or nothing when the file was replaced
// meanwhile: try again.
std::optional<Outcome> tryRunLock(RunLock& lock, const std::string& shownFolder) {
  auto refuse = [&shownFolder](const std::string& fault) { return refused(fault, shownFolder); };
  struct stat named {};
  if (statLockFile(named) == 0) {
    const std::string unfit = unfitLockFile(named);
    if (!unfit.empty()) return refuse(unfit);
  } else if (errno != ENOENT) {
    return refuse(systemReason(errno));
  }
  const int descriptor = openLockFile();
  if (descriptor < 0) {
    if (errno == ENOENT) return std::nullopt;
    return refuse(errno == ELOOP ? "it is a symbolic link" : systemReason(errno));
  }
  struct stat locked {};
  const std::string unfit =
      ::fstat(descriptor, &locked) != 0 ? systemReason(errno) : unfitLockFile(locked);
  if (!unfit.empty()) {
    ::close(descriptor);
    return refuse(unfit);
  }
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(descriptor);
    if (error != EWOULDBLOCK) return refuse(systemReason(error));
    return Failure{std::string("Another run is writing in this folder (it holds ") + kRunLockFile +
                       "): this run wrote nothing",
                   ""};
  }
  // A run that lets the lock go removes the file first; whoever locked the removed file tries
  // again on the one that stands there now.
  if (statLockFile(named) != 0 || !sameFile(locked, named)) {
    ::close(descriptor);
    return std::nullopt;
  }
  lock.descriptor = descriptor;
  setLockFileToRemove(kRunLockFile);
  return Outcome{};
}

}  // namespace

// The caught signals wait while the lock changes hands, so that an interrupted run neither leaves
// its lock file behind nor removes one that another run has just made.
Outcome takeRunLock(RunLock& lock, const std::string& shownFolder) {
  const InterruptHold hold;
  std::optional<Outcome> outcome;
  for (int attempt = 0; attempt < 100 && !outcome; ++attempt) {
    outcome = tryRunLock(lock, shownFolder);
  }
  if (!outcome) return refused("it was replaced again and again", shownFolder);
  return *outcome;
}

void releaseRunLock(RunLock& lock) {
  if (lock.descriptor < 0) return;
  const InterruptHold hold;
  setLockFileToRemove(nullptr);
  // Removed while still locked: a run that opened it meanwhile finds it gone and makes another.
  ::unlinkat(outputFolderDescriptor(), kRunLockFile, 0);
  ::close(lock.descriptor);
  lock.descriptor = -1;
}

}  // namespace brevox
