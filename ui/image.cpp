#include "ui/image.h"

#include <cstring>
#include <cwchar>

#include <stb_image.h>

namespace ui {
namespace {

// The decoder's pixels (RGBA) into a premultiplied BGRA DIB.
ImageFrame MakeFrame(const unsigned char* rgba, int w, int h, bool* anyAlpha) {
    ImageFrame frame;
    Dib dib = CreateDib(w, h);
    if (!dib.bitmap) return frame;
    auto* out = static_cast<unsigned char*>(dib.bits);
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* p = rgba + i * 4;
        unsigned a = p[3];
        if (a != 255) *anyAlpha = true;
        out[i * 4 + 0] = static_cast<unsigned char>(p[2] * a / 255);
        out[i * 4 + 1] = static_cast<unsigned char>(p[1] * a / 255);
        out[i * 4 + 2] = static_cast<unsigned char>(p[0] * a / 255);
        out[i * 4 + 3] = static_cast<unsigned char>(a);
    }
    frame.bitmap = std::move(dib.bitmap);
    return frame;
}

bool ReadRect(const std::wstring& text, RECT* rc) {
    long v[4] = {};
    wchar_t* end = nullptr;
    const wchar_t* p = text.c_str();
    for (int i = 0; i < 4; ++i) {
        v[i] = std::wcstol(p, &end, 10);
        if (end == p) return false;
        p = end;
        while (*p == L',' || *p == L' ') ++p;
    }
    *rc = RECT{v[0], v[1], v[2], v[3]};
    return true;
}

void Blend(HDC dc, HDC src, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh, BYTE fade) {
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
    BLENDFUNCTION bf = {AC_SRC_OVER, 0, fade, AC_SRC_ALPHA};
    ::AlphaBlend(dc, dx, dy, dw, dh, src, sx, sy, sw, sh, bf);
}

}  // namespace

Dib CreateDib(int width, int height) {
    Dib dib;
    if (width <= 0 || height <= 0) return dib;
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    dib.bitmap.reset(::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &dib.bits, nullptr, 0));
    if (dib.bitmap) {
        dib.width = width;
        dib.height = height;
    } else {
        dib.bits = nullptr;
    }
    return dib;
}

std::shared_ptr<Image> DecodeImage(const std::string& bytes) {
    if (bytes.size() < 8 || bytes.size() > 0x7FFFFFFF) return nullptr;
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
    const int len = static_cast<int>(bytes.size());
    auto image = std::make_shared<Image>();
    int w = 0, h = 0, comp = 0;
    if (std::memcmp(data, "GIF", 3) == 0) {
        int* delays = nullptr;
        int frames = 0;
        stbi_uc* pixels = stbi_load_gif_from_memory(data, len, &delays, &w, &h, &frames, &comp, 4);
        if (pixels == nullptr) return nullptr;
        const size_t frameBytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
        for (int i = 0; i < frames; ++i) {
            ImageFrame f = MakeFrame(pixels + frameBytes * i, w, h, &image->alpha);
            if (!f.bitmap) break;
            int d = delays ? delays[i] : 100;
            f.delayMs = static_cast<UINT>(d < 20 ? 100 : d);  // browsers treat tiny delays as 100 ms too
            image->frames.push_back(std::move(f));
        }
        stbi_image_free(pixels);
        stbi_image_free(delays);
    } else {
        stbi_uc* pixels = stbi_load_from_memory(data, len, &w, &h, &comp, 4);
        if (pixels == nullptr) return nullptr;
        ImageFrame f = MakeFrame(pixels, w, h, &image->alpha);
        stbi_image_free(pixels);
        if (f.bitmap) image->frames.push_back(std::move(f));
    }
    if (image->frames.empty()) return nullptr;
    image->width = w;
    image->height = h;
    return image;
}

bool ParseImageSpec(const std::wstring& text, ImageSpec* attr) {
    *attr = ImageSpec{};
    if (text.find(L'=') == std::wstring::npos) {
        attr->file = text;
        return !text.empty();
    }
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == L' ') ++pos;
        size_t eq = text.find(L'=', pos);
        if (eq == std::wstring::npos || eq + 1 >= text.size() || text[eq + 1] != L'\'') break;
        size_t close = text.find(L'\'', eq + 2);
        if (close == std::wstring::npos) return false;
        std::wstring key = text.substr(pos, eq - pos), value = text.substr(eq + 2, close - eq - 2);
        if (key == L"file") attr->file = value;
        else if (key == L"source") attr->hasSource = ReadRect(value, &attr->source);
        else if (key == L"corner") ReadRect(value, &attr->corner);
        else if (key == L"dest") attr->hasDest = ReadRect(value, &attr->dest);
        else if (key == L"fade") attr->fade = static_cast<BYTE>(std::wcstol(value.c_str(), nullptr, 10) & 0xFF);
        pos = close + 1;
    }
    return !attr->file.empty();
}

void DrawImage(HDC dc, const Image& image, size_t frame, const RECT& dest, const RECT& source, const RECT& corner,
               int cornerScalePercent, BYTE fade) {
    if (frame >= image.frames.size()) return;
    UniqueMemDC mem(::CreateCompatibleDC(dc));
    if (!mem) return;
    SelectGuard select(mem.get(), image.bitmap(frame));
    RECT src = source;
    // Clamp the source to the picture so a bad attribute cannot read outside.
    if (src.left < 0) src.left = 0;
    if (src.top < 0) src.top = 0;
    if (src.right > image.width || src.right <= src.left) src.right = image.width;
    if (src.bottom > image.height || src.bottom <= src.top) src.bottom = image.height;
    const int sw = src.right - src.left, sh = src.bottom - src.top;
    const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    if (corner.left == 0 && corner.top == 0 && corner.right == 0 && corner.bottom == 0) {
        Blend(dc, mem.get(), dest.left, dest.top, dw, dh, src.left, src.top, sw, sh, fade);
        return;
    }
    auto scaled = [&](long v) { return static_cast<int>(v * cornerScalePercent / 100); };
    const int sl = corner.left, st = corner.top, sr = corner.right, sb = corner.bottom;
    int dl = scaled(sl), dt = scaled(st), dr = scaled(sr), db = scaled(sb);
    if (dl + dr > dw) dl = dr = dw / 2;
    if (dt + db > dh) dt = db = dh / 2;
    const int sxs[3] = {static_cast<int>(src.left), static_cast<int>(src.left) + sl, static_cast<int>(src.right) - sr};
    const int sws[3] = {sl, sw - sl - sr, sr};
    const int sys[3] = {static_cast<int>(src.top), static_cast<int>(src.top) + st, static_cast<int>(src.bottom) - sb};
    const int shs[3] = {st, sh - st - sb, sb};
    const int dxs[3] = {static_cast<int>(dest.left), static_cast<int>(dest.left) + dl, static_cast<int>(dest.right) - dr};
    const int dws[3] = {dl, dw - dl - dr, dr};
    const int dys[3] = {static_cast<int>(dest.top), static_cast<int>(dest.top) + dt, static_cast<int>(dest.bottom) - db};
    const int dhs[3] = {dt, dh - dt - db, db};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            Blend(dc, mem.get(), dxs[col], dys[row], dws[col], dhs[row], sxs[col], sys[row], sws[col], shs[row],
                  fade);
        }
    }
}

}  // namespace ui
