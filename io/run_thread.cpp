#include "io/run_thread.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace brevox {

namespace {

// Enough for the crash handler's few calls and the signal frame the kernel puts below them.
constexpr std::size_t kCrashStackBytes = 64 * 1024;

// The most workers the process has run at once: their stacks and arenas stay for the next ones.
unsigned workersBefore = 0;

void* runWork(void* argument) noexcept {
  const auto& work = *static_cast<const std::function<void()>*>(argument);
  // At the top of the thread's stack, far from the end that overflows.
  alignas(16) char crashStack[kCrashStackBytes];
  stack_t alternate{};
  alternate.ss_sp = crashStack;
  alternate.ss_size = sizeof crashStack;
  const bool kept = ::sigaltstack(&alternate, nullptr) == 0;
  work();
  if (kept) {
    alternate.ss_flags = SS_DISABLE;
    ::sigaltstack(&alternate, nullptr);
  }
  return nullptr;
}

// Reads the bytes of address space the process has mapped; false when they cannot be read.
bool mappedBytes(unsigned long long& bytes) {
  // The first number of statm: the pages the process has mapped.
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return false;
  unsigned long long pages = 0;
  const bool read = std::fscanf(statm, "%llu", &pages) == 1;
  std::fclose(statm);
  bytes = pages * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
  return read;
}

// How many of `wanted` workers the limit on the address space leaves room for.
unsigned workersWithRoom(unsigned wanted) {
  struct rlimit limit {};
  unsigned long long mapped = 0;
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      !mappedBytes(mapped)) {
    return wanted;
  }
  const unsigned long long taken = mapped + kRoomKeptForTheRun;
  const unsigned long long each = kWorkerStackBytes + kCrashStackBytes + kArenaBytes;
  const unsigned long long room = limit.rlim_cur > taken ? (limit.rlim_cur - taken) / each : 0;
  return static_cast<unsigned>(std::min<unsigned long long>(wanted, workersBefore + room));
}

}  // namespace

std::optional<unsigned long long> addressSpaceLeft() {
  struct rlimit limit {};
  unsigned long long mapped = 0;
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      !mappedBytes(mapped)) {
    return std::nullopt;
  }
  return limit.rlim_cur > mapped ? limit.rlim_cur - mapped : 0;
}

bool startRunThread(RunThread& thread, const std::function<void()>& work, std::size_t stackBytes) {
  thread.started = false;
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) != 0) return false;
  if (::pthread_attr_setstacksize(&attributes, stackBytes + kCrashStackBytes) == 0) {
    thread.started = ::pthread_create(&thread.handle, &attributes, runWork,
                                      const_cast<std::function<void()>*>(&work)) == 0;
  }
  ::pthread_attr_destroy(&attributes);
  return thread.started;
}

unsigned startWorkers(std::vector<RunThread>& workers, unsigned wanted,
                      const std::function<void()>& work) {
  const unsigned allowed = workersWithRoom(wanted);
  workers.resize(allowed);
  unsigned started = 0;
  while (started < allowed && startRunThread(workers[started], work, kWorkerStackBytes)) {
    ++started;
  }
  workersBefore = std::max(workersBefore, started);
  return started;
}

void widenLibraryThreadStacks() {
  pthread_attr_t attributes;
  if (::pthread_getattr_default_np(&attributes) != 0) return;
  std::size_t stackBytes = 0;
  if (::pthread_attr_getstacksize(&attributes, &stackBytes) == 0 &&
      stackBytes < kWorkerStackBytes &&
      ::pthread_attr_setstacksize(&attributes, kWorkerStackBytes) == 0) {
    // Where it fails, the libraries' threads keep the stack they would have had.
    static_cast<void>(::pthread_setattr_default_np(&attributes));
  }
  ::pthread_attr_destroy(&attributes);
}

bool runOnAStackOfItsOwn(const std::function<void()>& work) {
  // Under a limit on the address space the thread's stack and arena would take what the run
  // needs: where they do not leave room, the run stays where it is.
  const std::optional<unsigned long long> left = addressSpaceLeft();
  if (left && *left < kWorkerStackBytes + kCrashStackBytes + kArenaBytes + kRoomKeptForTheRun) {
    return false;
  }
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  if (::pthread_sigmask(SIG_BLOCK, &all, &before) != 0) return false;
  const std::function<void()> withTheMaskBefore = [&] {
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    work();
  };
  RunThread thread;
  if (!startRunThread(thread, withTheMaskBefore, kWorkerStackBytes)) {
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return false;
  }
  joinRunThread(thread);
  return true;
}

void joinRunThread(RunThread& thread) {
  if (!thread.started) return;
  ::pthread_join(thread.handle, nullptr);
  thread.started = false;
}

}  // namespace brevox
