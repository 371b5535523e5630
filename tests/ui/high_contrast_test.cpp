// High contrast: with the scheme on (forced through the seam), text,
// links, disabled text, fills and frames come out in the system's colours
// instead of the skin's; a change of the setting repaints the window.
#include <gtest/gtest.h>

#include <functional>

#include "tests/ui/ui_test_support.h"
#include "ui/gdi.h"
#include "ui/image.h"
#include "ui/platform.h"

namespace {

using ui_test::TestWindow;

const wchar_t kColourful[] =
    L"<Window size='300,200'>"
    L"<Font name='微软雅黑' size='22' bold='true' default='true'/>"
    L"<VerticalLayout bkcolor='#FFFFEE00'>"
    L"  <Label name='Text' text='询价信息' height='40' textcolor='#FF00AA00'/>"
    L"  <FormattedText name='Link' height='40' linkcolor='#FFAA00AA' text='&lt;a&gt;注册账号&lt;/a&gt;'/>"
    L"  <Button name='Off' text='已停用' height='40' enabled='false' disabledtextcolor='#FF00AA00'/>"
    L"  <Button name='Red' height='40' bkcolor='#FFCC0000' bordercolor='#FF0000CC' bordersize='2'/>"
    L"  <Control/>"
    L"</VerticalLayout></Window>";

class HighContrastTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>(kColourful);
        hwnd_ = window_->Open();
        ASSERT_NE(hwnd_, nullptr);
    }
    void TearDown() override { ui::ForceHighContrast(-1); }

    // The client area as painted now, 0x00RRGGBB per pixel.
    void Capture() {
        RECT client{};
        ::GetClientRect(hwnd_, &client);
        width_ = client.right;
        height_ = client.bottom;
        ui::Dib dib = ui::CreateDib(width_, height_);
        ASSERT_TRUE(dib.bitmap);
        {
            ui::UniqueMemDC dc(::CreateCompatibleDC(nullptr));
            ui::SelectGuard select(dc.get(), dib.bitmap.get());
            window_->GetPaintManager().PaintTo(dc.get());
            ::GdiFlush();
        }
        const auto* bits = static_cast<const DWORD*>(dib.bits);
        pixels_.assign(bits, bits + static_cast<size_t>(width_) * static_cast<size_t>(height_));
        for (DWORD& p : pixels_) p &= 0xFFFFFF;
    }
    DWORD At(int x, int y) const { return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + x]; }
    bool Any(const wchar_t* control, const std::function<bool(DWORD)>& test) const {
        const RECT rc = window_->Find(control)->GetPos();
        for (int y = rc.top; y < rc.bottom; ++y) {
            for (int x = rc.left; x < rc.right; ++x) {
                if (test(At(x, y))) return true;
            }
        }
        return false;
    }
    bool Has(const wchar_t* control, DWORD rgb) const {
        return Any(control, [rgb](DWORD p) { return p == rgb; });
    }
    static DWORD Sys(int index) { return ui::SystemColor(index) & 0xFFFFFF; }
    static bool Greenish(DWORD p) {
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        return g > r + 60 && g > b + 60;
    }

    std::unique_ptr<TestWindow> window_;
    HWND hwnd_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::vector<DWORD> pixels_;
};

TEST_F(HighContrastTest, TextLinksFillsAndFramesTakeTheSystemColours) {
    ui::ForceHighContrast(0);
    Capture();
    // The skin's own colours first, so the comparison below means something.
    EXPECT_TRUE(Any(L"Text", Greenish));
    EXPECT_TRUE(Has(L"Link", 0xAA00AA));
    EXPECT_TRUE(Any(L"Off", Greenish));
    const RECT red = window_->Find(L"Red")->GetPos();
    EXPECT_EQ(At(red.left + 10, red.top + 10), 0xCC0000u);
    EXPECT_EQ(At(red.left, red.top + 10), 0x0000CCu);
    EXPECT_EQ(At(5, window_->Find(L"Text")->GetPos().top + 2), 0xFFEE00u);

    ui::ForceHighContrast(1);
    Capture();
    EXPECT_FALSE(Any(L"Text", Greenish));
    EXPECT_TRUE(Has(L"Text", Sys(COLOR_WINDOWTEXT)));
    EXPECT_TRUE(Has(L"Link", Sys(COLOR_HOTLIGHT)));
    EXPECT_FALSE(Has(L"Link", 0xAA00AA));
    EXPECT_FALSE(Any(L"Off", Greenish));
    EXPECT_TRUE(Has(L"Off", Sys(COLOR_GRAYTEXT)));
    EXPECT_EQ(At(red.left + 10, red.top + 10), Sys(COLOR_WINDOW));
    EXPECT_EQ(At(red.left, red.top + 10), Sys(COLOR_WINDOWTEXT));
    EXPECT_EQ(At(5, window_->Find(L"Text")->GetPos().top + 2), Sys(COLOR_WINDOW));

    // Back to the system's own setting (off here): the skin again.
    ui::ForceHighContrast(-1);
    ui::RefreshHighContrast();
    if (!ui::HighContrastOn()) {
        Capture();
        EXPECT_TRUE(Any(L"Text", Greenish));
    }
}

TEST_F(HighContrastTest, AChangeOfTheSettingOrOfTheColoursRepaintsTheWindow) {
    for (UINT msg : {static_cast<UINT>(WM_SETTINGCHANGE), static_cast<UINT>(WM_SYSCOLORCHANGE)}) {
        ::ValidateRect(hwnd_, nullptr);
        RECT dirty{};
        ASSERT_FALSE(::GetUpdateRect(hwnd_, &dirty, FALSE));
        ::SendMessageW(hwnd_, msg, msg == WM_SETTINGCHANGE ? SPI_SETHIGHCONTRAST : 0, 0);
        EXPECT_TRUE(::GetUpdateRect(hwnd_, &dirty, FALSE)) << msg;
        RECT client{};
        ::GetClientRect(hwnd_, &client);
        EXPECT_TRUE(::EqualRect(&dirty, &client)) << msg;
    }
}

}  // namespace
