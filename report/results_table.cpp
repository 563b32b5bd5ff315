#include "report/results_table.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "io/number_text.h"
#include "io/output_file.h"
#include "report/output_names.h"
#include "report/variants.h"
#include "stats/adjusted_p.h"
#include "stats/families.h"

namespace brevox {

namespace {

/// A column group of the table: one variant, or the binomial test in one of its two directions.
struct ResultColumn {
  Variant variant;
  const char* direction;  ///< added to the variant's column name: "_ab", "_ba" or nothing
  bool reversed;          ///< the binomial test of work B's count against work A's proportion
};

const std::array<ResultColumn, 8> kColumns = {{
    {Variant::binomial, "_ab", false},
    {Variant::binomial, "_ba", true},
    {Variant::pearson, "", false},
    {Variant::yates, "", false},
    {Variant::n1, "", false},
    {Variant::fisherDoubleTail, "", false},
    {Variant::fisherMidP, "", false},
    {Variant::permutation, "", false},
}};

std::string columnName(const ResultColumn& column) {
  return std::string(descriptor(column.variant).columnName) + column.direction;
}

// A double as the shortest text that reads back to the same value.
std::string exact(double value) {
  char buffer[32];
  const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, written.ptr);
}

// A p-value summed from many probabilities may pass 1 by a rounding (1.0000000000000002): the
// tables hold it as the probability it is.
double probability(double pValue) { return std::clamp(pValue, 0.0, 1.0); }

/// One row of the table: a pair of works under a criterion, work A the later one.
struct ResultRow {
  const PairOutcomes* lower;  ///< A against B: every variant
  const PairOutcomes* upper;  ///< B against A: the binomial test the other way, when it ran
  const PairEstimate* estimate;
  std::array<std::optional<double>, kColumns.size()> pValues;
  std::array<std::optional<double>, kColumns.size()> holm;
  std::array<std::optional<double>, kColumns.size()> bh;
};

const std::optional<VariantOutcome>& outcomeOf(const ResultRow& row, const ResultColumn& column) {
  static const std::optional<VariantOutcome> none;
  const PairOutcomes* record = column.reversed ? row.upper : row.lower;
  return record == nullptr ? none : record->outcomes[index(column.variant)];
}

// The rows of one criterion, with their p-values adjusted within each column.
std::vector<ResultRow> criterionRows(const CriterionAnalysis& criterion) {
  std::vector<ResultRow> rows;
  for (std::size_t k = 0; k < criterion.lowerPairs.size(); ++k) {
    const MirroredPair& mirrored = criterion.lowerPairs[k];
    ResultRow row{mirrored.lower, mirrored.upper, &criterion.estimates[k], {}, {}, {}};
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
      const std::optional<VariantOutcome>& outcome = outcomeOf(row, kColumns[c]);
      if (outcome && !outcome->undefined) row.pValues[c] = probability(outcome->pValue);
    }
    rows.push_back(row);
  }
  // Each column's family is every pair of the criterion that its test judged.
  for (std::size_t c = 0; c < kColumns.size(); ++c) {
    std::vector<double> family;
    for (const ResultRow& row : rows) {
      if (row.pValues[c]) family.push_back(*row.pValues[c]);
    }
    const std::vector<double> holm = holmAdjusted(family);
    const std::vector<double> bh = benjaminiHochbergAdjusted(family);
    std::size_t member = 0;
    for (ResultRow& row : rows) {
      if (!row.pValues[c]) continue;
      row.holm[c] = holm[member];
      row.bh[c] = bh[member];
      ++member;
    }
  }
  return rows;
}

void writeCell(std::ostream& out, const std::optional<double>& value) {
  out << ',';
  if (value) out << exact(*value);
}

void writeRow(std::ostream& out, const ResultRow& row, const DataSet& data) {
  const PairComparison& pair = row.lower->pair;
  const double proportionA = static_cast<double>(pair.observedA) / pair.totalA;
  const double proportionB = static_cast<double>(pair.observedB) / pair.totalB;
  out << criterionShortName(data, pair.criterion) << ',' << workShortName(data, pair.workA) << ','
      << workShortName(data, pair.workB) << ',' << pair.observedA << ',' << pair.totalA << ','
      << pair.observedB << ',' << pair.totalB << ',' << exact(proportionA) << ','
      << exact(proportionB);
  const ProportionDifference& difference = row.estimate->difference;
  writeCell(out, difference.difference);
  writeCell(out, difference.low);
  writeCell(out, difference.high);
  const OddsRatioEstimate& odds = row.estimate->oddsRatio;
  writeCell(out, odds.estimate);
  writeCell(out, odds.low);
  writeCell(out, odds.high);
  out << ',' << (pair.totalA < kMinimumCases || pair.totalB < kMinimumCases ? 1 : 0);
  for (std::size_t c = 0; c < kColumns.size(); ++c) {
    const std::optional<VariantOutcome>& outcome = outcomeOf(row, kColumns[c]);
    writeCell(out, row.pValues[c]);
    out << ',';
    if (row.pValues[c]) out << outcome->flag;
    writeCell(out, row.holm[c]);
    writeCell(out, row.bh[c]);
  }
  out << kLineEnd;
}

}  // namespace

void writeResultsHeader(std::ostream& out) {
  out << "criterion,work_a,work_b,observed_a,total_a,observed_b,total_b,proportion_a,"
         "proportion_b,difference,difference_low,difference_high,odds_ratio,odds_ratio_low,"
         "odds_ratio_high,few_cases";
  for (const ResultColumn& column : kColumns) {
    const std::string name = columnName(column);
    out << ",p_" << name << ",flag_" << name << ",holm_" << name << ",bh_" << name;
  }
  out << kLineEnd;
}

void writeResultsRows(std::ostream& out, const CriterionAnalysis& criterion, const DataSet& data) {
  for (const ResultRow& row : criterionRows(criterion)) writeRow(out, row, data);
}

void writeCriteriaHeader(std::ostream& out) {
  out << "criterion,works,occurrences,cases,chi_square,df,p_value,cramers_v,few_expected"
      << kLineEnd;
}

void writeCriteriaRow(std::ostream& out, const CriterionFindings& findings, const DataSet& data) {
  const HomogeneityTest& test = findings.homogeneity;
  out << criterionShortName(data, findings.criterion) << ',' << test.works << ','
      << test.occurrences << ',' << test.cases;
  writeCell(out, test.chiSquare);
  out << ',';
  if (test.chiSquare) out << test.degreesOfFreedom;
  writeCell(out, test.pValue ? std::optional<double>(probability(*test.pValue)) : std::nullopt);
  writeCell(out, test.cramersV);
  out << ',';
  if (test.chiSquare) out << (test.fewExpected ? 1 : 0);
  out << kLineEnd;
}

void writeWorkHeader(std::ostream& out) {
  out << "criterion,work,observed,total,proportion,proportion_low,proportion_high,letters,"
         "main_test,adjustment"
      << kLineEnd;
}

void writeWorkRows(std::ostream& out, const CriterionFindings& findings, const DataSet& data) {
  for (const WorkFinding& work : findings.works) {
    out << criterionShortName(data, findings.criterion) << ',' << workShortName(data, work.work)
        << ',' << work.counts.observed << ',' << work.counts.total;
    const bool cases = work.counts.total > 0;
    for (double value : {work.interval.proportion, work.interval.low, work.interval.high}) {
      writeCell(out, cases ? std::optional<double>(value) : std::nullopt);
    }
    out << ',' << work.letters << ',';
    if (findings.test)
      out << descriptor(*findings.test).columnName << ",holm";
    else
      out << ',';
    out << kLineEnd;
  }
}

namespace {

/// The open tables of option E.
struct ResultTables {
  OutputFile results;
  OutputFile criteria;
  OutputFile works;
  bool open = false;
};

Failures openResultTables(ResultTables& tables) {
  for (const auto& [file, name] : {std::pair{&tables.results, ResultsTable::pairs},
                                   std::pair{&tables.criteria, ResultsTable::criteria},
                                   std::pair{&tables.works, ResultsTable::works}}) {
    if (Outcome failure = openOutputFile(*file, resultsTableFileName(name))) {
      for (OutputFile* opened : {&tables.results, &tables.criteria}) discardOutputFile(*opened);
      return {*failure};
    }
  }
  tables.open = true;
  writeResultsHeader(tables.results.stream);
  writeCriteriaHeader(tables.criteria.stream);
  writeWorkHeader(tables.works.stream);
  return {};
}

Failures closeResultTables(ResultTables& tables) {
  Failures failures;
  if (!tables.open) return failures;
  for (OutputFile* table : {&tables.results, &tables.criteria, &tables.works}) {
    addFailure(failures, closeOutputFile(*table));
  }
  return failures;
}

}  // namespace

Sink resultsTableSink() {
  auto tables = std::make_shared<ResultTables>();
  Sink sink;
  // A table that cannot be opened leaves the run without them: it goes on, and reports the loss.
  sink.beginRun = [tables] { return openResultTables(*tables); };
  sink.endCriterion = [tables](const CriterionAnalysis& analysis, const RunRecord&,
                               const DataSet& data) {
    if (tables->open) {
      writeResultsRows(tables->results.stream, analysis, data);
      writeCriteriaRow(tables->criteria.stream, analysis.findings, data);
      writeWorkRows(tables->works.stream, analysis.findings, data);
    }
    return Failures{};
  };
  sink.endRun = [tables](const RunRecord&, const DataSet&) { return closeResultTables(*tables); };
  return sink;
}

}  // namespace brevox
