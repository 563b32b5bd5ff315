#include "io/interrupt.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>

#include "io/run_thread.h"

namespace brevox {

// A crash reads these at any moment, from any thread, so they change hands through lock-free
// atomics only, and a record once published is never freed or unlinked.
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<const char*>::is_always_lock_free);
static_assert(std::atomic<RemovalRecord*>::is_always_lock_free);

namespace {

// A record is free, claimed by a thread that is filling in its path, active (an interrupt or a
// crash removes its file), or taken by one of them, which then owns it until the process ends.
enum RecordState : int { kFree, kClaimed, kActive, kTaken };

}  // namespace

struct RemovalRecord {
  std::atomic<int> state{kClaimed};
  // Written only by the thread that holds the record claimed; read only once taken.
  std::unique_ptr<char[]> path;
  std::size_t capacity = 0;
  // Set before the record is published, never changed after.
  RemovalRecord* next = nullptr;
};

namespace {

// Every record ever made, newest first. The list is as long as the most files that were waiting
// for removal at once: a criterion's tables and graphs and one report per thread.
std::atomic<RemovalRecord*> removalRecords{nullptr};
std::atomic<const char*> lockFile{nullptr};
// The folder in which they are named.
std::atomic<int> removalFolder{AT_FDCWD};

// Held while a file is created and while the lock changes hands; the ending of a run takes it and
// never gives it back, so that it neither misses a file being made nor cuts a step in half.
std::mutex ending;
// Set by the ending of the run, before it removes anything.
std::atomic<bool> interrupted{false};
// Under `ending`: the run is over, and an interrupt changes nothing.
bool heldToTheEnd = false;

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCrashes[] = {SIGSEGV, SIGBUS, SIGFPE, SIGABRT};
constexpr int kIgnored[] = {SIGPIPE, SIGXFSZ};
constexpr std::size_t kInterruptCount = sizeof kInterrupts / sizeof kInterrupts[0];
constexpr std::size_t kCrashCount = sizeof kCrashes / sizeof kCrashes[0];
constexpr std::size_t kIgnoredCount = sizeof kIgnored / sizeof kIgnored[0];

// What catchInterrupts changed, for releaseInterrupts to give back.
struct Caught {
  sigset_t interrupts;  // those not ignored when the run began
  int first = 0;        // one of them, 0 for none
  struct sigaction interruptsBefore[kInterruptCount];
  sigset_t maskBefore;   // of the thread that began the run
  RunThread taker;       // the thread that takes them
  bool handled = false;  // no taker could start: a handler takes them
  struct sigaction ignoredBefore[kIgnoredCount];
  bool ignoredChanged[kIgnoredCount] = {};
  struct sigaction crashesBefore[kCrashCount];
  bool crashesChanged[kCrashCount] = {};
  stack_t crashStackBefore{};
  bool crashStackChanged = false;
} caught;

// The mask that an InterruptHold replaced, under `ending`.
sigset_t maskBeforeHold;

// Set by releaseInterrupts before it wakes the taker with a signal of the process's own.
std::atomic<bool> stopTaking{false};

// The stack of the crash handler on the thread that runs the whole process, whose own stack may be
// as small as `ulimit -s` makes it.
alignas(16) char mainCrashStack[64 * 1024];

void writeToStandardError(const char* text) {
  if (text == nullptr) return;
  if (::write(STDERR_FILENO, text, std::strlen(text)) < 0) {
    // Nothing more can be said.
  }
}

// Removes the run's temporary files, then its lock file. Async-signal-safe: atomics and unlinkat.
void removeWhatTheRunLeaves() {
  const int folder = removalFolder.load();
  for (RemovalRecord* record = removalRecords.load(); record != nullptr; record = record->next) {
    int expected = kActive;
    if (record->state.compare_exchange_strong(expected, kTaken)) {
      ::unlinkat(folder, record->path.get(), 0);
    }
  }
  // The lock goes last, so that no other run starts while temporary files remain.
  if (const char* lock = lockFile.load()) ::unlinkat(folder, lock, 0);
}

// Ends the run for whoever holds `ending`, or for the handler where no taker could start: the
// files removed, why said, the process ended.
[[noreturn]] void endTheRun(const char* message, const char* detail, const char* lineEnd) {
  interrupted.store(true);
  removeWhatTheRunLeaves();
  writeToStandardError(message);
  writeToStandardError(detail);
  writeToStandardError(lineEnd);
  ::_exit(255);
}

// The taker: waits for an interrupt and ends the run with it, unless the run is over.
void takeInterrupts() {
  for (;;) {
    siginfo_t info{};
    if (::sigwaitinfo(&caught.interrupts, &info) < 0) continue;
    // The stop comes from this process, which sends itself no other of these signals.
    if (stopTaking.load() && info.si_pid == ::getpid()) return;
    ending.lock();
    if (!heldToTheEnd) endTheRun(kInterruptedMessage, nullptr, nullptr);
    ending.unlock();
  }
}

const std::function<void()> takingInterrupts = takeInterrupts;

// Where no taker could start: a file that another thread creates at this very moment may stay.
void onInterrupt(int) {
  // A second signal, on another thread, leaves the ending of the run to the first.
  if (interrupted.exchange(true)) return;
  endTheRun(kInterruptedMessage, nullptr, nullptr);
}

void onCrash(int signal) {
  removeWhatTheRunLeaves();
  // With its default action back, the signal raised again ends the process as soon as this
  // handler returns; a fault comes back at once.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  ::sigaction(signal, &byDefault, nullptr);
  ::raise(signal);
}

void setHandler(int signal, void (*handler)(int), int flags, struct sigaction* before,
                bool& changed) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  changed = ::sigaction(signal, &action, before) == 0;
}

void catchCrashes() {
  stack_t crashStack{};
  crashStack.ss_sp = mainCrashStack;
  crashStack.ss_size = sizeof mainCrashStack;
  caught.crashStackChanged = ::sigaltstack(&crashStack, &caught.crashStackBefore) == 0;
  for (std::size_t i = 0; i < kCrashCount; ++i) {
    setHandler(kCrashes[i], onCrash, SA_ONSTACK, &caught.crashesBefore[i],
               caught.crashesChanged[i]);
  }
}

void releaseCrashes() {
  for (std::size_t i = 0; i < kCrashCount; ++i) {
    if (caught.crashesChanged[i]) ::sigaction(kCrashes[i], &caught.crashesBefore[i], nullptr);
    caught.crashesChanged[i] = false;
  }
  if (caught.crashStackChanged) ::sigaltstack(&caught.crashStackBefore, nullptr);
  caught.crashStackChanged = false;
}

// Starts the taker of the interrupts, held back from this thread and every thread it starts; where
// none can start, a handler takes them on whichever thread they reach.
void takeInterruptsAway() {
  pthread_sigmask(SIG_BLOCK, &caught.interrupts, &caught.maskBefore);
  if (caught.first == 0) return;
  constexpr std::size_t kTakerStack = 256 * 1024;
  if (startRunThread(caught.taker, takingInterrupts, kTakerStack)) return;
  caught.handled = true;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  action.sa_mask = caught.interrupts;
  action.sa_flags = SA_RESTART;
  for (const int signal : kInterrupts) {
    if (sigismember(&caught.interrupts, signal) == 1) ::sigaction(signal, &action, nullptr);
  }
  pthread_sigmask(SIG_SETMASK, &caught.maskBefore, nullptr);
}

}  // namespace

void catchInterrupts(bool wholeProcess) {
  sigemptyset(&caught.interrupts);
  caught.first = 0;
  for (std::size_t i = 0; i < kInterruptCount; ++i) {
    struct sigaction& before = caught.interruptsBefore[i];
    if (::sigaction(kInterrupts[i], nullptr, &before) != 0 || before.sa_handler == SIG_IGN) {
      continue;
    }
    sigaddset(&caught.interrupts, kInterrupts[i]);
    if (caught.first == 0) caught.first = kInterrupts[i];
  }
  for (std::size_t i = 0; i < kIgnoredCount; ++i) {
    setHandler(kIgnored[i], SIG_IGN, 0, &caught.ignoredBefore[i], caught.ignoredChanged[i]);
  }
  if (wholeProcess) catchCrashes();
  takeInterruptsAway();
}

void releaseInterrupts() {
  if (caught.taker.started) {
    stopTaking.store(true);
    pthread_kill(caught.taker.handle, caught.first);
    joinRunThread(caught.taker);
    stopTaking.store(false);
  }
  if (caught.handled) {
    for (std::size_t i = 0; i < kInterruptCount; ++i) {
      if (sigismember(&caught.interrupts, kInterrupts[i]) == 1) {
        ::sigaction(kInterrupts[i], &caught.interruptsBefore[i], nullptr);
      }
    }
    caught.handled = false;
  }
  for (std::size_t i = 0; i < kIgnoredCount; ++i) {
    if (caught.ignoredChanged[i]) ::sigaction(kIgnored[i], &caught.ignoredBefore[i], nullptr);
    caught.ignoredChanged[i] = false;
  }
  releaseCrashes();
  const std::lock_guard<std::mutex> hold(ending);
  if (!heldToTheEnd) pthread_sigmask(SIG_SETMASK, &caught.maskBefore, nullptr);
  heldToTheEnd = false;
  sigemptyset(&caught.interrupts);
  caught.first = 0;
}

InterruptHold::InterruptHold() {
  ending.lock();
  // Where a handler takes the interrupts, they are held back from this thread too.
  pthread_sigmask(SIG_BLOCK, &caught.interrupts, &maskBeforeHold);
}

InterruptHold::~InterruptHold() {
  pthread_sigmask(SIG_SETMASK, &maskBeforeHold, nullptr);
  ending.unlock();
}

void holdInterruptsToTheEnd() {
  const std::lock_guard<std::mutex> hold(ending);
  heldToTheEnd = true;
  // Nor does SIGPIPE (a closed pipe, or one sent to the process) or SIGXFSZ: held rather than
  // ignored, since releaseInterrupts gives them back the handling they had before the run.
  sigset_t held = caught.interrupts;
  for (const int signal : kIgnored) sigaddset(&held, signal);
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

namespace {

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

int createRemovableFile(const std::string& path, RemovalRecord*& record) {
  RemovalRecord* claimed = nullptr;
  int descriptor = -1;
  int error = 0;
  {
    // The ending of the run waits for the file to exist, or has begun and the file is never made.
    const std::lock_guard<std::mutex> creating(ending);
    claimed = claimRecord();
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
    claimed->state.store(kActive);
    descriptor = ::openat(removalFolder.load(), path.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    error = errno;
  }
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
  // A record that the ending of the run has taken stays its own: the process is ending.
  int expected = kActive;
  record->state.compare_exchange_strong(expected, kFree);
}

void stopIfInterrupted() {
  if (!interrupted.load()) return;
  for (;;) ::pause();
}

void endRunNow(const char* message, const char* detail) {
  // Never given back: an ending begun on another thread waits here for the end of the process.
  ending.lock();
  // A handler that took an interrupt on another thread finishes what it began.
  if (interrupted.exchange(true)) {
    for (;;) ::pause();
  }
  endTheRun(message, detail, "\n");
}

void setLockFileToRemove(const char* path) { lockFile.store(path); }

void setRemovalFolder(int descriptor) { removalFolder.store(descriptor); }

}  // namespace brevox
