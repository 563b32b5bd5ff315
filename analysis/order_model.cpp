#include "analysis/order_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace brevox {

namespace {

constexpr double kRelativeChange = 1e-12;
// Added to the deviance in the relative change, so that a fit that reaches 0 stops too.
constexpr double kDevianceOffset = 0.1;
constexpr unsigned kHalvings = 40;

/// The log-likelihood of the adjusted counts without the binomial coefficients, and the sum of
/// its terms' sizes, from which its rounding follows.
struct Kernel {
  double sum = 0;
  double size = 0;
};

// The kernel at `parameters`, and each cell's probability where `probabilities` is given.
Kernel kernel(const OrderProblem& problem, const OrderParameters& parameters,
              std::vector<double>* probabilities) {
  Kernel total;
  for (std::size_t i = 0; i < problem.adjusted.size(); ++i) {
    const std::uint32_t c = problem.cellCriterion[i];
    const CellLogs logs = cellLogs(parameters.level[c] +
                                   parameters.rate[c] * parameters.position[problem.cellWork[i]]);
    if (probabilities != nullptr) (*probabilities)[i] = logs.p;
    const double y = problem.adjusted[i];
    const double occurring = y * logs.logP;
    const double missing = (problem.trials[i] - y) * logs.logQ;
    total.sum += occurring + missing;
    total.size -= occurring + missing;  // both terms are at most 0
  }
  return total;
}

double saturatedKernel(const OrderProblem& problem) {
  double sum = 0;
  for (std::size_t i = 0; i < problem.adjusted.size(); ++i) {
    const double y = problem.adjusted[i];
    const double m = problem.trials[i];
    sum += y * std::log(y / m) + (m - y) * std::log((m - y) / m);
  }
  return sum;
}

}  // namespace

void indexWorkCells(OrderProblem& problem) {
  problem.workFirst.assign(problem.works + 1, 0);
  for (const std::uint32_t w : problem.cellWork) ++problem.workFirst[w + 1];
  for (std::size_t w = 0; w < problem.works; ++w) problem.workFirst[w + 1] += problem.workFirst[w];
  problem.workCells.resize(problem.cellWork.size());
  std::vector<std::size_t> next(problem.workFirst.begin(), problem.workFirst.end() - 1);
  for (std::size_t i = 0; i < problem.cellWork.size(); ++i) {
    problem.workCells[next[problem.cellWork[i]]++] = i;
  }
}

CellLogs cellLogs(double logOdds) {
  const double e = std::exp(-std::fabs(logOdds));
  // log(1 + e) rather than log1p(e): its error, under 2.3e-16, is below what the sums of the
  // likelihood keep, and it costs half as much.
  const double l = std::log(1 + e);
  if (logOdds >= 0) return {1 / (1 + e), -l, -logOdds - l};
  return {e / (1 + e), logOdds - l, -l};
}

double orderDeviance(const OrderProblem& problem, const OrderParameters& parameters) {
  return 2 * (saturatedKernel(problem) - kernel(problem, parameters, nullptr).sum);
}

bool alignParameters(OrderParameters& parameters, const std::vector<std::int32_t>& directions) {
  std::vector<double>& position = parameters.position;
  const double count = static_cast<double>(position.size());
  if (position.size() < 2) return false;
  double mean = 0;
  for (const double value : position) mean += value;
  mean /= count;
  double squares = 0;
  for (const double value : position) squares += (value - mean) * (value - mean);
  const double spread = std::sqrt(squares / (count - 1));
  if (!(spread > 0) || !std::isfinite(spread)) return false;
  double along = 0;
  for (std::size_t c = 0; c < directions.size(); ++c) {
    parameters.level[c] += parameters.rate[c] * mean;
    parameters.rate[c] *= spread;
    along += static_cast<double>(directions[c]) * parameters.rate[c];
  }
  const double sign = along < 0 ? -1.0 : 1.0;
  for (double& value : position) value = sign * (value - mean) / spread;
  for (double& rate : parameters.rate) rate *= sign;
  return true;
}

namespace {

/// One Newton step's equations with the works eliminated: the criteria's matrix (its lower
/// triangle, two rows per criterion: level then rate) and right side, and what the works'
/// equations keep to give their own steps back.
struct NewtonSystem {
  std::size_t size = 0;
  std::vector<double> matrix;
  std::vector<double> right;
  std::vector<double> gradient;  ///< the criteria's score, before elimination
  std::vector<double> pivot;     ///< per work: its information
  std::vector<double> workGradient;
  std::vector<double> crossLevel;  ///< per cell: the work's information with the level
  std::vector<double> crossRate;   ///< per cell: with the rate
};

void accumulateCells(NewtonSystem& system, const OrderProblem& problem,
                     const OrderParameters& parameters, const std::vector<double>& probabilities,
                     bool observed) {
  const std::size_t size = system.size;
  for (std::size_t i = 0; i < problem.adjusted.size(); ++i) {
    const std::size_t c = problem.cellCriterion[i];
    const std::size_t w = problem.cellWork[i];
    const double m = problem.trials[i];
    const double p = probabilities[i];
    const double v = m * p * (1 - p);
    const double r = problem.adjusted[i] - m * p;
    const double x = parameters.position[w];
    const double b = parameters.rate[c];
    double* rows = &system.matrix[2 * c * size + 2 * c];
    rows[0] += v;
    rows[size] += v * x;
    rows[size + 1] += v * x * x;
    system.gradient[2 * c] += r;
    system.gradient[2 * c + 1] += r * x;
    system.pivot[w] += v * b * b;
    system.workGradient[w] += r * b;
    system.crossLevel[i] = v * b;
    // The observed information of rate and position has the residual beside the expected one.
    system.crossRate[i] = v * b * x - (observed ? r : 0);
  }
}

void eliminateWorks(NewtonSystem& system, const OrderProblem& problem) {
  const std::size_t size = system.size;
  system.right = system.gradient;
  // The work's information with every criterion's level and rate, 0 where it has no cell: the
  // rows of the matrix then change over their whole length, a run the compiler vectorises.
  std::vector<double> cross(size, 0);
  for (std::size_t w = 0; w < problem.works; ++w) {
    if (!(system.pivot[w] > 0)) continue;  // no rate under its criteria: its position stays
    const double inverse = 1 / system.pivot[w];
    const double g = system.workGradient[w] * inverse;
    std::size_t last = 0;
    for (std::size_t j = problem.workFirst[w]; j < problem.workFirst[w + 1]; ++j) {
      const std::size_t i = problem.workCells[j];
      const std::size_t c = 2 * problem.cellCriterion[i];
      cross[c] = system.crossLevel[i];
      cross[c + 1] = system.crossRate[i];
      last = c + 2;
    }
    for (std::size_t r = 0; r < last; ++r) {
      const double factor = cross[r] * inverse;
      if (factor == 0) continue;
      system.right[r] -= cross[r] * g;
      double* row = &system.matrix[r * size];
      for (std::size_t k = 0; k <= r; ++k) row[k] -= factor * cross[k];
    }
    for (std::size_t j = problem.workFirst[w]; j < problem.workFirst[w + 1]; ++j) {
      const std::size_t c = 2 * problem.cellCriterion[problem.workCells[j]];
      cross[c] = 0;
      cross[c + 1] = 0;
    }
  }
}

NewtonSystem newtonSystem(const OrderProblem& problem, const OrderParameters& parameters,
                          const std::vector<double>& probabilities, bool observed) {
  NewtonSystem system;
  system.size = 2 * problem.directions.size();
  system.matrix.assign(system.size * system.size, 0);
  system.gradient.assign(system.size, 0);
  system.pivot.assign(problem.works, 0);
  system.workGradient.assign(problem.works, 0);
  system.crossLevel.resize(problem.adjusted.size());
  system.crossRate.resize(problem.adjusted.size());
  accumulateCells(system, problem, parameters, probabilities, observed);
  eliminateWorks(system, problem);
  return system;
}

// Solves the criteria's equations by Cholesky's method with the level and rate of criterion
// `fixed` held, which fixes the scale and origin of the positions for the step. False where the
// matrix is not positive definite.
bool solveCriteria(const NewtonSystem& system, std::size_t fixed, std::vector<double>& step) {
  std::vector<std::size_t> kept;
  for (std::size_t k = 0; k < system.size; ++k) {
    if (k / 2 != fixed) kept.push_back(k);
  }
  const std::size_t n = kept.size();
  std::vector<double> lower(n * n, 0);
  std::vector<double> x(n, 0);
  for (std::size_t r = 0; r < n; ++r) {
    x[r] = system.right[kept[r]];
    for (std::size_t c = 0; c <= r; ++c)
      lower[r * n + c] = system.matrix[kept[r] * system.size + kept[c]];
  }
  for (std::size_t j = 0; j < n; ++j) {
    const double diagonal = lower[j * n + j];
    double d = diagonal;
    for (std::size_t k = 0; k < j; ++k) d -= lower[j * n + k] * lower[j * n + k];
    if (!(d > 1e-14 * diagonal)) return false;
    const double root = std::sqrt(d);
    lower[j * n + j] = root;
    for (std::size_t r = j + 1; r < n; ++r) {
      double s = lower[r * n + j];
      for (std::size_t k = 0; k < j; ++k) s -= lower[r * n + k] * lower[j * n + k];
      lower[r * n + j] = s / root;
    }
  }
  for (std::size_t r = 0; r < n; ++r) {
    for (std::size_t k = 0; k < r; ++k) x[r] -= lower[r * n + k] * x[k];
    x[r] /= lower[r * n + r];
  }
  for (std::size_t r = n; r-- > 0;) {
    for (std::size_t k = r + 1; k < n; ++k) x[r] -= lower[k * n + r] * x[k];
    x[r] /= lower[r * n + r];
  }
  step.assign(system.size, 0);
  for (std::size_t r = 0; r < n; ++r) step[kept[r]] = x[r];
  return true;
}

/// A full Newton step, and the fall of the deviance it foresees.
struct NewtonStep {
  std::vector<double> criteria;  ///< level and rate per criterion
  std::vector<double> works;
  double foreseen = 0;
};

bool newtonStep(const OrderProblem& problem, const OrderParameters& parameters,
                const std::vector<double>& probabilities, bool observed, NewtonStep& step) {
  step.foreseen = HUGE_VAL;
  const NewtonSystem system = newtonSystem(problem, parameters, probabilities, observed);
  // The criterion with the steepest rate holds the positions' scale and origin.
  std::size_t fixed = 0;
  for (std::size_t c = 1; c < parameters.rate.size(); ++c) {
    if (std::fabs(parameters.rate[c]) > std::fabs(parameters.rate[fixed])) fixed = c;
  }
  if (!solveCriteria(system, fixed, step.criteria)) return false;
  step.works.assign(problem.works, 0);
  double foreseen = 0;
  for (std::size_t k = 0; k < system.size; ++k) foreseen += system.gradient[k] * step.criteria[k];
  for (std::size_t w = 0; w < problem.works; ++w) {
    if (!(system.pivot[w] > 0)) continue;
    double right = system.workGradient[w];
    for (std::size_t j = problem.workFirst[w]; j < problem.workFirst[w + 1]; ++j) {
      const std::size_t i = problem.workCells[j];
      const std::size_t c = 2 * problem.cellCriterion[i];
      right -= system.crossLevel[i] * step.criteria[c] + system.crossRate[i] * step.criteria[c + 1];
    }
    step.works[w] = right / system.pivot[w];
    foreseen += system.workGradient[w] * step.works[w];
  }
  if (!std::isfinite(foreseen)) return false;
  step.foreseen = foreseen;
  return true;
}

OrderParameters stepped(const OrderParameters& parameters, const NewtonStep& step, double length) {
  OrderParameters next = parameters;
  for (std::size_t c = 0; c < next.level.size(); ++c) {
    next.level[c] += length * step.criteria[2 * c];
    next.rate[c] += length * step.criteria[2 * c + 1];
  }
  for (std::size_t w = 0; w < next.position.size(); ++w) next.position[w] += length * step.works[w];
  return next;
}

/// Where a fit stands between its steps.
struct FitState {
  OrderParameters parameters;
  std::vector<double> probabilities;
  double deviance = 0;
  double rounding = 0;  ///< one rounding of the deviance's sums
};

void evaluate(const OrderProblem& problem, double saturated, FitState& state) {
  const Kernel total = kernel(problem, state.parameters, &state.probabilities);
  state.deviance = 2 * (saturated - total.sum);
  state.rounding = 2 * std::numeric_limits<double>::epsilon() * (total.size + std::fabs(saturated));
}

// The change of the deviance below which the fit stops: 1e-12 of it, or what its sums can still
// tell where their cases are so many that rounding hides a smaller one.
double tolerance(const FitState& state) {
  return std::max(kRelativeChange * (std::fabs(state.deviance) + kDevianceOffset), state.rounding);
}

// Takes the step, halved until the deviance does not grow beyond the tolerance, and returns the
// length taken; 0 where no length of it does.
double takeStep(const OrderProblem& problem, double saturated, const NewtonStep& step,
                FitState& state) {
  const double limit = state.deviance + tolerance(state);
  FitState next;
  next.probabilities.resize(problem.adjusted.size());
  double length = 1;
  for (unsigned halving = 0; halving <= kHalvings; ++halving, length /= 2) {
    next.parameters = stepped(state.parameters, step, length);
    evaluate(problem, saturated, next);
    if (std::isfinite(next.deviance) && next.deviance <= limit) {
      if (!alignParameters(next.parameters, problem.directions)) return 0;
      state = std::move(next);
      return length;
    }
  }
  return 0;
}

}  // namespace

namespace {

// A step whose foreseen gain is below the tolerance polishes the maximum: taken whole, whatever
// rounding makes of the deviance's change.
void takeLastStep(const OrderProblem& problem, double saturated, const NewtonStep& step,
                  FitState& state) {
  FitState next;
  next.probabilities.resize(problem.adjusted.size());
  next.parameters = stepped(state.parameters, step, 1);
  evaluate(problem, saturated, next);
  if (std::isfinite(next.deviance) && alignParameters(next.parameters, problem.directions)) {
    state = std::move(next);
  }
}

/// What one Newton step did.
enum class StepOutcome { taken, last, failed };

StepOutcome newtonIteration(const OrderProblem& problem, double saturated, FitState& state) {
  const double before = state.deviance;
  const double foreseeable = tolerance(state);
  for (const bool observed : {true, false}) {
    NewtonStep step;
    if (!newtonStep(problem, state.parameters, state.probabilities, observed, step)) continue;
    if (std::fabs(step.foreseen) <= foreseeable) {
      takeLastStep(problem, saturated, step, state);
      return StepOutcome::last;
    }
    const double length = takeStep(problem, saturated, step, state);
    if (length == 0) continue;
    // A halved step changes the deviance little without reaching the maximum.
    const bool settled = length == 1 && std::fabs(before - state.deviance) <= tolerance(state);
    return settled ? StepOutcome::last : StepOutcome::taken;
  }
  return StepOutcome::failed;
}

}  // namespace

OrderSolution solveOrder(const OrderProblem& problem, OrderParameters start) {
  OrderSolution solution;
  const double saturated = saturatedKernel(problem);
  FitState state;
  state.parameters = std::move(start);
  state.probabilities.resize(problem.adjusted.size());
  evaluate(problem, saturated, state);
  const bool aligned = alignParameters(state.parameters, problem.directions);
  while (aligned && std::isfinite(state.deviance) && solution.iterations < kOrderIterationLimit) {
    ++solution.iterations;
    const StepOutcome outcome = newtonIteration(problem, saturated, state);
    if (outcome == StepOutcome::taken) continue;
    // No step lowers the deviance though more was foreseen: not converged.
    solution.converged = outcome == StepOutcome::last;
    break;
  }
  solution.parameters = std::move(state.parameters);
  solution.deviance = state.deviance;
  return solution;
}

}  // namespace brevox
