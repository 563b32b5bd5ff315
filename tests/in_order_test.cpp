#include "io/in_order.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <stdexcept>
#include <string>

namespace brevox {
namespace {

struct Square {
  std::size_t value = 0;
  bool filled = false;
};

TEST(ComputeInOrder, TakesEveryItemInOrderWhateverTheThreadsAndTheWindow) {
  for (const unsigned threads : {1u, 2u, 3u, 8u}) {
    for (const std::size_t window : {std::size_t{1}, std::size_t{2}, std::size_t{5}}) {
      for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{97}}) {
        SCOPED_TRACE(std::to_string(threads) + " threads, window " + std::to_string(window) + ", " +
                     std::to_string(count) + " items");
        std::size_t taken = 0;
        const bool complete = computeInOrder<Square>(
            count, threads, window,
            [](std::size_t i, Square& job, bool) {
              // Each item starts from a fresh job, whatever its slot held before.
              EXPECT_FALSE(job.filled);
              job = Square{i * i, true};
            },
            [&](std::size_t i, Square& job) {
              EXPECT_EQ(i, taken);
              EXPECT_EQ(job.value, i * i);
              ++taken;
              return true;
            });
        EXPECT_TRUE(complete);
        EXPECT_EQ(taken, count);
      }
    }
  }
}

TEST(ComputeInOrder, StopsAtATakeThatSaysSoOrAtAComputeThatThrows) {
  for (const unsigned threads : {1u, 3u}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    std::size_t taken = 0;
    auto compute = [](std::size_t i, Square& job, bool) {
      if (i == 7) throw std::runtime_error("item 7");
      job.value = i;
    };
    auto take = [&](std::size_t i, Square&) {
      ++taken;
      return i < 4;
    };
    EXPECT_FALSE(computeInOrder<Square>(50, threads, 4, compute, take));
    EXPECT_EQ(taken, 5u);
    // The items before the one that threw are taken; the exception reaches the caller in its
    // place, once the workers have stopped.
    taken = 0;
    try {
      EXPECT_FALSE(computeInOrder<Square>(50, threads, 4, compute, [&](std::size_t, Square&) {
        ++taken;
        return true;
      }));
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& failure) {
      EXPECT_EQ(std::string(failure.what()), "item 7");
    }
    EXPECT_EQ(taken, 7u);
  }
}

}  // namespace
}  // namespace brevox
