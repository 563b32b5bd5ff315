#include "io/run_thread.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace brevox {

namespace {

// Enough for the crash handler's few calls and the signal frame the kernel puts below them.
constexpr std::size_t kCrashStackBytes = 64 * 1024;

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

}  // namespace

bool roomForAWorker() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return true;
  // The first number of statm: the pages the process has mapped.
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return true;
  unsigned long long pages = 0;
  const bool read = std::fscanf(statm, "%llu", &pages) == 1;
  std::fclose(statm);
  if (!read) return true;
  const auto mapped = static_cast<unsigned long long>(pages) *
                      static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
  const unsigned long long needed =
      mapped + kWorkerStackBytes + kCrashStackBytes + kRoomKeptBesideWorkers;
  return needed <= static_cast<unsigned long long>(limit.rlim_cur);
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

void joinRunThread(RunThread& thread) {
  if (!thread.started) return;
  ::pthread_join(thread.handle, nullptr);
  thread.started = false;
}

}  // namespace brevox
