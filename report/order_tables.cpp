#include "report/order_tables.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <map>
#include <optional>
#include <string>

#include "io/number_text.h"
#include "io/output_file.h"
#include "report/dot_graph.h"
#include "report/output_names.h"

namespace brevox {

namespace {

// A double as the shortest text that reads back to the same value.
std::string exact(double value) {
  char buffer[32];
  const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, written.ptr);
}

void writeCell(std::ostream& out, const std::optional<double>& value) {
  out << ',';
  if (value) out << exact(*value);
}

void writeCell(std::ostream& out, const std::optional<std::uint32_t>& value) {
  out << ',';
  if (value) out << *value;
}

void writeCell(std::ostream& out, const std::optional<bool>& value) {
  out << ',';
  if (value) out << (*value ? 1 : 0);
}

}  // namespace

void writeOrderWorks(std::ostream& out, const OrderFit& fit, const OrderBootstrap& bootstrap,
                     const DataSet& data) {
  out << "work,long_name,criteria,position,position_low,position_high,rank,rank_low,rank_high,"
         "pearson_residual"
      << kLineEnd;
  for (std::size_t k = 0; k < fit.works.size(); ++k) {
    const OrderWorkFit& work = fit.works[k];
    const OrderWorkSpread spread =
        k < bootstrap.works.size() ? bootstrap.works[k] : OrderWorkSpread{};
    out << workShortName(data, work.work) << ',' << workLongName(data, work.work) << ','
        << work.criteria;
    writeCell(out, work.position);
    writeCell(out, spread.positionLow);
    writeCell(out, spread.positionHigh);
    writeCell(out, work.rank);
    writeCell(out, spread.rankLow);
    writeCell(out, spread.rankHigh);
    writeCell(out, work.pearsonShare);
    out << kLineEnd;
  }
}

void writeOrderCriteria(std::ostream& out, const OrderFit& fit, const OrderBootstrap& bootstrap,
                        const DataSet& data) {
  out << "criterion,direction,level,rate,rate_low,rate_high,agrees,deviance,kendall_tau"
      << kLineEnd;
  for (std::size_t k = 0; k < fit.criteria.size(); ++k) {
    const OrderCriterionFit& criterion = fit.criteria[k];
    const OrderCriterionSpread spread =
        k < bootstrap.criteria.size() ? bootstrap.criteria[k] : OrderCriterionSpread{};
    out << criterionShortName(data, criterion.criterion) << ',' << criterion.direction << ','
        << exact(criterion.level);
    writeCell(out, criterion.rate);
    writeCell(out, spread.rateLow);
    writeCell(out, spread.rateHigh);
    writeCell(out, criterion.agrees);
    out << ',' << exact(criterion.deviance);
    writeCell(out, spread.kendallTau);
    out << kLineEnd;
  }
}

void writeOrderPrecedence(std::ostream& out, const OrderBootstrap& bootstrap, const DataSet& data) {
  out << "work_a,work_b,p_before" << kLineEnd;
  for (const OrderPrecedence& pair : bootstrap.precedence) {
    out << workShortName(data, pair.workA) << ',' << workShortName(data, pair.workB) << ','
        << exact(pair.before) << kLineEnd;
  }
}

void writeOrderFit(std::ostream& out, const OrderFit& fit, const OrderBootstrap& bootstrap) {
  out << "works,criteria,cells,log_likelihood,deviance,df,dispersion,converged,replicates,seed"
      << kLineEnd;
  out << fit.works.size() << ',' << fit.criteria.size() << ',' << fit.cells << ','
      << exact(fit.logLikelihood) << ',' << exact(fit.deviance) << ',' << fit.degreesOfFreedom;
  writeCell(out, fit.dispersion);
  out << ',' << (fit.converged ? 1 : 0) << ',' << bootstrap.replicates << ',' << bootstrap.seed
      << kLineEnd;
}

namespace {

/// A set of works as bits, one word per 64 works.
using WorkBits = std::vector<std::uint64_t>;

bool hasBit(const WorkBits& bits, std::size_t i) { return (bits[i / 64] >> (i % 64)) & 1U; }
void setBit(WorkBits& bits, std::size_t i) { bits[i / 64] |= std::uint64_t{1} << (i % 64); }

}  // namespace

std::vector<std::pair<std::uint32_t, std::uint32_t>> orderArrows(const OrderBootstrap& bootstrap) {
  std::vector<std::uint32_t> works;
  std::map<std::uint32_t, std::size_t> index;
  for (const OrderPrecedence& pair : bootstrap.precedence) {
    if (index.emplace(pair.workA, works.size()).second) works.push_back(pair.workA);
  }
  const std::size_t words = (works.size() + 63) / 64;
  std::vector<WorkBits> before(works.size(), WorkBits(words, 0));
  for (const OrderPrecedence& pair : bootstrap.precedence) {
    if (pair.before >= kOrderArrowShare) setBit(before[index[pair.workA]], index.at(pair.workB));
  }
  // Every work reached from each work along the arrows (Warshall's closure).
  std::vector<WorkBits> reached = before;
  for (std::size_t k = 0; k < works.size(); ++k) {
    for (std::size_t i = 0; i < works.size(); ++i) {
      if (!hasBit(reached[i], k)) continue;
      for (std::size_t word = 0; word < words; ++word) reached[i][word] |= reached[k][word];
    }
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> arrows;
  for (std::size_t a = 0; a < works.size(); ++a) {
    WorkBits beyond(words, 0);
    for (std::size_t b = 0; b < works.size(); ++b) {
      if (!hasBit(before[a], b)) continue;
      for (std::size_t word = 0; word < words; ++word) beyond[word] |= reached[b][word];
    }
    for (std::size_t b = 0; b < works.size(); ++b) {
      if (hasBit(before[a], b) && !hasBit(beyond, b)) arrows.emplace_back(works[a], works[b]);
    }
  }
  return arrows;
}

void writeOrderGraph(std::ostream& out, const OrderFit& fit, const OrderBootstrap& bootstrap,
                     const DataSet& data) {
  out << "digraph order_all_cr {" << kLineEnd;
  out << "graph[" << kLineEnd << "fontsize = 8; " << kLineEnd << "fontname = \"sans-serif\""
      << kLineEnd;
  out << "label = \"\\nA -> B: A before B in at least " << formatDouble(100 * kOrderArrowShare)
      << "% of " << bootstrap.replicates << " replicates\";" << kLineEnd;
  out << "ranksep = 0.1;" << kLineEnd << "rankdir = \"LR\";" << kLineEnd << "]" << kLineEnd;
  std::vector<const OrderWorkFit*> placed;
  for (const OrderWorkFit& work : fit.works) {
    if (work.position) placed.push_back(&work);
  }
  std::stable_sort(placed.begin(), placed.end(), [](const OrderWorkFit* a, const OrderWorkFit* b) {
    return *a->position < *b->position;
  });
  for (const OrderWorkFit* work : placed) {
    out << dotId(workShortName(data, work->work)) << ';' << kLineEnd;
  }
  for (const auto& [from, to] : orderArrows(bootstrap)) {
    out << dotId(workShortName(data, from)) << " -> " << dotId(workShortName(data, to)) << ';'
        << kLineEnd;
  }
  out << "}" << kLineEnd;
}

namespace {

Failures writeOrderFiles(const RunOrder& order, const DataSet& data) {
  const OrderFit& fit = order.fit;
  const OrderBootstrap& bootstrap = order.bootstrap;
  Failures failures;
  addFailure(failures, writeFile(orderWorksFileName(), [&](std::ostream& out) {
               writeOrderWorks(out, fit, bootstrap, data);
             }));
  addFailure(failures, writeFile(orderCriteriaFileName(), [&](std::ostream& out) {
               writeOrderCriteria(out, fit, bootstrap, data);
             }));
  addFailure(failures, writeFile(orderPrecedenceFileName(), [&](std::ostream& out) {
               writeOrderPrecedence(out, bootstrap, data);
             }));
  addFailure(failures, writeFile(orderFitFileName(),
                                 [&](std::ostream& out) { writeOrderFit(out, fit, bootstrap); }));
  addFailure(failures, writeFile(orderGraphFileName(), [&](std::ostream& out) {
               writeOrderGraph(out, fit, bootstrap, data);
             }));
  return failures;
}

}  // namespace

Sink orderFilesSink() {
  Sink sink;
  sink.endRun = [](const RunRecord& record, const DataSet& data) {
    return record.order ? writeOrderFiles(*record.order, data) : Failures{};
  };
  return sink;
}

}  // namespace brevox
