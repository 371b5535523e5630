// Keyboard focus by real key messages: Tab follows the reading order of the
// topmost visible layer and wraps, Shift+Tab goes back, covered and hidden
// controls are skipped; Space and Return click a focused button, option or
// link; a focused control draws its focus mark only with keyboard cues.
#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/ui_test_support.h"
#include "ui/controls.h"
#include "ui/native_controls.h"
#include "ui/platform.h"

namespace {

using ui_test::ClickControl;
using ui_test::PressKey;
using ui_test::PumpFor;
using ui_test::TestWindow;

void SetShift(bool down) {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    ::SetKeyboardState(keys);
}

// A key press to whichever window has the keyboard, as the system does.
void Press(WPARAM key) {
    HWND target = ::GetFocus();
    ASSERT_NE(target, nullptr);
    PressKey(target, key);
}

std::wstring FocusName(ui::PaintManager& pm) { return pm.GetFocus() ? pm.GetFocus()->GetName() : L"(none)"; }

class MainSkinFocus : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>(L"zudedo_main.xml");
        hwnd_ = window_->Open(40, 40);
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_TRUE(window_->LayoutError().empty());
        window_->Find(L"LoginLayer")->SetVisible(true);
        ClickControl(window_->Find(L"EditUsername"));
        ASSERT_EQ(FocusName(pm()), L"EditUsername");
        window_->received.clear();
    }
    void TearDown() override { SetShift(false); }
    ui::PaintManager& pm() { return window_->GetPaintManager(); }

    std::unique_ptr<TestWindow> window_;
    HWND hwnd_ = nullptr;
};

TEST_F(MainSkinFocus, TabReadsTheLoginLayerInOrderAndWrapsWithoutTheLayerBelow) {
    const std::vector<std::wstring> expected = {L"EditPassword", L"OptionAutoLogin", L"OptionSavePSW", L"BtnLogin",
                                                L"LinkForgetPSW", L"LinkSignUp", L"BtnHideLoginLayer"};
    for (const std::wstring& name : expected) {
        Press(VK_TAB);
        EXPECT_EQ(FocusName(pm()), name);
    }
    EXPECT_EQ(::GetFocus(), hwnd_);  // a skin control: the window has the keys
    // Round the whole window back to the name box: the covered post layer
    // and hidden controls are never reached.
    std::vector<std::wstring> visited;
    for (int i = 0; i < 40 && FocusName(pm()) != L"EditUsername"; ++i) {
        Press(VK_TAB);
        visited.push_back(FocusName(pm()));
    }
    ASSERT_EQ(FocusName(pm()), L"EditUsername") << "Tab does not wrap";
    for (const std::wstring& name : visited) {
        EXPECT_NE(name, L"PostEdit");
        EXPECT_NE(name, L"BtnPost");
        EXPECT_NE(name, L"BtnShowFull");
        EXPECT_NE(name, L"OpZudedo");
        EXPECT_NE(name, L"(none)");
    }
    EXPECT_EQ(::GetFocus(), window_->Find(L"EditUsername")->NativeHandle());

    // Backwards.
    Press(VK_TAB);
    Press(VK_TAB);
    ASSERT_EQ(FocusName(pm()), L"OptionAutoLogin");
    SetShift(true);
    Press(VK_TAB);
    EXPECT_EQ(FocusName(pm()), L"EditPassword");
    Press(VK_TAB);
    EXPECT_EQ(FocusName(pm()), L"EditUsername");
    Press(VK_TAB);
    EXPECT_EQ(FocusName(pm()), visited.size() >= 2 ? visited[visited.size() - 2] : L"?");
    SetShift(false);
}

TEST_F(MainSkinFocus, TheLoadingLayerTakesTheBoxesOutOfTheTabOrder) {
    window_->Find(L"LayoutLoginLoading")->SetVisible(true);
    for (int i = 0; i < 40; ++i) {
        Press(VK_TAB);
        const std::wstring name = FocusName(pm());
        ASSERT_NE(name, L"EditUsername");
        ASSERT_NE(name, L"EditPassword");
        ASSERT_NE(name, L"BtnLogin");
        ASSERT_NE(name, L"(none)");
    }
}

TEST_F(MainSkinFocus, SpaceAndReturnClickTheFocusedButtonOptionOrLink) {
    Press(VK_TAB);
    Press(VK_TAB);
    Press(VK_TAB);
    ASSERT_EQ(FocusName(pm()), L"OptionSavePSW");
    auto* keep = static_cast<ui::Option*>(window_->Find(L"OptionSavePSW"));
    const bool was = keep->IsSelected();
    Press(VK_SPACE);
    EXPECT_NE(keep->IsSelected(), was);
    EXPECT_EQ(window_->Count(L"selectchanged", L"OptionSavePSW"), 1u);
    Press(VK_TAB);
    ASSERT_EQ(FocusName(pm()), L"BtnLogin");
    Press(VK_SPACE);
    EXPECT_EQ(window_->Count(L"click", L"BtnLogin"), 1u);
    Press(VK_TAB);
    Press(VK_TAB);
    ASSERT_EQ(FocusName(pm()), L"LinkSignUp");
    Press(VK_RETURN);
    EXPECT_EQ(window_->Count(L"click", L"LinkSignUp"), 1u);
    EXPECT_EQ(window_->Count(L"click", L"BtnLogin"), 1u);
}

// ------------------------------------------------------------ focus mark

const wchar_t kMark[] =
    L"<Window size='300,200'>"
    L"<Font name='微软雅黑' size='12' default='true'/>"
    L"<VerticalLayout bkcolor='#FFFFFFFF' inset='10,10,10,10' childpadding='10'>"
    L"  <Button name='BtnA' height='30' width='100' bkcolor='#FFFFFFFF'/>"
    L"  <Button name='BtnB' height='30' width='100' bkcolor='#FFFFFFFF'/>"
    L"  <Control/>"
    L"</VerticalLayout></Window>";

std::vector<DWORD> Snapshot(ui::PaintManager& pm, int* width) {
    RECT client{};
    ::GetClientRect(pm.GetPaintWindow(), &client);
    ui::Dib dib = ui::CreateDib(client.right, client.bottom);
    ui::UniqueMemDC dc(::CreateCompatibleDC(nullptr));
    ui::SelectGuard select(dc.get(), dib.bitmap.get());
    pm.PaintTo(dc.get());
    ::GdiFlush();
    const auto* px = static_cast<const DWORD*>(dib.bits);
    *width = client.right;
    return std::vector<DWORD>(px, px + static_cast<size_t>(client.right) * client.bottom);
}

// Pixels that differ from `base`; all must lie strictly inside `inside`.
int MarkPixels(const std::vector<DWORD>& base, const std::vector<DWORD>& now, int width, const RECT& inside) {
    int changed = 0;
    for (size_t i = 0; i < base.size() && i < now.size(); ++i) {
        if ((base[i] & 0xFFFFFF) == (now[i] & 0xFFFFFF)) continue;
        const POINT pt{static_cast<LONG>(i % static_cast<size_t>(width)), static_cast<LONG>(i / static_cast<size_t>(width))};
        RECT in = inside;
        ::InflateRect(&in, -1, -1);
        if (!::PtInRect(&in, pt)) return -1;
        ++changed;
    }
    return changed;
}

TEST(FocusMark, DrawnInsideTheControlOnlyWithKeyboardCues) {
    TestWindow window(kMark);
    HWND hwnd = window.Open();
    ASSERT_NE(hwnd, nullptr);
    ui::PaintManager& pm = window.GetPaintManager();
    ::SendMessageW(hwnd, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
    ASSERT_FALSE(pm.FocusCuesShown());
    int width = 0;
    const std::vector<DWORD> plain = Snapshot(pm, &width);
    ui::Control* a = window.Find(L"BtnA");
    ui::Control* b = window.Find(L"BtnB");

    // Focused by the mouse, cues off: no mark.
    ClickControl(a);
    ASSERT_TRUE(a->IsFocused());
    EXPECT_EQ(MarkPixels(plain, Snapshot(pm, &width), width, a->GetPos()), 0);
    // The system turns cues on: the mark shows inside the button.
    ::SendMessageW(hwnd, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    EXPECT_GT(MarkPixels(plain, Snapshot(pm, &width), width, a->GetPos()), 20);
    ::SendMessageW(hwnd, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
    EXPECT_EQ(MarkPixels(plain, Snapshot(pm, &width), width, a->GetPos()), 0);

    // Focus moved by Tab: the keyboard turns the marks on.
    Press(VK_TAB);
    ASSERT_TRUE(b->IsFocused());
    EXPECT_TRUE(pm.FocusCuesShown());
    EXPECT_GT(MarkPixels(plain, Snapshot(pm, &width), width, b->GetPos()), 20);
}

}  // namespace
