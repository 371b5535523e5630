// The tip banner's geometry and lifetime, and the skin menus: placement,
// disabled items, texts, and item clicks reaching the window that opened
// the menu. Both are followed through weak references while they delete
// themselves.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/message_pump.h"
#include "tests/ui/ui_test_support.h"
#include "ui/controls.h"
#include "ui/menu.h"
#include "ui/notice_banner.h"
#include "ui/window_ref.h"

namespace {

using ui::NoticeBanner;
using ui::UIMenu;
using ui_test::Center;
using ui_test::Click;
using ui_test::PumpFor;
using ui_test::PumpUntil;
using ui_test::TestWindow;

constexpr UINT kBannerClosed = 2055;

// An owner that asks, when a banner's closing message reaches it, whether
// the banner can still be reached.
class Watcher : public TestWindow {
public:
    Watcher() : TestWindow(L"<Window size='120,60'><VerticalLayout/></Window>") {}
    LRESULT HandleCustomMessage(UINT msg, WPARAM, LPARAM, bool& handled) override {
        if (msg == kBannerClosed) {
            ++closings;
            reachableAtClosing = reach();
        }
        handled = false;
        return 0;
    }

    std::function<bool()> reach;
    int closings = 0;
    bool reachableAtClosing = true;
};

class BannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner_ = std::make_unique<TestWindow>(L"menu_tray.xml");  // opens the packed skin
        ASSERT_NE(owner_->Open(), nullptr);
        NoticeBanner::SetTimeScalePercent(100);
    }
    void TearDown() override { NoticeBanner::SetTimeScalePercent(100); }
    // A new banner reporting its closing to the recorder.
    NoticeBanner* Show(const std::wstring& text, int type, UINT timeMs, int activating = 0) {
        auto* banner = new NoticeBanner(NoticeBanner::Action{activating, kBannerClosed, recorder_.hwnd()});
        hwnd_ = banner->InitNoticeWith(owner_->GetHWND(), text, POINT{400, 300}, type, 0xFFFE7819, timeMs);
        EXPECT_NE(hwnd_, nullptr);
        banner->GetPaintManager().UpdateLayout();
        return banner;
    }
    SIZE WindowSize() const {
        RECT rc{};
        ::GetWindowRect(hwnd_, &rc);
        return SIZE{rc.right - rc.left, rc.bottom - rc.top};
    }
    // A text of exactly `width` pixels in the label's font, when one exists.
    static std::wstring TextOfWidth(ui::Label* label, int width) {
        for (size_t a = 0; a < 200; ++a) {
            std::wstring text(a, L'a');
            if (label->MeasureText(text).cx > width) break;
            for (int i = 0; i < 12; ++i, text += L'i') {
                const int w = label->MeasureText(text).cx;
                if (w == width) return text;
                if (w > width) break;
            }
        }
        return {};
    }

    testing_support::MessageRecorder recorder_;
    std::unique_ptr<TestWindow> owner_;
    HWND hwnd_ = nullptr;
};

TEST_F(BannerTest, AOneLineTextMakesTheStripItsWidthPlus34) {
    NoticeBanner* banner = Show(L"x", ui::kNoticeSimple, 0);
    auto* label = static_cast<ui::Label*>(banner->GetPaintManager().FindControl(L"noticeTextSimpleType"));
    ASSERT_NE(label, nullptr);
    const std::wstring text = TextOfWidth(label, 100);
    ASSERT_FALSE(text.empty()) << "no sample text of 100 pixels in this font";
    banner->UpdateNoticeWith(text, POINT{400, 300}, ui::kNoticeSimple, 0xFFFE7819, 0);
    const int h = label->MeasureText(text).cy;
    EXPECT_EQ(WindowSize().cx, 134);
    EXPECT_EQ(WindowSize().cy, h + 24);
    // Centred on the point.
    RECT rc{};
    ::GetWindowRect(hwnd_, &rc);
    EXPECT_EQ(rc.left, 400 - 134 / 2);
    EXPECT_EQ(rc.top, 300 - (h + 24) / 2);
    EXPECT_TRUE(label->IsVisible());
    EXPECT_FALSE(banner->GetPaintManager().FindControl(L"LayoutChatBoxNotice")->IsVisible());
    ::DestroyWindow(hwnd_);
}

TEST_F(BannerTest, AWideTextWrapsAt242IntoThreeLines) {
    NoticeBanner* banner = Show(L"x", ui::kNoticeSimple, 0);
    auto* label = static_cast<ui::Label*>(banner->GetPaintManager().FindControl(L"noticeTextSimpleType"));
    std::wstring text = TextOfWidth(label, 500);
    if (text.empty()) {  // no exact match: any width that needs three lines
        text = L"a";
        while (label->MeasureText(text).cx <= 484) text += L"a";
    }
    banner->UpdateNoticeWith(text, POINT{400, 300}, ui::kNoticeSimple, 0xFFFE7819, 0);
    const int h = label->MeasureText(text).cy;
    EXPECT_EQ(WindowSize().cx, 276);
    EXPECT_EQ(WindowSize().cy, 3 * h + 24);
    EXPECT_EQ(banner->GetPaintManager().FindControl(L"SimpleTextContainer")->GetFixedHeight(), 3 * h + 24);
    ::DestroyWindow(hwnd_);
}

TEST_F(BannerTest, LineBreaksGiveLinesSixPixelsApart) {
    NoticeBanner* banner = Show(L"发布成功<n>已推送给同行<n>奖励 1 积分", ui::kNoticeSimple, 0);
    auto* container = static_cast<ui::Container*>(banner->GetPaintManager().FindControl(L"SimpleTextContainer"));
    ASSERT_NE(container, nullptr);
    std::vector<ui::Control*> lines;
    for (int i = 0; i < container->GetCount(); ++i) {
        ui::Control* c = container->GetItemAt(i);
        if (c->IsVisible()) lines.push_back(c);
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]->GetText(), L"发布成功");
    EXPECT_EQ(lines[2]->GetText(), L"奖励 1 积分");
    EXPECT_EQ(lines[1]->GetPos().top - lines[0]->GetPos().bottom, 6);
    EXPECT_EQ(lines[2]->GetPos().top - lines[1]->GetPos().bottom, 6);
    EXPECT_FALSE(banner->GetPaintManager().FindControl(L"noticeTextSimpleType")->IsVisible());
    const int h = lines[0]->GetHeight();
    EXPECT_EQ(WindowSize().cy, 3 * h + 24 + 16);
    // An update replaces the lines rather than adding to them.
    banner->UpdateNoticeWith(L"<n>第二行", POINT{400, 300}, ui::kNoticeSimple, 0xFF000000, 0);
    int visible = 0;
    for (int i = 0; i < container->GetCount(); ++i) visible += container->GetItemAt(i)->IsVisible() ? 1 : 0;
    EXPECT_EQ(visible, 2);  // an empty first line, then the text
    ::DestroyWindow(hwnd_);
}

TEST_F(BannerTest, ABubbleHangsBelowThePointAndStays) {
    NoticeBanner::SetTimeScalePercent(1);
    Show(L"请您输入账号后再登录", ui::kNoticeChatBox, 5000, 1);
    RECT rc{};
    ::GetWindowRect(hwnd_, &rc);
    EXPECT_EQ(rc.left, 400 - 38);
    EXPECT_EQ(rc.top, 300);
    PumpFor(300);  // its time would long have run out
    EXPECT_TRUE(::IsWindow(hwnd_));
    Click(hwnd_, POINT{20, 20});
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd_); }, 1000));
    EXPECT_EQ(recorder_.Count(kBannerClosed), 0u);  // an activating banner reports nothing
}

TEST_F(BannerTest, AStripWithATimeClosesItselfAndReports) {
    NoticeBanner::SetTimeScalePercent(1);  // 5000 ms run as 50 ms
    Show(L"网络连接已恢复", ui::kNoticeSimple, 5000);
    EXPECT_EQ(::GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_NOACTIVATE, WS_EX_NOACTIVATE);
    PumpFor(20);
    EXPECT_TRUE(::IsWindow(hwnd_));
    EXPECT_TRUE(recorder_.WaitFor(kBannerClosed, 1, 2000));
    EXPECT_FALSE(::IsWindow(hwnd_));
}

TEST_F(BannerTest, ARefToABannerThatClosedItselfIsNullBeforeItsClosingMessageArrives) {
    Watcher watcher;
    ASSERT_NE(watcher.Open(420, 100), nullptr);
    NoticeBanner::SetTimeScalePercent(1);
    ui::WindowRef<NoticeBanner> ref;
    watcher.reach = [&] { return ref.Get() != nullptr; };
    auto show = [&](UINT timeMs) {
        auto* banner = new NoticeBanner(NoticeBanner::Action{0, kBannerClosed, watcher.GetHWND()});
        hwnd_ = banner->InitNoticeWith(owner_->GetHWND(), L"网络连接已恢复", POINT{400, 300}, ui::kNoticeSimple,
                                       0xFFFE7819, timeMs);
        ref = banner;
        return banner;
    };

    // By its timer.
    NoticeBanner* banner = show(5000);
    EXPECT_EQ(ref.Get(), banner);
    EXPECT_TRUE(PumpUntil([&] { return watcher.closings == 1; }, 2000));
    EXPECT_FALSE(watcher.reachableAtClosing);
    EXPECT_EQ(ref.Get(), nullptr);
    EXPECT_FALSE(::IsWindow(hwnd_));

    // By a click; an update kept it the same banner until then.
    banner = show(0);
    banner->UpdateNoticeWith(L"请稍候", POINT{400, 300}, ui::kNoticeSimple, 0xFFFE7819, 0);
    EXPECT_EQ(ref.Get(), banner);
    const ui::WindowRef<NoticeBanner> copy = ref;
    Click(hwnd_, POINT{5, 5});
    EXPECT_TRUE(PumpUntil([&] { return watcher.closings == 2; }, 2000));
    EXPECT_FALSE(watcher.reachableAtClosing);
    EXPECT_EQ(ref.Get(), nullptr);
    EXPECT_EQ(copy.Get(), nullptr);
}

TEST_F(BannerTest, EscapeClosesIt) {
    Show(L"大写锁定已打开", ui::kNoticeChatBox, 0);
    ::PostMessageW(hwnd_, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(recorder_.WaitFor(kBannerClosed, 1, 2000));
}

// ---------------------------------------------------------------- menus

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner_ = std::make_unique<TestWindow>(
            L"<Window size='200,120'><VerticalLayout><Button name='BtnMenu' height='30'/>"
            L"<RichEdit name='PostEdit'/></VerticalLayout></Window>");
        ASSERT_NE(owner_->Open(), nullptr);
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work_, 0);
    }
    UIMenu* Open(const wchar_t* layout, POINT pt, UINT flags) {
        auto* menu = new UIMenu(layout);
        EXPECT_TRUE(menu->Init(owner_->Find(L"BtnMenu"), pt, flags));
        hwnd_ = menu->GetHWND();
        menu->GetPaintManager().UpdateLayout();
        return menu;
    }
    RECT MenuRect() const {
        RECT rc{};
        ::GetWindowRect(hwnd_, &rc);
        return rc;
    }
    void CloseMenu() {
        if (::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
    }

    std::unique_ptr<TestWindow> owner_;
    RECT work_{};
    HWND hwnd_ = nullptr;
};

TEST_F(MenuTest, OpensRightOfAndBelowThePoint) {
    UIMenu* menu = Open(L"menu_main_panel_main.xml", POINT{100, 100}, UIMenu::kRightBelow);
    RECT rc = MenuRect();
    EXPECT_EQ(rc.left, 100);
    EXPECT_EQ(rc.top, 100);
    EXPECT_EQ(rc.right - rc.left, menu->GetPaintManager().GetInitSize().cx);
    CloseMenu();
}

TEST_F(MenuTest, NearTheBottomWithFlag32ItOpensUpwards) {
    POINT pt{200, work_.bottom - 5};
    Open(L"menu_tray.xml", pt, UIMenu::kAbovePoint);
    RECT rc = MenuRect();
    EXPECT_EQ(rc.bottom, pt.y);
    EXPECT_EQ(rc.left, pt.x);
    CloseMenu();
    // Without the flag it is pushed up to the work area's bottom instead.
    Open(L"menu_tray.xml", pt, UIMenu::kRightBelow);
    EXPECT_EQ(MenuRect().bottom, work_.bottom);
    CloseMenu();
}

TEST_F(MenuTest, NearTheRightEdgeItOpensToTheLeft) {
    POINT pt{work_.right - 10, 100};
    Open(L"menu_edit.xml", pt, UIMenu::kRightBelow);
    EXPECT_EQ(MenuRect().right, pt.x);
    CloseMenu();
    Open(L"menu_edit.xml", POINT{300, 100}, UIMenu::kLeftOfPoint);
    EXPECT_EQ(MenuRect().right, 300);
    CloseMenu();
}

TEST_F(MenuTest, AnItemClickReachesTheOwnerLaterAsANotificationNamedLikeTheItem) {
    UIMenu* menu = Open(L"menu_edit.xml", POINT{100, 100}, 0);
    ui::Control* item = menu->GetPaintManager().FindControl(L"menu_copy");
    ASSERT_NE(item, nullptr);
    Click(hwnd_, Center(item->GetPos()));
    EXPECT_TRUE(PumpUntil([&] { return owner_->Count(L"menu_copy", L"BtnMenu") == 1; }, 2000));
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd_); }, 2000));  // the menu closed
    EXPECT_EQ(owner_->Count(L"menu_cut", L"BtnMenu"), 0u);
}

TEST_F(MenuTest, DisabledItemsCannotBeClicked) {
    UIMenu* menu = Open(L"menu_edit.xml", POINT{100, 100}, 0);
    EXPECT_TRUE(menu->DisableItem(L"menu_paste"));
    EXPECT_FALSE(menu->DisableItem(L"menu_nothing"));
    ui::Control* item = menu->GetPaintManager().FindControl(L"menu_paste");
    auto* label = static_cast<ui::Container*>(item)->GetItemAt(0);
    EXPECT_FALSE(label->IsEnabled());  // drawn greyed
    Click(hwnd_, Center(item->GetPos()));
    PumpFor(150);
    // Nothing reaches the owner. (Whether the menu is still open is not
    // asked: tests running beside this one may take the focus, which
    // closes a menu as it should.)
    EXPECT_EQ(owner_->Count(L"menu_paste", L"BtnMenu"), 0u);
    CloseMenu();
}

TEST_F(MenuTest, SetItemTextChangesOnlyExistingItems) {
    UIMenu* menu = Open(L"menu_main_panel_main.xml", POINT{100, 100}, 0);
    EXPECT_TRUE(menu->SetItemText(L"menu_log_action", L"登出账户"));
    auto* item = static_cast<ui::Container*>(menu->GetPaintManager().FindControl(L"menu_log_action"));
    EXPECT_EQ(item->GetItemAt(0)->GetText(), L"登出账户");
    EXPECT_FALSE(menu->SetItemText(L"menu_cut", L"x"));  // not in this menu
    CloseMenu();
}

TEST_F(MenuTest, ARefGivesTheOpenMenuUntilItHasDeletedItself) {
    UIMenu* menu = Open(L"menu_main_panel_main.xml", POINT{100, 100}, 0);
    ui::WindowRef<UIMenu> ref(menu);
    const ui::WindowRef<UIMenu> copy = ref;
    ASSERT_EQ(ref.Get(), menu);
    EXPECT_TRUE(ref);
    EXPECT_TRUE(ref.Get()->SetItemText(L"menu_log_action", L"登录"));
    ui::WindowRef<UIMenu> dropped(menu);
    dropped.Reset();
    EXPECT_EQ(dropped.Get(), nullptr);
    EXPECT_EQ(ref.Get(), menu);  // forgetting one reference leaves the menu alone

    ref.Get()->Close(1);
    EXPECT_EQ(ref.Get(), menu);  // until the posted request is handled
    EXPECT_TRUE(PumpUntil([&] { return !ref; }, 2000));
    EXPECT_FALSE(::IsWindow(hwnd_));
    EXPECT_EQ(copy.Get(), nullptr);

    UIMenu* next = Open(L"menu_tray.xml", POINT{100, 100}, 0);
    ref = next;
    EXPECT_EQ(ref.Get(), next);
    CloseMenu();
    EXPECT_EQ(ref.Get(), nullptr);
}

TEST_F(MenuTest, AMenuGoesWithItsOwnerWindowAndRefsToBothGiveNull) {
    UIMenu* menu = Open(L"menu_edit.xml", POINT{100, 100}, 0);
    ui::WindowRef<UIMenu> menuRef(menu);
    ui::WindowRef<ui::PaintManager> ownerRef(&owner_->GetPaintManager());
    EXPECT_EQ(ownerRef.Get(), &owner_->GetPaintManager());
    owner_.reset();  // destroys the menu it owns first
    EXPECT_EQ(menuRef.Get(), nullptr);
    EXPECT_EQ(ownerRef.Get(), nullptr);
    EXPECT_FALSE(::IsWindow(hwnd_));
}

TEST_F(MenuTest, AnItemClickReachesNoOwnerControlThatLeftItsTree) {
    UIMenu* menu = Open(L"menu_edit.xml", POINT{100, 100}, 0);
    ui::Control* button = owner_->Find(L"BtnMenu");
    ASSERT_TRUE(static_cast<ui::Container*>(button->GetParent())->Remove(button));
    ui::Control* item = menu->GetPaintManager().FindControl(L"menu_copy");
    Click(hwnd_, Center(item->GetPos()));
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd_); }, 2000));  // the click still closes the menu
    PumpFor(100);
    EXPECT_TRUE(owner_->Of(L"menu_copy").empty());
}

TEST_F(MenuTest, EscapeClosesItAndAMenuWithoutOwnerDoesNothing) {
    Open(L"menu_tray.xml", POINT{100, 100}, 0);
    ::PostMessageW(hwnd_, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd_); }, 2000));
    auto* orphan = new UIMenu(L"menu_tray.xml");
    EXPECT_FALSE(orphan->Init(nullptr, POINT{0, 0}, 0));
    EXPECT_EQ(orphan->GetHWND(), nullptr);
    // Never shown, so it never deletes itself: hand it a window to end with.
    orphan->Init(owner_->Find(L"BtnMenu"), POINT{10, 10}, 0);
    ::DestroyWindow(orphan->GetHWND());
}

}  // namespace
