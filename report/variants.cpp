#include "report/variants.h"

namespace brevox {

std::optional<Variant> variantOfMergeLetter(char letter) {
  for (const VariantDescriptor& variant : kVariants) {
    if (variant.mergeLetter == letter) return variant.variant;
  }
  return std::nullopt;
}

std::string criterionGraphFile(std::size_t graph, const std::string& criterionShortName) {
  return std::string("graph_") + graphNames(graph).tag + "_" + criterionShortName + ".gv";
}

}  // namespace brevox
