#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brevox {

/// The cells of one fit of the order of the works: the criteria with cases in two works or more,
/// the works with cases under them, each numbered from 0 within the fit. The cells run criterion
/// by criterion, each criterion's in the order of its works.
struct OrderProblem {
  std::size_t works = 0;
  std::vector<std::int32_t> directions;  ///< per criterion of the fit
  std::vector<std::uint32_t> cellWork;
  std::vector<std::uint32_t> cellCriterion;
  std::vector<double> adjusted;        ///< per cell: occurrences + 1/2
  std::vector<double> trials;          ///< per cell: cases + 1
  std::vector<std::size_t> workFirst;  ///< works + 1 bounds of each work's cells in workCells
  std::vector<std::size_t> workCells;  ///< the cells of each work, in the criteria's order
};

/// Fills workFirst and workCells from cellWork.
void indexWorkCells(OrderProblem& problem);

/// The model's parameters: per criterion its level and rate, per work its position; the log-odds
/// of a cell is level + rate * position.
struct OrderParameters {
  std::vector<double> level;
  std::vector<double> rate;
  std::vector<double> position;
};

struct OrderSolution {
  OrderParameters parameters;
  double deviance = 0;
  bool converged = false;
  unsigned iterations = 0;
};

/// Newton steps at most in one fit; a fit that needs more is reported as not converged.
inline constexpr unsigned kOrderIterationLimit = 100;

/// p, log p and log(1 - p) of a cell whose log-odds is `logOdds`, without cancellation at
/// either end.
struct CellLogs {
  double p;
  double logP;
  double logQ;
};
CellLogs cellLogs(double logOdds);

/// The starting points of a fit: the works' mean log-odds, each criterion's centred and turned to
/// its direction, standardised (where those do not spread, the log-odds of the criterion that
/// spreads most), then the principal axis of the centred log-odds; the levels and rates of each
/// the weighted least squares of the log-odds on its positions. A model of one axis may have more
/// than one maximum, and a start may lead the steps away to where the positions collapse: the fit
/// is made from each. None where no criterion spreads the works: every work alike, so that the
/// data has no axis.
std::vector<OrderParameters> startingPoints(const OrderProblem& problem);

/// Sets the positions to mean 0 and standard deviation 1 (the n - 1 form) with the levels and
/// rates following, so that every cell keeps its log-odds, and turns them so that the sum of
/// direction times rate is positive. False where the positions do not spread.
bool alignParameters(OrderParameters& parameters, const std::vector<std::int32_t>& directions);

/// The maximum of the binomial likelihood of the adjusted counts from `start` by Newton steps on
/// all parameters at once (the criteria's after the works' are eliminated), the observed
/// information where it is positive definite and the expected one elsewhere, each step halved
/// until the deviance does not grow; stopped when the deviance changes by less than 1e-12 of
/// itself (plus 0.1, for fits that reach 0) or than one rounding of its sums (which only cells of
/// hundreds of millions of cases make the larger), or after kOrderIterationLimit steps (not
/// converged). The solution is aligned.
OrderSolution solveOrder(const OrderProblem& problem, OrderParameters start);

/// Twice the adjusted counts' log-likelihood of the saturated model less that of `parameters`.
double orderDeviance(const OrderProblem& problem, const OrderParameters& parameters);

}  // namespace brevox
