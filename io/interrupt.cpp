#include "io/interrupt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

namespace brevox {

// The handler reads these at any moment, from any thread, so they change hands through lock-free
// atomics only, and a record once published is never freed or unlinked.
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<const char*>::is_always_lock_free);
static_assert(std::atomic<RemovalRecord*>::is_always_lock_free);

namespace {

// A record is free, claimed by a thread that is filling in its path, active (the handler removes
// its file), or taken by the handler, which then owns it until the process ends.
enum RecordState : int { kFree, kClaimed, kActive, kTaken };

}  // namespace

struct RemovalRecord {
  std::atomic<int> state{kClaimed};
  // True while the owner may still be creating the file, so that the handler does not remove the
  // name before the file appears.
  std::atomic<bool> creating{false};
  // Written only by the thread that holds the record claimed; the handler reads it only once it
  // has taken an active record.
  std::unique_ptr<char[]> path;
  std::size_t capacity = 0;
  // Set before the record is published, never changed after.
  RemovalRecord* next = nullptr;
};

namespace {

// Every record ever made, newest first. The list is as long as the most files that were waiting
// for removal at once: a criterion's tables and graphs and one report per thread.
std::atomic<RemovalRecord*> removalRecords{nullptr};

std::atomic<bool> interrupted{false};
std::atomic<const char*> lockFile{nullptr};

// The record whose file this thread is creating: the handler must not wait for its own thread.
thread_local RemovalRecord* recordCreatedHere = nullptr;

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr std::size_t kCaughtCount = sizeof kCaught / sizeof kCaught[0];
struct sigaction previousActions[kCaughtCount];
bool installed[kCaughtCount] = {};
struct sigaction previousPipeAction;
bool pipeIgnored = false;

void writeToStandardError(const char* text) {
  if (text == nullptr) return;
  if (::write(STDERR_FILENO, text, std::strlen(text)) < 0) {
    // Nothing more can be said.
  }
}

// Removes the run's temporary files, then its lock file, says why on standard error and ends the
// process. Async-signal-safe: atomics, unlink, write and _exit only.
[[noreturn]] void endTheRun(const char* message, const char* detail, const char* lineEnd) {
  for (RemovalRecord* record = removalRecords.load(); record != nullptr; record = record->next) {
    int expected = kActive;
    if (!record->state.compare_exchange_strong(expected, kTaken)) continue;
    // Another thread may be inside its open: its file exists once that returns.
    if (record != recordCreatedHere) {
      while (record->creating.load()) {
      }
    }
    ::unlink(record->path.get());
  }
  // The lock goes last, so that no other run starts while temporary files remain.
  if (const char* lock = lockFile.load()) ::unlink(lock);
  writeToStandardError(message);
  writeToStandardError(detail);
  writeToStandardError(lineEnd);
  ::_exit(255);
}

void onInterrupt(int) {
  // A second signal, on another thread, leaves the ending of the run to the first.
  if (interrupted.exchange(true)) return;
  endTheRun(kInterruptedMessage, nullptr, nullptr);
}

// A free record, or a new one, claimed by this thread.
RemovalRecord* claimRecord() {
  for (RemovalRecord* record = removalRecords.load(); record != nullptr; record = record->next) {
    int expected = kFree;
    if (record->state.load() == kFree &&
        record->state.compare_exchange_strong(expected, kClaimed)) {
      return record;
    }
  }
  auto made = std::make_unique<RemovalRecord>();
  RemovalRecord* record = made.get();
  record->next = removalRecords.load();
  while (!removalRecords.compare_exchange_weak(record->next, record)) {
  }
  made.release();
  return record;
}

}  // namespace

void catchInterrupts() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : kCaught) sigaddset(&action.sa_mask, signal);
  // A second signal on another thread returns to its work, which the first one soon ends.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kCaughtCount; ++i) {
    if (installed[i] || sigaction(kCaught[i], nullptr, &previousActions[i]) != 0) continue;
    if (previousActions[i].sa_handler == SIG_IGN) continue;
    installed[i] = sigaction(kCaught[i], &action, nullptr) == 0;
  }
  if (!pipeIgnored) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    pipeIgnored = sigaction(SIGPIPE, &ignore, &previousPipeAction) == 0;
  }
}

void releaseInterrupts() {
  for (std::size_t i = 0; i < kCaughtCount; ++i) {
    if (installed[i]) sigaction(kCaught[i], &previousActions[i], nullptr);
    installed[i] = false;
  }
  if (pipeIgnored) sigaction(SIGPIPE, &previousPipeAction, nullptr);
  pipeIgnored = false;
}

void holdInterrupts(sigset_t& previous) {
  sigset_t held;
  sigemptyset(&held);
  for (const int signal : kCaught) sigaddset(&held, signal);
  pthread_sigmask(SIG_BLOCK, &held, &previous);
}

void resumeInterrupts(const sigset_t& previous) {
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void holdInterruptsToTheEnd() {
  sigset_t previous;
  holdInterrupts(previous);
  // Nor does SIGPIPE, from a closed pipe or sent to the process: held rather than ignored, since
  // releaseInterrupts gives it back the handling it had before the run.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

int createRemovableFile(const std::string& path, RemovalRecord*& record) {
  RemovalRecord* claimed = claimRecord();
  if (claimed->capacity < path.size() + 1) {
    // Nobody else reads the path of a claimed record.
    try {
      claimed->path.reset(new char[path.size() + 1]);
    } catch (...) {
      claimed->state.store(kFree);
      throw;
    }
    claimed->capacity = path.size() + 1;
  }
  std::memcpy(claimed->path.get(), path.c_str(), path.size() + 1);
  recordCreatedHere = claimed;
  claimed->creating.store(true);
  claimed->state.store(kActive);
  // The handler is ending the run on another thread and may have passed this record already: a
  // file made now would outlive the run. It may also be waiting for this record's creation, which
  // will never come.
  if (interrupted.load()) {
    claimed->creating.store(false);
    stopIfInterrupted();
  }
  const int descriptor =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  const int error = errno;
  claimed->creating.store(false);
  recordCreatedHere = nullptr;
  if (descriptor < 0) {
    releaseRemovableFile(claimed);
    errno = error;
    return -1;
  }
  record = claimed;
  return descriptor;
}

void releaseRemovableFile(RemovalRecord* record) {
  if (record == nullptr) return;
  // A record the handler has taken stays its own: the process is ending.
  int expected = kActive;
  record->state.compare_exchange_strong(expected, kFree);
}

void stopIfInterrupted() {
  if (!interrupted.load()) return;
  for (;;) ::pause();
}

void endRunNow(const char* message, const char* detail) {
  // No interrupt may begin the same ending on this thread meanwhile; one that began it on another
  // thread finishes it.
  holdInterruptsToTheEnd();
  if (interrupted.exchange(true)) {
    for (;;) ::pause();
  }
  endTheRun(message, detail, "\n");
}

void setLockFileToRemove(const char* path) { lockFile.store(path); }

}  // namespace brevox
