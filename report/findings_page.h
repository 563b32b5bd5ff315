#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/findings.h"
#include "data/data_set.h"

namespace brevox {

/// The section "What the run found" of a page: the main test and its adjustment, then per
/// criterion the homogeneity test over all works, a dot plot of the works' proportions with
/// their intervals and letters (inline SVG), and the pairs that still differ once the p-values
/// are adjusted, the first ten shown and the others folded.
void writeFindingsSection(std::ostream& out, const std::vector<CriterionFindings>& findings,
                          const DataSet& data);

/// The style of that section, screen and print.
extern const char* const kFindingsStyle;

}  // namespace brevox
