// Hostile and ordinary pictures made on the spot, for the decoders' tests.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

// A PNG of the given size, 8-bit grey, every pixel `shade` (deflated with
// zlib, so a huge picture stays small).
std::string GreyPng(uint32_t width, uint32_t height, unsigned char shade = 0);
// Only the signature and a header chunk claiming the size.
std::string PngHeaderOnly(uint32_t width, uint32_t height);
// A GIF whose logical screen is `screen` square, with `frames` frames of
// `frameSide` square pixels each.
std::string GifFrames(uint16_t screen, int frames, uint16_t frameSide = 1);

// Upper-case hex of bytes (for the stand-in's "body_hex").
std::string HexOf(const std::string& bytes);
// Writes a whole file; false when it cannot.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace testing_support
