// PNG pictures of the device's canvases, for people to look at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::detail {

// The bytes of a PNG file of `width` x `height` 8-bit RGB pixels, given row by row from the top,
// three bytes a pixel. The image data is stored uncompressed, so the device needs no compression
// library; a picture of a small screen is a few hundred kilobytes at most.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace sim::detail
