// Journeys through the windows beside the main window: the settings and
// subscription windows reached from the menus by keyboard, worked by
// keyboard, checked by what a screen reader reads and by what the client
// stored or sent to the stand-in service.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "tests/journey/driver.h"
#include "tests/journey/fixture.h"
#include "tests/support/inspect.h"
#include "tests/support/profile_guard.h"
#include "tests/support/standin.h"

namespace {

using journey::Element;
using journey::Utf8;

const wchar_t kSettingsClass[] = L"zudedo_config_panel";
const wchar_t kSubscriptionClass[] = L"zudedo_custom_subscribe_panel";

class SideWindowJourney : public journey::JourneyTest {
protected:
    // The one visible window of the client of that class, once it shows.
    HWND WaitForWindowOf(const wchar_t* className, DWORD ms = 5000) {
        HWND found = nullptr;
        journey::WaitUntil(
            [&] {
                auto windows = journey::WindowsOf(client->processId(), className);
                found = windows.size() == 1 ? windows.front() : nullptr;
                return found != nullptr;
            },
            ms);
        return found;
    }

    std::optional<Element> FocusedIn(HWND window) { return journey::FocusedIn(window); }

    // Tab until the named control of the window has the focus.
    bool TabTo(HWND window, const std::wstring& name, LONG role, int limit = 40) {
        for (int i = 0; i <= limit; ++i) {
            auto f = FocusedIn(window);
            if (f && f->name == name && f->role == role) return true;
            if (i < limit) journey::Press(VK_TAB);
        }
        return false;
    }

    // Down through an open menu to the item, then Return.
    void ChooseFromMenu(const wchar_t* item) {
        ASSERT_TRUE(journey::WaitUntil([&] { return client->Menu() != nullptr; }, 3000)) << "the menu opens";
        HWND menu = client->Menu();
        bool reached = false;
        for (int i = 0; i < 10 && !reached; ++i) {
            auto found = journey::Find(menu, item, ROLE_SYSTEM_MENUITEM);
            reached = found && found->Has(STATE_SYSTEM_FOCUSED);
            if (!reached) journey::Press(VK_DOWN);
        }
        ASSERT_TRUE(reached) << Utf8(item) << "\n" << journey::Describe(journey::ReadWindow(menu));
        journey::Press(VK_RETURN);
        EXPECT_TRUE(journey::WaitUntil([&] { return !::IsWindow(menu); }, 3000)) << "the menu closes";
    }

    void SignInAsDemo() {
        FillLogin(L"demo", L"demo123");
        journey::Press(VK_RETURN);
        ASSERT_TRUE(client->WaitFor(L"Demo User", ROLE_SYSTEM_STATICTEXT, 15000)) << journey::Describe(client->Read());
    }

    std::wstring Ini(const wchar_t* key) const {
        return testing_support::ReadIni(profile->data() + L"\\config.ini", L"Main", key);
    }

};

TEST_F(SideWindowJourney, SettingsAndSubscriptionFromTheTrayMenuByKeyboard) {
    StartClient();
    ASSERT_NE(nullptr, OpenTrayMenu()) << "the tray menu opens";
    ChooseFromMenu(L"设置");
    HWND settings = WaitForWindowOf(kSettingsClass);
    ASSERT_NE(nullptr, settings) << "the settings window opens";
    const auto read = journey::ReadWindow(settings);
    for (const wchar_t* box : {L"开机时启动", L"启动时自动登录", L"始终保持在其他窗口前端", L"订阅询价开启提示音"}) {
        EXPECT_TRUE(journey::Find(settings, box, ROLE_SYSTEM_CHECKBUTTON)) << Utf8(box) << "\n" << journey::Describe(read);
    }
    auto doExit = journey::Find(settings, L"退出程序", ROLE_SYSTEM_RADIOBUTTON);
    ASSERT_TRUE(doExit) << journey::Describe(read);
    EXPECT_TRUE(doExit->Has(STATE_SYSTEM_CHECKED));
    EXPECT_TRUE(journey::Find(settings, L"关闭", ROLE_SYSTEM_PUSHBUTTON)) << journey::Describe(read);

    // Keep-on-top: Tab to it, Space ticks it, the main window is on top at once.
    ASSERT_TRUE(journey::BringToFront(settings));
    ASSERT_TRUE(TabTo(settings, L"始终保持在其他窗口前端", ROLE_SYSTEM_CHECKBUTTON))
        << journey::Describe(journey::ReadWindow(settings));
    journey::Press(VK_SPACE);
    EXPECT_TRUE(journey::WaitUntil(
        [&] { return (::GetWindowLongW(client->window(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }, 3000));
    auto ticked = journey::Find(settings, L"始终保持在其他窗口前端", ROLE_SYSTEM_CHECKBUTTON);
    ASSERT_TRUE(ticked);
    EXPECT_TRUE(ticked->Has(STATE_SYSTEM_CHECKED)) << "read out as ticked";
    journey::Press(VK_ESCAPE);
    EXPECT_TRUE(journey::WaitUntil([&] { return !::IsWindow(settings); }, 3000)) << "Escape closes it";
    EXPECT_TRUE(journey::WaitUntil([&] { return Ini(L"MainPanelTopmost") == L"1"; }, 3000)) << "and stores";

    // The subscription window, signed out: the sign-in area opens and the window says why.
    ASSERT_NE(nullptr, OpenTrayMenu()) << "the tray menu opens";
    ChooseFromMenu(L"修改订阅");
    HWND subscription = WaitForWindowOf(kSubscriptionClass);
    ASSERT_NE(nullptr, subscription) << "the subscription window opens";
    EXPECT_TRUE(journey::Find(subscription, L"全国", ROLE_SYSTEM_CHECKBUTTON))
        << journey::Describe(journey::ReadWindow(subscription));
    EXPECT_TRUE(journey::Find(subscription, L"保存订阅", ROLE_SYSTEM_PUSHBUTTON));
    EXPECT_EQ(L"请先登录，再按区域订阅", client->WaitForTip(3000));
    EXPECT_TRUE(client->Find(L"用户名", ROLE_SYSTEM_TEXT)) << journey::Describe(client->Read());
    ASSERT_TRUE(journey::BringToFront(subscription));
    journey::Press(VK_ESCAPE);
    EXPECT_TRUE(journey::WaitUntil([&] { return !::IsWindow(subscription); }, 3000));
    EXPECT_EQ(0u, client->Close());
}

TEST_F(SideWindowJourney, ChangeTheSubscriptionAndTheServiceReceivesTheNewList) {
    StartClient();
    SignInAsDemo();
    ASSERT_TRUE(journey::WaitUntil(
        [&] { return !standin.ReceivedAt("/rovavoda.php/rovavoda/api/get_sq_rss").empty(); }, 5000));
    journey::Pause(500);
    // The main menu, by keyboard.
    ASSERT_TRUE(journey::BringToFront(client->window()));
    ASSERT_TRUE(TabTo(client->window(), L"主菜单", ROLE_SYSTEM_PUSHBUTTON)) << journey::Describe(client->Read());
    journey::Press(VK_RETURN);
    ChooseFromMenu(L"修改订阅");
    HWND subscription = WaitForWindowOf(kSubscriptionClass);
    ASSERT_NE(nullptr, subscription);
    // The service's list: Beijing and Fujian ticked.
    for (const wchar_t* region : {L"北京", L"福建"}) {
        auto box = journey::Find(subscription, region, ROLE_SYSTEM_CHECKBUTTON);
        ASSERT_TRUE(box) << journey::Describe(journey::ReadWindow(subscription));
        EXPECT_TRUE(box->Has(STATE_SYSTEM_CHECKED)) << Utf8(region);
    }
    ASSERT_TRUE(journey::BringToFront(subscription));
    ASSERT_TRUE(TabTo(subscription, L"海南", ROLE_SYSTEM_CHECKBUTTON))
        << journey::Describe(journey::ReadWindow(subscription));
    journey::Press(VK_SPACE);
    journey::Press(VK_RETURN);
    EXPECT_TRUE(journey::WaitUntil([&] { return !::IsWindow(subscription); }, 3000)) << "Return saves and closes";
    ASSERT_TRUE(journey::WaitUntil(
        [&] { return !standin.ReceivedAt("/rovavoda.php/rovavoda/api/add_sq_rss").empty(); }, 5000))
        << "the new list is sent";
    const Json::Value sent = standin.ReceivedAt("/rovavoda.php/rovavoda/api/add_sq_rss")[0]["document"];
    EXPECT_EQ("11,35,46,", sent["prov_list"].asString());
    EXPECT_EQ(0u, client->Close());
}

}  // namespace
