// Skinned windows with real messages: notifications by type and sender,
// the inherited keys, focus moves, hit testing and the window outline.
#include <gtest/gtest.h>

#include "shell/com_ptr.h"
#include "tests/ui/ui_test_support.h"
#include "ui/browser.h"
#include "ui/controls.h"
#include "ui/native_controls.h"

namespace {

using ui_test::Center;
using ui_test::Click;
using ui_test::ClickControl;
using ui_test::PressKey;
using ui_test::PumpFor;
using ui_test::PumpUntil;
using ui_test::TestWindow;

const wchar_t kForm[] =
    L"<Window size='320,240' caption='0,0,0,40' sizebox='4,4,4,4' roundcorner='5,5' mininfo='200,150' maxinfo='600,500'>"
    L"<Font name='微软雅黑' size='12' default='true'/>"
    L"<VerticalLayout bkcolor='#FFFFFFFF'>"
    L"  <HorizontalLayout height='40'>"
    L"    <Label name='LabelTitle' text='云帆商务台' width='120'/>"
    L"    <Control/>"
    L"    <Button name='BtnMin' width='30' text='_' tooltip='最小化'/>"
    L"    <Button name='BtnExit' width='30' text='X' shortcut='x'/>"
    L"  </HorizontalLayout>"
    L"  <HorizontalLayout height='30'>"
    L"    <Edit name='EditUsername' width='120' bordercolor='#FFCCCCCC' bordersize='1'/>"
    L"    <Edit name='EditPassword' width='120' password='true'/>"
    L"  </HorizontalLayout>"
    L"  <HorizontalLayout height='24'>"
    L"    <Option name='OpA' group='page' text='A' width='40' selected='true'/>"
    L"    <Option name='OpB' group='page' text='B' width='40'/>"
    L"    <Option name='OptionSavePSW' text='记住密码' width='80'/>"
    L"    <Button name='BtnDisabled' text='off' width='40' enabled='false'/>"
    L"  </HorizontalLayout>"
    L"  <FormattedText name='Links' height='24' text='请 &lt;a first&gt;注册&lt;/a&gt; 或 &lt;c #FF6600&gt;&lt;a&gt;找回密码&lt;/a&gt;&lt;/c&gt;'/>"
    L"  <RichEdit name='PostEdit' height='50' menu='true'/>"
    L"  <Control/>"
    L"</VerticalLayout></Window>";

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<TestWindow>(kForm);
        hwnd_ = window_->Open();
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_TRUE(window_->LayoutError().empty()) << ui::Utf16ToUtf8(window_->LayoutError());
        window_->received.clear();
    }
    ui::Control* Find(const wchar_t* name) {
        ui::Control* c = window_->Find(name);
        EXPECT_NE(c, nullptr);
        return c;
    }
    LRESULT HitTest(POINT client) {
        ::ClientToScreen(hwnd_, &client);
        return ::SendMessageW(hwnd_, WM_NCHITTEST, 0, MAKELPARAM(client.x, client.y));
    }

    std::unique_ptr<TestWindow> window_;
    HWND hwnd_ = nullptr;
};

TEST_F(FormTest, AClickOnAButtonSendsClickFromThatButton) {
    ClickControl(Find(L"BtnMin"));
    EXPECT_EQ(window_->Count(L"click", L"BtnMin"), 1u);
    EXPECT_EQ(window_->Count(L"click", L"BtnExit"), 0u);
    // A press that is released elsewhere is no click.
    RECT rc = Find(L"BtnExit")->GetPos();
    ::PostMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rc.left + 5, rc.top + 5));
    ::PostMessageW(hwnd_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 200));
    ::PostMessageW(hwnd_, WM_LBUTTONUP, 0, MAKELPARAM(5, 200));
    PumpFor(60);
    EXPECT_EQ(window_->Count(L"click", L"BtnExit"), 0u);
    ClickControl(Find(L"BtnDisabled"));
    EXPECT_EQ(window_->Count(L"click", L"BtnDisabled"), 0u);
}

TEST_F(FormTest, AnAltShortcutActivatesItsButton) {
    ::PostMessageW(hwnd_, WM_SYSCHAR, L'x', 1 << 29);
    PumpFor(60);
    EXPECT_EQ(window_->Count(L"click", L"BtnExit"), 1u);
}

TEST_F(FormTest, OptionsInAGroupSelectOneAndNotifyTheNewOne) {
    auto* a = static_cast<ui::Option*>(Find(L"OpA"));
    auto* b = static_cast<ui::Option*>(Find(L"OpB"));
    ClickControl(b);
    EXPECT_TRUE(b->IsSelected());
    EXPECT_FALSE(a->IsSelected());
    EXPECT_EQ(window_->Count(L"click", L"OpB"), 1u);
    EXPECT_EQ(window_->Count(L"selectchanged", L"OpB"), 1u);
    EXPECT_EQ(window_->Count(L"selectchanged", L"OpA"), 0u);  // deselection is silent
    ClickControl(b);  // already selected: nothing changes
    EXPECT_EQ(window_->Count(L"selectchanged", L"OpB"), 1u);
    a->Selected(true, false);  // asked not to notify
    EXPECT_TRUE(a->IsSelected());
    EXPECT_FALSE(b->IsSelected());
    EXPECT_EQ(window_->Count(L"selectchanged", L"OpA"), 0u);
    a->Selected(true, true);  // unchanged: nothing
    EXPECT_EQ(window_->Count(L"selectchanged", L"OpA"), 0u);
}

TEST_F(FormTest, ACheckBoxReportsBothChanges) {
    auto* keep = static_cast<ui::Option*>(Find(L"OptionSavePSW"));
    ClickControl(keep);
    EXPECT_TRUE(keep->IsSelected());
    ClickControl(keep);
    EXPECT_FALSE(keep->IsSelected());
    EXPECT_EQ(window_->Count(L"selectchanged", L"OptionSavePSW"), 2u);
}

TEST_F(FormTest, EditsReportFocusAndTextChanges) {
    auto* user = static_cast<ui::Edit*>(Find(L"EditUsername"));
    auto* password = static_cast<ui::Edit*>(Find(L"EditPassword"));
    ClickControl(user);
    EXPECT_TRUE(user->IsFocused());
    EXPECT_EQ(window_->Count(L"setfocus", L"EditUsername"), 1u);
    ASSERT_NE(user->NativeHandle(), nullptr);
    EXPECT_EQ(::GetFocus(), user->NativeHandle());
    ::PostMessageW(user->NativeHandle(), WM_CHAR, L'a', 1);
    ::PostMessageW(user->NativeHandle(), WM_CHAR, L'b', 1);
    PumpUntil([&] { return user->GetText() == L"ab"; }, 1000);
    EXPECT_EQ(user->GetText(), L"ab");
    EXPECT_GE(window_->Count(L"textchanged", L"EditUsername"), 2u);

    ClickControl(password);
    EXPECT_EQ(window_->Count(L"killfocus", L"EditUsername"), 1u);
    EXPECT_EQ(window_->Count(L"setfocus", L"EditPassword"), 1u);
    EXPECT_TRUE(password->IsPassword());
    password->SetText(L"secret");
    EXPECT_EQ(password->GetText(), L"secret");
    EXPECT_GE(window_->Count(L"textchanged", L"EditPassword"), 1u);
}

TEST_F(FormTest, AClickOnTheSecondLinkSendsLinkWithIndexOne) {
    auto* links = static_cast<ui::FormattedText*>(Find(L"Links"));
    ASSERT_EQ(links->GetLinkCount(), 2);
    EXPECT_EQ(links->GetLinkContent(0), L"first");
    EXPECT_EQ(links->GetLinkContent(1), L"找回密码");  // no target: its text
    Click(hwnd_, Center(links->GetLinkRect(1)));
    auto got = window_->Of(L"link");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].sender, L"Links");
    EXPECT_EQ(got[0].wParam, 1u);
    Click(hwnd_, Center(links->GetLinkRect(0)));
    ASSERT_EQ(window_->Of(L"link").size(), 2u);
    EXPECT_EQ(window_->Of(L"link")[1].wParam, 0u);
    // Plain text between links is no link.
    RECT first = links->GetLinkRect(0);
    Click(hwnd_, POINT{first.left - 4, (first.top + first.bottom) / 2});
    EXPECT_EQ(window_->Of(L"link").size(), 2u);
}

TEST_F(FormTest, EscapeClosesWithResultOneAndReturnDoesNot) {
    PressKey(hwnd_, VK_RETURN);
    EXPECT_FALSE(window_->destroyed);
    EXPECT_EQ(window_->closeResult, -1);
    // From inside a native box too: the key goes to the window's filter.
    ClickControl(Find(L"EditUsername"));
    PressKey(static_cast<ui::Edit*>(Find(L"EditUsername"))->NativeHandle(), VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return window_->destroyed; }, 2000));
    EXPECT_EQ(window_->closeResult, 1);
}

TEST_F(FormTest, TabAndShiftTabMoveTheFocus) {
    auto* user = Find(L"EditUsername");
    ClickControl(user);
    ASSERT_TRUE(user->IsFocused());
    PressKey(user->NativeHandle(), VK_TAB);
    EXPECT_TRUE(Find(L"EditPassword")->IsFocused());
    EXPECT_EQ(::GetFocus(), Find(L"EditPassword")->NativeHandle());
    PressKey(Find(L"EditPassword")->NativeHandle(), VK_TAB);
    EXPECT_TRUE(Find(L"OpA")->IsFocused());
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    ::SetKeyboardState(keys);
    PressKey(hwnd_, VK_TAB);
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
    EXPECT_TRUE(Find(L"EditPassword")->IsFocused());
}

TEST_F(FormTest, TheCaptionDragsExceptOnButtons) {
    EXPECT_EQ(HitTest(Center(Find(L"LabelTitle")->GetPos())), HTCAPTION);
    EXPECT_EQ(HitTest(POINT{200, 20}), HTCAPTION);  // empty caption space
    EXPECT_EQ(HitTest(Center(Find(L"BtnExit")->GetPos())), HTCLIENT);
    EXPECT_EQ(HitTest(Center(Find(L"OpA")->GetPos())), HTCLIENT);
    EXPECT_EQ(HitTest(POINT{160, 150}), HTCLIENT);  // below the caption
    // The size box margins.
    EXPECT_EQ(HitTest(POINT{1, 1}), HTTOPLEFT);
    EXPECT_EQ(HitTest(POINT{318, 120}), HTRIGHT);
    EXPECT_EQ(HitTest(POINT{160, 238}), HTBOTTOM);
    EXPECT_EQ(HitTest(POINT{318, 238}), HTBOTTOMRIGHT);

    // A real press on the caption button clicks it; on the label nothing
    // reaches the controls (the system drags the window instead).
    POINT btn = Center(Find(L"BtnExit")->GetPos());
    POINT screen = btn;
    ::ClientToScreen(hwnd_, &screen);
    ::SetCursorPos(screen.x, screen.y);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, input, sizeof(INPUT));
    PumpUntil([&] { return window_->Count(L"click", L"BtnExit") > 0; }, 1500);
    EXPECT_EQ(window_->Count(L"click", L"BtnExit"), 1u);
}

TEST_F(FormTest, OutlineAndSizeLimitsComeFromTheSkin) {
    HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(hwnd_, rgn), ERROR);
    EXPECT_FALSE(::PtInRegion(rgn, 0, 0));      // the corner is cut
    EXPECT_TRUE(::PtInRegion(rgn, 160, 120));
    EXPECT_TRUE(::PtInRegion(rgn, 5, 0));
    ::DeleteObject(rgn);
    MINMAXINFO info = {};
    ::SendMessageW(hwnd_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 200);
    EXPECT_EQ(info.ptMaxTrackSize.y, 500);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(info.ptMaxSize.x, work.right - work.left);
    EXPECT_EQ(info.ptMaxSize.y, work.bottom - work.top);
}

// What PrintWindow draws of the window: its client area's pixels.
std::vector<COLORREF> Snapshot(HWND hwnd) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, rc.right, rc.bottom);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::PrintWindow(hwnd, mem, PW_CLIENTONLY);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < rc.bottom; y += 7) {
        for (int x = 0; x < rc.right; x += 7) pixels.push_back(::GetPixel(mem, x, y));
    }
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

TEST_F(FormTest, AHiddenWindowKeepsNoBackBufferAndPaintsTheSameWhenShownAgain) {
    ui::PaintManager& pm = window_->GetPaintManager();
    EXPECT_GT(pm.BackBufferBytes(), 0u);
    const std::vector<COLORREF> before = Snapshot(hwnd_);
    ::ShowWindow(hwnd_, SW_HIDE);
    PumpFor(30);
    EXPECT_EQ(pm.BackBufferBytes(), 0u);
    ::ShowWindow(hwnd_, SW_SHOWNA);
    ::UpdateWindow(hwnd_);
    PumpFor(30);
    EXPECT_GT(pm.BackBufferBytes(), 0u);
    EXPECT_EQ(before, Snapshot(hwnd_));
}

TEST_F(FormTest, AWindowLeftAloneGivesItsBackBufferBackAndPaintsTheSameAfterwards) {
    ui::PaintManager& pm = window_->GetPaintManager();
    ASSERT_GT(pm.BackBufferBytes(), 0u);
    const std::vector<COLORREF> before = Snapshot(hwnd_);
    // Kept while paints go on, counted from the latest one.
    for (int i = 0; i < 3; ++i) {
        ::InvalidateRect(hwnd_, nullptr, FALSE);
        ::UpdateWindow(hwnd_);
        PumpFor(ui::PaintManager::kKeepBackBufferMs / 2);
        EXPECT_GT(pm.BackBufferBytes(), 0u);
    }
    PumpFor(ui::PaintManager::kKeepBackBufferMs + 500);
    EXPECT_EQ(pm.BackBufferBytes(), 0u);
    // A part of the window painted alone, from a new buffer, as before.
    RECT part{10, 10, 60, 40};
    ::InvalidateRect(hwnd_, &part, FALSE);
    ::UpdateWindow(hwnd_);
    EXPECT_GT(pm.BackBufferBytes(), 0u);
    EXPECT_EQ(before, Snapshot(hwnd_));
}

TEST_F(FormTest, TheRichEditOffersItsContextMenuAndClipboard) {
    auto* post = static_cast<ui::RichEdit*>(Find(L"PostEdit"));
    ClickControl(post);
    ASSERT_NE(post->NativeHandle(), nullptr);
    post->SetText(L"询价内容");
    EXPECT_EQ(post->GetTextLength(), 4);
    EXPECT_GE(window_->Count(L"textchanged", L"PostEdit"), 1u);
    post->SetSelAll();
    EXPECT_EQ(post->GetSelText(), L"询价内容");
    ::SendMessageW(post->NativeHandle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(post->NativeHandle()),
                   MAKELPARAM(150, 150));
    EXPECT_EQ(window_->Count(L"menu", L"PostEdit"), 1u);
    post->Cut();
    EXPECT_EQ(post->GetTextLength(), 0);
    post->Paste();
    EXPECT_EQ(post->GetText(), L"询价内容");
}

TEST_F(FormTest, NotificationsCanBeQueuedForTheNextMessage) {
    ui::PaintManager& pm = window_->GetPaintManager();
    pm.SendNotify(Find(L"BtnMin"), L"menu_copy", 0, 0, true);
    EXPECT_EQ(window_->Count(L"menu_copy", L"BtnMin"), 0u);  // not yet
    EXPECT_TRUE(PumpUntil([&] { return window_->Count(L"menu_copy", L"BtnMin") == 1; }, 1000));
}

TEST(Browser, CreationFailsCleanlyWithoutAnHtmlEngine) {
    ::OleInitialize(nullptr);
    {
        TestWindow window(L"<Window size='200,200'><VerticalLayout><WebBrowser name='browser'/></VerticalLayout></Window>");
        ASSERT_NE(window.Open(), nullptr);
        auto* browser = dynamic_cast<ui::BrowserControl*>(window.Find(L"browser"));
        ASSERT_NE(browser, nullptr);
        ui::BrowserEventHandler handler;
        browser->SetWebBrowserEventHandler(&handler);
        PumpUntil([&] { return browser->IsCreated(); }, 200);  // the creation timer has run
        shell::ComPtr<IWebBrowser2> web;
        web.Attach(browser->GetIWebBrowser2());
        EXPECT_EQ(static_cast<bool>(web), browser->IsCreated());
        EXPECT_EQ(browser->Navigate(L"about:blank"), browser->IsCreated());
        PumpFor(200);
    }
    ::OleUninitialize();
}

}  // namespace
