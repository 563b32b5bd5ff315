#include "stats/printed_digits.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "io/number_text.h"

namespace brevox {

bool decidesAlike(double low, double high, double threshold) {
  return (threshold > low) == (threshold > high);
}

bool printsAndDecidesAlike(double low, double high, double threshold) {
  // Rounding to six digits and comparing with the threshold both keep the order of values, so the
  // two ends decide for everything between them.
  return formatDouble(low) == formatDouble(high) && decidesAlike(low, high, threshold);
}

bool printsAndDecidesAlikeWithin(long double value, long double error, double threshold) {
  if (!std::isfinite(error)) return false;
  const double low = static_cast<double>(std::max(value - error, 0.0L));
  const double high = static_cast<double>(value + error);
  return printsAndDecidesAlike(low, high, threshold);
}

namespace {

constexpr int kLowestPower = -340;
constexpr int kHighestPower = 346;

using PowerTable = std::array<long double, kHighestPower - kLowestPower + 1>;

const PowerTable& powersOfTen() {
  static const PowerTable table = [] {
    PowerTable powers{};
    for (int e = kLowestPower; e <= kHighestPower; ++e) {
      powers[static_cast<std::size_t>(e - kLowestPower)] = std::pow(10.0L, e);
    }
    return powers;
  }();
  return table;
}

long double powerOfTen(const PowerTable& powers, int e) {
  return powers[static_cast<std::size_t>(e - kLowestPower)];
}

// The decimal exponent and the six significant digits a positive normal double prints with.
std::pair<int, std::int64_t> sixDigits(long double value, const PowerTable& powers) {
  // The binary exponent times log10(2), rounded down, is the decimal exponent or one below it.
  const auto rounded = static_cast<double>(value);
  std::uint64_t bits = 0;
  std::memcpy(&bits, &rounded, sizeof bits);
  const int binary = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  int e = static_cast<int>(std::floor(binary * 0.30102999566398119521));
  while (value >= powerOfTen(powers, e + 1)) ++e;
  while (value < powerOfTen(powers, e)) --e;
  auto digits = static_cast<std::int64_t>(value * powerOfTen(powers, 5 - e) + 0.5L);
  if (digits >= 1000000) {
    digits = 100000;
    ++e;
  }
  return {e, digits};
}

}  // namespace

bool printsAlike(long double low, long double high) {
  // Room for rounding to double and for the scaling by powers of ten.
  low -= std::fabs(low) * 1e-15L;
  high += std::fabs(high) * 1e-15L;
  const auto lowDouble = static_cast<double>(low);
  const auto highDouble = static_cast<double>(high);
  if (lowDouble == highDouble) return true;
  if (!(lowDouble >= DBL_MIN && highDouble <= DBL_MAX)) return false;
  // Both print alike when no rounding boundary of the six digits of `low` lies up to `high`.
  const PowerTable& powers = powersOfTen();
  const auto [exponent, digits] = sixDigits(low, powers);
  const long double boundary =
      (static_cast<long double>(digits) + 0.5L) * powerOfTen(powers, exponent - 5);
  return high < boundary;
}

}  // namespace brevox
