#include "stats/fisher_tables.h"

#include <algorithm>
#include <cmath>

namespace brevox {

FisherTables fisherTables(const PairComparison& pair) {
  FisherTables tables;
  tables.r = pair.totalA;
  tables.n = pair.observedA + pair.observedB;
  tables.population = pair.totalA + pair.totalB;
  tables.rest = static_cast<std::int64_t>(tables.population) - tables.r - tables.n;
  tables.highest = std::min(tables.r, tables.n);
  tables.lowest = tables.rest < 0 ? static_cast<std::uint32_t>(-tables.rest) : 0;
  // floor((n + 1)(r + 1) / (N + 2)): the numerator is below 2^62 and exact in long double, and a
  // quotient that is not whole lies at least 1 / (N + 2) below the next whole number, far more
  // than its rounding.
  const long double estimate = std::floor((static_cast<long double>(tables.n) + 1) *
                                          (static_cast<long double>(tables.r) + 1) /
                                          (static_cast<long double>(tables.population) + 2));
  tables.mode = static_cast<std::uint32_t>(std::clamp<long double>(
      estimate, static_cast<long double>(tables.lowest), static_cast<long double>(tables.highest)));
  return tables;
}

bool addsTable(const AddedTables& tables, std::uint32_t count) {
  return count < tables.firstLeftOut || count > tables.lastLeftOut;
}

}  // namespace brevox
