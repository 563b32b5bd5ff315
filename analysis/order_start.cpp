#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/order_model.h"

namespace brevox {

namespace {

// A criterion whose works' log-odds lie within this range does not spread them at all.
constexpr double kNoSpread = 1e-9;
// Enough steps of the power iteration for a start: the axis need not be exact.
constexpr unsigned kPowerIterations = 100;

double turned(std::int32_t direction) { return direction < 0 ? -1.0 : 1.0; }

}  // namespace

namespace {

struct CriterionLogOdds {
  std::vector<double> logOdds;  ///< per cell
  std::vector<double> mean;     ///< per criterion
  std::vector<double> range;    ///< per criterion
};

CriterionLogOdds criterionLogOdds(const OrderProblem& problem) {
  const std::size_t criteria = problem.directions.size();
  CriterionLogOdds odds{std::vector<double>(problem.adjusted.size()),
                        std::vector<double>(criteria, 0), std::vector<double>(criteria, 0)};
  std::vector<double> count(criteria, 0);
  std::vector<double> low(criteria, HUGE_VAL);
  std::vector<double> high(criteria, -HUGE_VAL);
  for (std::size_t i = 0; i < problem.adjusted.size(); ++i) {
    const std::uint32_t c = problem.cellCriterion[i];
    const double y = problem.adjusted[i];
    odds.logOdds[i] = std::log(y / (problem.trials[i] - y));
    odds.mean[c] += odds.logOdds[i];
    count[c] += 1;
    low[c] = std::min(low[c], odds.logOdds[i]);
    high[c] = std::max(high[c], odds.logOdds[i]);
  }
  for (std::size_t c = 0; c < criteria; ++c) {
    odds.mean[c] /= count[c];
    odds.range[c] = high[c] - low[c];
  }
  return odds;
}

// The works' mean centred log-odds, each criterion's turned to its direction; where they do not
// spread, the centred log-odds of the criterion that spreads most. Empty where none spreads.
std::vector<double> startingPositions(const OrderProblem& problem, const CriterionLogOdds& odds) {
  std::vector<double> position(problem.works, 0);
  for (std::size_t w = 0; w < problem.works; ++w) {
    for (std::size_t j = problem.workFirst[w]; j < problem.workFirst[w + 1]; ++j) {
      const std::size_t i = problem.workCells[j];
      const std::uint32_t c = problem.cellCriterion[i];
      position[w] += turned(problem.directions[c]) * (odds.logOdds[i] - odds.mean[c]);
    }
    position[w] /= static_cast<double>(problem.workFirst[w + 1] - problem.workFirst[w]);
  }
  const auto [low, high] = std::minmax_element(position.begin(), position.end());
  if (*high - *low > kNoSpread) return position;
  const std::size_t widest = static_cast<std::size_t>(
      std::max_element(odds.range.begin(), odds.range.end()) - odds.range.begin());
  if (!(odds.range[widest] > kNoSpread)) return {};
  std::fill(position.begin(), position.end(), 0);
  for (std::size_t i = 0; i < problem.adjusted.size(); ++i) {
    if (problem.cellCriterion[i] == widest) {
      position[problem.cellWork[i]] = odds.logOdds[i] - odds.mean[widest];
    }
  }
  return position;
}

}  // namespace

namespace {

// The principal axis of the works' centred log-odds (a cell without cases counting as the
// criterion's mean), by power iteration from `from`.
std::vector<double> principalAxis(const OrderProblem& problem, const CriterionLogOdds& odds,
                                  std::vector<double> from) {
  const std::size_t criteria = problem.directions.size();
  std::vector<double> centred(problem.adjusted.size());
  for (std::size_t i = 0; i < centred.size(); ++i) {
    centred[i] = odds.logOdds[i] - odds.mean[problem.cellCriterion[i]];
  }
  std::vector<double> loading(criteria);
  for (unsigned iteration = 0; iteration < kPowerIterations; ++iteration) {
    std::fill(loading.begin(), loading.end(), 0);
    for (std::size_t i = 0; i < centred.size(); ++i) {
      loading[problem.cellCriterion[i]] += centred[i] * from[problem.cellWork[i]];
    }
    std::fill(from.begin(), from.end(), 0);
    for (std::size_t i = 0; i < centred.size(); ++i) {
      from[problem.cellWork[i]] += centred[i] * loading[problem.cellCriterion[i]];
    }
    double norm = 0;
    for (const double value : from) norm += value * value;
    norm = std::sqrt(norm);
    if (!(norm > 0)) return {};
    for (double& value : from) value /= norm;
  }
  return from;
}

// The levels and rates of each criterion's weighted least squares of its log-odds on the
// positions of `start`, aligned. False where the positions do not spread.
bool fitLevelsAndRates(const OrderProblem& problem, const CriterionLogOdds& odds,
                       OrderParameters& start) {
  const std::size_t criteria = problem.directions.size();
  start.level.assign(criteria, 0);
  start.rate.assign(criteria, 0);
  if (!alignParameters(start, problem.directions)) return false;
  std::vector<double> sums(5 * criteria, 0);
  for (std::size_t i = 0; i < problem.adjusted.size(); ++i) {
    const double y = problem.adjusted[i];
    const double m = problem.trials[i];
    const double weight = y * (m - y) / m;
    const double x = start.position[problem.cellWork[i]];
    double* s = &sums[5 * problem.cellCriterion[i]];
    s[0] += weight;
    s[1] += weight * x;
    s[2] += weight * x * x;
    s[3] += weight * odds.logOdds[i];
    s[4] += weight * odds.logOdds[i] * x;
  }
  for (std::size_t c = 0; c < criteria; ++c) {
    const double* s = &sums[5 * c];
    const double determinant = s[0] * s[2] - s[1] * s[1];
    start.rate[c] =
        determinant > 1e-12 * s[0] * s[2] ? (s[0] * s[4] - s[1] * s[3]) / determinant : 0;
    start.level[c] = (s[3] - start.rate[c] * s[1]) / s[0];
  }
  return alignParameters(start, problem.directions);
}

}  // namespace

std::vector<OrderParameters> startingPoints(const OrderProblem& problem) {
  const CriterionLogOdds odds = criterionLogOdds(problem);
  std::vector<OrderParameters> starts;
  OrderParameters mean;
  mean.position = startingPositions(problem, odds);
  if (mean.position.empty() || !fitLevelsAndRates(problem, odds, mean)) return starts;
  OrderParameters principal;
  principal.position = principalAxis(problem, odds, mean.position);
  starts.push_back(std::move(mean));
  if (!principal.position.empty() && fitLevelsAndRates(problem, odds, principal)) {
    starts.push_back(std::move(principal));
  }
  // Each criterion's own order of its works, the others at the middle.
  for (std::size_t c = 0; c < problem.directions.size(); ++c) {
    if (!(odds.range[c] > kNoSpread)) continue;
    OrderParameters own;
    own.position.assign(problem.works, 0);
    for (std::size_t i = 0; i < problem.adjusted.size(); ++i) {
      if (problem.cellCriterion[i] != c) continue;
      own.position[problem.cellWork[i]] = odds.logOdds[i] - odds.mean[c];
    }
    if (fitLevelsAndRates(problem, odds, own)) starts.push_back(std::move(own));
  }
  return starts;
}

}  // namespace brevox
