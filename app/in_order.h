#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace brevox {

/// Calls compute(i) for i = 0 .. count - 1 on `threads` worker threads and consume(i) on the
/// calling thread in the order of i, each as soon as its compute(i) has returned; at most `window`
/// computed items wait to be consumed. With one thread both run on the calling thread, one item
/// after the other. An exception of compute(i) is thrown again from this call, in the place of
/// consume(i), once the workers have stopped.
template <typename Compute, typename Consume>
void computeInOrder(std::size_t count, unsigned threads, std::size_t window, Compute compute,
                    Consume consume) {
  if (threads <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      compute(i);
      consume(i);
    }
    return;
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::exception_ptr> failures(count);
  std::vector<char> done(count, 0);
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
        failures[i] = failure;
        done[i] = 1;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) workers.emplace_back(work);
  auto stopWorkers = [&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
    for (std::thread& worker : workers) worker.join();
  };
  try {
    for (std::size_t i = 0; i < count; ++i) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return done[i] != 0; });
      }
      if (failures[i]) std::rethrow_exception(failures[i]);
      consume(i);
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
}

}  // namespace brevox
