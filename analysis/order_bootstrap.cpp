#include "analysis/order_bootstrap.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include "analysis/order_sampling.h"
#include "io/in_order.h"

namespace brevox {

namespace {

/// What one replicate found.
struct Replicate {
  bool converged = false;
  std::vector<double> position;  ///< per work of the layout
  std::vector<double> rate;      ///< per criterion of the layout
};

Replicate drawReplicate(const OrderLayout& layout, const OrderParameters& fitted, double dispersion,
                        std::uint64_t seed, std::size_t index) {
  RandomBits bits = replicateBits(seed, index);
  OrderProblem problem = layout.problem;
  for (std::size_t i = 0; i < problem.adjusted.size(); ++i) {
    const std::uint32_t c = problem.cellCriterion[i];
    const double p =
        cellLogs(fitted.level[c] + fitted.rate[c] * fitted.position[problem.cellWork[i]]).p;
    problem.adjusted[i] = betaBinomialVariate(bits, layout.cases[i], p, dispersion) + 0.5;
  }
  OrderSolution solution = solveOrder(problem, fitted);
  Replicate replicate;
  replicate.converged = solution.converged;
  if (solution.converged) {
    replicate.position = std::move(solution.parameters.position);
    replicate.rate = std::move(solution.parameters.rate);
  }
  return replicate;
}

// The quantile of sorted values interpolated between them, as R's type 7.
double interpolatedQuantile(const std::vector<double>& sorted, double share) {
  const double place = share * static_cast<double>(sorted.size() - 1);
  const std::size_t below = static_cast<std::size_t>(std::floor(place));
  if (below + 1 >= sorted.size()) return sorted.back();
  const double fraction = place - static_cast<double>(below);
  return sorted[below] + fraction * (sorted[below + 1] - sorted[below]);
}

// The smallest value that at least `share` of the values do not exceed, as R's type 1.
std::uint32_t steppedQuantile(const std::vector<std::uint32_t>& sorted, double share) {
  const double place = std::ceil(share * static_cast<double>(sorted.size()));
  const std::size_t index = place < 1 ? 0 : static_cast<std::size_t>(place) - 1;
  return sorted[std::min(index, sorted.size() - 1)];
}

struct Interval {
  double low;
  double high;
};

Interval interval(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {interpolatedQuantile(values, 0.025), interpolatedQuantile(values, 0.975)};
}

/// The replicates' positions and rates, one row per converged replicate.
struct Draws {
  std::vector<std::vector<double>> position;
  std::vector<std::vector<double>> rate;
};

Draws drawAll(const OrderLayout& layout, const OrderParameters& fitted, double dispersion,
              unsigned threads, std::size_t replicates, std::uint64_t seed) {
  Draws draws;
  // Every replicate is taken: nothing stops the bootstrap half way.
  static_cast<void>(computeInOrder<Replicate>(
      replicates, threads, 2 * static_cast<std::size_t>(std::max(threads, 1U)),
      [&](std::size_t i, Replicate& job, bool) {
        job = drawReplicate(layout, fitted, dispersion, seed, i);
      },
      [&](std::size_t, Replicate& job) {
        if (job.converged) {
          draws.position.push_back(std::move(job.position));
          draws.rate.push_back(std::move(job.rate));
        }
        return true;
      }));
  return draws;
}

// Each work's rank in one replicate: 1 plus the number of works before it.
std::vector<std::uint32_t> ranks(const std::vector<double>& position) {
  std::vector<std::size_t> order(position.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return position[a] < position[b]; });
  std::vector<std::uint32_t> rank(position.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    const bool tied = k > 0 && position[order[k]] == position[order[k - 1]];
    rank[order[k]] = tied ? rank[order[k - 1]] : static_cast<std::uint32_t>(k + 1);
  }
  return rank;
}

void summariseWorks(OrderBootstrap& result, const OrderFit& fit, const OrderLayout& layout,
                    const Draws& draws) {
  const std::size_t works = layout.works.size();
  std::vector<std::vector<std::uint32_t>> rank;
  for (const std::vector<double>& position : draws.position) rank.push_back(ranks(position));
  std::size_t w = 0;
  for (std::size_t k = 0; k < fit.works.size(); ++k) {
    if (!fit.works[k].position) continue;
    std::vector<double> values;
    std::vector<std::uint32_t> places;
    for (std::size_t r = 0; r < draws.position.size(); ++r) {
      values.push_back(draws.position[r][w]);
      places.push_back(rank[r][w]);
    }
    const Interval spread = interval(values);
    std::sort(places.begin(), places.end());
    result.works[k] = {spread.low, spread.high, steppedQuantile(places, 0.025),
                       steppedQuantile(places, 0.975)};
    ++w;
  }
  const double count = static_cast<double>(draws.position.size());
  for (std::size_t a = 0; a < works; ++a) {
    for (std::size_t b = 0; b < works; ++b) {
      if (a == b) continue;
      double before = 0;
      for (const std::vector<std::uint32_t>& r : rank) {
        before += r[a] < r[b] ? 1 : (r[a] == r[b] ? 0.5 : 0);
      }
      result.precedence.push_back({layout.works[a], layout.works[b], before / count});
    }
  }
}

void summariseRates(OrderBootstrap& result, const OrderFit& fit, const Draws& draws) {
  std::size_t c = 0;
  for (std::size_t k = 0; k < fit.criteria.size(); ++k) {
    if (!fit.criteria[k].rate) continue;
    std::vector<double> values;
    for (const std::vector<double>& rate : draws.rate) values.push_back(rate[c]);
    const Interval spread = interval(values);
    result.criteria[k].rateLow = spread.low;
    result.criteria[k].rateHigh = spread.high;
    ++c;
  }
}

// Kendall's tau-b of two paired lists.
std::optional<double> kendallTau(const std::vector<double>& x, const std::vector<double>& y) {
  double agreeing = 0;
  double tiedX = 0;
  double tiedY = 0;
  double pairs = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    for (std::size_t j = i + 1; j < x.size(); ++j) {
      const double dx = x[i] - x[j];
      const double dy = y[i] - y[j];
      pairs += 1;
      if (dx == 0) tiedX += 1;
      if (dy == 0) tiedY += 1;
      if (dx != 0 && dy != 0) agreeing += (dx > 0) == (dy > 0) ? 1 : -1;
    }
  }
  const double denominator = std::sqrt((pairs - tiedX) * (pairs - tiedY));
  if (!(denominator > 0)) return std::nullopt;
  return agreeing / denominator;
}

// The whole fit's parameters for the works and criteria of `layout`, a start beside the usual
// ones for the fit without a criterion, which moves the positions little.
OrderParameters fitStart(const OrderFit& fit, const OrderLayout& layout) {
  std::map<std::uint32_t, const OrderCriterionFit*> criteria;
  std::map<std::uint32_t, double> positions;
  for (const OrderCriterionFit& criterion : fit.criteria)
    criteria[criterion.criterion] = &criterion;
  for (const OrderWorkFit& work : fit.works) positions[work.work] = work.position.value_or(0);
  OrderParameters start;
  for (const std::uint32_t criterion : layout.criteria) {
    start.level.push_back(criteria.at(criterion)->level);
    start.rate.push_back(criteria.at(criterion)->rate.value_or(0));
  }
  for (const std::uint32_t work : layout.works) start.position.push_back(positions.at(work));
  return start;
}

std::optional<double> tauWithout(const OrderCounts& counts, const OrderFit& fit,
                                 std::uint32_t criterion) {
  OrderCounts without = counts;
  for (std::vector<CountPair>& work : without.works) {
    if (criterion - 1 < work.size()) work[criterion - 1] = CountPair{};
  }
  const OrderLayout layout = orderLayout(without);
  if (layout.works.size() < 2) return std::nullopt;
  std::vector<OrderParameters> starts = startingPoints(layout.problem);
  if (starts.empty()) return std::nullopt;
  // The usual two starts and the whole fit's; the fit of each criterion's own order is left to
  // the whole fit, whose positions start this one.
  starts.resize(std::min<std::size_t>(starts.size(), 2));
  starts.push_back(fitStart(fit, layout));
  std::optional<OrderSolution> best;
  for (OrderParameters& start : starts) {
    OrderSolution solution = solveOrder(layout.problem, std::move(start));
    if (solution.converged && (!best || solution.deviance < best->deviance)) {
      best = std::move(solution);
    }
  }
  if (!best) return std::nullopt;
  std::map<std::uint32_t, double> whole;
  for (const OrderWorkFit& work : fit.works) {
    if (work.position) whole[work.work] = *work.position;
  }
  std::vector<double> part;
  std::vector<double> same;
  for (std::size_t w = 0; w < layout.works.size(); ++w) {
    const auto found = whole.find(layout.works[w]);
    if (found == whole.end()) continue;
    part.push_back(best->parameters.position[w]);
    same.push_back(found->second);
  }
  return kendallTau(part, same);
}

}  // namespace

OrderBootstrap bootstrapOrder(const OrderCounts& counts, const OrderFit& fit, unsigned threads,
                              std::size_t replicates, std::uint64_t seed) {
  OrderBootstrap result;
  result.seed = seed;
  result.works.resize(fit.works.size());
  result.criteria.resize(fit.criteria.size());
  if (!fit.converged) return result;
  const OrderLayout layout = orderLayout(counts);
  const OrderParameters fitted = fittedParameters(fit, layout);
  if (fitted.position.empty()) return result;
  for (std::size_t k = 0; k < fit.criteria.size(); ++k) {
    result.criteria[k].kendallTau = tauWithout(counts, fit, fit.criteria[k].criterion);
  }
  const Draws draws =
      drawAll(layout, fitted, fit.dispersion.value_or(1), threads, replicates, seed);
  result.replicates = draws.position.size();
  if (result.replicates == 0) return result;
  summariseWorks(result, fit, layout, draws);
  summariseRates(result, fit, draws);
  return result;
}

}  // namespace brevox
