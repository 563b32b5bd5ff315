#pragma once

#include <ostream>
#include <string>

#include "data/data_set.h"
#include "stats/binomial.h"
#include "stats/chi_square.h"
#include "stats/fisher_exact.h"
#include "stats/pair_comparison.h"
#include "stats/permutation.h"

namespace brevox {

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

}  // namespace brevox
