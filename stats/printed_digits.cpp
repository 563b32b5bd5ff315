#include "stats/printed_digits.h"

#include "io/number_text.h"

namespace brevox {

bool printsAndDecidesAlike(double low, double high, double threshold) {
  // Rounding to six digits and comparing with the threshold both keep the order of values, so the
  // two ends decide for everything between them.
  return formatDouble(low) == formatDouble(high) && (threshold > low) == (threshold > high);
}

}  // namespace brevox
