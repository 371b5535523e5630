// Skin images: PNG and GIF decoded through stb_image into premultiplied
// 32-bit DIB sections, drawn alpha-blended, stretched or in nine slices.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/gdi.h"

namespace ui {

struct ImageFrame {
    UniqueBitmap bitmap;
    UINT delayMs = 0;
};

struct Image {
    int width = 0;
    int height = 0;
    bool alpha = false;  // some pixel is not fully opaque
    std::vector<ImageFrame> frames;  // one for a still picture
    HBITMAP bitmap(size_t frame = 0) const { return frames.empty() ? nullptr : frames[frame].bitmap.get(); }
};

// Decodes PNG or GIF bytes; null for anything else or damaged data.
std::shared_ptr<Image> DecodeImage(const std::string& bytes);

// An image attribute: either a bare file name or "file='a.png' source='l,t,r,b'
// corner='l,t,r,b' dest='l,t,r,b' fade='255'". Source and corner are in image
// pixels; dest is relative to the control and in layout units.
struct ImageSpec {
    std::wstring file;
    RECT source{};
    RECT corner{};
    RECT dest{};
    bool hasSource = false;
    bool hasDest = false;
    BYTE fade = 255;
};
bool ParseImageSpec(const std::wstring& text, ImageSpec* attr);

// Draws `source` of the image into `dest`; corners (in image pixels, drawn at
// `cornerScale` percent) stay unstretched.
void DrawImage(HDC dc, const Image& image, size_t frame, const RECT& dest, const RECT& source, const RECT& corner,
               int cornerScalePercent, BYTE fade);

// A top-down 32-bit DIB section with its pixels exposed (back buffers, tests).
struct Dib {
    UniqueBitmap bitmap;
    void* bits = nullptr;
    int width = 0;
    int height = 0;
};
Dib CreateDib(int width, int height);

}  // namespace ui
