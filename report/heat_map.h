#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "analysis/run_record.h"
#include "analysis/tested_pair.h"
#include "data/data_set.h"
#include "report/colour_scale.h"
#include "report/html_report.h"
#include "report/markup.h"
#include "report/variants.h"

namespace brevox {

/// Whether the page shows a variant: the run tested its family.
bool shown(const RunSettings& settings, const VariantDescriptor& variant);

/// The page's colour scale: enough steps to tell the smallest p-value that its maps show from the
/// others, and the class of its commonest cells.
ColourScale scaleOf(const RunSettings& settings, const std::vector<PageCriterion>& criteria);

/// A criterion's pairs by their works, the row work first.
using PairIndex = std::map<std::pair<std::uint32_t, std::uint32_t>, const PairOutcomes*>;

/// The heat map of one variant under one criterion: a row and a column per work, each cell
/// coloured by the step of its p-value, the p-value in its hover text (with the pair's names up
/// to 30 works) and printed in it (up to 12); the lower triangle for a symmetric test, the full
/// square for the binomial test.
void writeMap(Markup& page, const ColourScale& scale, const DataSet& data, const PairIndex& pairs,
              const VariantDescriptor& variant);

}  // namespace brevox
