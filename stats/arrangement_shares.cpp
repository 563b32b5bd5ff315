#include "stats/arrangement_shares.h"

#include <math.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace brevox {

namespace {

// Unit roundoff of long double (64-bit significand, rounding to nearest).
const long double kUnit = std::ldexp(1.0L, -64);

// Shares whose logarithm lies below this are returned as 0; they are below 2^-15004, so
// kSmallestShare bounds what is lost.
constexpr long double kLowestLogShare = -10400;
const long double kSmallestShare = std::ldexp(1.0L, -15000);

// A share carried by ratios of neighbours is recomputed directly after this many steps, so the
// rounding of the ratios adds at most 4096 * 3 units to its relative error.
constexpr std::int64_t kStepsPerShare = 4096;

constexpr long double kLogSqrtTwoPi = 0.918938533204672741780329736405617639861L;
constexpr long double kTwoPi = 6.283185307179586476925286766559005768394L;

// log(m!) - ((m + 1/2) log m - m + log sqrt(2 pi)). From the log-gamma function for small m
// (absolute error below 1e-16 there), from Stirling's series above, where the first omitted term
// 3617 / (122400 m^15) is below 3e-20.
long double stirlingError(std::uint32_t m) {
  const long double x = m;
  if (m < 16) return logFactorial(x) - (x + 0.5L) * std::log(x) + x - kLogSqrtTwoPi;
  const long double y = 1 / (x * x);
  constexpr long double s0 = 1.0L / 12, s1 = 1.0L / 360, s2 = 1.0L / 1260, s3 = 1.0L / 1680;
  constexpr long double s4 = 1.0L / 1188, s5 = 691.0L / 360360, s6 = 1.0L / 156;
  return (s0 - (s1 - (s2 - (s3 - (s4 - (s5 - s6 * y) * y) * y) * y) * y) * y) / x;
}

// The deviance x log(x / mean) + mean - x, with a series where x lies near the mean so that the
// terms do not cancel. Relative error within about 100 units.
long double deviance(long double x, long double mean) {
  if (std::fabs(x - mean) < 0.1L * (x + mean)) {
    const long double v = (x - mean) / (x + mean);
    long double sum = (x - mean) * v;
    long double term = 2 * x * v;
    const long double v2 = v * v;
    for (int j = 1; j < 100; ++j) {
      term *= v2;
      const long double next = sum + term / (2 * j + 1);
      if (next == sum) break;
      sum = next;
    }
    return sum;
  }
  return x * std::log(x / mean) + mean - x;
}

// The share one count further up or down, from the ratio of neighbouring binomial coefficients:
// two roundings, and the error scales with the share.
void stepShare(BoundedValue& share, long double numerator, long double denominator) {
  const long double ratio = numerator / denominator;
  share.value *= ratio;
  share.error = share.error * ratio + 3 * kUnit * share.value;
}

void add(BoundedValue& sum, const BoundedValue& term) {
  sum.value += term.value;
  sum.error += term.error + kUnit * sum.value;
}

// The sum of the shares of counts end - 1, end - 2, ... down to 0, stopped where what is left is
// below 2^-70 of the sum: the ratio of neighbours only falls further out, so the rest is at most
// a geometric series.
BoundedValue sumTail(std::uint32_t total, std::int64_t end) {
  const long double n = total;
  std::int64_t k = end - 1;
  BoundedValue term = arrangementShare(total, static_cast<std::uint32_t>(k));
  if (term.value == 0) return {0, term.error / (1 - k / (n - k + 1))};
  BoundedValue sum = term;
  const long double restFactor = std::ldexp(1.0L, -70);
  std::int64_t steps = 0;
  while (k > 0) {
    const long double ratio = k / (n - k + 1);
    if (term.value * ratio / (1 - ratio) <= sum.value * restFactor) {
      sum.error += 2 * restFactor * sum.value;
      break;
    }
    if (++steps == kStepsPerShare) {
      term = arrangementShare(total, static_cast<std::uint32_t>(k - 1));
      steps = 0;
    } else {
      stepShare(term, static_cast<long double>(k), n - k + 1);
    }
    --k;
    add(sum, term);
  }
  return sum;
}

}  // namespace

long double logFactorial(long double m) {
  int sign = 0;
  return lgammal_r(m + 1, &sign);
}

BoundedValue arrangementShare(std::uint32_t total, std::uint32_t occurrences) {
  if (occurrences == 0 || occurrences == total) {
    if (total > 15000) return {0, kSmallestShare};
    return {std::ldexp(1.0L, -static_cast<int>(total)), 0};
  }
  // Loader's saddle-point form: the binomial coefficient from Stirling's formula with its exact
  // error terms, and the distance from the middle as deviances, which keeps the logarithm
  // accurate to its last units however large the total.
  const long double n = total;
  const long double k = occurrences;
  const long double mean = n / 2;
  const long double devianceK = deviance(k, mean);
  const long double devianceRest = deviance(n - k, mean);
  const long double logShare = stirlingError(total) - stirlingError(occurrences) -
                               stirlingError(total - occurrences) - devianceK - devianceRest;
  if (logShare < kLowestLogShare) return {0, kSmallestShare};
  BoundedValue share;
  share.value = std::exp(logShare) * std::sqrt(n / (kTwoPi * k * (n - k)));
  // The deviances carry at most about 100 units of relative error each; an error d in the
  // logarithm is a relative error of about d in the share. The log-gamma function of small
  // counts, exp and sqrt add less than 2e-16.
  share.error = (200 * kUnit * (devianceK + devianceRest + 1) + 2e-16L) * share.value;
  return share;
}

BoundedValue sharesBelow(std::uint32_t total, std::int64_t end) {
  if (end <= 0) return {0, 0};
  if (end > total) return {1, 0};
  const std::int64_t n = total;
  if (2 * end > n + 1) {
    // The upper half as the complement of the share of at least `end` occurrences, which by
    // symmetry is the share below n - end + 1; that is at most a half, so the difference is at
    // least as large.
    const BoundedValue upper = sharesBelow(total, n - end + 1);
    return {1 - upper.value, upper.error + kUnit};
  }
  const std::int64_t middle = (n + 1) / 2;
  const long double spread = std::sqrt(static_cast<long double>(n)) / 2;
  if (static_cast<long double>(middle - end) > 1.5L * spread + 2) return sumTail(total, end);

  // Near the middle the tail sum converges slowly; the shares from `end` up to the middle are few
  // and are taken from the known half: with an odd total, half the arrangements have fewer than
  // (n + 1) / 2 occurrences; with an even one, half of those without exactly n / 2. What is left
  // is at least 6% of the arrangements, so the difference loses little.
  BoundedValue below{0.5L, 0};
  if (n % 2 == 0) {
    const BoundedValue centre = arrangementShare(total, total / 2);
    below = {(1 - centre.value) / 2, centre.error / 2 + kUnit};
  }
  std::int64_t steps = 0;
  BoundedValue term;
  BoundedValue between;
  for (std::int64_t k = middle - 1; k >= end; --k) {
    if (k == middle - 1 || ++steps == kStepsPerShare) {
      term = arrangementShare(total, static_cast<std::uint32_t>(k));
      steps = 0;
    } else {
      stepShare(term, static_cast<long double>(k + 1), static_cast<long double>(n - k));
    }
    add(between, term);
  }
  below.value -= between.value;
  below.error += between.error + kUnit * below.value;
  return below;
}

const BoundedValue& moveSharesBelow(ShareCursor& cursor, std::int64_t end) {
  const std::int64_t n = cursor.total;
  end = std::clamp<std::int64_t>(end, 0, n + 1);
  // Stepping costs about as much per count as a fresh sum costs per term, and a fresh sum takes
  // at most a few spreads of terms.
  if (cursor.stepLimit < 0) {
    cursor.stepLimit = 2 * static_cast<std::int64_t>(std::sqrt(static_cast<double>(n))) + 64;
  }
  const std::int64_t stepLimit = cursor.stepLimit;
  if (cursor.end < 0 || end < cursor.end || end - cursor.end > stepLimit) {
    cursor.end = end;
    cursor.below = sharesBelow(cursor.total, end);
    cursor.at =
        end <= n ? arrangementShare(cursor.total, static_cast<std::uint32_t>(end)) : BoundedValue{};
    cursor.stepsSinceShare = 0;
    return cursor.below;
  }
  while (cursor.end < end) {
    add(cursor.below, cursor.at);
    const std::int64_t k = cursor.end;
    ++cursor.end;
    if (cursor.end > n) {
      cursor.at = BoundedValue{};
    } else if (++cursor.stepsSinceShare == kStepsPerShare || cursor.at.value == 0) {
      // A share that is 0 in long double is taken afresh until it is not: the ratios cannot
      // lift it.
      cursor.at = arrangementShare(cursor.total, static_cast<std::uint32_t>(cursor.end));
      cursor.stepsSinceShare = 0;
    } else {
      stepShare(cursor.at, static_cast<long double>(n - k), static_cast<long double>(k + 1));
    }
  }
  return cursor.below;
}

}  // namespace brevox
