#include "tests/oracles/literal_binomial.h"

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "report/pair_reports.h"
#include "report/report_frame.h"
#include "stats/multiprecision.h"

namespace brevox::oracle {

namespace {

using boost::multiprecision::cpp_int;

// Smallest count j, searching upward from 0, whose cumulative probability reaches the tail
// share. The last entry is exactly 1 and the share at most 1, so the search ends in the table.
std::uint32_t lowerLimit(const std::vector<double>& cumulative, double share) {
  std::uint32_t j = 0;
  const auto last = static_cast<std::uint32_t>(cumulative.size() - 1);
  while (j < last && share > cumulative[j]) {
    ++j;
  }
  return j;
}

// Largest count c whose upper tail P(X >= c), taken as 1 - cumulative[c - 1], still reaches the
// tail share; the search walks down from the top count.
std::uint32_t upperLimit(const std::vector<double>& cumulative, double share) {
  const auto n = static_cast<std::uint32_t>(cumulative.size() - 1);
  std::uint32_t j = n;
  if (n > 0) {
    while (share > 1 - cumulative[j]) {
      --j;
      if (j == 0) {
        break;
      }
    }
  }
  if (j < n && 1 - cumulative[j] >= share) {
    return j + 1;
  }
  return j;
}

std::string streamed(double value) {
  if (std::isnan(value)) return "nan";
  std::ostringstream text;
  text << value;
  return text.str();
}

// C(n, i) b^i (nB - b)^(n - i): the probability of i occurrences times nB^n, a whole number.
cpp_int arrangements(std::uint32_t n, std::uint32_t b, std::uint32_t nB, std::uint32_t i) {
  cpp_int ways = 1;
  for (std::uint32_t j = 0; j < i; ++j) ways = ways * (n - j) / (j + 1);
  return ways * boost::multiprecision::pow(cpp_int(b), i) *
         boost::multiprecision::pow(cpp_int(nB - b), n - i);
}

// Whether count j is no more probable than count k at the success probability b / nB taken
// exactly: by the library's densities where they lie clearly apart, by whole numbers where they
// do not, and as the library decides where both are 0 in double (such counts add nothing). The
// library's densities are those of b / nB rounded to double, whose ratio over |j - k| counts
// lies up to |j - k| (1 + p / q) units of 2^-53 from the exact one.
bool noMoreProbable(const PairComparison& pair, const std::vector<double>& density, std::uint32_t j,
                    std::uint32_t k) {
  const std::uint32_t n = pair.totalA;
  const std::uint32_t b = pair.observedB;
  const std::uint32_t nB = pair.totalB;
  if (2 * std::uint64_t{b} == nB && std::uint64_t{j} + k == n) return true;
  const double dj = density[j];
  const double dk = density[k];
  if (dj == 0 && dk == 0) return true;
  const bool normal = dj > 1e-290 && dk > 1e-290;
  const double p = static_cast<double>(b) / nB;
  const double steps = std::fabs(static_cast<double>(j) - k);
  const double apart = 1e-9 + steps * std::ldexp(1.0, -51) * (1 + p / (1 - p) + (1 - p) / p);
  if (normal && std::fabs(dj - dk) > apart * std::max(dj, dk)) return dj <= dk;
  return arrangements(n, b, nB, j) <= arrangements(n, b, nB, k);
}

// The first count whose next count is no more probable, compared as whole numbers one count after
// the other.
std::uint32_t firstMode(const PairComparison& pair) {
  const std::uint64_t b = pair.observedB;
  const std::uint64_t failures = pair.totalB - pair.observedB;
  for (std::uint32_t i = 0; i < pair.totalA; ++i) {
    if ((pair.totalA - i) * b <= (i + 1) * failures) return i;
  }
  return pair.totalA;
}

// The observed side's tail plus the counts on the far side of the expected count that are no
// more probable than the observed one, walking in from the far end.
double literalDoubleTail(const PairComparison& pair, const LiteralBinomial& literal, double start) {
  const std::uint32_t n = pair.totalA;
  const std::uint32_t k = pair.observedA;
  double sum = start;
  if (k < literal.result.mode) {
    for (std::uint32_t j = n; j > k && noMoreProbable(pair, literal.density, j, k); --j) {
      sum += literal.density[j];
    }
  } else {
    for (std::uint32_t j = 0; j < k && noMoreProbable(pair, literal.density, j, k); ++j) {
      sum += literal.density[j];
    }
  }
  return sum;
}

}  // namespace

LiteralBinomial literalBinomialTest(const PairComparison& pair, double threshold) {
  LiteralBinomial literal;
  BinomialResult& result = literal.result;
  std::vector<double>& density = literal.density;
  std::vector<double>& cumulative = literal.cumulative;
  const std::uint32_t n = pair.totalA;
  const std::uint32_t k = pair.observedA;
  const double p = static_cast<double>(pair.observedB) / static_cast<double>(pair.totalB);
  const boost::math::binomial_distribution<double> distribution(static_cast<double>(n), p);
  for (std::uint32_t i = 0;; ++i) {
    density.push_back(boost::math::pdf(distribution, static_cast<double>(i)));
    cumulative.push_back(boost::math::cdf(distribution, static_cast<double>(i)));
    if (i == n) break;
  }
  result.mode = firstMode(pair);
  result.observed = k;
  result.successProbability = p;
  result.observedDensity = density[k];
  result.modeDensity = density[result.mode];
  result.threshold = threshold;

  result.lowerLimitLeft = lowerLimit(cumulative, threshold);
  result.significantLeft = k < result.lowerLimitLeft ? 1 : 0;
  result.pLeft = cumulative[k];
  result.midPLeft = cumulative[k] - 0.5 * density[k];

  result.upperLimitRight = upperLimit(cumulative, threshold);
  result.significantRight = k > result.upperLimitRight ? 1 : 0;
  // A right tail below 1e-6 is the library's complementary distribution.
  double above = 1 - cumulative[k];
  if (above + density[k] < 1e-6) {
    above = boost::math::cdf(boost::math::complement(distribution, static_cast<double>(k)));
  }
  result.pRight = above + density[k];
  result.midPRight = above + 0.5 * density[k];

  const double halfThreshold = 0.5 * threshold;
  result.lowerLimitDoubleTail = lowerLimit(cumulative, halfThreshold);
  result.upperLimitDoubleTail = upperLimit(cumulative, halfThreshold);
  result.significantDoubleTail =
      (k < result.lowerLimitDoubleTail || k > result.upperLimitDoubleTail) ? 1 : 0;

  result.pDoubleTail =
      literalDoubleTail(pair, literal, k < result.mode ? cumulative[k] : result.pRight);
  result.midPDoubleTail = result.pDoubleTail - 0.5 * density[k];
  return literal;
}

void writeLiteralBinomialReport(std::ostream& out, const PairComparison& pair,
                                const LiteralBinomial& binomial, const DataSet& data) {
  const BinomialResult& result = binomial.result;
  const char* const lineEnd = "\r\n";
  writeReportFrame(out, "BINOMIAL DISTRIBUTION TEST ON:",
                   "Work,vs work,criterium,N of events,Out of,vs N of events,out of", pair, data);
  out << lineEnd;
  out << "Distr. probability," << streamed(result.successProbability) << lineEnd;
  out << ",Observed val," << result.observed << ",with p =," << streamed(result.observedDensity)
      << ",Expected val," << result.mode << ",with p =," << streamed(result.modeDensity) << lineEnd;
  out << "Test:,p-value,Mid-p,threshold,passFlag,lower limit,upper limit" << lineEnd;
  const std::string threshold = streamed(result.threshold);
  out << "Double tail," << streamed(result.pDoubleTail) << ',' << streamed(result.midPDoubleTail)
      << ',' << threshold << ',' << passFlagText(result.significantDoubleTail) << ','
      << result.lowerLimitDoubleTail << ',' << result.upperLimitDoubleTail << lineEnd;
  out << "Single tail Left," << streamed(result.pLeft) << ',' << streamed(result.midPLeft) << ','
      << threshold << ',' << passFlagText(result.significantLeft) << ',' << result.lowerLimitLeft
      << ',' << pair.totalA << lineEnd;
  out << "Single tail Right," << streamed(result.pRight) << ',' << streamed(result.midPRight) << ','
      << threshold << ", " << passFlagText(result.significantRight) << ",0,"
      << result.upperLimitRight << lineEnd;
  out << lineEnd;
  out << "N,Density,Distribution" << lineEnd;
  for (std::size_t i = 0; i < binomial.density.size(); ++i) {
    out << i << ',' << streamed(binomial.density[i]) << ',' << streamed(binomial.cumulative[i])
        << lineEnd;
  }
}

std::string binomialDifference(const PairComparison& pair, double threshold, const DataSet& data) {
  const BinomialResult fast = binomialTest(pair, threshold);
  const LiteralBinomial literal = literalBinomialTest(pair, threshold);
  const BinomialResult& expected = literal.result;
  std::ostringstream difference;
  difference.precision(17);
  auto exact = [&](const char* name, double actual, double wanted) {
    // NaN never arises; the same bits are asked for, so 0 and -0 would differ too.
    if (difference.tellp() == 0 &&
        !(actual == wanted && std::signbit(actual) == std::signbit(wanted))) {
      difference << name << ' ' << actual << " instead of " << wanted;
    }
  };
  auto close = [&](const char* name, double actual, double wanted) {
    if (difference.tellp() == 0 && !(std::fabs(actual - wanted) <= 1e-11 * std::fabs(wanted))) {
      difference << name << ' ' << actual << " instead of " << wanted;
    }
  };
  exact("mode", fast.mode, expected.mode);
  exact("observed", fast.observed, expected.observed);
  exact("successProbability", fast.successProbability, expected.successProbability);
  exact("modeDensity", fast.modeDensity, expected.modeDensity);
  exact("observedDensity", fast.observedDensity, expected.observedDensity);
  exact("threshold", fast.threshold, expected.threshold);
  exact("pLeft", fast.pLeft, expected.pLeft);
  exact("pRight", fast.pRight, expected.pRight);
  close("pDoubleTail", fast.pDoubleTail, expected.pDoubleTail);
  exact("midPLeft", fast.midPLeft, expected.midPLeft);
  exact("midPRight", fast.midPRight, expected.midPRight);
  close("midPDoubleTail", fast.midPDoubleTail, expected.midPDoubleTail);
  exact("lowerLimitLeft", fast.lowerLimitLeft, expected.lowerLimitLeft);
  exact("upperLimitRight", fast.upperLimitRight, expected.upperLimitRight);
  exact("lowerLimitDoubleTail", fast.lowerLimitDoubleTail, expected.lowerLimitDoubleTail);
  exact("upperLimitDoubleTail", fast.upperLimitDoubleTail, expected.upperLimitDoubleTail);
  exact("significantLeft", fast.significantLeft, expected.significantLeft);
  exact("significantRight", fast.significantRight, expected.significantRight);
  exact("significantDoubleTail", fast.significantDoubleTail, expected.significantDoubleTail);
  if (difference.tellp() != 0) return difference.str();

  std::ostringstream fastReport;
  std::ostringstream literalReport;
  writeBinomialReport(fastReport, pair, fast, data);
  writeLiteralBinomialReport(literalReport, pair, literal, data);
  const std::string fastText = fastReport.str();
  const std::string literalText = literalReport.str();
  if (fastText == literalText) return "";
  const auto mismatch =
      std::mismatch(fastText.begin(), fastText.end(), literalText.begin(), literalText.end());
  const auto lineStart = [](const std::string& text, std::string::const_iterator at) {
    const std::size_t end = static_cast<std::size_t>(at - text.begin());
    const std::size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
    return start == std::string::npos ? 0 : start + 1;
  };
  const std::size_t fastLine = lineStart(fastText, mismatch.first);
  const std::size_t literalLine = lineStart(literalText, mismatch.second);
  return "report line \"" + fastText.substr(fastLine, fastText.find('\r', fastLine) - fastLine) +
         "\" instead of \"" +
         literalText.substr(literalLine, literalText.find('\r', literalLine) - literalLine) + "\"";
}

}  // namespace brevox::oracle
