#include "analysis/order_fit.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace brevox {

namespace {

bool hasCases(const OrderCounts& counts, std::size_t w, std::size_t c) {
  return c < counts.works[w].size() && counts.works[w][c].total > 0;
}

// A cell's counts, its occurrences never above its cases.
CountPair cellOf(const OrderCounts& counts, std::size_t w, std::size_t c) {
  CountPair cell = counts.works[w][c];
  if (cell.observed > cell.total) cell.observed = cell.total;
  return cell;
}

std::vector<std::uint32_t> worksWithCases(const OrderCounts& counts) {
  std::vector<std::uint32_t> works(counts.directions.size(), 0);
  for (std::size_t w = 0; w < counts.works.size(); ++w) {
    for (std::size_t c = 0; c < works.size(); ++c) works[c] += hasCases(counts, w, c) ? 1 : 0;
  }
  return works;
}

}  // namespace

OrderCounts orderCounts(const DataSet& data) {
  OrderCounts counts;
  for (const Work& work : data.works) counts.works.push_back(work.counts);
  for (const Criterion& criterion : data.criteria) counts.directions.push_back(criterion.direction);
  return counts;
}

OrderLayout orderLayout(const OrderCounts& counts) {
  OrderLayout layout;
  const std::vector<std::uint32_t> works = worksWithCases(counts);
  std::vector<std::uint32_t> criterionIndex(works.size(), 0);
  for (std::size_t c = 0; c < works.size(); ++c) {
    if (works[c] < 2) continue;
    criterionIndex[c] = static_cast<std::uint32_t>(layout.criteria.size());
    layout.criteria.push_back(static_cast<std::uint32_t>(c + 1));
    layout.problem.directions.push_back(counts.directions[c]);
  }
  std::vector<std::int64_t> workIndex(counts.works.size(), -1);
  for (std::size_t w = 0; w < counts.works.size(); ++w) {
    for (const std::uint32_t criterion : layout.criteria) {
      if (!hasCases(counts, w, criterion - 1)) continue;
      workIndex[w] = static_cast<std::int64_t>(layout.works.size());
      layout.works.push_back(static_cast<std::uint32_t>(w + 1));
      break;
    }
  }
  OrderProblem& problem = layout.problem;
  problem.works = layout.works.size();
  for (std::size_t k = 0; k < layout.criteria.size(); ++k) {
    const std::size_t c = layout.criteria[k] - 1;
    for (std::size_t w = 0; w < counts.works.size(); ++w) {
      if (!hasCases(counts, w, c)) continue;
      const CountPair cell = cellOf(counts, w, c);
      problem.cellWork.push_back(static_cast<std::uint32_t>(workIndex[w]));
      problem.cellCriterion.push_back(static_cast<std::uint32_t>(k));
      problem.adjusted.push_back(cell.observed + 0.5);
      problem.trials.push_back(cell.total + 1.0);
      layout.cases.push_back(cell.total);
    }
  }
  indexWorkCells(problem);
  return layout;
}

OrderParameters fittedParameters(const OrderFit& fit, const OrderLayout& layout) {
  OrderParameters parameters;
  for (const OrderCriterionFit& criterion : fit.criteria) {
    if (!criterion.rate) continue;
    parameters.level.push_back(criterion.level);
    parameters.rate.push_back(*criterion.rate);
  }
  for (const OrderWorkFit& work : fit.works) {
    if (work.position) parameters.position.push_back(*work.position);
  }
  if (parameters.position.size() != layout.works.size() ||
      parameters.rate.size() != layout.criteria.size()) {
    return {};
  }
  return parameters;
}

namespace {

/// The log-odds of each cell of the data under the fit, in the layout's numbering where the
/// criterion has a rate, else its level alone.
struct FitParts {
  OrderLayout layout;
  OrderParameters parameters;  ///< positions empty without an axis
  std::vector<double> level;   ///< per criterion of the data
};

// Without an axis each criterion's level is its pooled log-odds; a criterion with cases in one
// work always fits that cell alone.
std::vector<double> plainLevels(const OrderCounts& counts) {
  std::vector<double> level(counts.directions.size(), 0);
  for (std::size_t c = 0; c < level.size(); ++c) {
    double occurrences = 0;
    double trials = 0;
    for (std::size_t w = 0; w < counts.works.size(); ++w) {
      if (!hasCases(counts, w, c)) continue;
      occurrences += cellOf(counts, w, c).observed + 0.5;
      trials += cellOf(counts, w, c).total + 1.0;
    }
    if (trials > 0) level[c] = std::log(occurrences / (trials - occurrences));
  }
  return level;
}

void fillRecords(OrderFit& fit, const OrderCounts& counts, const FitParts& parts) {
  const std::vector<std::uint32_t> works = worksWithCases(counts);
  const bool axis = !parts.parameters.position.empty();
  std::size_t k = 0;
  for (std::size_t c = 0; c < works.size(); ++c) {
    if (works[c] == 0) continue;
    OrderCriterionFit criterion;
    criterion.criterion = static_cast<std::uint32_t>(c + 1);
    criterion.direction = counts.directions[c];
    criterion.works = works[c];
    criterion.level = parts.level[c];
    if (k < parts.layout.criteria.size() && parts.layout.criteria[k] == c + 1) {
      if (axis) {
        criterion.level = parts.parameters.level[k];
        criterion.rate = parts.parameters.rate[k];
        if (criterion.direction != 0) {
          criterion.agrees = (*criterion.rate > 0) == (criterion.direction > 0);
        }
      }
      ++k;
    }
    fit.criteria.push_back(criterion);
  }
  std::size_t placed = 0;
  for (std::size_t w = 0; w < counts.works.size(); ++w) {
    OrderWorkFit work;
    work.work = static_cast<std::uint32_t>(w + 1);
    for (std::size_t c = 0; c < works.size(); ++c) work.criteria += hasCases(counts, w, c) ? 1 : 0;
    if (work.criteria == 0) continue;
    if (axis && placed < parts.layout.works.size() && parts.layout.works[placed] == w + 1) {
      work.position = parts.parameters.position[placed++];
    }
    fit.works.push_back(work);
  }
  for (OrderWorkFit& work : fit.works) {
    if (!work.position) continue;
    std::uint32_t before = 0;
    for (const OrderWorkFit& other : fit.works)
      before += other.position && *other.position < *work.position ? 1 : 0;
    work.rank = before + 1;
  }
}

// The deviance, X^2 and log-likelihood over every cell with cases, each criterion's deviance and
// each work's share of X^2.
void fillMeasures(OrderFit& fit, const OrderCounts& counts) {
  std::vector<double> level(counts.directions.size(), 0);
  std::vector<double> rate(counts.directions.size(), 0);
  std::vector<double> position(counts.works.size(), 0);
  std::vector<double> criterionDeviance(counts.directions.size(), 0);
  std::vector<double> workPearson(counts.works.size(), 0);
  for (const OrderCriterionFit& criterion : fit.criteria) {
    level[criterion.criterion - 1] = criterion.level;
    rate[criterion.criterion - 1] = criterion.rate.value_or(0);
  }
  for (const OrderWorkFit& work : fit.works) position[work.work - 1] = work.position.value_or(0);
  for (std::size_t w = 0; w < counts.works.size(); ++w) {
    for (std::size_t c = 0; c < counts.directions.size(); ++c) {
      if (!hasCases(counts, w, c)) continue;
      const CountPair cell = cellOf(counts, w, c);
      const double y = cell.observed + 0.5;
      const double m = cell.total + 1.0;
      const CellLogs logs = cellLogs(level[c] + rate[c] * position[w]);
      // Never below 0 but by rounding, where the cell is fitted exactly.
      const double deviance = std::max(0.0, 2 * (y * (std::log(y / m) - logs.logP) +
                                                 (m - y) * (std::log((m - y) / m) - logs.logQ)));
      const double residual = y - m * logs.p;
      const double pearson = residual * residual / (m * logs.p * (1 - logs.p));
      ++fit.cells;
      fit.deviance += deviance;
      fit.pearsonChiSquare += pearson;
      fit.logLikelihood += std::lgamma(m + 1) - std::lgamma(y + 1) - std::lgamma(m - y + 1) +
                           y * logs.logP + (m - y) * logs.logQ;
      criterionDeviance[c] += deviance;
      workPearson[w] += pearson;
    }
  }
  for (OrderCriterionFit& criterion : fit.criteria) {
    criterion.deviance = criterionDeviance[criterion.criterion - 1];
  }
  for (OrderWorkFit& work : fit.works) {
    if (work.position && fit.pearsonChiSquare > 0) {
      work.pearsonShare = workPearson[work.work - 1] / fit.pearsonChiSquare;
    }
  }
}

std::size_t parameterCount(const OrderFit& fit) {
  std::size_t parameters = 0;
  std::size_t positions = 0;
  for (const OrderCriterionFit& criterion : fit.criteria) parameters += criterion.rate ? 2 : 1;
  for (const OrderWorkFit& work : fit.works) positions += work.position ? 1 : 0;
  // The positions' mean and spread are fixed, not fitted.
  return positions >= 2 ? parameters + positions - 2 : parameters;
}

}  // namespace

OrderFit fitOrder(const OrderCounts& counts) {
  FitParts parts;
  parts.layout = orderLayout(counts);
  parts.level = plainLevels(counts);
  OrderFit fit;
  if (parts.layout.problem.works >= 2) {
    // The highest maximum reached, a converged one before any other.
    std::optional<OrderSolution> best;
    for (OrderParameters& start : startingPoints(parts.layout.problem)) {
      OrderSolution solution = solveOrder(parts.layout.problem, std::move(start));
      if (!best || (solution.converged && !best->converged) ||
          (solution.converged == best->converged && solution.deviance < best->deviance)) {
        best = std::move(solution);
      }
    }
    if (best) {
      parts.parameters = std::move(best->parameters);
      fit.converged = best->converged;
      fit.iterations = best->iterations;
    }
  }
  fillRecords(fit, counts, parts);
  fillMeasures(fit, counts);
  const std::size_t parameters = parameterCount(fit);
  fit.degreesOfFreedom = fit.cells > parameters ? fit.cells - parameters : 0;
  if (fit.degreesOfFreedom > 0) {
    fit.dispersion = fit.pearsonChiSquare / static_cast<double>(fit.degreesOfFreedom);
  }
  return fit;
}

}  // namespace brevox
