#include "stats/exact_ties.h"

#include <algorithm>
#include <boost/math/special_functions/gamma.hpp>
#include <cstddef>
#include <iterator>
#include <utility>

#include "stats/multiprecision.h"

namespace brevox {

namespace {

using boost::multiprecision::cpp_int;
using Wide = boost::multiprecision::number<boost::multiprecision::cpp_bin_float<50>,
                                           boost::multiprecision::et_off>;

// Up to this many counts apart, two tables are compared by their products at once; further apart
// the products grow to hundreds of thousands of bits, and the logarithms decide first.
constexpr std::uint32_t kDirectSteps = 2048;

// The logarithms at 50 digits are summed from a few log-gamma values of at most about 5e10 each:
// they carry an error far below this, and a difference beyond it is decided.
const Wide kLogMargin("1e-30");

cpp_int product(const std::vector<std::uint64_t>& factors, std::size_t first, std::size_t end) {
  if (end - first == 1) return cpp_int(factors[first]);
  if (end == first) return cpp_int(1);
  const std::size_t middle = first + (end - first) / 2;
  return product(factors, first, middle) * product(factors, middle, end);
}

Wide logGamma(std::int64_t argument) { return boost::math::lgamma(Wide(argument)); }

// -1, 0 or 1 from a difference of logarithms where it is clear, else 0 with `decided` false.
int signOfLog(const Wide& difference, bool& decided) {
  decided = true;
  if (difference > kLogMargin) return 1;
  if (difference < -kLogMargin) return -1;
  decided = false;
  return 0;
}

}  // namespace

int compareProducts(std::vector<std::uint64_t> above, std::vector<std::uint64_t> below) {
  std::sort(above.begin(), above.end());
  std::sort(below.begin(), below.end());
  std::vector<std::uint64_t> keptAbove;
  std::vector<std::uint64_t> keptBelow;
  std::set_difference(above.begin(), above.end(), below.begin(), below.end(),
                      std::back_inserter(keptAbove));
  std::set_difference(below.begin(), below.end(), above.begin(), above.end(),
                      std::back_inserter(keptBelow));
  if (keptAbove.empty() && keptBelow.empty()) return 0;
  const cpp_int left = product(keptAbove, 0, keptAbove.size());
  const cpp_int right = product(keptBelow, 0, keptBelow.size());
  return left < right ? -1 : (left > right ? 1 : 0);
}

int compareTables(const FisherTables& t, std::uint32_t x, std::uint32_t y) {
  if (x == y) return 0;
  if (x > y) return -compareTables(t, y, x);
  // Two works with as many cases each, or as many occurrences as non-occurrences, make the
  // distribution symmetric.
  const std::uint64_t population = t.population;
  if ((2 * std::uint64_t{t.r} == population && std::uint64_t{x} + y == t.n) ||
      (2 * std::uint64_t{t.n} == population && std::uint64_t{x} + y == t.r)) {
    return 0;
  }
  // The table at y over the table at x: the neighbours' ratios from x up to y.
  if (y - x > kDirectSteps) {
    const Wide difference =
        logGamma(std::int64_t{t.r} - x + 1) - logGamma(std::int64_t{t.r} - y + 1) +
        logGamma(std::int64_t{t.n} - x + 1) - logGamma(std::int64_t{t.n} - y + 1) -
        logGamma(std::int64_t{y} + 1) + logGamma(std::int64_t{x} + 1) - logGamma(t.rest + y + 1) +
        logGamma(t.rest + x + 1);
    bool decided = false;
    const int sign = signOfLog(difference, decided);
    if (decided) return -sign;
  }
  std::vector<std::uint64_t> up;
  std::vector<std::uint64_t> down;
  for (std::uint32_t j = x; j < y; ++j) {
    up.push_back(std::uint64_t{t.r} - j);
    up.push_back(std::uint64_t{t.n} - j);
    down.push_back(std::uint64_t{j} + 1);
    down.push_back(static_cast<std::uint64_t>(t.rest + j + 1));
  }
  return compareProducts(std::move(down), std::move(up));
}

int compareCounts(std::uint32_t trials, std::uint32_t successes, std::uint32_t cases,
                  std::uint32_t i, std::uint32_t k) {
  if (i == k) return 0;
  // A success probability of 0 or 1 leaves one certain count.
  if (successes == 0 || successes == cases) {
    const std::uint32_t certain = successes == 0 ? 0 : trials;
    return (i == certain ? 1 : 0) - (k == certain ? 1 : 0);
  }
  if (i > k) return -compareCounts(trials, successes, cases, k, i);
  if (2 * std::uint64_t{successes} == cases && std::uint64_t{i} + k == trials) return 0;
  const std::uint32_t steps = k - i;
  const std::uint32_t failures = cases - successes;
  if (steps > kDirectSteps) {
    const Wide difference = logGamma(std::int64_t{trials} - i + 1) -
                            logGamma(std::int64_t{trials} - k + 1) - logGamma(std::int64_t{k} + 1) +
                            logGamma(std::int64_t{i} + 1) +
                            Wide(steps) * (log(Wide(successes)) - log(Wide(failures)));
    bool decided = false;
    const int sign = signOfLog(difference, decided);
    if (decided) return -sign;
  }
  // The probability at k over the one at i: (trials - j) successes over (j + 1) failures, for
  // every j from i up to k.
  std::vector<std::uint64_t> up;
  std::vector<std::uint64_t> down;
  for (std::uint32_t j = i; j < k; ++j) {
    up.push_back(std::uint64_t{trials} - j);
    up.push_back(successes);
    down.push_back(std::uint64_t{j} + 1);
    down.push_back(failures);
  }
  return compareProducts(std::move(down), std::move(up));
}

}  // namespace brevox
