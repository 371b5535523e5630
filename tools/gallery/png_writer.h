// A minimal PNG encoder (8-bit RGBA, one IDAT through zlib) for captures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gallery {

// `rgba` holds width × height pixels, rows top to bottom.
std::string EncodePng(const std::vector<uint8_t>& rgba, int width, int height);

}  // namespace gallery
