// Windows at another scale: skin units become device pixels at the window's
// DPI, fonts are made at the scaled height (the process is DPI aware, so the
// system never stretches a 96-DPI bitmap of the window), and a move to a
// monitor of another scale (WM_DPICHANGED) lays everything out again.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/ui/ui_test_support.h"
#include "ui/controls.h"
#include "ui/image.h"
#include "ui/native_controls.h"
#include "ui/platform.h"

namespace {

using ui_test::PumpFor;
using ui_test::TestWindow;

const wchar_t kLayout[] =
    L"<Window size='300,200' caption='0,0,0,30' sizebox='4,4,4,4' mininfo='200,150' maxinfo='600,500'>"
    L"<Font name='微软雅黑' size='12' default='true'/>"
    L"<Font name='微软雅黑' size='16' bold='true'/>"
    L"<VerticalLayout bkcolor='#FFFFFFFF'>"
    L"  <HorizontalLayout name='Row' height='30' inset='10,0,10,0' childpadding='4'>"
    L"    <Button name='Btn' width='100' text='发 送'/>"
    L"    <Control name='Rest'/>"
    L"    <Label name='Title' width='60' font='1' text='云帆'/>"
    L"  </HorizontalLayout>"
    L"  <Label name='Sample' height='40' text='HHHH' textcolor='#FF000000'/>"
    L"  <FormattedText name='Links' height='24' text='请 &lt;a&gt;注册&lt;/a&gt;'/>"
    L"  <Edit name='Input' height='26' width='120' text='abc'/>"
    L"  <Control name='Fill'/>"
    L"</VerticalLayout></Window>";

int Width(const RECT& rc) { return rc.right - rc.left; }
int Height(const RECT& rc) { return rc.bottom - rc.top; }

LONG FontHeight(HFONT font) {
    LOGFONTW lf{};
    ::GetObjectW(font, sizeof(lf), &lf);
    return lf.lfHeight;
}

// Rows of a rectangle that hold dark (text) pixels, painted by the window
// into a DIB of its own.
int InkHeight(ui::PaintManager& pm, const RECT& area) {
    RECT client{};
    ::GetClientRect(pm.GetPaintWindow(), &client);
    ui::Dib dib = ui::CreateDib(client.right, client.bottom);
    ui::UniqueMemDC dc(::CreateCompatibleDC(nullptr));
    ui::SelectGuard select(dc.get(), dib.bitmap.get());
    pm.PaintTo(dc.get());
    ::GdiFlush();
    const auto* px = static_cast<const unsigned char*>(dib.bits);
    int top = -1, bottom = -1;
    for (int y = std::max<LONG>(area.top, 0); y < std::min<LONG>(area.bottom, client.bottom); ++y) {
        for (int x = std::max<LONG>(area.left, 0); x < std::min<LONG>(area.right, client.right); ++x) {
            const unsigned char* p = px + (static_cast<size_t>(y) * client.right + x) * 4;
            if (p[0] < 128 && p[1] < 128 && p[2] < 128) {
                if (top < 0) top = y;
                bottom = y;
                break;
            }
        }
    }
    return top < 0 ? 0 : bottom - top + 1;
}

class DpiTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>(kLayout);
        hwnd_ = window_->Open(100, 100);
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_TRUE(window_->LayoutError().empty()) << ui::Utf16ToUtf8(window_->LayoutError());
        ASSERT_EQ(pm().GetDpi(), 96u) << "the display is expected at 96 DPI";
    }
    ui::PaintManager& pm() { return window_->GetPaintManager(); }
    RECT Pos(const wchar_t* name) {
        pm().UpdateLayout();
        ui::Control* c = window_->Find(name);
        EXPECT_NE(c, nullptr) << ui::Utf16ToUtf8(name);
        return c ? c->GetPos() : RECT{};
    }
    LRESULT HitTest(POINT client) {
        ::ClientToScreen(hwnd_, &client);
        return ::SendMessageW(hwnd_, WM_NCHITTEST, 0, MAKELPARAM(client.x, client.y));
    }
    void MoveToScale(UINT dpi, const RECT& suggested) {
        ::SendMessageW(hwnd_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        PumpFor(30);
    }
    // The layout of kLayout at a scale, checked against a client width.
    void ExpectLayoutAt(double k, int clientWidth, int clientHeight) {
        auto px = [k](int units) { return static_cast<int>(units * k + 0.5); };
        const RECT btn = Pos(L"Btn"), rest = Pos(L"Rest"), title = Pos(L"Title");
        EXPECT_EQ(btn.left, px(10));
        EXPECT_EQ(Width(btn), px(100));
        EXPECT_EQ(Height(btn), px(30));
        EXPECT_EQ(rest.left, px(10) + px(100) + px(4));
        EXPECT_EQ(Width(title), px(60));
        EXPECT_EQ(title.right, clientWidth - px(10));
        EXPECT_EQ(Pos(L"Sample").top, px(30));
        EXPECT_EQ(Width(Pos(L"Input")), px(120));
        EXPECT_EQ(Pos(L"Fill").bottom, clientHeight);
        EXPECT_EQ(Pos(L"Fill").right, clientWidth);
    }

    std::unique_ptr<TestWindow> window_;
    HWND hwnd_ = nullptr;
};

TEST_F(DpiTest, TheProcessIsPerMonitorAwareByItsManifest) {
    // Nothing in the program asked for awareness: the manifest did, so the
    // system hands the window real pixels and draws no scaled, blurred copy.
    using GetContextFn = HANDLE(WINAPI*)();
    using AwarenessFn = int(WINAPI*)(HANDLE);
    HMODULE user = ::GetModuleHandleW(L"user32.dll");
    auto getContext = reinterpret_cast<GetContextFn>(
        reinterpret_cast<void*>(::GetProcAddress(user, "GetThreadDpiAwarenessContext")));
    auto awareness = reinterpret_cast<AwarenessFn>(
        reinterpret_cast<void*>(::GetProcAddress(user, "GetAwarenessFromDpiAwarenessContext")));
    ASSERT_NE(getContext, nullptr);
    ASSERT_NE(awareness, nullptr);
    EXPECT_EQ(awareness(getContext()), 2 /* DPI_AWARENESS_PER_MONITOR_AWARE */);
    EXPECT_TRUE(::IsProcessDPIAware());
    // The manager works at the DPI the system gives the window.
    EXPECT_EQ(pm().GetDpi(), ui::DpiForWindow(hwnd_));
    // Asking again changes nothing.
    ui::EnableDpiAwareness();
    EXPECT_EQ(awareness(getContext()), 2);
}

TEST_F(DpiTest, At144DpiSkinUnitsAreOneAndAHalfPixelsAndFontsAreMadeAtThatHeight) {
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    ExpectLayoutAt(1.0, client.right, client.bottom);
    EXPECT_EQ(FontHeight(pm().GetFont(-1)), -12);
    EXPECT_EQ(FontHeight(pm().GetFont(1)), -16);
    const int tm96 = pm().GetFontInfo(-1)->tm.tmHeight;
    const int ink96 = InkHeight(pm(), Pos(L"Sample"));
    auto* sample = static_cast<ui::Label*>(window_->Find(L"Sample"));
    const SIZE text96 = sample->MeasureText(L"HHHH");
    ASSERT_GT(ink96, 0);

    pm().SetDpi(144);
    // Laid out while painting, the window is painted once: the controls the
    // layout moved are not left invalid for a second paint. (The system
    // still exposes where the native edit box was.)
    ::UpdateWindow(hwnd_);
    ui::UniqueRegion left(::CreateRectRgn(0, 0, 0, 0));
    ::GetUpdateRgn(hwnd_, left.get(), FALSE);
    for (const wchar_t* name : {L"Btn", L"Title", L"Sample", L"Fill"}) {
        EXPECT_FALSE(::PtInRegion(left.get(), ui_test::Center(Pos(name)).x, ui_test::Center(Pos(name)).y))
            << ui::Utf16ToUtf8(name);
    }
    ExpectLayoutAt(1.5, client.right, client.bottom);
    // Text is drawn by GDI with a font 1.5 times as tall, not stretched.
    EXPECT_EQ(FontHeight(pm().GetFont(-1)), -18);
    EXPECT_EQ(FontHeight(pm().GetFont(1)), -24);
    EXPECT_NEAR(pm().GetFontInfo(-1)->tm.tmHeight, tm96 * 1.5, 2.0);
    // Hinting makes widths grow by about, not exactly, half.
    EXPECT_NEAR(sample->MeasureText(L"HHHH").cx, text96.cx * 1.5, text96.cx * 0.15);
    EXPECT_NEAR(InkHeight(pm(), Pos(L"Sample")), ink96 * 1.5, 2.0);
    // The window attributes follow.
    EXPECT_EQ(pm().GetInitSize().cx, 450);
    EXPECT_EQ(pm().GetInitSize().cy, 300);
    EXPECT_EQ(pm().GetMinInfo().cx, 300);
    EXPECT_EQ(pm().GetMaxInfo().cy, 750);
    EXPECT_EQ(pm().GetCaptionRect().bottom, 45);
    EXPECT_EQ(pm().GetSizeBox().left, 6);
}

TEST_F(DpiTest, AMoveToAMonitorOfAnotherScaleTakesTheSuggestedRectangleAndLaysOutAgain) {
    RECT before{};
    ::GetWindowRect(hwnd_, &before);
    ASSERT_EQ(Width(before), 300);
    ASSERT_EQ(Height(before), 200);
    const int link96 = Height(static_cast<ui::FormattedText*>(window_->Find(L"Links"))->GetLinkRect(0));
    ASSERT_GT(link96, 0);
    // Below the caption at 96 DPI, inside it at 144.
    EXPECT_EQ(HitTest(POINT{200, 40}), HTCLIENT);

    const RECT suggested{150, 120, 150 + 450, 120 + 300};
    MoveToScale(144, suggested);
    RECT now{};
    ::GetWindowRect(hwnd_, &now);
    EXPECT_TRUE(::EqualRect(&now, &suggested)) << now.left << "," << now.top << "," << now.right << "," << now.bottom;
    EXPECT_EQ(pm().GetDpi(), 144u);
    ExpectLayoutAt(1.5, 450, 300);
    EXPECT_EQ(HitTest(POINT{200, 40}), HTCAPTION);
    EXPECT_EQ(HitTest(POINT{Pos(L"Btn").left + 5, 20}), HTCLIENT);
    // Formatted text arranges its pieces in the new font.
    EXPECT_NEAR(Height(static_cast<ui::FormattedText*>(window_->Find(L"Links"))->GetLinkRect(0)), link96 * 1.5, 2.0);
    // The native edit box sits on its control and uses the new font.
    HWND edit = window_->Find(L"Input")->NativeHandle();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(edit, WM_GETFONT, 0, 0)), pm().GetFont(-1));
    RECT editRc{};
    ::GetWindowRect(edit, &editRc);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&editRc), 2);
    RECT inputRc = Pos(L"Input");
    EXPECT_TRUE(::IntersectRect(&inputRc, &inputRc, &editRc) && ::EqualRect(&inputRc, &editRc));
    // Size limits are in device pixels of the new scale.
    MINMAXINFO info{};
    ::SendMessageW(hwnd_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 300);
    EXPECT_EQ(info.ptMaxTrackSize.y, 750);

    // And back: the skin's units were kept, so nothing drifts by rounding.
    MoveToScale(96, before);
    ::GetWindowRect(hwnd_, &now);
    EXPECT_TRUE(::EqualRect(&now, &before));
    ExpectLayoutAt(1.0, 300, 200);
    EXPECT_EQ(FontHeight(pm().GetFont(-1)), -12);
    EXPECT_EQ(HitTest(POINT{200, 40}), HTCLIENT);
}

TEST_F(DpiTest, OddScalesRoundAndMalformedNoticesAreSurvived) {
    // 120 DPI (125 %): every unit rounds the same way.
    RECT rc{};
    ::GetWindowRect(hwnd_, &rc);
    const RECT suggested{rc.left, rc.top, rc.left + 375, rc.top + 250};
    MoveToScale(120, suggested);
    ExpectLayoutAt(1.25, 375, 250);
    // A notice without a rectangle changes the scale and keeps the window
    // where it is; one without a DPI changes nothing.
    ::SendMessageW(hwnd_, WM_DPICHANGED, MAKEWPARAM(144, 144), 0);
    PumpFor(30);
    ::GetWindowRect(hwnd_, &rc);
    EXPECT_TRUE(::EqualRect(&rc, &suggested));
    EXPECT_EQ(pm().GetDpi(), 144u);
    ExpectLayoutAt(1.5, 375, 250);
    ::SendMessageW(hwnd_, WM_DPICHANGED, 0, 0);
    PumpFor(30);
    EXPECT_EQ(pm().GetDpi(), 144u);
    EXPECT_TRUE(::IsWindow(hwnd_));
}

}  // namespace

namespace {

// A pop-up in the corner next to the notification area, wherever the task
// bar is, and never outside the work area however large it is.
TEST(TrayCorner, FollowsTheTaskBarAndStaysInside) {
    const RECT work{100, 50, 1100, 750};
    const SIZE size{257, 103};
    RECT rc = ui::CornerNextToTray({work, ui::TrayEdge::kBottom}, size, 8, 2);
    EXPECT_EQ(rc.right, 1092);
    EXPECT_EQ(rc.bottom, 748);
    rc = ui::CornerNextToTray({work, ui::TrayEdge::kRight}, size, 8, 2);
    EXPECT_EQ(rc.right, 1092);
    EXPECT_EQ(rc.bottom, 748);
    rc = ui::CornerNextToTray({work, ui::TrayEdge::kTop}, size, 8, 2);
    EXPECT_EQ(rc.right, 1092);
    EXPECT_EQ(rc.top, 52);
    rc = ui::CornerNextToTray({work, ui::TrayEdge::kLeft}, size, 8, 2);
    EXPECT_EQ(rc.left, 108);
    EXPECT_EQ(rc.bottom, 748);
    rc = ui::CornerNextToTray({work, ui::TrayEdge::kBottom}, SIZE{5000, 5000}, 8, 2);
    EXPECT_EQ(rc.left, work.left);
    EXPECT_EQ(rc.top, work.top);
    EXPECT_EQ(rc.right, work.right);
    EXPECT_EQ(rc.bottom, work.bottom);
    // The real desktop: inside its work area.
    const ui::TrayPlace place = ui::FindTrayPlace();
    rc = ui::CornerNextToTray(place, size, 8, 2);
    EXPECT_GE(rc.left, place.work.left);
    EXPECT_LE(rc.bottom, place.work.bottom);
}

}  // namespace
