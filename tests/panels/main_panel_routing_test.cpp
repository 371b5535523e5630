// The main window as a hub: every message and notification has one owner
// among its parts, handlers get their own parameters, and the tip banner
// is forgotten once its window is gone.
#include "tests/panels/main_panel_fixture.h"

#include <vector>

#include "shell/messages.h"

using testing_support::MainPanelTest;

namespace {

TEST(MainPanelRoutes, NoPartClaimsWhatAnotherAlreadyClaimed) {
    MainPanel panel;  // the routes exist before the window does
    EXPECT_EQ(0, panel.RouteClashes());
}

TEST_F(MainPanelTest, TheTrayIconMessageActsOnlyForTheClientsIcon) {
    Open();
    panel->HideAllWindows();
    PumpFor(50);
    ASSERT_FALSE(::IsWindowVisible(*panel));
    // Another icon of the same window, and a mouse message that means nothing.
    ::PostMessageW(*panel, msg::kTrayIcon, TrayIcon::kId + 1, WM_LBUTTONUP);
    ::PostMessageW(*panel, msg::kTrayIcon, TrayIcon::kId, WM_MOUSEMOVE);
    PumpFor(100);
    EXPECT_FALSE(::IsWindowVisible(*panel));
    ::PostMessageW(*panel, msg::kTrayIcon, TrayIcon::kId, WM_LBUTTONUP);
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(*panel) != FALSE; }, 2000));
}

TEST_F(MainPanelTest, TheRetryButtonProbesAtOnce) {
    Open();
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 1; }));
    const size_t clocks = Received("get_time");
    const size_t pages = nav.pages.size();
    ::PostMessageW(*panel, msg::kPageRetryConnect, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Received("get_time") > clocks; }));
    ASSERT_GT(nav.pages.size(), pages);
    EXPECT_EQ(MainPanel::ServicePage(L"/rovavoda.php/rovavoda/sq"), nav.pages.back());

    // Still offline: only the offline page and the short balloon.
    testing_support::HostDown() = true;
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 0; }));
    const int offline = nav.offline;
    const int balloons = panel->Tray().BalloonCount();
    const size_t pagesOffline = nav.pages.size();
    ::PostMessageW(*panel, msg::kPageRetryConnect, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return panel->Tray().BalloonCount() > balloons; }));
    EXPECT_EQ(offline + 1, nav.offline);
    EXPECT_EQ(3000u, panel->Tray().LastBalloonTimeout());
    EXPECT_EQ(pagesOffline, nav.pages.size());
}

// The visible tip banners of this thread.
std::vector<HWND> VisibleBanners() { return testing_support::ThreadWindows(L"NoticeBanner", true); }

TEST_F(MainPanelTest, AClosedTipBannerGivesWayToANewOne) {
    Open();
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 1; }));
    panel->ShowLoginLayer();
    Type(L"EditUsername", L"");
    Click(L"BtnLogin");
    ASSERT_TRUE(WaitForTip(L"请您输入账号后再登录"));
    ASSERT_TRUE(PumpUntil([] { return VisibleBanners().size() == 1; }, 2000));
    HWND banner = VisibleBanners()[0];
    ::PostMessageW(banner, WM_CLOSE, 0, 0);  // it deletes itself and tells the window
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(banner); }, 2000));

    Type(L"EditUsername", L"demo");
    Type(L"EditPassword", L"");
    Click(L"BtnLogin");
    ASSERT_TRUE(WaitForTip(L"请您输入密码后再登录"));
    EXPECT_TRUE(PumpUntil([] { return VisibleBanners().size() == 1; }, 2000));
}

}  // namespace
