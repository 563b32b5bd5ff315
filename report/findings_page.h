#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/findings.h"
#include "data/data_set.h"
#include "report/markup.h"
#include "stats/families.h"

namespace brevox {

/// The section "What the run found" of a page: the main test and its adjustment, then per
/// criterion the homogeneity test over all works, a dot plot of the works' proportions with
/// their intervals and letters (inline SVG), and the pairs that still differ once the p-values
/// are adjusted, the first ten shown and the others folded.
void writeFindingsSection(Markup& page, const std::vector<CriterionFindings>& findings,
                          const DataSet& data);

/// How the page names the main test: the variant's title, and for the binomial test the rule of
/// its two directions.
std::string mainTestTitle(Variant variant);

/// The style of that section, screen and print.
extern const char* const kFindingsStyle;

}  // namespace brevox
