#pragma once

namespace brevox {

/// Whether every double from `low` to `high` (low <= high) prints the same six digits and falls on
/// the same side of the threshold, a p-value being significant where the threshold is strictly
/// greater. When an exact p-value is known to lie between them, its rounding to double then prints
/// and decides as either bound does.
bool printsAndDecidesAlike(double low, double high, double threshold);

}  // namespace brevox
