#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/order_model.h"
#include "data/data_set.h"

namespace brevox {

/// What the order of the works is fitted to: for each work, in the data's order, its counts under
/// each criterion in the criteria's order (a row may be shorter: the cells beyond it have no
/// cases; occurrences above the cases count as the cases), and each criterion's direction (1 or
/// -1; a criterion without one, 0, neither turns the order nor agrees).
struct OrderCounts {
  std::vector<std::vector<CountPair>> works;
  std::vector<std::int32_t> directions;
};

/// The counts of a data set.
OrderCounts orderCounts(const DataSet& data);

/// A work with cases under at least one criterion.
struct OrderWorkFit {
  std::uint32_t work = 0;      ///< its number in the data, from 1
  std::uint32_t criteria = 0;  ///< the criteria under which it has cases
  /// Its place along the criteria's directions, mean 0 and standard deviation 1 over the works
  /// with a position; none where the fit has no axis, or where the work's only cases are under
  /// criteria with cases in no other work.
  std::optional<double> position;
  /// 1 plus the number of works placed before it; with its position.
  std::optional<std::uint32_t> rank;
  /// Its cells' share of Pearson's X^2; none where X^2 is 0 or the work has no position.
  std::optional<double> pearsonShare;
};

/// A criterion with cases in at least one work.
struct OrderCriterionFit {
  std::uint32_t criterion = 0;  ///< its number in the data, from 1
  std::int32_t direction = 0;
  std::uint32_t works = 0;  ///< the works with cases under it
  double level = 0;         ///< the log-odds at position 0
  /// The change of the log-odds per unit of position; none where the criterion has cases in one
  /// work only (its level alone fits that cell) or the fit has no axis.
  std::optional<double> rate;
  /// Whether the sign of the rate is the criterion's direction; none without a rate or a
  /// direction.
  std::optional<bool> agrees;
  double deviance = 0;  ///< its cells' share of the deviance
};

/// The order of the works over all criteria: logit p = level + rate * position in every cell with
/// cases, fitted by maximum likelihood to the counts with a half added to the occurrences and to
/// the non-occurrences. The positions have mean 0 and standard deviation 1 (the n - 1 form) and
/// are turned so that the sum of direction times rate is positive: a higher position is further
/// along the criteria's directions.
struct OrderFit {
  std::vector<OrderWorkFit> works;          ///< in the data's order
  std::vector<OrderCriterionFit> criteria;  ///< in the data's order
  std::size_t cells = 0;                    ///< the cells with cases
  /// The binomial log-likelihood of the adjusted counts, its coefficients from the gamma function.
  double logLikelihood = 0;
  double deviance = 0;
  /// Cells less parameters (two per criterion with a rate, one per other criterion, one per
  /// position, less two for their mean and spread), and never below 0.
  std::size_t degreesOfFreedom = 0;
  double pearsonChiSquare = 0;
  std::optional<double> dispersion;  ///< X^2 / degrees of freedom; none without degrees
  /// False where the Newton steps reached no maximum (within their limit, or where no step lowers
  /// the deviance, as where no criterion joins two groups of works), and where the data has no
  /// axis: fewer than two works with cases under a criterion with cases in two works, or every
  /// work alike under every criterion. Without an axis nothing has a position or a rate, each
  /// level is its criterion's pooled log-odds and the deviance and X^2 are those of the levels.
  bool converged = false;
  unsigned iterations = 0;
};

/// The fit of the order of the works to `counts`, from every starting point (startingPoints),
/// keeping the highest maximum reached. Never fails: what cannot be fitted is reported in the
/// record.
OrderFit fitOrder(const OrderCounts& counts);

/// The cells of a fit of `counts` and what they number: the criteria with cases in two works or
/// more, and the works with cases under them.
struct OrderLayout {
  OrderProblem problem;
  std::vector<std::uint32_t> works;     ///< per work of the problem: its number in the data
  std::vector<std::uint32_t> criteria;  ///< per criterion of the problem: its number in the data
  std::vector<std::uint32_t> cases;     ///< per cell: its cases
};

OrderLayout orderLayout(const OrderCounts& counts);

/// The parameters of a fit with an axis, in the numbering of `layout` (made from the same
/// counts); empty positions without an axis.
OrderParameters fittedParameters(const OrderFit& fit, const OrderLayout& layout);

}  // namespace brevox
