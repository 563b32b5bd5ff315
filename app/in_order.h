#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace brevox {

/// Calls compute(i) for i = 0 .. count - 1 on up to `threads` worker threads and consume(i) on the
/// calling thread in the order of i, each as soon as its compute(i) has returned; at most `window`
/// computed items wait to be consumed, and the bookkeeping does not grow with `count`. consume(i)
/// returns false to stop: nothing after i is consumed, and the workers stop once their items are
/// computed. A worker that cannot be started (the system's limit on threads, or on memory for
/// their stacks) leaves the items to those that could; with none of them, or with one thread,
/// compute and consume alternate on the calling thread. An exception of compute(i) is thrown
/// again from this call, in the place of consume(i), once the workers have stopped. Returns
/// whether every item was consumed.
template <typename Compute, typename Consume>
bool computeInOrder(std::size_t count, unsigned threads, std::size_t window, Compute compute,
                    Consume consume) {
  auto oneAfterTheOther = [&] {
    for (std::size_t i = 0; i < count; ++i) {
      compute(i);
      if (!consume(i)) return false;
    }
    return true;
  };
  if (threads <= 1 || window == 0) return oneAfterTheOther();
  std::mutex mutex;
  std::condition_variable changed;
  // Item i waits in slot i % window: no more than `window` items are ahead of the consumed ones.
  struct Slot {
    bool done = false;
    std::exception_ptr failure;
  };
  std::vector<Slot> slots(window);
  std::size_t next = 0;
  std::size_t consumed = 0;
  bool stop = false;
  auto work = [&] {
    for (;;) {
      std::size_t i = 0;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stop || next >= count || next < consumed + window; });
        if (stop || next >= count) return;
        i = next++;
      }
      std::exception_ptr failure;
      try {
        compute(i);
      } catch (...) {
        failure = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        slots[i % window] = Slot{true, failure};
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  workers.reserve(threads);
  for (unsigned t = 0; t < threads; ++t) {
    try {
      workers.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
  if (workers.empty()) return oneAfterTheOther();
  auto stopWorkers = [&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
    for (std::thread& worker : workers) worker.join();
  };
  bool complete = true;
  try {
    for (std::size_t i = 0; i < count && complete; ++i) {
      std::exception_ptr failure;
      {
        std::unique_lock<std::mutex> lock(mutex);
        Slot& slot = slots[i % window];
        changed.wait(lock, [&] { return slot.done; });
        failure = slot.failure;
        slot = Slot{};
      }
      if (failure) std::rethrow_exception(failure);
      complete = consume(i);
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++consumed;
      }
      changed.notify_all();
    }
  } catch (...) {
    stopWorkers();
    throw;
  }
  stopWorkers();
  return complete;
}

}  // namespace brevox
