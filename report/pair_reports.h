#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "data/data_set.h"
#include "io/failure.h"
#include "report/output_sink.h"
#include "stats/binomial.h"
#include "stats/chi_square.h"
#include "stats/families.h"
#include "stats/fisher_exact.h"
#include "stats/pair_comparison.h"
#include "stats/permutation.h"

namespace brevox {

/// The text of a chi-square warning level: "OK" for none, "AT LEAST ONE EXPECTED VALUE = 0" for an
/// expected count of 0, "NUMBER OF CASES TOO LOW" for any other level.
std::string chiSquareWarningText(std::int32_t warning);

// Detailed per-pair reports, each written whole to a stream. Names are looked up in `data` by
// number.

void writeBinomialReport(std::ostream& out, const PairComparison& pair,
                         const BinomialResult& result, const DataSet& data);

void writeChiSquareReport(std::ostream& out, const PairComparison& pair,
                          const ChiSquareResult& result, const DataSet& data);

void writeFisherReport(std::ostream& out, const PairComparison& pair, const FisherResult& result,
                       const DataSet& data);

void writePermutationReport(std::ostream& out, const PairComparison& pair,
                            const PermutationResult& result, const DataSet& data);

/// Writes the report of `family` from its result in `results` (nothing when it has none).
void writeFamilyReport(std::ostream& out, Family family, const PairComparison& pair,
                       const FamilyResults& results, const DataSet& data);

/// The same into the file `fileName`, which it replaces once complete; fails as writeFile does.
[[nodiscard]] Outcome writeFamilyReport(Family family, const std::string& fileName,
                                        const PairComparison& pair, const FamilyResults& results,
                                        const DataSet& data);

/// The detailed reports as an output of a full run: each pair's report of every family that ran
/// on it, in the order of the families, named by pairReportFileName, written as soon as the pair
/// is computed. The run goes on without a report that cannot be written.
Sink pairReportsSink();

}  // namespace brevox
