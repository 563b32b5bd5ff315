#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "data/data_set.h"
#include "stats/binomial.h"
#include "stats/pair_comparison.h"

namespace brevox::oracle {

/// The binomial test with the library's density and distribution asked for every count, and the
/// whole table kept; the expected count and the counts of the double tail decided on the exact
/// success probability, with whole numbers where the library's densities nearly tie.
struct LiteralBinomial {
  BinomialResult result;
  std::vector<double> density;     ///< P(X = i), i = 0 .. totalA
  std::vector<double> cumulative;  ///< P(X <= i), i = 0 .. totalA
};

/// The reference the binomial test's shortcuts are held to. Preconditions as for binomialTest.
LiteralBinomial literalBinomialTest(const PairComparison& pair, double threshold);

/// The binomial report written from the kept table, every double through a fresh output stream.
void writeLiteralBinomialReport(std::ostream& out, const PairComparison& pair,
                                const LiteralBinomial& binomial, const DataSet& data);

/// Runs binomialTest and the literal test on the same table and returns "" when every field
/// agrees and the two reports are the same text, else a line naming the first difference. The
/// double-tail p-value and mid-p may differ by 1e-11 relative; everything else exactly.
std::string binomialDifference(const PairComparison& pair, double threshold, const DataSet& data);

}  // namespace brevox::oracle
