#pragma once

#include <cstdint>

namespace brevox {

/// A generator of random bits (xoshiro256**), written out here so that a replicate of the
/// order's bootstrap draws the same counts with every compiler and library.
struct RandomBits {
  std::uint64_t state[4] = {0, 0, 0, 0};
  bool hasSpareNormal = false;
  double spareNormal = 0;
};

/// The generator of replicate `index` under `seed`: its state is drawn from the two by
/// splitmix64, so that replicates are independent of one another and of the order they run in.
RandomBits replicateBits(std::uint64_t seed, std::uint64_t index);

std::uint64_t nextBits(RandomBits& bits);

/// A uniform number in (0, 1), never 0 or 1: 53 random bits and a half.
double uniformOpen(RandomBits& bits);

/// A standard normal number (Marsaglia's polar method).
double standardNormal(RandomBits& bits);

/// A gamma number of the shape (scale 1), shape > 0 (Marsaglia and Tsang's method).
double gammaVariate(RandomBits& bits, double shape);

/// A beta number with the two shapes, both > 0.
double betaVariate(RandomBits& bits, double alpha, double beta);

/// Occurrences in `cases` trials of probability `p` (0 <= p <= 1): by inversion where few are
/// expected, else by Hoermann's transformed rejection with the exact ratio of probabilities.
std::uint32_t binomialVariate(RandomBits& bits, std::uint32_t cases, double p);

/// Occurrences in `cases` trials with mean cases p and variance cases p (1 - p) dispersion
/// (dispersion >= 1): a beta-binomial number whose correlation within the cell is
/// (dispersion - 1) / (cases - 1); where the cases are too few to carry the dispersion
/// (dispersion >= cases), its limit, all or none of the cases with probability p. With
/// dispersion 1, or a single case, a binomial number.
std::uint32_t betaBinomialVariate(RandomBits& bits, std::uint32_t cases, double p,
                                  double dispersion);

}  // namespace brevox
