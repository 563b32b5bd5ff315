#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "stats/printed_digits.h"

namespace brevox {

/// Where the binomial distribution of `trials` trials keeps its probability: the densities
/// relative to the one at `anchor`, carried from count to count by their ratio. Outside
/// [first, last] every density and every tail beyond it is below 2^-1100, which a double holds
/// as 0.
struct BinomialShape {
  std::uint32_t trials = 0;
  double successProbability = 0;
  bool certain = false;  ///< no trial, or a success probability of 0 or 1
  std::uint32_t mode = 0;
  double modeDensity = 0;  ///< the library's density at the mode
  std::uint32_t anchor = 0;
  long double anchorDensity = 0;  ///< the library's density at the anchor
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  long double firstRelative = 0;  ///< density at `first` relative to the anchor's
  long double lastRelative = 0;   ///< density at `last` relative to the anchor's
  long double tolerance = 0;      ///< relative distance within which the library may differ
};

/// The shape of the distribution with its mode: the first count of greatest density, as the
/// library's densities decide it. Where `relatives` is given, its entry at every count from
/// `first` to `last` receives that count's density relative to the anchor's, carried from the
/// anchor outwards by the ratios (each within the tolerance of the library's density over the
/// anchor's); it is made at least trials + 1 long, and its other entries are left. Preconditions:
/// 0 <= successProbability <= 1.
BinomialShape binomialShape(std::uint32_t trials, double successProbability,
                            std::vector<long double>* relatives = nullptr);

/// The first count of greatest probability where the success probability is successes / cases
/// exactly: the first count whose next one is no more probable, (trials - i) successes against
/// (i + 1) failures compared as whole numbers. Where two counts are equally probable the library's
/// rounded densities may tell them apart; this does not. Preconditions: successes <= cases,
/// cases > 0.
std::uint32_t exactMode(std::uint32_t trials, std::uint32_t successes, std::uint32_t cases);

/// Where the double tail's far side begins: the count nearest the expected count `mode` (an exact
/// mode), on the side away from `observed`, that is no more probable than the observed count at
/// the success probability successes / cases exactly, equal probabilities included; every count
/// further out is no more probable either. Empty where no count of the shape's reach is, or the
/// observed count lies beyond it: every density out there is 0 in double. Decided on the
/// probabilities carried by their ratios of whole numbers, and exactly where those cannot tell.
std::optional<std::uint32_t> farSideStart(const BinomialShape& shape, std::uint32_t successes,
                                          std::uint32_t cases, std::uint32_t mode,
                                          std::uint32_t observed);

/// One line of the density and distribution table.
struct BinomialTableRow {
  std::uint32_t count = 0;
  double density = 0;     ///< P(X = count)
  double cumulative = 0;  ///< P(X <= count)
  /// The six digits each prints, where they are known without the library's value (else no text):
  /// the report writes them, or the double where there is none.
  SixDigits densityText;
  SixDigits cumulativeText;
};

/// Walks the table of counts 0 .. trials in order, in constant memory. Each value is the
/// library's, or a value that prints the same six significant digits.
struct BinomialTableCursor {
  BinomialShape shape;
  bool valid = false;  ///< false for a success probability outside [0, 1]: every value is NaN
  bool finished = false;
  std::uint32_t next = 0;
  long double relative = 0;    ///< density of `next` relative to the anchor's
  long double cumulative = 0;  ///< sum of the densities below `next`
};

/// A cursor at count 0. A success probability outside [0, 1] (or NaN) gives NaN values.
BinomialTableCursor startBinomialTable(std::uint32_t trials, double successProbability);

/// Fills `row` with the next line and returns true, or returns false after the last count.
bool nextBinomialRow(BinomialTableCursor& cursor, BinomialTableRow& row);

/// f(i + 1) / f(i) and f(i - 1) / f(i). Every factor but p is an exact integer in long double.
inline long double upRatio(const BinomialShape& shape, std::uint32_t i) {
  const long double p = shape.successProbability;
  return (static_cast<long double>(shape.trials - i) * p) /
         (static_cast<long double>(i + 1) * (1.0L - p));
}

inline long double downRatio(const BinomialShape& shape, std::uint32_t i) {
  const long double p = shape.successProbability;
  return (static_cast<long double>(i) * (1.0L - p)) /
         (static_cast<long double>(shape.trials - i + 1) * p);
}

/// The library's density and distribution at a count.
double libraryDensity(const BinomialShape& shape, std::uint32_t count);
double libraryCumulative(const BinomialShape& shape, std::uint32_t count);

/// The library's density at a count whose density, estimated as `estimate`, falls below the
/// normal doubles: it rounds (trials + 1) times the density to double, a multiple of 2^-1074
/// there, and divides that by trials + 1 in double. Where every value the estimate allows rounds
/// to the same product, that division is the library's own, bit for bit, and the library is not
/// asked; else it is.
double belowNormalDensity(const BinomialShape& shape, std::uint32_t count, long double estimate);

/// The range of the library's density at a count whose density is estimated, or unknown. The
/// library divides a double of (trials + 1) times the density by trials + 1 in double: where that
/// product or the quotient falls below the normal doubles it is rounded to a multiple of 2^-1074,
/// which moves the density by at most 2^-1074 in all, and below half the smallest denormal the
/// product is 0.
struct DensityRange {
  bool known;
  long double low;
  long double high;
  bool belowNormal = false;  ///< the library rounds to a multiple of 2^-1074 on the way
};

inline DensityRange densityRange(const BinomialShape& shape, std::uint32_t count,
                                 long double estimate) {
  // At no success and at all successes the library raises 1 - p or p to the number of trials
  // in double, which loses up to trials * 2^-53 relative; those two counts always take its value.
  if (count == 0 || count == shape.trials) return {false, 0, 0};
  const long double low = estimate * (1 - shape.tolerance);
  const long double high = estimate * (1 + shape.tolerance);
  const long double scale = static_cast<long double>(shape.trials) + 1;
  if (high * scale < std::ldexp(1.0L, -1075)) return {true, 0, 0};
  if (low * scale < 2 * static_cast<long double>(DBL_MIN)) {
    const long double grid = std::ldexp(1.0L, -1074);
    return {true, low > grid ? low - grid : 0, high + grid, true};
  }
  return {true, low, high};
}

}  // namespace brevox
