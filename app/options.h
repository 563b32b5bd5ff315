#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace brevox {

enum class Family : std::size_t;

/// The merge fields hold this while no test letter has been given.
inline constexpr char kNoMergeLetter = '0';

/// The parsed command line.
struct RunOptions {
  bool runBinomial = true;
  bool runChiSquare = true;
  bool runFisher = true;
  bool runPermutation = true;
  bool singleTest = false;
  bool useDefaultData = false;
  bool summaryOnly = false;
  bool dottedEdges = false;
  bool mergeGraphs = false;
  /// E: the full run also writes one tidy table of every pair with estimates and adjusted
  /// p-values.
  bool estimates = false;
  /// H: the full run also writes one self-contained page with heat maps and drawn graphs.
  bool htmlReport = false;
  std::uint32_t criterionNumber = 1;
  std::uint32_t workANumber = 1;
  std::uint32_t workBNumber = 1;
  /// Test letter of the main and of the subordinate merged test, or kNoMergeLetter.
  char mergeMainTest = kNoMergeLetter;
  char mergeSubTest = kNoMergeLetter;
};

/// Whether the options select `family`.
bool familySelected(const RunOptions& options, Family family);

/// Whether the options select any test at all.
bool anyFamilySelected(const RunOptions& options);

/// Applies one option string (its leading "-" included) to `options`. Returns 0 when the string
/// is accepted, -1 when it is rejected; prints nothing.
int parseOptions(const std::string& optionText, RunOptions& options);

/// Converts a number argument as the C runtime's _wtoi does (leading blanks, an optional sign,
/// decimal digits up to the first other character, 0 without digits, clamped to the signed
/// 32-bit range) and keeps the result as unsigned 32 bits.
std::uint32_t argumentNumber(const std::string& text);

/// Writes the help text.
void printHelp(std::ostream& out);

}  // namespace brevox
