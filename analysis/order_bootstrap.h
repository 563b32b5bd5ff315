#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/order_fit.h"

namespace brevox {

/// The replicates of the order's bootstrap.
inline constexpr std::size_t kOrderReplicates = 1000;
/// The bootstrap's own seed: every run on the same counts draws the same replicates.
inline constexpr std::uint64_t kOrderSeed = 20270527;

/// How far a work's place moves over the replicates.
struct OrderWorkSpread {
  std::optional<double> positionLow;   ///< 2.5% of the replicates' positions
  std::optional<double> positionHigh;  ///< 97.5%
  std::optional<std::uint32_t> rankLow;
  std::optional<std::uint32_t> rankHigh;
};

/// How far a criterion's rate moves, and how the order stands without the criterion.
struct OrderCriterionSpread {
  std::optional<double> rateLow;
  std::optional<double> rateHigh;
  /// Kendall's tau-b between the positions fitted without this criterion and the positions of
  /// the whole fit, over the works placed by both; none where either fit did not converge, or
  /// fewer than two works are placed by both.
  std::optional<double> kendallTau;
};

/// How often work A stands before work B (has the lower position) over the replicates, ties
/// counting half.
struct OrderPrecedence {
  std::uint32_t workA = 0;
  std::uint32_t workB = 0;
  double before = 0;
};

struct OrderBootstrap {
  std::vector<OrderWorkSpread> works;          ///< one per work of the fit, in its order
  std::vector<OrderCriterionSpread> criteria;  ///< one per criterion of the fit, in its order
  /// Every ordered pair of works with positions, by work A then work B in the data's order.
  std::vector<OrderPrecedence> precedence;
  std::size_t replicates = 0;  ///< the replicates whose fit converged: those counted
  std::uint64_t seed = 0;
};

/// The parametric bootstrap of a converged fit: each replicate draws every cell's occurrences
/// from the fitted model (beta-binomial with variance cases p (1 - p) times the dispersion where
/// the dispersion exceeds 1, else binomial), refits from the fit's parameters and aligns as the
/// fit does. Replicate i draws from its own generator, made from `seed` and i, and the replicates
/// run on `threads` threads (computeInOrder): the record is the same whatever the number of
/// threads. Intervals are the 2.5% and 97.5% quantiles, interpolated between the replicates'
/// values for positions and rates (R's type 7), and taken from them for ranks (type 1). A fit
/// that did not converge is not drawn from: its intervals, taus and precedences are empty.
OrderBootstrap bootstrapOrder(const OrderCounts& counts, const OrderFit& fit, unsigned threads,
                              std::size_t replicates = kOrderReplicates,
                              std::uint64_t seed = kOrderSeed);

}  // namespace brevox
