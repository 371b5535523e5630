// Tooltips with the real pointer: a tip shows after hovering a control and
// goes when the pointer leaves the control or the window, on a click, when
// another window takes the mouse or the activation (a menu opening), and
// when its window hides.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "tests/ui/ui_test_support.h"
#include "ui/controls.h"
#include "ui/platform.h"

namespace {

using ui_test::Center;
using ui_test::PumpFor;
using ui_test::PumpUntil;
using ui_test::TestWindow;

const wchar_t kTips[] =
    L"<Window size='300,200'>"
    L"<Font name='微软雅黑' size='12' default='true'/>"
    L"<VerticalLayout bkcolor='#FFFFFFFF'>"
    L"  <HorizontalLayout height='40'>"
    L"    <Button name='BtnMenu' width='60' text='菜单' tooltip='主菜单'/>"
    L"    <Control name='Empty'/>"
    L"  </HorizontalLayout>"
    L"  <Control/>"
    L"</VerticalLayout></Window>";

BOOL CALLBACK FindShownTip(HWND hwnd, LPARAM out) {
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, 64);
    if (::lstrcmpiW(name, TOOLTIPS_CLASSW) == 0 && ::IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND*>(out) = hwnd;
        return FALSE;
    }
    return TRUE;
}

bool TipShown() {
    HWND found = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindShownTip, reinterpret_cast<LPARAM>(&found));
    return found != nullptr;
}

class ToolTipTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>(kTips);
        hwnd_ = window_->Open(120, 120);
        ASSERT_NE(hwnd_, nullptr);
        window_->GetPaintManager().UpdateLayout();
        button_ = window_->Find(L"BtnMenu");
        ASSERT_NE(button_, nullptr);
    }
    void TearDown() override { ::SetCursorPos(1300, 700); }

    // The pointer to a client point, as the system moves it.
    void MoveTo(POINT client) {
        POINT screen = client;
        ::ClientToScreen(hwnd_, &screen);
        ::SetCursorPos(screen.x, screen.y);
        ::PostMessageW(hwnd_, WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
        PumpFor(30);
    }
    void HoverButton() {
        MoveTo(Center(window_->Find(L"Empty")->GetPos()));
        MoveTo(Center(button_->GetPos()));
        ASSERT_TRUE(PumpUntil(TipShown, 3000)) << "no tip after hovering";
    }

    std::unique_ptr<TestWindow> window_;
    HWND hwnd_ = nullptr;
    ui::Control* button_ = nullptr;
};

TEST_F(ToolTipTest, TheTipGoesWhenThePointerLeavesTheControlOrTheWindow) {
    HoverButton();
    MoveTo(Center(window_->Find(L"Empty")->GetPos()));
    EXPECT_FALSE(TipShown());

    // Straight out of the window: no move message reaches it, only the
    // leave that was asked for.
    HoverButton();
    ::SetCursorPos(1300, 700);
    EXPECT_TRUE(PumpUntil([] { return !TipShown(); }, 2000)) << "the tip outlived the pointer";
    // And a later hover shows it again.
    HoverButton();
}

TEST_F(ToolTipTest, TheTipGoesOnAClickAndWhenAMenuTakesOver) {
    HoverButton();
    const LPARAM at = MAKELPARAM(Center(button_->GetPos()).x, Center(button_->GetPos()).y);
    ::PostMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(hwnd_, WM_LBUTTONUP, 0, at);
    PumpFor(60);
    EXPECT_FALSE(TipShown());

    HoverButton();
    ::SendMessageW(hwnd_, WM_CANCELMODE, 0, 0);  // a menu starting its mode
    EXPECT_FALSE(TipShown());

    // A window of the process taking the mouse and the activation.
    HoverButton();
    TestWindow menu(L"menu_edit.xml");
    ASSERT_NE(menu.Open(140, 140), nullptr);
    ::SetCapture(menu.GetHWND());
    PumpFor(60);
    EXPECT_FALSE(TipShown());
    ::ReleaseCapture();
}

TEST_F(ToolTipTest, TheTipGoesWhenItsWindowDeactivatesOrHides) {
    HoverButton();
    {
        TestWindow other(L"menu_tray.xml");
        ASSERT_NE(other.Open(500, 300), nullptr);
        EXPECT_TRUE(PumpUntil([] { return !TipShown(); }, 1000));
    }
    ::SetForegroundWindow(hwnd_);
    PumpFor(60);
    HoverButton();
    ::ShowWindow(hwnd_, SW_HIDE);
    PumpFor(60);
    EXPECT_FALSE(TipShown());
}

}  // namespace
