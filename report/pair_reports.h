#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "data/data_set.h"
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

// Detailed per-pair reports. The stream forms write the whole report; the file forms create or
// truncate `fileName`, print "Failed to open file " + name (or "Failed to write file " + name)
// on `err` when that fails, and return whether the report was written completely. Names are
// looked up in `data` by number.

void writeBinomialReport(std::ostream& out, const PairComparison& pair,
                         const BinomialResult& result, const DataSet& data);
bool writeBinomialReport(const std::string& fileName, const PairComparison& pair,
                         const BinomialResult& result, const DataSet& data, std::ostream& err);

void writeChiSquareReport(std::ostream& out, const PairComparison& pair,
                          const ChiSquareResult& result, const DataSet& data);
bool writeChiSquareReport(const std::string& fileName, const PairComparison& pair,
                          const ChiSquareResult& result, const DataSet& data, std::ostream& err);

void writeFisherReport(std::ostream& out, const PairComparison& pair, const FisherResult& result,
                       const DataSet& data);
bool writeFisherReport(const std::string& fileName, const PairComparison& pair,
                       const FisherResult& result, const DataSet& data, std::ostream& err);

void writePermutationReport(std::ostream& out, const PairComparison& pair,
                            const PermutationResult& result, const DataSet& data);
bool writePermutationReport(const std::string& fileName, const PairComparison& pair,
                            const PermutationResult& result, const DataSet& data,
                            std::ostream& err);

/// Writes the report of `family` from its result in `results` to `fileName`, as the family's own
/// writer does. Returns false when the report was not written completely (or the family has no
/// result).
bool writeFamilyReport(Family family, const std::string& fileName, const PairComparison& pair,
                       const PairResults& results, const DataSet& data, std::ostream& err);

/// The name of a pair's report in a full run: the family's prefix, the criterion's short name, "_",
/// work A's short name, "_", work B's short name, ".csv".
std::string pairReportName(Family family, const PairComparison& pair, const DataSet& data);

}  // namespace brevox
