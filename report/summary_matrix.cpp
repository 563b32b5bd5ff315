#include "report/summary_matrix.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "io/number_text.h"
#include "io/output_file.h"
#include "report/output_names.h"
#include "report/report_frame.h"
#include "report/variants.h"

namespace brevox {

namespace {

/// One table of the criterion: the expected probabilities (no variant), or one of a variant's.
struct TableFile {
  std::optional<Variant> variant;
  Quantity quantity = Quantity::pValue;
  std::unique_ptr<OutputFile> output;
};

/// The tables of the criterion being written, in the order in which they were opened.
struct SummaryTables {
  FamilySet families;
  std::vector<TableFile> files;
  std::optional<std::uint32_t> row;  ///< the work whose row is being written
};

std::string cellText(Quantity quantity, const VariantOutcome& outcome) {
  switch (quantity) {
    case Quantity::pValue:
      return formatDouble(outcome.pValue);
    case Quantity::midPValue:
      return formatDouble(outcome.midPValue);
    case Quantity::flag:
      break;
  }
  return passFlagText(outcome.flag);
}

// Opens one table and writes its title line.
Outcome openTable(SummaryTables& tables, std::optional<Variant> variant, const SummaryTable& table,
                  const std::string& criterion) {
  TableFile file{variant, table.quantity, std::make_unique<OutputFile>()};
  if (Outcome failure = openOutputFile(*file.output, summaryTableFileName(table, criterion))) {
    return failure;
  }
  file.output->stream << table.title << criterion << kLineEnd;
  tables.files.push_back(std::move(file));
  return std::nullopt;
}

Outcome openTables(SummaryTables& tables, const std::string& criterion) {
  if (Outcome failure = openTable(tables, std::nullopt, kExpectedProbabilityTable, criterion)) {
    return failure;
  }
  for (const Family family : kFileOrder) {
    if (!tables.families[family]) continue;
    for (const VariantDescriptor& variant : kVariants) {
      if (variant.family != family) continue;
      for (std::size_t t = 0; t < variant.tableCount; ++t) {
        if (Outcome failure = openTable(tables, variant.variant, variant.tables[t], criterion)) {
          return failure;
        }
      }
    }
  }
  return std::nullopt;
}

Outcome beginTables(SummaryTables& tables, std::uint32_t criterion, const DataSet& data) {
  tables.files.clear();
  tables.row.reset();
  // A table that cannot be opened stops the run: none of the criterion's tables is complete, and
  // the ones opened are discarded with their records.
  if (Outcome failure = openTables(tables, criterionShortName(data, criterion))) {
    tables.files.clear();
    return failure;
  }
  for (TableFile& file : tables.files) {
    for (const auto& [work, shortName] : workShortNames(data)) {
      file.output->stream << ',' << shortName;
    }
  }
  return std::nullopt;
}

// The cell of one table for a tested pair; nothing where the table's test did not run on it.
void writeCell(TableFile& file, const TestedPair& result) {
  std::ostream& out = file.output->stream;
  const PairComparison& pair = *result.table;
  if (!file.variant) {
    // The pooled probability stands in the lower triangle only.
    if (result.workB < result.workA) out << formatDouble(pair.pooledProbability) << ',';
    return;
  }
  const std::optional<VariantOutcome>& outcome = result.outcomes[index(*file.variant)];
  if (!outcome) return;
  if (!outcome->valid) out << '*';
  // With an expected count of 0 the statistics mean nothing, whatever was stored for them.
  out << (outcome->undefined ? std::string("INVALID") : cellText(file.quantity, *outcome)) << ',';
}

void takeTablePair(SummaryTables& tables, const TestedPair& result, const DataSet& data) {
  if (tables.row != result.workA) {
    tables.row = result.workA;
    const std::string& rowName = workShortName(data, result.workA);
    for (TableFile& file : tables.files) file.output->stream << kLineEnd << rowName << ',';
  }
  for (TableFile& file : tables.files) {
    if (result.table) {
      writeCell(file, result);
    } else {
      file.output->stream << ',';
    }
  }
}

Failures closeTables(SummaryTables& tables) {
  Failures failures;
  for (TableFile& file : tables.files) addFailure(failures, closeOutputFile(*file.output));
  tables.files.clear();
  return failures;
}

}  // namespace

Sink summaryTablesSink(const FamilySet& families) {
  auto tables = std::make_shared<SummaryTables>(SummaryTables{families, {}, std::nullopt});
  Sink sink;
  sink.beginCriterion = [tables](std::uint32_t criterion, const DataSet& data) {
    return beginTables(*tables, criterion, data);
  };
  sink.pair = [tables](const TestedPair& result, const DataSet& data) {
    takeTablePair(*tables, result, data);
  };
  sink.endCriterion = [tables](const CriterionAnalysis&, const RunRecord&, const DataSet&) {
    return closeTables(*tables);
  };
  return sink;
}

}  // namespace brevox
