#pragma once

namespace brevox {

/// Whether every double from `low` to `high` (low <= high) falls on the same side of the
/// threshold, a p-value being significant where the threshold is strictly greater.
bool decidesAlike(double low, double high, double threshold);

/// Whether every double from `low` to `high` (low <= high) prints the same six digits and falls on
/// the same side of the threshold. When an exact p-value is known to lie between them, its
/// rounding to double then prints and decides as either bound does.
bool printsAndDecidesAlike(double low, double high, double threshold);

/// Whether a p-value known to lie within `error` of `value` (and not below 0) prints and decides
/// alike wherever it lies, once rounded to double. False for an error that is not finite.
bool printsAndDecidesAlikeWithin(long double value, long double error, double threshold);

/// Whether every double that a value from `low` to `high` may round to, with room for about 1e-15
/// of relative error in its computation, prints the same six significant digits. A value in the
/// range of denormals prints alike only when it rounds to one double. Faster than comparing the
/// printed texts, for values asked of every count of a distribution.
bool printsAlike(long double low, long double high);

/// The text of six significant digits in general notation, as the default output stream prints
/// a double ("0.0123457", "1.5e-07", "1"), held without a string of its own.
struct SixDigits {
  char text[16] = {};
  unsigned char size = 0;  ///< 0: no text
};

/// Writes into `digits` the text that every double from `low` to `high` prints, with
/// 0 <= low <= high, and returns true; returns false, with no text, where a rounding boundary of
/// the six digits may lie between them (0 and a positive value print apart). The values are taken
/// as they are: room for their own errors is the caller's. One pass over the digits both decides
/// and prints, for the values of every count of a distribution.
bool sixDigitsOfRange(long double low, long double high, SixDigits& digits);

}  // namespace brevox
