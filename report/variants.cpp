#include "report/variants.h"

namespace brevox {

std::optional<Variant> variantOfMergeLetter(char letter) {
  for (const VariantDescriptor& variant : kVariants) {
    if (variant.mergeLetter == letter) return variant.variant;
  }
  return std::nullopt;
}

}  // namespace brevox
