// Menus by keyboard and for assistive technology: real key messages through
// the framework's pump move the highlight (skipping what cannot be chosen,
// wrapping), choose as a click does and close; the highlighted item is the
// focus a screen reader is told about. The tip banner is read as an alert.
#include <gtest/gtest.h>

#include "shell/com_ptr.h"
#include "tests/support/message_pump.h"
#include "tests/ui/accessible_reader.h"
#include "tests/ui/ui_test_support.h"
#include "ui/accessibility.h"
#include "ui/controls.h"
#include "ui/menu.h"
#include "ui/notice_banner.h"
#include "ui/window_ref.h"

namespace {

using ui::UIMenu;
using ui_test::AccChild;
using ui_test::ChildId;
using ui_test::PressKey;
using ui_test::PumpFor;
using ui_test::PumpUntil;
using ui_test::TestWindow;

// Opens a menu when its button is clicked, as the main window does, and
// writes down the keys its own filter sees.
class KeyedMenuOwner : public TestWindow {
public:
    KeyedMenuOwner()
        : TestWindow(L"<Window size='200,120'><VerticalLayout><Button name='BtnMenu' text='菜单' height='30'/>"
                     L"<Control/></VerticalLayout></Window>") {}
    void Notify(ui::Notification& msg) override {
        TestWindow::Notify(msg);
        if (msg.type == L"click" && msg.sender != nullptr && msg.sender->GetName() == L"BtnMenu") {
            auto* opened = new UIMenu(layout);
            if (opened->Init(msg.sender, POINT{300, 200}, 0)) menu = opened;
        }
    }
    LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override {
        if (msg == WM_KEYDOWN) keys.push_back(wParam);
        return TestWindow::MessageHandler(msg, wParam, lParam, handled);
    }

    std::wstring layout = L"menu_tray.xml";
    ui::WindowRef<UIMenu> menu;
    std::vector<WPARAM> keys;
};

const wchar_t kLatinMenu[] =
    L"<Window size='120,100'><VerticalLayout><List name='menu_container'>"
    L"<ListElement name='one' height='22'><Label text='Alpha' mouse='false'/></ListElement>"
    L"<ListElement name='two' height='22'><Label text='beta' mouse='false'/></ListElement>"
    L"<ListElement name='three' height='22'><Label text='Bravo' mouse='false'/></ListElement>"
    L"<ListElement name='menu_paste' height='22' shortcut='v'><Label text='粘贴' mouse='false'/></ListElement>"
    L"</List></VerticalLayout></Window>";

class MenuKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner_ = std::make_unique<KeyedMenuOwner>();
        ASSERT_NE(owner_->Open(), nullptr);
    }
    void TearDown() override {
        if (UIMenu* menu = owner_->menu.Get()) ::DestroyWindow(menu->GetHWND());
    }
    // Space on the focused button, as a keyboard user opens the main menu.
    UIMenu* OpenByKeys() {
        owner_->Find(L"BtnMenu")->SetFocus();
        PressKey(owner_->GetHWND(), VK_SPACE);
        PumpUntil([&] { return owner_->menu.Get() != nullptr; }, 2000);
        return Menu();
    }
    UIMenu* OpenByMouse() {
        ui_test::ClickControl(owner_->Find(L"BtnMenu"));
        PumpUntil([&] { return owner_->menu.Get() != nullptr; }, 2000);
        return Menu();
    }
    UIMenu* Menu() { return owner_->menu.Get(); }
    HWND MenuWindow() { return Menu() != nullptr ? Menu()->GetHWND() : nullptr; }
    std::wstring Highlighted() {
        UIMenu* menu = Menu();
        ui::ListElement* item = menu != nullptr ? menu->Highlighted() : nullptr;
        return item != nullptr ? item->GetName() : std::wstring();
    }
    void Key(WPARAM key) { PressKey(MenuWindow(), key); }
    void Letter(wchar_t ch) {
        ::PostMessageW(MenuWindow(), WM_CHAR, ch, 1);
        PumpFor(60);
    }

    std::unique_ptr<KeyedMenuOwner> owner_;
};

TEST_F(MenuKeysTest, AMenuOpenedByKeysHighlightsItsFirstItemAndSaysSo) {
    ui_test::WinEventRecorder events(EVENT_SYSTEM_MENUPOPUPSTART, EVENT_OBJECT_FOCUS);
    ASSERT_NE(OpenByKeys(), nullptr);
    EXPECT_EQ(Highlighted(), L"menu_config");
    const HWND hwnd = MenuWindow();

    shell::ComPtr<IAccessible> object = ui::AccessibleOfWindow(hwnd);
    ASSERT_TRUE(object);
    EXPECT_EQ(ui_test::ReadChild(object.get(), CHILDID_SELF).role, ROLE_SYSTEM_MENUPOPUP);
    const std::vector<AccChild> all = ui_test::ReadChildren(object.get());
    // Seven items and three separators; the labels are the items' names.
    ASSERT_EQ(all.size(), 10u) << ui_test::Dump(all);
    const wchar_t* names[] = {L"设置", L"修改订阅", L"", L"关于", L"意见反馈", L"", L"打开主面板", L"隐藏主面板", L"", L"退出"};
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].name, names[i]) << i;
        EXPECT_EQ(all[i].role, names[i][0] == 0 ? ROLE_SYSTEM_SEPARATOR : ROLE_SYSTEM_MENUITEM) << i;
        EXPECT_EQ(all[i].action, names[i][0] == 0 ? L"" : L"click") << i;
    }
    EXPECT_NE(all[0].state & STATE_SYSTEM_FOCUSED, 0);
    EXPECT_EQ(all[1].state & STATE_SYSTEM_FOCUSED, 0);
    shell::UniqueVariant focus;
    ASSERT_EQ(object->get_accFocus(focus.put()), S_OK);
    EXPECT_EQ(focus.get()->lVal, 1);

    PumpUntil([&] { return !events.Of(EVENT_OBJECT_FOCUS).empty(); }, 1000);
    ASSERT_EQ(events.Of(EVENT_SYSTEM_MENUPOPUPSTART).size(), 1u);
    EXPECT_EQ(events.Of(EVENT_SYSTEM_MENUPOPUPSTART)[0].hwnd, hwnd);
    std::vector<ui_test::WinEvent> focused = events.Of(EVENT_OBJECT_FOCUS);
    ASSERT_FALSE(focused.empty());
    EXPECT_EQ(focused.back().hwnd, hwnd);
    EXPECT_EQ(ui_test::ReadChild(object.get(), focused.back().child).name, L"设置");

    // Each move is announced with the item it reached.
    Key(VK_DOWN);
    PumpUntil([&] { return events.Of(EVENT_OBJECT_FOCUS).size() > focused.size(); }, 1000);
    EXPECT_EQ(ui_test::ReadChild(object.get(), events.Of(EVENT_OBJECT_FOCUS).back().child).name, L"修改订阅");
}

TEST_F(MenuKeysTest, ArrowsSkipWhatCannotBeChosenAndWrap) {
    ASSERT_NE(OpenByMouse(), nullptr);
    EXPECT_EQ(Highlighted(), L"");  // a mouse user gets no highlight
    ASSERT_TRUE(Menu()->DisableItem(L"menu_about_us"));
    Key(VK_DOWN);
    EXPECT_EQ(Highlighted(), L"menu_config");
    Key(VK_DOWN);
    EXPECT_EQ(Highlighted(), L"menu_modify_subscribe");
    Key(VK_DOWN);  // over a separator and the disabled item
    EXPECT_EQ(Highlighted(), L"menu_feedback");
    Key(VK_UP);
    EXPECT_EQ(Highlighted(), L"menu_modify_subscribe");
    Key(VK_END);
    EXPECT_EQ(Highlighted(), L"menu_exit");
    Key(VK_DOWN);
    EXPECT_EQ(Highlighted(), L"menu_config");
    Key(VK_UP);
    EXPECT_EQ(Highlighted(), L"menu_exit");
    Key(VK_HOME);
    EXPECT_EQ(Highlighted(), L"menu_config");

    shell::ComPtr<IAccessible> object = ui::AccessibleOfWindow(MenuWindow());
    const std::vector<AccChild> all = ui_test::ReadChildren(object.get());
    const AccChild* about = ui_test::FindChild(all, L"关于", ROLE_SYSTEM_MENUITEM);
    ASSERT_NE(about, nullptr);
    EXPECT_NE(about->state & STATE_SYSTEM_UNAVAILABLE, 0);
    EXPECT_EQ(about->state & STATE_SYSTEM_FOCUSABLE, 0);
    EXPECT_EQ(object->accDoDefaultAction(ChildId(about->id)), DISP_E_MEMBERNOTFOUND);

    // Letters: the first letter of the name where the text is Chinese.
    Letter(L'e');
    EXPECT_EQ(Highlighted(), L"menu_exit");
    Letter(L'H');
    EXPECT_EQ(Highlighted(), L"menu_hide_main_panel");
    Letter(L'a');  // only the disabled item has it
    EXPECT_EQ(Highlighted(), L"menu_hide_main_panel");

    // The mouse takes the highlight along.
    ui::Control* show = Menu()->GetPaintManager().FindControl(L"menu_show_main_panel");
    Menu()->GetPaintManager().UpdateLayout();
    const POINT at = ui_test::Center(show->GetPos());
    ::PostMessageW(MenuWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    PumpFor(60);
    EXPECT_EQ(Highlighted(), L"menu_show_main_panel");
    Key(VK_DOWN);
    EXPECT_EQ(Highlighted(), L"menu_hide_main_panel");
    EXPECT_FALSE(static_cast<ui::ListElement*>(show)->IsHot());  // one highlight only

    // Escape closes the menu alone, and says so.
    ui_test::WinEventRecorder events(EVENT_SYSTEM_MENUPOPUPEND, EVENT_SYSTEM_MENUPOPUPEND);
    const HWND hwnd = MenuWindow();
    Key(VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd); }, 2000));
    EXPECT_FALSE(owner_->destroyed);
    PumpUntil([&] { return !events.Of(EVENT_SYSTEM_MENUPOPUPEND).empty(); }, 1000);
    ASSERT_EQ(events.Of(EVENT_SYSTEM_MENUPOPUPEND).size(), 1u);
    EXPECT_EQ(events.Of(EVENT_SYSTEM_MENUPOPUPEND)[0].hwnd, hwnd);
    EXPECT_TRUE(owner_->Of(L"menu_exit").empty());
}

TEST_F(MenuKeysTest, ReturnAndSpaceChooseTheHighlightedItemAsAClickDoes) {
    ASSERT_NE(OpenByKeys(), nullptr);
    Key(VK_DOWN);
    HWND hwnd = MenuWindow();
    Key(VK_RETURN);
    EXPECT_TRUE(PumpUntil([&] { return owner_->Count(L"menu_modify_subscribe", L"BtnMenu") == 1; }, 2000));
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd); }, 2000));
    EXPECT_EQ(owner_->Count(L"menu_config", L"BtnMenu"), 0u);
    // The Return was the menu's: the opener's filter (where Return signs in)
    // saw only the Space that opened the menu.
    ASSERT_EQ(owner_->keys.size(), 1u);
    EXPECT_EQ(owner_->keys[0], static_cast<WPARAM>(VK_SPACE));

    owner_->layout = L"menu_edit.xml";
    ASSERT_NE(OpenByKeys(), nullptr);
    hwnd = MenuWindow();
    Key(VK_SPACE);
    EXPECT_TRUE(PumpUntil([&] { return owner_->Count(L"menu_cut", L"BtnMenu") == 1; }, 2000));
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd); }, 2000));

    // Return with nothing highlighted chooses nothing.
    ASSERT_NE(OpenByMouse(), nullptr);
    Key(VK_RETURN);
    PumpFor(100);
    EXPECT_EQ(owner_->Count(L"menu_copy", L"BtnMenu") + owner_->Count(L"menu_cut", L"BtnMenu"), 1u);
}

TEST_F(MenuKeysTest, ALetterGoesRoundTheItemsStartingWithIt) {
    owner_->layout = kLatinMenu;
    ASSERT_NE(OpenByKeys(), nullptr);
    EXPECT_EQ(Highlighted(), L"one");
    Letter(L'b');
    EXPECT_EQ(Highlighted(), L"two");
    Letter(L'B');
    EXPECT_EQ(Highlighted(), L"three");
    Letter(L'b');
    EXPECT_EQ(Highlighted(), L"two");
    Letter(L'v');  // the skin's shortcut of a Chinese item
    EXPECT_EQ(Highlighted(), L"menu_paste");
    Letter(L'p');  // its name's letter is not used when a shortcut is given
    EXPECT_EQ(Highlighted(), L"menu_paste");
    Letter(L'A');
    EXPECT_EQ(Highlighted(), L"one");
    Letter(L'z');
    EXPECT_EQ(Highlighted(), L"one");
}

// -------------------------------------------------------------- banner

TEST(BannerAccessTest, ABannerIsAnnouncedAsAnAlertNamedByItsText) {
    TestWindow owner(L"menu_tray.xml");  // opens the packed skin
    ASSERT_NE(owner.Open(), nullptr);
    testing_support::MessageRecorder recorder;
    ui_test::WinEventRecorder events(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_ALERT);
    auto* banner = new ui::NoticeBanner(ui::NoticeBanner::Action{0, 2055, recorder.hwnd()});
    const HWND hwnd = banner->InitNoticeWith(owner.GetHWND(), L"连接已断开，请检查您的网络是否正常", POINT{400, 300},
                                             ui::kNoticeSimple, 0xFFFE7819, 0);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return !events.Of(EVENT_SYSTEM_ALERT).empty(); }, 2000));
    ASSERT_EQ(events.Of(EVENT_SYSTEM_ALERT).size(), 1u);
    EXPECT_EQ(events.Of(EVENT_SYSTEM_ALERT)[0].hwnd, hwnd);
    EXPECT_EQ(events.Of(EVENT_SYSTEM_ALERT)[0].child, CHILDID_SELF);

    shell::ComPtr<IAccessible> object = ui::AccessibleOfWindow(hwnd);
    ASSERT_TRUE(object);
    AccChild self = ui_test::ReadChild(object.get(), CHILDID_SELF);
    EXPECT_EQ(self.role, ROLE_SYSTEM_ALERT);
    EXPECT_EQ(self.name, L"连接已断开，请检查您的网络是否正常");
    std::vector<AccChild> all = ui_test::ReadChildren(object.get());
    ASSERT_EQ(all.size(), 1u) << ui_test::Dump(all);
    EXPECT_EQ(all[0].role, ROLE_SYSTEM_STATICTEXT);

    // A new text on the same banner is a new alert; its lines are its name.
    banner->UpdateNoticeWith(L"发布成功<n>您累计已获得 37 积分", POINT{400, 300}, ui::kNoticeSimple, 0xFFFE7819, 0);
    EXPECT_TRUE(PumpUntil([&] { return events.Of(EVENT_SYSTEM_ALERT).size() == 2; }, 2000));
    self = ui_test::ReadChild(object.get(), CHILDID_SELF);
    EXPECT_EQ(self.name, L"发布成功\n您累计已获得 37 积分");
    EXPECT_EQ(ui_test::ReadChildren(object.get()).size(), 2u);

    ::DestroyWindow(hwnd);
    BSTR name = nullptr;
    EXPECT_EQ(object->get_accName(ChildId(CHILDID_SELF), &name), RPC_E_DISCONNECTED);
}

}  // namespace
