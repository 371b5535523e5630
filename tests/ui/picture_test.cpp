// What the main window's pictures look like, read back from painted pixels:
// a square user picture shows only inside its round frame, and the page
// tab's underline sits under its label's text at 96 and at 144 DPI.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/ui/ui_test_support.h"
#include "ui/controls.h"
#include "ui/gdi.h"
#include "ui/platform.h"

namespace {

using ui_test::PumpFor;
using ui_test::TestWindow;

void Put32(std::string* s, unsigned long v) {
    for (int shift = 24; shift >= 0; shift -= 8) s->push_back(static_cast<char>((v >> shift) & 0xFF));
}

void Chunk(std::string* png, const char* type, const std::string& data) {
    Put32(png, static_cast<unsigned long>(data.size()));
    std::string body = std::string(type, 4) + data;
    *png += body;
    Put32(png, crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
}

// An opaque square picture of one colour, as a downloaded user picture.
std::wstring WriteSquarePicture(BYTE r, BYTE g, BYTE b) {
    const int size = 40;
    std::string raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back('\0');
        for (int x = 0; x < size; ++x) raw += std::string{static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)};
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    packed.resize(packedSize);
    std::string header;
    Put32(&header, size);
    Put32(&header, size);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
    std::string png = "\x89PNG\r\n\x1a\n";
    Chunk(&png, "IHDR", header);
    Chunk(&png, "IDAT", packed);
    Chunk(&png, "IEND", "");
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"zudedo_square_avatar.png";
    std::ofstream(path.c_str(), std::ios::binary) << png;
    return path;
}

struct Pixels {
    std::vector<DWORD> px;
    int width = 0;
    COLORREF At(int x, int y) const {
        const DWORD v = px[static_cast<size_t>(y) * width + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
};

Pixels Paint(ui::PaintManager& pm) {
    RECT client{};
    ::GetClientRect(pm.GetPaintWindow(), &client);
    ui::Dib dib = ui::CreateDib(client.right, client.bottom);
    ui::UniqueMemDC dc(::CreateCompatibleDC(nullptr));
    ui::SelectGuard select(dc.get(), dib.bitmap.get());
    pm.PaintTo(dc.get());
    ::GdiFlush();
    const auto* px = static_cast<const DWORD*>(dib.bits);
    Pixels out;
    out.width = client.right;
    out.px.assign(px, px + static_cast<size_t>(client.right) * client.bottom);
    return out;
}

class MainSkinPictures : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>(L"zudedo_main.xml");
        hwnd_ = window_->Open(40, 40);
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_TRUE(window_->LayoutError().empty());
        ASSERT_EQ(pm().GetDpi(), 96u);
    }
    ui::PaintManager& pm() { return window_->GetPaintManager(); }
    ui::Control* Find(const wchar_t* name) {
        ui::Control* c = window_->Find(name);
        EXPECT_NE(c, nullptr) << ui::Utf16ToUtf8(name);
        return c;
    }
    void ScaleTo(UINT dpi) {
        RECT rc{};
        ::GetWindowRect(hwnd_, &rc);
        RECT suggested{rc.left, rc.top, rc.left + ::MulDiv(426, static_cast<int>(dpi), 96),
                       rc.top + ::MulDiv(600, static_cast<int>(dpi), 96)};
        ::SendMessageW(hwnd_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        PumpFor(30);
        pm().UpdateLayout();
    }
    // The tab's underline (what selecting it adds below the text) against
    // the label text's measured extent.
    void ExpectUnderlineUnderText(const char* scale) {
        SCOPED_TRACE(scale);
        auto* all = static_cast<ui::Option*>(Find(L"OpAllListPage"));
        auto* mine = static_cast<ui::Option*>(Find(L"OpMyRequire"));
        all->Selected(true, false);
        pm().UpdateLayout();
        const Pixels selected = Paint(pm());
        mine->Selected(true, false);
        const Pixels plain = Paint(pm());
        all->Selected(true, false);

        const RECT rc = all->GetPos();
        int left = rc.right, right = rc.left - 1;
        for (int y = rc.top + pm().Scale(23); y < rc.bottom; ++y) {
            for (int x = rc.left; x < rc.right; ++x) {
                if (selected.At(x, y) == plain.At(x, y)) continue;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        ASSERT_LE(left, right) << "no underline drawn";
        // The label's text as drawn: its ink above the underline.
        const COLORREF background = selected.At(rc.left, rc.top);
        int textLeft = rc.right, textRight = rc.left - 1;
        for (int y = rc.top; y < rc.top + pm().Scale(22); ++y) {
            for (int x = rc.left; x < rc.right; ++x) {
                if (selected.At(x, y) == background) continue;
                textLeft = std::min(textLeft, x);
                textRight = std::max(textRight, x);
            }
        }
        ASSERT_LE(textLeft, textRight) << "no text drawn";
        // The ink spans the measured text, less the glyphs' side bearings.
        const int measured = all->MeasureText(all->GetText()).cx;
        EXPECT_LE(textRight - textLeft + 1, measured);
        EXPECT_GE(textRight - textLeft + 1, measured - pm().Scale(4));
        // Centred under the text and about as wide, never 10 pixels off.
        EXPECT_LE(std::abs((left + right) - (textLeft + textRight)), 3)
            << "underline " << left << ".." << right << ", text " << textLeft << ".." << textRight;
        EXPECT_LE(std::abs(left - textLeft), pm().Scale(4));
        EXPECT_LE(std::abs(right - textRight), pm().Scale(4));
    }

    std::unique_ptr<TestWindow> window_;
    HWND hwnd_ = nullptr;
};

TEST_F(MainSkinPictures, ASquareUserPictureShowsOnlyInsideItsRoundFrame) {
    ui::Control* avatar = Find(L"avatar");
    ui::Control* frame = Find(L"avatarFrame");
    ASSERT_TRUE(avatar->SetBkImage(L"file='" + WriteSquarePicture(0, 200, 0) + L"'"));
    pm().UpdateLayout();
    const Pixels shot = Paint(pm());
    const COLORREF green = RGB(0, 200, 0);
    const RECT f = frame->GetPos();
    const POINT centre{(f.left + f.right) / 2, (f.top + f.bottom) / 2};
    EXPECT_EQ(shot.At(centre.x, centre.y), green);
    // Outside the ring, in the frame's corners, nothing of the picture.
    for (const POINT corner : {POINT{f.left + 1, f.top + 1}, POINT{f.right - 2, f.top + 1},
                               POINT{f.left + 1, f.bottom - 2}, POINT{f.right - 2, f.bottom - 2},
                               POINT{f.left + 4, f.top + 4}, POINT{f.right - 5, f.bottom - 5}}) {
        EXPECT_NE(shot.At(corner.x, corner.y), green) << corner.x - f.left << "," << corner.y - f.top;
    }
    // The picture reaches the ring on the axes (the frame's inner circle).
    EXPECT_EQ(shot.At(f.left + 4, centre.y), green);
    EXPECT_EQ(shot.At(centre.x, f.top + 4), green);
}

TEST_F(MainSkinPictures, TheTabUnderlineSitsUnderItsLabelAt96And144Dpi) {
    ExpectUnderlineUnderText("96 DPI");
    ScaleTo(144);
    ASSERT_EQ(pm().GetDpi(), 144u);
    ExpectUnderlineUnderText("144 DPI");
}

}  // namespace
