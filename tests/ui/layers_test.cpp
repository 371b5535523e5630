// Native text boxes under layers: a box under a layer or float drawn above
// it, or in a hidden container, has no window on screen and no keyboard
// focus, and comes back when uncovered; its window keeps inside the box's
// padding and frame. Driven with real messages on the main window's skin.
#include <gtest/gtest.h>

#include "tests/ui/ui_test_support.h"
#include "ui/controls.h"
#include "ui/native_controls.h"
#include "ui/platform.h"

namespace {

using ui_test::Center;
using ui_test::Click;
using ui_test::ClickControl;
using ui_test::PumpFor;
using ui_test::PumpUntil;
using ui_test::TestWindow;

bool Shown(HWND child) { return child != nullptr && ::IsWindowVisible(child) != FALSE; }

RECT ChildRect(HWND child) {
    RECT rc{};
    ::GetWindowRect(child, &rc);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Types a character the way the keyboard does: to the focused window.
void Type(wchar_t ch) {
    HWND target = ::GetFocus();
    ASSERT_NE(target, nullptr);
    ::PostMessageW(target, WM_CHAR, ch, 1);
    PumpFor(40);
}

class MainSkinLayers : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>(L"zudedo_main.xml");
        hwnd_ = window_->Open(40, 40);
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_TRUE(window_->LayoutError().empty()) << ui::Utf16ToUtf8(window_->LayoutError());
        post_ = Native(L"PostEdit");
        user_ = Native(L"EditUsername");
        password_ = Native(L"EditPassword");
        ASSERT_TRUE(post_ && user_ && password_);
        ASSERT_NE(post_->NativeHandle(), nullptr);
    }
    ui::NativeTextControl* Native(const wchar_t* name) {
        return dynamic_cast<ui::NativeTextControl*>(window_->Find(name));
    }
    ui::Control* Find(const wchar_t* name) {
        ui::Control* c = window_->Find(name);
        EXPECT_NE(c, nullptr) << ui::Utf16ToUtf8(name);
        return c;
    }

    std::unique_ptr<TestWindow> window_;
    HWND hwnd_ = nullptr;
    ui::NativeTextControl* post_ = nullptr;
    ui::NativeTextControl* user_ = nullptr;
    ui::NativeTextControl* password_ = nullptr;
};

TEST_F(MainSkinLayers, TheLoginLayerHidesAFocusedPostBoxWithADraftUntilItGoes) {
    ClickControl(post_);
    ASSERT_TRUE(post_->IsFocused());
    Type(L'询');
    ASSERT_EQ(post_->GetText(), L"询");
    ASSERT_TRUE(Shown(post_->NativeHandle()));

    // Signed out: the login layer comes up over the post layer.
    Find(L"LoginLayer")->SetVisible(true);
    PumpFor(60);
    EXPECT_FALSE(Shown(post_->NativeHandle()));
    EXPECT_FALSE(post_->IsFocused());
    EXPECT_NE(::GetFocus(), post_->NativeHandle());
    EXPECT_FALSE(post_->IsTabStop());

    // The click and the keys reach the name box, not the post box below.
    ClickControl(user_);
    EXPECT_TRUE(user_->IsFocused());
    EXPECT_EQ(::GetFocus(), user_->NativeHandle());
    Type(L'd');
    EXPECT_EQ(user_->GetText(), L"d");
    EXPECT_EQ(post_->GetText(), L"询");
    EXPECT_FALSE(Shown(post_->NativeHandle()));
    // Focusing the covered box by code is refused as well.
    post_->SetFocus();
    EXPECT_FALSE(post_->IsFocused());
    EXPECT_FALSE(Shown(post_->NativeHandle()));

    // The layer goes: the draft shows again, and the hidden name box does
    // not keep the keyboard.
    Find(L"LoginLayer")->SetVisible(false);
    PumpFor(60);
    EXPECT_TRUE(Shown(post_->NativeHandle()));
    EXPECT_FALSE(Shown(user_->NativeHandle()));
    EXPECT_NE(::GetFocus(), user_->NativeHandle());
    EXPECT_EQ(::GetFocus(), hwnd_);
}

TEST_F(MainSkinLayers, TheLoadingLayerHidesTheNameAndPasswordBoxes) {
    Find(L"LoginLayer")->SetVisible(true);
    user_->SetText(L"demo");
    password_->SetText(L"demo123");
    ClickControl(password_);
    ASSERT_TRUE(password_->IsFocused());
    ASSERT_TRUE(Shown(user_->NativeHandle()));
    ASSERT_TRUE(Shown(password_->NativeHandle()));

    Find(L"LayoutLoginLoading")->SetVisible(true);  // "登录中..."
    PumpFor(60);
    EXPECT_FALSE(Shown(user_->NativeHandle()));
    EXPECT_FALSE(Shown(password_->NativeHandle()));
    EXPECT_FALSE(password_->IsFocused());
    EXPECT_NE(::GetFocus(), password_->NativeHandle());
    // A click where the name box was lands on the loading layer.
    ClickControl(user_);
    EXPECT_FALSE(user_->IsFocused());
    EXPECT_NE(::GetFocus(), user_->NativeHandle());

    Find(L"LayoutLoginLoading")->SetVisible(false);
    PumpFor(60);
    EXPECT_TRUE(Shown(user_->NativeHandle()));
    EXPECT_TRUE(Shown(password_->NativeHandle()));
    EXPECT_EQ(user_->GetText(), L"demo");
}

TEST_F(MainSkinLayers, AHiddenContainerTakesItsBoxesWindowsAndFocus) {
    post_->SetText(L"草稿");
    ClickControl(post_);
    ASSERT_EQ(::GetFocus(), post_->NativeHandle());
    Find(L"TitleInfoPanelFull")->SetVisible(false);
    PumpFor(40);
    EXPECT_FALSE(Shown(post_->NativeHandle()));
    EXPECT_NE(::GetFocus(), post_->NativeHandle());
    Find(L"TitleInfoPanelFull")->SetVisible(true);
    PumpFor(40);
    EXPECT_TRUE(Shown(post_->NativeHandle()));
}

TEST_F(MainSkinLayers, ThePostBoxWindowLeavesTheFrameAndTheCounterInSight) {
    ClickControl(post_);
    Type(L'a');
    ASSERT_TRUE(Shown(post_->NativeHandle()));
    window_->GetPaintManager().UpdateLayout();
    const RECT native = ChildRect(post_->NativeHandle());
    // Inside the box's frame (a 1-pixel border on its container).
    RECT frame = Find(L"VLayoutEdit")->GetPos();
    ::InflateRect(&frame, -1, -1);
    EXPECT_TRUE(Inside(native, frame));
    // Inside the box's own padding ("inset" in the skin).
    RECT padded = post_->GetPos();
    const RECT pad = post_->GetTextPadding();
    EXPECT_GT(pad.left + pad.top + pad.right + pad.bottom, 0);
    padded.left += pad.left;
    padded.top += pad.top;
    padded.right -= pad.right;
    padded.bottom -= pad.bottom;
    EXPECT_TRUE(Inside(native, padded));
    // Clear of the counter's text, drawn at the box's bottom right.
    auto* counter = dynamic_cast<ui::Label*>(Find(L"RestWordCount"));
    ASSERT_NE(counter, nullptr);
    const RECT box = counter->GetPos();
    const RECT cpad = counter->GetTextPadding();
    const SIZE text = counter->MeasureText(counter->GetText());
    const RECT ink{box.right - cpad.right - text.cx, box.bottom - cpad.bottom - text.cy, box.right - cpad.right,
                   box.bottom - cpad.bottom};
    RECT overlap;
    EXPECT_FALSE(::IntersectRect(&overlap, &native, &ink))
        << "counter " << ink.left << "," << ink.top << " native bottom " << native.bottom;
}

const wchar_t kFloatOver[] =
    L"<Window size='300,200'>"
    L"<Font name='微软雅黑' size='12' default='true'/>"
    L"<VerticalLayout bkcolor='#FFFFFFFF'>"
    L"  <Container height='60' name='Box'>"
    L"    <Edit name='Input' text='abc' inset='6,4,6,4' bordercolor='#FFCCCCCC' bordersize='1'/>"
    L"    <Label name='Hint' text='请输入' mouse='false'/>"
    L"    <Control name='Cover' float='true' pos='100,10,160,50' bkcolor='#FF336699' visible='false'/>"
    L"  </Container>"
    L"  <Control/>"
    L"</VerticalLayout></Window>";

TEST(NativeBoxes, AFloatOverTheBoxHidesItAndAHintLabelDoesNot) {
    TestWindow window(kFloatOver);
    HWND hwnd = window.Open();
    ASSERT_NE(hwnd, nullptr);
    auto* input = dynamic_cast<ui::Edit*>(window.Find(L"Input"));
    ASSERT_NE(input, nullptr);
    window.GetPaintManager().UpdateLayout();
    EXPECT_TRUE(Shown(input->NativeHandle()));  // the hint label above does not count
    // Inside the inset and the border.
    const RECT native = ChildRect(input->NativeHandle());
    const RECT rc = input->GetPos();
    EXPECT_GE(native.left, rc.left + 6 + 1);
    EXPECT_LE(native.right, rc.right - 6 - 1);
    EXPECT_GE(native.top, rc.top + 4 + 1);
    EXPECT_LE(native.bottom, rc.bottom - 4 - 1);

    ui::Control* cover = window.Find(L"Cover");
    cover->SetVisible(true);
    EXPECT_FALSE(Shown(input->NativeHandle()));
    // Moved off the box, the float no longer hides it.
    cover->SetPos(RECT{0, 100, 60, 140});
    window.GetPaintManager().SyncNativeWindows();
    EXPECT_TRUE(Shown(input->NativeHandle()));
}

}  // namespace
