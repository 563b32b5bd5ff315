#pragma once

#include <cstdint>

namespace brevox {

/// A long double together with a bound on its distance from the exact quantity.
struct BoundedValue {
  long double value = 0;
  long double error = 0;
};

/// The share of the 2^total arrangements of `total` cases in which exactly `occurrences` cases
/// are occurrences: choose(total, occurrences) / 2^total. Accurate to a few units of 2^-64 times
/// the logarithm of the share; shares below about 1e-4800 are 0, with that as absolute error.
/// Preconditions: occurrences <= total < 2^31.
BoundedValue arrangementShare(std::uint32_t total, std::uint32_t occurrences);

/// The share of arrangements with fewer than `end` occurrences, computed afresh: a sum from `end`
/// down into the tail, or in from the middle, where the shares of half the arrangements are known.
/// Preconditions: total < 2^31; any `end` (below 0 gives 0, above total gives 1).
BoundedValue sharesBelow(std::uint32_t total, std::int64_t end);

/// Walks the shares of `total` cases upwards, one count at a time, where that is cheaper than a
/// fresh sum: the share below `end` and the share at `end`.
struct ShareCursor {
  std::uint32_t total = 0;
  std::int64_t end = -1;  // no position yet
  BoundedValue below;     // share of arrangements with fewer than `end` occurrences
  BoundedValue at;        // share with exactly `end` occurrences (0 beyond total)
  std::int64_t stepsSinceShare = 0;
  std::int64_t stepLimit = -1;  // the longest walk that beats a fresh sum; none worked out yet
};

/// Moves the cursor to `end` and returns the share below it.
const BoundedValue& moveSharesBelow(ShareCursor& cursor, std::int64_t end);

/// log(m!) for a whole number m. Unlike std::lgamma, which sets the process-wide sign of the
/// C library, it may be called from several threads at once.
long double logFactorial(long double m);

}  // namespace brevox
