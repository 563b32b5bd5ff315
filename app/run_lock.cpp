#include "app/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "io/interrupt.h"

namespace brevox {

namespace {

bool sameFile(const struct stat& left, const struct stat& right) {
  return left.st_dev == right.st_dev && left.st_ino == right.st_ino;
}

}  // namespace

// SIGINT and SIGTERM wait while the lock changes hands, so that an interrupted run neither leaves
// its lock file behind nor removes one that another run has just made.
LockOutcome takeRunLock(RunLock& lock) {
  sigset_t previous;
  holdInterrupts(previous);
  LockOutcome outcome = LockOutcome::unavailable;
  // A run that lets the lock go removes the file first; whoever locked the removed file tries
  // again on the one that stands there now.
  for (int attempt = 0; attempt < 100; ++attempt) {
    int descriptor = ::open(kRunLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // Another user's lock file can still be locked through a descriptor for reading.
    if (descriptor < 0 && errno == EACCES) descriptor = ::open(kRunLockFile, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) break;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) outcome = LockOutcome::heldByAnotherRun;
      ::close(descriptor);
      break;
    }
    struct stat locked {};
    struct stat named {};
    if (::fstat(descriptor, &locked) == 0 && ::stat(kRunLockFile, &named) == 0 &&
        sameFile(locked, named)) {
      lock.descriptor = descriptor;
      setLockFileToRemove(kRunLockFile);
      outcome = LockOutcome::taken;
      break;
    }
    ::close(descriptor);
  }
  resumeInterrupts(previous);
  return outcome;
}

void releaseRunLock(RunLock& lock) {
  if (lock.descriptor < 0) return;
  sigset_t previous;
  holdInterrupts(previous);
  setLockFileToRemove(nullptr);
  // Removed while still locked: a run that opened it meanwhile finds it gone and makes another.
  ::unlink(kRunLockFile);
  ::close(lock.descriptor);
  lock.descriptor = -1;
  resumeInterrupts(previous);
}

}  // namespace brevox
