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

// Powers of ten in double from 10^-300 to 10^308, for the values of normal doubles.
constexpr int kLowestDoublePower = -300;
constexpr int kHighestDoublePower = 308;
using DoublePowerTable = std::array<double, kHighestDoublePower - kLowestDoublePower + 1>;

const DoublePowerTable& doublePowersOfTen() {
  static const DoublePowerTable table = [] {
    DoublePowerTable powers{};
    for (int e = kLowestDoublePower; e <= kHighestDoublePower; ++e) {
      powers[static_cast<std::size_t>(e - kLowestDoublePower)] = std::pow(10.0, e);
    }
    return powers;
  }();
  return table;
}

// The decimal exponent and six digits that the middle of a range of normal values prints, and
// whether every value of the range prints them too: it lies strictly between the values that
// print them, with room for the roundings of the powers of ten, the products and the bounds in
// double (a few units of 2^-53).
struct RangeDigits {
  int exponent = 0;
  std::int64_t digits = 0;
  bool alike = false;
};

RangeDigits rangeDigits(double low, double high) {
  const DoublePowerTable& powers = doublePowersOfTen();
  auto power = [&](int k) { return powers[static_cast<std::size_t>(k - kLowestDoublePower)]; };
  const double middle = low + (high - low) / 2;
  // The binary exponent times log10(2), rounded down, is the decimal exponent or one below it:
  // 1233 / 4096 lies within 5e-6 of log10(2).
  std::uint64_t bits = 0;
  std::memcpy(&bits, &middle, sizeof bits);
  const int binary = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  int e = (binary * 1233) >> 12;
  while (e < kHighestDoublePower && middle >= power(e + 1)) ++e;
  while (e > kLowestDoublePower && middle < power(e)) --e;
  RangeDigits result;
  if (5 - e < kLowestDoublePower || 5 - e > kHighestDoublePower) return result;
  // Scaled by 10^(5 - e), the middle lies from 10^5 to 10^6; the values that print its digits lie
  // within half a unit of them, and those that print 100000 from 99999.95 on (below 10^5 they
  // print at the lower exponent).
  const double scale = power(5 - e);
  result.exponent = e;
  result.digits = static_cast<std::int64_t>(middle * scale + 0.5);
  double below = static_cast<double>(result.digits) - 0.5;
  double above = static_cast<double>(result.digits) + 0.5;
  if (result.digits == 100000) below = 99999.95;
  if (result.digits >= 1000000) {
    result.digits = 100000;
    result.exponent = e + 1;
    below = 999999.5;
    above = 1000005;
  }
  constexpr double kRoom = 8e-16;
  result.alike = low * scale * (1 - kRoom) > below && high * scale * (1 + kRoom) < above;
  return result;
}

// The decimal exponent and six digits of a positive value that a range may print: the value
// widened by the error of its scaling, downwards or upwards. For values near and below the
// smallest normal doubles, whose powers of ten are not doubles.
std::pair<int, std::int64_t> sixDigitsAt(long double value, long double widen,
                                         const PowerTable& powers) {
  int binary = 0;
  std::frexp(value, &binary);
  int e = static_cast<int>(std::floor((binary - 1) * 0.30102999566398119521));
  while (e < kHighestPower - 5 && value >= powerOfTen(powers, e + 1)) ++e;
  while (e > kLowestPower + 5 && value < powerOfTen(powers, e)) --e;
  const long double scaled = value * powerOfTen(powers, 5 - e) * widen;
  auto digits = static_cast<std::int64_t>(std::floor(scaled + 0.5L));
  if (digits >= 1000000) {
    digits = 100000;
    ++e;
  }
  return {e, digits};
}

// The text of six digits `digits` (100000 to 999999) times 10^(exponent - 5), in the stream's
// general notation: trailing zeros dropped, scientific below 10^-4 and from 10^6 on.
void writeSixDigits(int exponent, std::int64_t digits, SixDigits& out) {
  int count = 6;
  while (count > 1 && digits % 10 == 0) {
    digits /= 10;
    --count;
  }
  char significant[6];
  auto value = static_cast<std::uint32_t>(digits);
  for (int i = count - 1; i >= 0; --i) {
    significant[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  char* at = out.text;
  auto put = [&at](char c) { *at++ = c; };
  if (exponent < -4 || exponent >= 6) {
    put(significant[0]);
    if (count > 1) put('.');
    for (int i = 1; i < count; ++i) put(significant[i]);
    put('e');
    put(exponent < 0 ? '-' : '+');
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude >= 100) put(static_cast<char>('0' + magnitude / 100));
    put(static_cast<char>('0' + magnitude / 10 % 10));
    put(static_cast<char>('0' + magnitude % 10));
  } else if (exponent >= 0) {
    for (int i = 0; i <= exponent; ++i) put(i < count ? significant[i] : '0');
    if (count > exponent + 1) put('.');
    for (int i = exponent + 1; i < count; ++i) put(significant[i]);
  } else {
    put('0');
    put('.');
    for (int i = 0; i < -exponent - 1; ++i) put('0');
    for (int i = 0; i < count; ++i) put(significant[i]);
  }
  out.size = static_cast<unsigned char>(at - out.text);
}

}  // namespace

bool sixDigitsOfRange(long double low, long double high, SixDigits& digits) {
  digits.size = 0;
  if (!(low >= 0) || !(high >= low) || !(high <= static_cast<long double>(DBL_MAX))) return false;
  if (high == 0) {
    digits.text[0] = '0';
    digits.size = 1;
    return true;
  }
  if (low == 0) return false;
  if (low >= 1e-290L) {
    const RangeDigits range = rangeDigits(static_cast<double>(low), static_cast<double>(high));
    if (!range.alike) return false;
    writeSixDigits(range.exponent, range.digits, digits);
    return true;
  }
  // Below the normal doubles, in long double: the powers of ten and the products carry a few
  // units of 2^-64, and the bounds are widened by far more, so that a boundary they might hide
  // counts as lying between them.
  const PowerTable& powers = powersOfTen();
  const auto lowDigits = sixDigitsAt(low, 1 - 1e-17L, powers);
  const auto highDigits = sixDigitsAt(high, 1 + 1e-17L, powers);
  if (lowDigits != highDigits) return false;
  writeSixDigits(lowDigits.first, lowDigits.second, digits);
  return true;
}

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
