// Pictures from the network (the avatar): untrusted bytes, decoded by the
// system's imaging component, first frame only, within bounds on the size
// before and after decoding. The skin's own pictures do not come here.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace shell {

struct PictureLimits {
    UINT maxSourceSide = 8192;                  // larger pictures are refused undecoded
    // And so are larger areas: some decoders hold the whole picture in
    // memory (4 bytes a pixel and more) before it can be scaled.
    uint64_t maxSourcePixels = 4096ull * 4096;
    UINT maxSide = 1024;                        // decoded pixels are scaled down to this
    size_t maxBytes = 4u * 1024 * 1024;         // of the encoded picture
};

// 32 bits per pixel, premultiplied BGRA, top-down rows of width * 4 bytes.
struct DecodedPicture {
    UINT width = 0;
    UINT height = 0;
    std::vector<BYTE> pixels;
};

// The picture's size as its header states it, without decoding (PNG, GIF,
// JPEG, BMP); false when the header is not one of them or is cut short.
bool PeekPictureSize(const std::string& bytes, UINT& width, UINT& height);

// Decodes the first frame, scaled down to the limits keeping its aspect.
// COM must be initialised on the calling thread, which should not be the
// user-interface thread. False for anything refused or undecodable.
bool DecodeNetworkPicture(const std::string& bytes, DecodedPicture& out, const PictureLimits& limits = {});

// The pixels as a PNG file's bytes (through the imaging component).
bool EncodePng(const DecodedPicture& picture, std::string& png);

// Decodes untrusted bytes and writes them, bounded, as a PNG file replaced
// in one step. On any failure the file is removed, so that nothing
// undecoded is ever left under that name. Initialises COM for itself.
bool SaveNetworkPictureAsPng(const std::string& bytes, const std::wstring& path,
                             const PictureLimits& limits = {});

}  // namespace shell
