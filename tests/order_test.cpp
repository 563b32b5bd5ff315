// The order of the works over all criteria against R's gnm on the built-in data and 50 generated
// data sets (tests/reference/order_reference.R, which says how they are made), the coverage of
// the bootstrap's position intervals on data drawn from a known model, and the bytes of the
// order's tables and graph.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/order_bootstrap.h"
#include "analysis/order_fit.h"
#include "analysis/order_sampling.h"
#include "data/built_in_data.h"
#include "report/order_tables.h"

namespace brevox {
namespace {

/// One data set of the reference and what gnm fitted to it.
struct ReferenceSet {
  OrderCounts counts;
  std::map<std::uint32_t, double> position;
  std::map<std::uint32_t, double> level;
  std::map<std::uint32_t, double> rate;
  std::set<std::uint32_t> against;
  double logLikelihood = 0;
  double deviance = 0;
  std::size_t degreesOfFreedom = 0;
};

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> cells;
  std::istringstream in(line);
  std::string cell;
  while (std::getline(in, cell, ',')) cells.push_back(cell);
  if (!line.empty() && line.back() == ',') cells.emplace_back();
  return cells;
}

void addLine(ReferenceSet& set, const std::vector<std::string>& cell) {
  const std::string& what = cell[1];
  const auto number = [](const std::string& text) {
    return static_cast<std::uint32_t>(std::stoul(text));
  };
  const double value = cell[6].empty() ? 0 : std::stod(cell[6]);
  if (what == "count") {
    const std::uint32_t w = number(cell[2]);
    const std::uint32_t c = number(cell[3]);
    if (set.counts.works.size() < w) set.counts.works.resize(w);
    if (set.counts.works[w - 1].size() < c) set.counts.works[w - 1].resize(c);
    set.counts.works[w - 1][c - 1] = {number(cell[4]), number(cell[5])};
  } else if (what == "direction") {
    set.counts.directions.push_back(static_cast<std::int32_t>(value));
  } else if (what == "position") {
    set.position[number(cell[2])] = value;
  } else if (what == "level") {
    set.level[number(cell[3])] = value;
  } else if (what == "rate") {
    set.rate[number(cell[3])] = value;
  } else if (what == "against") {
    set.against.insert(number(cell[3]));
  } else if (what == "log_likelihood") {
    set.logLikelihood = value;
  } else if (what == "deviance") {
    set.deviance = value;
  } else if (what == "df") {
    set.degreesOfFreedom = static_cast<std::size_t>(value);
  }
}

std::map<int, ReferenceSet> referenceSets() {
  std::ifstream in(std::string(BREVOX_SOURCE_DIR) + "/tests/reference/order_reference.csv");
  EXPECT_TRUE(in) << "cannot read order_reference.csv";
  std::map<int, ReferenceSet> sets;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    const std::vector<std::string> cell = fields(line);
    if (cell.size() == 7) addLine(sets[std::stoi(cell[0])], cell);
  }
  return sets;
}

TEST(OrderFitTest, AgreesWithGnm) {
  const std::map<int, ReferenceSet> sets = referenceSets();
  ASSERT_EQ(sets.size(), 51U);
  for (const auto& [number, set] : sets) {
    SCOPED_TRACE("data set " + std::to_string(number));
    const OrderFit fit = fitOrder(set.counts);
    EXPECT_TRUE(fit.converged);
    std::size_t positions = 0;
    for (const OrderWorkFit& work : fit.works) {
      const auto expected = set.position.find(work.work);
      ASSERT_EQ(work.position.has_value(), expected != set.position.end()) << "work " << work.work;
      if (!work.position) continue;
      EXPECT_NEAR(*work.position, expected->second, 1e-8) << "work " << work.work;
      ++positions;
    }
    EXPECT_EQ(positions, set.position.size());
    EXPECT_EQ(fit.criteria.size(), set.level.size());
    for (const OrderCriterionFit& criterion : fit.criteria) {
      SCOPED_TRACE("criterion " + std::to_string(criterion.criterion));
      const auto rate = set.rate.find(criterion.criterion);
      EXPECT_NEAR(criterion.level, set.level.at(criterion.criterion), 1e-8);
      ASSERT_EQ(criterion.rate.has_value(), rate != set.rate.end());
      if (criterion.rate) {
        EXPECT_NEAR(*criterion.rate, rate->second, 1e-8);
      }
      if (set.against.count(criterion.criterion) > 0) {
        EXPECT_EQ(criterion.agrees, false);
      }
    }
    EXPECT_NEAR(fit.logLikelihood, set.logLikelihood, 1e-9 * std::fabs(set.logLikelihood));
    EXPECT_NEAR(fit.deviance, set.deviance, 1e-9 * (set.deviance + 1));
    EXPECT_EQ(fit.degreesOfFreedom, set.degreesOfFreedom);
  }
}

// Data without an axis, or with parts that cannot be placed: the record says so, and never stops.
TEST(OrderFitTest, DegenerateData) {
  struct Case {
    const char* name;
    OrderCounts counts;
    bool converged;
    std::vector<bool> placed;  ///< per work listed: whether it has a position
    std::vector<bool> rated;   ///< per criterion listed: whether it has a rate
    std::size_t degreesOfFreedom;
  };
  const Case cases[] = {
      {"no works", {{}, {1}}, false, {}, {}, 0},
      {"every total 0", {{{{0, 0}, {0, 0}}, {{0, 0}, {0, 0}}}, {1, -1}}, false, {}, {}, 0},
      {"one work", {{{{3, 10}, {4, 9}}}, {1, -1}}, false, {false}, {false, false}, 0},
      {"every work alike",
       {{{{3, 10}, {4, 9}}, {{3, 10}, {4, 9}}, {{3, 10}, {4, 9}}}, {1, -1}},
       false,
       {false, false, false},
       {false, false},
       4},
      {"one criterion, two works", {{{{3, 10}}, {{5, 10}}}, {1}}, true, {true, true}, {true}, 0},
      {"a criterion with cases in one work, and a work with cases under it alone",
       {{{{3, 10}, {0, 0}}, {{5, 10}, {0, 0}}, {{4, 10}, {0, 0}}, {{0, 0}, {2, 9}}}, {1, -1}},
       true,
       {true, true, true, false},
       {true, false},
       0},
      {"works joined by no criterion",
       {{{{3, 10}, {0, 0}}, {{5, 10}, {0, 0}}, {{0, 0}, {2, 9}}, {{0, 0}, {7, 9}}}, {1, 1}},
       false,
       {true, true, true, true},
       {true, true},
       0},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const OrderFit fit = fitOrder(test.counts);
    EXPECT_EQ(fit.converged, test.converged);
    std::vector<bool> placed;
    for (const OrderWorkFit& work : fit.works) placed.push_back(work.position.has_value());
    std::vector<bool> rated;
    for (const OrderCriterionFit& criterion : fit.criteria)
      rated.push_back(criterion.rate.has_value());
    EXPECT_EQ(placed, test.placed);
    EXPECT_EQ(rated, test.rated);
    EXPECT_EQ(fit.degreesOfFreedom, test.degreesOfFreedom);
    const OrderBootstrap bootstrap = bootstrapOrder(test.counts, fit, 1, 20);
    EXPECT_EQ(bootstrap.replicates, test.converged ? 20U : 0U);
  }
  // Two works under one criterion: one standard deviation apart, the higher proportion further
  // along a direction of 1; a criterion with cases in one work fits that cell with its level.
  const OrderFit two = fitOrder({{{{3, 10}, {0, 0}}, {{5, 10}, {2, 9}}}, {1, -1}});
  EXPECT_NEAR(*two.works[0].position, -std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(*two.works[1].position, std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(two.criteria[1].level, std::log(2.5 / 7.5), 1e-12);
}

// Data drawn from a known model: 10 sets of 40 works under 8 criteria with 100 to 400 cases a cell,
// the odd sets binomial and the even ones twice as spread. The true positions, standardised as the
// fit's are, must fall within their 95% intervals in 90% to 99% of the 400 works.
TEST(OrderBootstrapTest, PositionIntervalsCoverTheTruePositions) {
  constexpr std::size_t kWorks = 40;
  constexpr std::size_t kCriteria = 8;
  std::size_t covered = 0;
  for (std::uint64_t set = 0; set < 10; ++set) {
    RandomBits bits = replicateBits(2718, set);
    std::vector<double> truth(kWorks);
    for (double& position : truth) position = standardNormal(bits);
    OrderParameters model{std::vector<double>(kCriteria), std::vector<double>(kCriteria), truth};
    OrderCounts counts;
    for (std::size_t c = 0; c < kCriteria; ++c) {
      counts.directions.push_back(uniformOpen(bits) < 0.5 ? -1 : 1);
      model.level[c] = -0.5 + 0.5 * standardNormal(bits);
      model.rate[c] = counts.directions[c] * (0.3 + 0.5 * uniformOpen(bits));
    }
    ASSERT_TRUE(alignParameters(model, counts.directions));
    for (std::size_t w = 0; w < kWorks; ++w) {
      counts.works.emplace_back();
      for (std::size_t c = 0; c < kCriteria; ++c) {
        const auto cases = static_cast<std::uint32_t>(100 + 300 * uniformOpen(bits));
        const double p = cellLogs(model.level[c] + model.rate[c] * model.position[w]).p;
        counts.works[w].push_back(
            {betaBinomialVariate(bits, cases, p, static_cast<double>(set % 2) + 1), cases});
      }
    }
    const OrderFit fit = fitOrder(counts);
    ASSERT_TRUE(fit.converged);
    const OrderBootstrap bootstrap = bootstrapOrder(counts, fit, 2);
    ASSERT_EQ(bootstrap.replicates, kOrderReplicates);
    for (std::size_t w = 0; w < kWorks; ++w) {
      const OrderWorkSpread& spread = bootstrap.works[w];
      if (*spread.positionLow <= model.position[w] && model.position[w] <= *spread.positionHigh) {
        ++covered;
      }
    }
  }
  EXPECT_GE(covered, 360U);
  EXPECT_LE(covered, 396U);
}

// The bootstrap's own draws against the exact binomial probabilities (Pearson's X^2 over counts
// pooled to 20 expected, below its 99.9% point by the Wilson-Hilferty approximation), by
// inversion and by rejection, below and above 1/2; and the beta-binomial's mean and variance.
TEST(OrderSamplingTest, DrawsFollowTheirDistributions) {
  constexpr int kDraws = 200000;
  const std::pair<std::uint32_t, double> binomials[] = {{12, 0.3},    {40, 0.2},   {400, 0.03},
                                                        {1000, 0.07}, {5000, 0.5}, {300, 0.9}};
  RandomBits bits = replicateBits(1, 2);
  for (const auto& [cases, p] : binomials) {
    SCOPED_TRACE(std::to_string(cases) + " cases, p = " + std::to_string(p));
    std::vector<double> observed(cases + 1, 0);
    for (int i = 0; i < kDraws; ++i) observed[binomialVariate(bits, cases, p)] += 1;
    double chiSquare = 0;
    double degrees = -1;
    double expected = 0;
    double seen = 0;
    for (std::uint32_t k = 0; k <= cases; ++k) {
      expected += kDraws * std::exp(std::lgamma(cases + 1.0) - std::lgamma(k + 1.0) -
                                    std::lgamma(cases - k + 1.0) + k * std::log(p) +
                                    (cases - k) * std::log1p(-p));
      seen += observed[k];
      if (expected < 20 && k < cases) continue;
      chiSquare += (seen - expected) * (seen - expected) / expected;
      degrees += 1;
      expected = 0;
      seen = 0;
    }
    const double spread = 2 / (9 * degrees);
    EXPECT_LT(chiSquare, degrees * std::pow(1 - spread + 3.09 * std::sqrt(spread), 3));
  }
  for (const double dispersion : {1.5, 4.0}) {
    double sum = 0;
    double squares = 0;
    for (int i = 0; i < kDraws; ++i) {
      const double k = betaBinomialVariate(bits, 200, 0.3, dispersion);
      sum += k;
      squares += k * k;
    }
    const double mean = sum / kDraws;
    EXPECT_NEAR(mean, 60, 0.2);
    EXPECT_NEAR(squares / kDraws - mean * mean, 42 * dispersion, 0.02 * 42 * dispersion);
  }
}

// Everything the order writes, as text.
std::string orderOutputs(const OrderFit& fit, const OrderBootstrap& bootstrap,
                         const DataSet& data) {
  std::ostringstream out;
  writeOrderWorks(out, fit, bootstrap, data);
  writeOrderCriteria(out, fit, bootstrap, data);
  writeOrderPrecedence(out, bootstrap, data);
  writeOrderFit(out, fit, bootstrap);
  writeOrderGraph(out, fit, bootstrap, data);
  return out.str();
}

TEST(OrderBootstrapTest, SameRecordOnAnyNumberOfThreads) {
  const DataSet data = builtInDataSet();
  const OrderCounts counts = orderCounts(data);
  const OrderFit fit = fitOrder(counts);
  EXPECT_EQ(orderOutputs(fit, bootstrapOrder(counts, fit, 1), data),
            orderOutputs(fit, bootstrapOrder(counts, fit, 3), data));
}

// Hand-made records of three works with positions and one whose only cases are under a criterion
// with cases in no other work: empty cells, a name that DOT must quote, and the arrow from B to
// "3rd" left out, as B -> A1 -> "3rd" tells it.
TEST(OrderTablesTest, WritesTheTablesAndTheGraph) {
  DataSet data;
  data.works = {{"A1", "Alpha", {}}, {"B", "Beta b", {}}, {"3rd", "Third", {}}, {"D", "Delta", {}}};
  data.criteria = {{"K1", "One", 1}, {"K2", "Two", -1}};
  OrderFit fit;
  fit.works = {
      {1, 2, 0.5, 2, 0.25}, {2, 2, -1.25, 1, 0.75}, {3, 1, 0.75, 3, 0}, {4, 1, {}, {}, {}}};
  fit.criteria = {{1, 1, 3, -0.5, 1.5, true, 2.5}, {2, -1, 4, 0.125, {}, {}, 0}};
  fit.cells = 7;
  fit.logLikelihood = -10.5;
  fit.deviance = 3.25;
  fit.degreesOfFreedom = 2;
  fit.dispersion = 2;
  fit.converged = true;
  OrderBootstrap bootstrap;
  bootstrap.works = {{0.25, 0.75, 1, 3}, {-2, -0.5, 1, 1}, {0.5, 1.5, 2, 3}, {}};
  bootstrap.criteria = {{1, 2, 0.5}, {}};
  bootstrap.precedence = {{1, 2, 0.01}, {1, 3, 0.96}, {2, 1, 0.99},
                          {2, 3, 1},    {3, 1, 0.04}, {3, 2, 0}};
  bootstrap.replicates = 1000;
  bootstrap.seed = 7;
  EXPECT_EQ(
      orderOutputs(fit, bootstrap, data),
      "work,long_name,criteria,position,position_low,position_high,rank,rank_low,rank_high,"
      "pearson_residual\r\n"
      "A1,Alpha,2,0.5,0.25,0.75,2,1,3,0.25\r\n"
      "B,Beta b,2,-1.25,-2,-0.5,1,1,1,0.75\r\n"
      "3rd,Third,1,0.75,0.5,1.5,3,2,3,0\r\n"
      "D,Delta,1,,,,,,,\r\n"
      "criterion,direction,level,rate,rate_low,rate_high,agrees,deviance,kendall_tau\r\n"
      "K1,1,-0.5,1.5,1,2,1,2.5,0.5\r\n"
      "K2,-1,0.125,,,,,0,\r\n"
      "work_a,work_b,p_before\r\n"
      "A1,B,0.01\r\nA1,3rd,0.96\r\nB,A1,0.99\r\nB,3rd,1\r\n3rd,A1,0.04\r\n3rd,B,0\r\n"
      "works,criteria,cells,log_likelihood,deviance,df,dispersion,converged,replicates,seed\r\n"
      "4,2,7,-10.5,3.25,2,2,1,1000,7\r\n"
      "digraph order_all_cr {\r\ngraph[\r\nfontsize = 8; \r\nfontname = \"sans-serif\"\r\n"
      "label = \"\\nA -> B: A before B in at least 95% of 1000 replicates\";\r\n"
      "ranksep = 0.1;\r\nrankdir = \"LR\";\r\n]\r\n"
      "B;\r\nA1;\r\n\"3rd\";\r\n"
      "A1 -> \"3rd\";\r\nB -> A1;\r\n"
      "}\r\n");
}

}  // namespace
}  // namespace brevox
