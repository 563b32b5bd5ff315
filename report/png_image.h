#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brevox {

/// A colour of an image: red, green and blue from 0 to 255.
using Colour = std::array<std::uint8_t, 3>;

/// An image of at most 256 colours: a palette index per pixel, row by row from the top.
struct PaletteImage {
  std::size_t width = 0;
  std::size_t height = 0;
  std::vector<Colour> palette;
  std::vector<std::uint8_t> pixels;  ///< width * height indexes into the palette
};

/// The image as a PNG file, compressed without loss (zlib). Empty when zlib fails, which it does
/// only without memory.
std::string pngFile(const PaletteImage& image);

/// The image as a data URL ("data:image/png;base64,..."), which a page holds in itself; empty
/// where pngFile is.
std::string pngDataUrl(const PaletteImage& image);

}  // namespace brevox
