#include "analysis/order_sampling.h"

#include <array>
#include <cmath>

namespace brevox {

namespace {

constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ULL;

std::uint64_t splitMix(std::uint64_t value) {
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

std::uint64_t rotateLeft(std::uint64_t value, int shift) {
  return (value << shift) | (value >> (64 - shift));
}

// log(k!) for the counts of one cell: exact sums below 16, Stirling's series above, whose error
// there is under 1e-14.
double logFactorial(double k) {
  static const std::array<double, 16> kSmall = [] {
    std::array<double, 16> table{};
    for (std::size_t i = 1; i < table.size(); ++i) {
      table[i] = table[i - 1] + std::log(static_cast<double>(i));
    }
    return table;
  }();
  if (k < 16) return kSmall[static_cast<std::size_t>(k)];
  const double x = k + 1;
  const double inverse = 1 / x;
  const double square = inverse * inverse;
  const double series =
      inverse * (1.0 / 12 - square * (1.0 / 360 - square * (1.0 / 1260 - square / 1680)));
  return (x - 0.5) * std::log(x) - x + 0.91893853320467274178 + series;
}

// Inversion from no occurrence upwards, for n p < 10 and p <= 1/2: about n p + 1 steps.
std::uint32_t binomialByInversion(RandomBits& bits, std::uint32_t cases, double p) {
  const double odds = p / (1 - p);
  const double none = std::exp(static_cast<double>(cases) * std::log1p(-p));
  for (;;) {
    double u = uniformOpen(bits);
    double term = none;
    for (std::uint32_t k = 0; k <= cases; ++k) {
      if (u <= term) return k;
      u -= term;
      term *= odds * static_cast<double>(cases - k) / static_cast<double>(k + 1);
    }
    // What rounding left beyond the last count: draw again.
  }
}

// Hoermann's BTRD for n p >= 10 and p <= 1/2 (The generation of binomial random variates, 1993):
// a hat over the distribution, accepted at once inside its core, else by the exact ratio of the
// count's probability to the mode's.
std::uint32_t binomialByRejection(RandomBits& bits, std::uint32_t cases, double p) {
  const double n = cases;
  const double q = 1 - p;
  const double spread = std::sqrt(n * p * q);
  const double b = 1.15 + 2.53 * spread;
  const double a = -0.0873 + 0.0248 * b + 0.01 * p;
  const double c = n * p + 0.5;
  const double core = 0.92 - 4.2 / b;
  const double alpha = (2.83 + 5.1 / b) * spread;
  const double mode = std::floor((n + 1) * p);
  const double logOdds = std::log(p / q);
  const double modeTerm = logFactorial(mode) + logFactorial(n - mode);
  for (;;) {
    const double u = uniformOpen(bits) - 0.5;
    double v = uniformOpen(bits);
    const double us = 0.5 - std::fabs(u);
    const double k = std::floor((2 * a / us + b) * u + c);
    if (k < 0 || k > n) continue;
    if (us >= 0.07 && v <= core) return static_cast<std::uint32_t>(k);
    v = std::log(v * alpha / (a / (us * us) + b));
    const double logRatio = modeTerm - logFactorial(k) - logFactorial(n - k) + (k - mode) * logOdds;
    if (v <= logRatio) return static_cast<std::uint32_t>(k);
  }
}

}  // namespace

RandomBits replicateBits(std::uint64_t seed, std::uint64_t index) {
  RandomBits bits;
  std::uint64_t any = 0;
  for (std::uint64_t i = 0; i < 4; ++i) {
    bits.state[i] = splitMix(seed + kGolden * (4 * index + i + 1));
    any |= bits.state[i];
  }
  if (any == 0) bits.state[0] = kGolden;  // the one state the generator cannot leave
  return bits;
}

std::uint64_t nextBits(RandomBits& bits) {
  std::uint64_t* s = bits.state;
  const std::uint64_t result = rotateLeft(s[1] * 5, 7) * 9;
  const std::uint64_t t = s[1] << 17;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = rotateLeft(s[3], 45);
  return result;
}

double uniformOpen(RandomBits& bits) {
  return (static_cast<double>(nextBits(bits) >> 11) + 0.5) * 0x1.0p-53;
}

double standardNormal(RandomBits& bits) {
  if (bits.hasSpareNormal) {
    bits.hasSpareNormal = false;
    return bits.spareNormal;
  }
  for (;;) {
    const double x = 2 * uniformOpen(bits) - 1;
    const double y = 2 * uniformOpen(bits) - 1;
    const double square = x * x + y * y;
    if (square >= 1 || square == 0) continue;
    const double factor = std::sqrt(-2 * std::log(square) / square);
    bits.spareNormal = y * factor;
    bits.hasSpareNormal = true;
    return x * factor;
  }
}

double gammaVariate(RandomBits& bits, double shape) {
  if (shape < 1) {
    // A gamma number of shape + 1 times U^(1 / shape) has the smaller shape.
    return gammaVariate(bits, shape + 1) * std::pow(uniformOpen(bits), 1 / shape);
  }
  const double d = shape - 1.0 / 3;
  const double c = 1 / std::sqrt(9 * d);
  for (;;) {
    const double x = standardNormal(bits);
    double v = 1 + c * x;
    if (v <= 0) continue;
    v = v * v * v;
    const double u = uniformOpen(bits);
    const double square = x * x;
    if (u < 1 - 0.0331 * square * square) return d * v;
    if (std::log(u) < 0.5 * square + d * (1 - v + std::log(v))) return d * v;
  }
}

double betaVariate(RandomBits& bits, double alpha, double beta) {
  const double x = gammaVariate(bits, alpha);
  const double y = gammaVariate(bits, beta);
  // Both shapes so small that both numbers fell below the smallest double: the mean stands in.
  if (x + y == 0) return alpha / (alpha + beta);
  return x / (x + y);
}

std::uint32_t binomialVariate(RandomBits& bits, std::uint32_t cases, double p) {
  if (cases == 0 || p <= 0) return 0;
  if (p >= 1) return cases;
  if (p > 0.5) return cases - binomialVariate(bits, cases, 1 - p);
  if (static_cast<double>(cases) * p < 10) return binomialByInversion(bits, cases, p);
  return binomialByRejection(bits, cases, p);
}

std::uint32_t betaBinomialVariate(RandomBits& bits, std::uint32_t cases, double p,
                                  double dispersion) {
  if (!(dispersion > 1) || cases <= 1 || p <= 0 || p >= 1) {
    return binomialVariate(bits, cases, p);
  }
  const double correlation = (dispersion - 1) / (static_cast<double>(cases) - 1);
  if (correlation >= 1) return uniformOpen(bits) < p ? cases : 0;
  const double sum = 1 / correlation - 1;
  return binomialVariate(bits, cases, betaVariate(bits, p * sum, (1 - p) * sum));
}

}  // namespace brevox
