// The order of the works over all criteria on a large data set: 200 works under 20 criteria with
// totals up to 5,000, drawn from a known model with a dispersion of about 2. Times the fit, its
// bootstrap of kOrderReplicates replicates on one thread and the tables and graph, in the
// process's CPU time (user and system), and prints what the fit found.
//
//     build-bench/brevox_order_bench [works criteria largest-total threads]

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "analysis/order_bootstrap.h"
#include "analysis/order_fit.h"
#include "analysis/order_sampling.h"
#include "data/data_set.h"
#include "report/order_tables.h"

namespace {

using namespace brevox;

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Works and criteria named W1.., K1..; each cell's count beta-binomial around the model's, twice
// as spread as a binomial one.
DataSet largeDataSet(std::uint32_t works, std::uint32_t criteria, std::uint32_t largest) {
  RandomBits bits = replicateBits(5000, 200);
  DataSet data;
  std::vector<double> level(criteria);
  std::vector<double> rate(criteria);
  for (std::uint32_t c = 0; c < criteria; ++c) {
    const std::int32_t direction = uniformOpen(bits) < 0.5 ? -1 : 1;
    data.criteria.push_back(
        {"K" + std::to_string(c + 1), "Criterion " + std::to_string(c + 1), direction});
    level[c] = standardNormal(bits) - 1;
    rate[c] = direction * (0.2 + uniformOpen(bits));
  }
  for (std::uint32_t w = 0; w < works; ++w) {
    const double position = standardNormal(bits);
    Work work{"W" + std::to_string(w + 1), "Work " + std::to_string(w + 1), {}};
    for (std::uint32_t c = 0; c < criteria; ++c) {
      const auto total = static_cast<std::uint32_t>(
          std::exp(std::log(20.0) + uniformOpen(bits) * std::log(largest / 20.0)));
      const double p = 1 / (1 + std::exp(-(level[c] + rate[c] * position)));
      work.counts.push_back({betaBinomialVariate(bits, total, p, 2), total});
    }
    data.works.push_back(work);
  }
  return data;
}

}  // namespace

int main(int argc, char** argv) {
  const auto argument = [&](int i, unsigned fallback) {
    return argc > i ? static_cast<unsigned>(std::strtoul(argv[i], nullptr, 10)) : fallback;
  };
  const unsigned works = argument(1, 200);
  const unsigned criteria = argument(2, 20);
  const unsigned largest = argument(3, 5000);
  const unsigned threads = argument(4, 1);
  const DataSet data = largeDataSet(works, criteria, largest);
  const OrderCounts counts = orderCounts(data);
  const double start = cpuSeconds();
  const OrderFit fit = fitOrder(counts);
  const double fitted = cpuSeconds();
  const OrderBootstrap bootstrap = bootstrapOrder(counts, fit, threads);
  const double drawn = cpuSeconds();
  std::ostringstream tables;
  writeOrderWorks(tables, fit, bootstrap, data);
  writeOrderCriteria(tables, fit, bootstrap, data);
  writeOrderPrecedence(tables, bootstrap, data);
  writeOrderFit(tables, fit, bootstrap);
  writeOrderGraph(tables, fit, bootstrap, data);
  const double written = cpuSeconds();
  std::printf("order of %u works under %u criteria, totals up to %u, %u thread(s)\n", works,
              criteria, largest, threads);
  std::printf("  fit: %s after %u steps, deviance %.6g on %zu df, dispersion %.4g\n",
              fit.converged ? "converged" : "NOT converged", fit.iterations, fit.deviance,
              fit.degreesOfFreedom, fit.dispersion.value_or(0));
  std::printf("  bootstrap: %zu of %zu replicates converged\n", bootstrap.replicates,
              kOrderReplicates);
  std::printf(
      "  CPU seconds: fit %.3f, bootstrap with taus %.3f, tables and graph %.3f, all %.3f\n",
      fitted - start, drawn - fitted, written - drawn, written - start);
  return fit.converged ? 0 : 1;
}
