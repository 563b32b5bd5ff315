#include "io/interrupt.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace brevox {

namespace {

// The handler reads these at any moment, from any thread, so they live in fixed storage and
// change hands through lock-free atomics only.
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<const char*>::is_always_lock_free);

// A slot is free, claimed by a thread that is filling in its path, active (the handler removes
// its file), or taken by the handler, which then owns it until the process ends.
enum SlotState : int { kFree, kClaimed, kActive, kTaken };

struct RemovalSlot {
  std::atomic<int> state{kFree};
  // True while the owner may still be creating the file, so that the handler does not remove the
  // name before the file appears.
  std::atomic<bool> creating{false};
  char path[PATH_MAX];
};

// A criterion keeps a few dozen files open at once, and each thread writing reports one more.
constexpr int kSlotCount = 128;
RemovalSlot removalSlots[kSlotCount];

std::atomic<bool> interrupted{false};
std::atomic<const char*> lockFile{nullptr};

// The slot whose file this thread is creating: the handler must not wait for its own thread.
thread_local int slotCreatedHere = -1;

constexpr char kInterruptedMessage[] = "The run was interrupted: its results are incomplete\n";

constexpr int kCaught[] = {SIGINT, SIGTERM};
struct sigaction previousActions[2];
bool installed[2] = {false, false};

// Async-signal-safe: atomics, unlink, write and _exit only.
void onInterrupt(int) {
  // A second signal, on another thread, leaves the ending of the run to the first.
  if (interrupted.exchange(true)) return;
  for (int i = 0; i < kSlotCount; ++i) {
    RemovalSlot& slot = removalSlots[i];
    int expected = kActive;
    if (!slot.state.compare_exchange_strong(expected, kTaken)) continue;
    // Another thread may be inside its open: its file exists once that returns.
    if (i != slotCreatedHere) {
      while (slot.creating.load()) {
      }
    }
    ::unlink(slot.path);
  }
  // The lock goes last, so that no other run starts while temporary files remain.
  if (const char* lock = lockFile.load()) ::unlink(lock);
  if (::write(STDERR_FILENO, kInterruptedMessage, sizeof kInterruptedMessage - 1) < 0) {
    // Nothing more can be said.
  }
  ::_exit(255);
}

int claimSlot() {
  for (int i = 0; i < kSlotCount; ++i) {
    int expected = kFree;
    if (removalSlots[i].state.compare_exchange_strong(expected, kClaimed)) return i;
  }
  return -1;
}

}  // namespace

void catchInterrupts() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : kCaught) sigaddset(&action.sa_mask, signal);
  // A second signal on another thread returns to its work, which the first one soon ends.
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 2; ++i) {
    if (installed[i] || sigaction(kCaught[i], nullptr, &previousActions[i]) != 0) continue;
    if (previousActions[i].sa_handler == SIG_IGN) continue;
    installed[i] = sigaction(kCaught[i], &action, nullptr) == 0;
  }
}

void releaseInterrupts() {
  for (int i = 0; i < 2; ++i) {
    if (installed[i]) sigaction(kCaught[i], &previousActions[i], nullptr);
    installed[i] = false;
  }
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
}

int createRemovableFile(const std::string& path, int& slot) {
  if (path.size() >= sizeof removalSlots[0].path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const int index = claimSlot();
  if (index < 0) {
    errno = EMFILE;
    return -1;
  }
  RemovalSlot& claimed = removalSlots[index];
  std::memcpy(claimed.path, path.c_str(), path.size() + 1);
  slotCreatedHere = index;
  claimed.creating.store(true);
  claimed.state.store(kActive);
  // The handler is ending the run on another thread and may have passed this slot already: a
  // file made now would outlive the run. It may also be waiting for this slot's creation, which
  // will never come.
  if (interrupted.load()) {
    claimed.creating.store(false);
    stopIfInterrupted();
  }
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  const int error = errno;
  claimed.creating.store(false);
  slotCreatedHere = -1;
  if (descriptor < 0) {
    releaseRemovableFile(index);
    errno = error;
    return -1;
  }
  slot = index;
  return descriptor;
}

void releaseRemovableFile(int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  // A slot the handler has taken stays its own: the process is ending.
  int expected = kActive;
  removalSlots[slot].state.compare_exchange_strong(expected, kFree);
}

void stopIfInterrupted() {
  if (!interrupted.load()) return;
  for (;;) ::pause();
}

void setLockFileToRemove(const char* path) { lockFile.store(path); }

}  // namespace brevox
