// The main window in-process: start-up, sign-in and its failures, sign-out,
// losing and regaining the host, timers, placement, menus and keys.
#include "tests/panels/main_panel_fixture.h"

#include "api/main_busi.h"
#include "shell/messages.h"
#include "shell/text.h"
#include "tests/support/paths.h"
#include "ui/menu.h"
#include "ui/notice_banner.h"
#include "tests/support/inspect.h"

using testing_support::MainPanelTest;

namespace {

std::wstring ReadIni(const wchar_t* key) {
    return testing_support::ReadIni(Settings().configPath, L"Main", key);
}

TEST_F(MainPanelTest, AutoLoginWaitsForTheServerTime) {
    PrepareSettings(true, L"demo", L"demo123");
    Open();
    ASSERT_TRUE(PumpUntil([] { return Settings().signedIn; }));
    EXPECT_EQ(TrayIcon::kSignedInIcon, panel->Tray().IconResource());

    // The login went out only after the clock was known.
    Json::Value log = standin.Received();
    int timeAt = -1, loginAt = -1;
    for (Json::ArrayIndex i = 0; i < log.size(); ++i) {
        const std::string action = log[i]["action"].asString();
        if (action == "get_time" && timeAt < 0) timeAt = static_cast<int>(i);
        if (action == "login" && loginAt < 0) loginAt = static_cast<int>(i);
    }
    ASSERT_GE(timeAt, 0);
    ASSERT_GE(loginAt, 0);
    EXPECT_LT(timeAt, loginAt);
    EXPECT_EQ(1u, Received("login"));

    // The clock set again (the offline page's retry) signs nobody in twice.
    const size_t clocks = Received("get_time");
    ::PostMessageW(*panel, msg::kReachability, 1, 1);
    ASSERT_TRUE(PumpUntil([&] { return Received("get_time") > clocks; }));
    PumpFor(500);
    EXPECT_EQ(1u, Received("login"));
    EXPECT_TRUE(Settings().signedIn);
}

TEST_F(MainPanelTest, NoAutoLoginWithoutTheSetting) {
    PrepareSettings(false, L"demo", L"demo123");
    Open();
    ASSERT_TRUE(PumpUntil([&] { return Received("get_time") > 0 && Received("get_sq_num") > 0; }));
    PumpFor(300);
    EXPECT_FALSE(Settings().signedIn);
    EXPECT_EQ(0u, Received("login"));
    EXPECT_EQ(L"demo", Control(L"EditUsername")->GetText());
    EXPECT_EQ(L"demo123", Control(L"EditPassword")->GetText());
}

TEST_F(MainPanelTest, SuccessfulSignIn) {
    Open();
    ASSERT_TRUE(SignIn(L"zhang", L"zhang123"));
    EXPECT_EQ(L"张三", Control(L"LabelUsername")->GetText());
    EXPECT_EQ(L"云帆国际旅行社", Control(L"LabelLxsname")->GetText());
    EXPECT_FALSE(Control(L"NotLoggedUser")->IsVisible());
    EXPECT_FALSE(Control(L"LoginLayer")->IsVisible());
    EXPECT_EQ(TrayIcon::kSignedInIcon, panel->Tray().IconResource());
    EXPECT_EQ(L"zhang", ReadIni(L"UserName"));
    EXPECT_EQ(L"1", ReadIni(L"KeepPSW"));  // the skin's default keeps it
    std::wstring saved;
    EXPECT_TRUE(LoadSavedPassword(saved));
    EXPECT_EQ(L"zhang123", saved);
    ASSERT_TRUE(PumpUntil([&] { return Received("login_log") > 0 && Received("get_token") > 0; }));
    // The picture arrives and is shown.
    ASSERT_TRUE(PumpUntil([&] {
        return Control(L"avatar")->GetBkImage().find(L"avatar.png") != std::wstring::npos;
    }));
}

struct FailureCase {
    const wchar_t* user;
    const wchar_t* password;
    const wchar_t* tip;
    POINT at;  // in the window's client area: 21 pixels into the box, at its bottom
    bool passwordEmptied;
};

// The login boxes of the layout share the first row, which ends 140 pixels
// down: the name box 12 pixels from the left, the password box 8 pixels
// after the name box's 180.
constexpr POINT kAtNameBox{33, 140};
constexpr POINT kAtPasswordBox{221, 140};

TEST_F(MainPanelTest, EachRefusalShowsItsTipAtItsBox) {
    Open();
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 1; }));
    const FailureCase cases[] = {
        {L"nobody", L"x1", L"输入用户名不存在", kAtNameBox, true},
        {L"demo", L"wrong", L"输入密码错误", kAtPasswordBox, true},
        {L"err3", L"p", L"您还不是联程网的会员", kAtNameBox, true},
        {L"err4", L"p", L"该账号还未激活，请登录邮箱激活", kAtNameBox, false},
        {L"err5", L"p", L"该邮箱还未激活，请登录邮箱激活", kAtNameBox, false},
    };
    panel->ShowLoginLayer();
    for (const auto& c : cases) {
        Type(L"EditUsername", c.user);
        Type(L"EditPassword", c.password);
        Click(L"BtnLogin");
        ASSERT_TRUE(WaitForTip(c.tip)) << shell::WideToUtf8(c.tip);
        const auto& tip = panel->LastTip();
        EXPECT_EQ(1, tip.type);
        EXPECT_EQ(0xFFF00000u, tip.colour);
        POINT at{tip.x, tip.y};  // the banner takes screen coordinates
        ::ScreenToClient(*panel, &at);
        EXPECT_EQ(c.at.x, at.x) << shell::WideToUtf8(c.tip);
        EXPECT_EQ(c.at.y, at.y) << shell::WideToUtf8(c.tip);
        EXPECT_EQ(c.passwordEmptied, Control(L"EditPassword")->GetText().empty()) << shell::WideToUtf8(c.tip);
        EXPECT_FALSE(Settings().signedIn);
        Type(L"EditPassword", L"");
    }
}

TEST_F(MainPanelTest, AnUnkeptPasswordStillSignsTheWebSiteIn) {
    Open();
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 1; }));
    panel->ShowLoginLayer();
    PumpFor(50);
    auto* keep = dynamic_cast<ui::Option*>(Control(L"OptionSavePSW"));
    ASSERT_NE(nullptr, keep);
    keep->Selected(false, true);
    ASSERT_TRUE(SignIn(L"zhang", L"zhang123"));
    EXPECT_EQ(L"zhang123", Settings().password);  // kept in memory for the web site and a relogin
    std::wstring saved = L"none";
    EXPECT_FALSE(LoadSavedPassword(saved));       // but not on disk
    ASSERT_TRUE(PumpUntil([&] { return !standin.ReceivedAt("/login/cardpage/dologin").empty(); }));
    Json::Value card = standin.ReceivedAt("/login/cardpage/dologin")[0];
    EXPECT_EQ("zhang", card["form"]["username"].asString());
    EXPECT_EQ("zhang123", card["form"]["password"].asString());
}

// The balloon is easy to miss: the login box says it too, in the error
// colour, and the form is ready for another try.
TEST_F(MainPanelTest, TransportFailureShowsTheBalloonAndATipAtTheLoginButton) {
    Open();
    Json::Value fault;
    fault["action"] = "login";
    fault["kind"] = "status";
    fault["code"] = 500;
    standin.Fault(fault);
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 1; }));
    panel->ShowLoginLayer();
    Type(L"EditUsername", L"demo");
    Type(L"EditPassword", L"demo123");
    Click(L"BtnLogin");
    ASSERT_TRUE(PumpUntil([&] { return panel->Tray().BalloonCount() > 0; }));
    EXPECT_FALSE(Settings().signedIn);
    EXPECT_EQ(L"网络异常", panel->Tray().LastBalloonTitle());
    EXPECT_EQ(L"连接已断开，请检查您的网络是否正常", panel->Tray().LastBalloonText());
    ASSERT_TRUE(WaitForTip(L"网络异常，请检查网络后重试"));
    EXPECT_EQ(1, panel->LastTip().type);
    EXPECT_EQ(0xFFF00000u, panel->LastTip().colour);
    const RECT& button = Control(L"BtnLogin")->GetPos();
    POINT at{button.left + 21, button.bottom};
    ::ClientToScreen(*panel, &at);
    EXPECT_EQ(at.x, panel->LastTip().x);
    EXPECT_EQ(at.y, panel->LastTip().y);
    EXPECT_TRUE(Control(L"LoginLayer")->IsVisible());
    EXPECT_FALSE(Control(L"LayoutLoginLoading")->IsVisible());
    EXPECT_TRUE(Control(L"LayoutLoginCtrls")->IsVisible());
    EXPECT_EQ(L"demo", Control(L"EditUsername")->GetText());
    EXPECT_EQ(L"demo123", Control(L"EditPassword")->GetText());
    EXPECT_EQ(1u, Received("login"));
}

TEST_F(MainPanelTest, LoginGuards) {
    Open();
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 1; }));
    panel->ShowLoginLayer();
    Type(L"EditUsername", L"");
    Type(L"EditPassword", L"");
    Click(L"BtnLogin");
    ASSERT_TRUE(WaitForTip(L"请您输入账号后再登录"));
    Type(L"EditUsername", L"demo");
    Click(L"BtnLogin");
    ASSERT_TRUE(WaitForTip(L"请您输入密码后再登录"));
    EXPECT_EQ(0u, Received("login"));
}

TEST_F(MainPanelTest, LogoutFromTheMenu) {
    Open();
    ASSERT_TRUE(SignIn());
    ui::Notification n;
    n.type = L"menu_log_action";
    n.sender = panel->GetPaintManager().GetRoot();
    panel->Notify(n);
    EXPECT_FALSE(Settings().signedIn);
    EXPECT_EQ(0u, Settings().uid);
    EXPECT_EQ(TrayIcon::kSignedOutIcon, panel->Tray().IconResource());
    EXPECT_TRUE(Control(L"LoginLayer")->IsVisible());
    EXPECT_TRUE(Control(L"NotLoggedUser")->IsVisible());
    EXPECT_EQ(L"", Control(L"LabelUsername")->GetText());
    // The report goes out on a worker of its own: once, with the user's id.
    auto logouts = [&] {
        std::vector<std::string> uids;
        for (const auto& r : standin.ReceivedAt("/rovavoda.php/rovavoda/api/login_log")) {
            if (r["document"]["action"].asString() == "logout") uids.push_back(r["document"]["uid"].asString());
        }
        return uids;
    };
    EXPECT_TRUE(PumpUntil([&] { return !logouts().empty(); }, 3000));
    EXPECT_EQ(std::vector<std::string>{"12345"}, logouts());

    // The web site login stops with the session.
    const size_t cards = standin.ReceivedAt("/login/cardpage/dologin").size();
    PumpFor(1000);
    EXPECT_EQ(cards, standin.ReceivedAt("/login/cardpage/dologin").size());
}

TEST_F(MainPanelTest, LostHostSignsOutAndBackIn) {
    Open();
    ASSERT_TRUE(SignIn());
    const size_t logins = Received("login");
    testing_support::HostDown() = true;
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 0; }));
    EXPECT_FALSE(Settings().signedIn);
    EXPECT_TRUE(panel->ReloginPending());
    EXPECT_EQ(TrayIcon::kSignedOutIcon, panel->Tray().IconResource());
    EXPECT_GE(nav.offline, 1);
    EXPECT_EQ(4000u, panel->Tray().LastBalloonTimeout());

    const size_t pagesBefore = nav.pages.size();
    testing_support::HostDown() = false;
    ASSERT_TRUE(PumpUntil([] { return Settings().signedIn; }));
    EXPECT_EQ(logins + 1, Received("login"));
    ASSERT_GT(nav.pages.size(), pagesBefore);
    bool listHome = false;
    for (size_t i = pagesBefore; i < nav.pages.size(); ++i) {
        listHome |= nav.pages[i] == MainPanel::ServicePage(L"/rovavoda.php/rovavoda/sq");
    }
    EXPECT_TRUE(listHome);
}

TEST_F(MainPanelTest, FirstProbeFailingShowsTheOfflinePage) {
    testing_support::HostDown() = true;
    Open();
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 0; }));
    EXPECT_GE(nav.offline, 1);
    EXPECT_EQ(L"网络异常", panel->Tray().LastBalloonTitle());
    EXPECT_EQ(5000u, panel->Tray().LastBalloonTimeout());
    PumpFor(300);
    EXPECT_EQ(0u, Received("get_time"));
}

TEST_F(MainPanelTest, TimersDriveTheServices) {
    Open();
    ASSERT_TRUE(SignIn());
    const size_t counts = Received("get_sq_num"), messages = Received("get_new_msg_count"),
                 tokens = Received("get_token"), cards = standin.ReceivedAt("/login/cardpage/dologin").size();
    PumpFor(1300);
    EXPECT_GE(Received("get_sq_num"), counts + 2);             // 101
    EXPECT_GE(standin.ReceivedAt("/login/cardpage/dologin").size(), cards + 2);  // 102
    EXPECT_GE(Received("get_new_msg_count"), messages + 2);    // 103
    EXPECT_GE(Received("get_token"), tokens + 2);              // 105
    EXPECT_GE(Received("get_mysqrss_num"), 1u);                // the poll thread

    // 2123 slows message polling down to timer 104.
    ::SendMessageW(*panel, msg::kSlowMessagePolling, 0, 0);
    const size_t slowed = Received("get_new_msg_count");
    PumpFor(1000);
    EXPECT_GE(Received("get_new_msg_count"), slowed + 1);
}

TEST_F(MainPanelTest, PlacementRules) {
    AppSettings& s = Settings();
    s.Load();
    s.WriteWindowRect(RECT{0, 50, 426, 650});  // left 0: not used
    Open();
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(*panel, MONITOR_DEFAULTTONEAREST), &mi);
    ASSERT_EQ(768, mi.rcWork.bottom - mi.rcWork.top) << "the tests run on a 1366 x 768 display";
    RECT rc;
    ::GetWindowRect(*panel, &rc);
    EXPECT_EQ(614, rc.bottom - rc.top);  // 80 % of the work area, truncated
    EXPECT_EQ(426, rc.right - rc.left);
    EXPECT_EQ(470, rc.left);  // centred across the 1366 pixels
}

TEST_F(MainPanelTest, SavedPlacementIsUsed) {
    AppSettings& s = Settings();
    s.Load();
    s.WriteWindowRect(RECT{30, 40, 456, 640});
    Open();
    RECT rc;
    ::GetWindowRect(*panel, &rc);
    EXPECT_EQ(30, rc.left);
    EXPECT_EQ(40, rc.top);
    EXPECT_EQ(600, rc.bottom - rc.top);
}

// The text of "menu_log_action" in the main menu as it opens.
std::wstring MainMenuLogText(MainPanelTest* t, MainPanel& panel) {
    HWND menu = ::FindWindowW(L"MenuWnd", nullptr);
    if (menu == nullptr) return L"<no menu>";
    auto* window = reinterpret_cast<ui::NativeWindow*>(::GetWindowLongPtrW(menu, GWLP_USERDATA));
    auto* m = dynamic_cast<ui::UIMenu*>(window);
    if (m == nullptr) return L"<not a menu>";
    ui::Control* item = m->GetPaintManager().FindControl(L"menu_log_action");
    std::wstring text;
    if (item) {
        item->ForEach([&](ui::Control* c) {
            if (c != item && !c->GetText().empty()) text = c->GetText();
        });
    }
    ::DestroyWindow(menu);
    return text;
}

TEST_F(MainPanelTest, MainMenuSaysSignInOrOut) {
    Open();
    Click(L"BtnMenu");
    EXPECT_EQ(L"登录", MainMenuLogText(this, *panel));
    ASSERT_TRUE(SignIn());
    Click(L"BtnMenu");
    EXPECT_EQ(L"登出账户", MainMenuLogText(this, *panel));
}

TEST_F(MainPanelTest, CloseButtonHidesWhenAsked) {
    Settings().Load();
    Settings().exitButtonHides = true;
    Open();
    Click(L"BtnExit");
    EXPECT_FALSE(::IsWindowVisible(*panel));
    EXPECT_EQ(L"提示", panel->Tray().LastBalloonTitle());
    EXPECT_EQ(1, panel->Tray().BalloonCount());
    EXPECT_TRUE(Settings().hideToTrayNoticed);
    panel->ShowMainWindow();
    PumpFor(50);
    Click(L"BtnExit");
    EXPECT_FALSE(::IsWindowVisible(*panel));
    EXPECT_EQ(1, panel->Tray().BalloonCount());  // only the first time
}

TEST_F(MainPanelTest, EscapeDoesNothing) {
    Open();
    ::PostMessageW(*panel, WM_KEYDOWN, VK_ESCAPE, 0);
    ::PostMessageW(*panel, WM_KEYUP, VK_ESCAPE, 0);
    PumpFor(200);
    EXPECT_TRUE(::IsWindow(*panel));
    EXPECT_TRUE(::IsWindowVisible(*panel));
}

TEST_F(MainPanelTest, ReturnInTheLoginLayerSignsIn) {
    Open();
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 1; }));
    panel->ShowLoginLayer();
    Type(L"EditUsername", L"demo");
    Type(L"EditPassword", L"demo123");
    ::PostMessageW(*panel, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(PumpUntil([] { return Settings().signedIn; }));
}

// Return on a focused button is that button's own: the close button hides
// the layer without a sign-in, and 登录 signs in once.
TEST_F(MainPanelTest, ReturnOnAFocusedControlIsThatControlsOwn) {
    Open();
    ASSERT_TRUE(PumpUntil([&] { return panel->Reachability() == 1; }));
    panel->ShowLoginLayer();
    PumpFor(100);
    Type(L"EditUsername", L"demo");
    Type(L"EditPassword", L"demo123");
    Control(L"BtnHideLoginLayer")->SetFocus();
    PressKey(VK_RETURN);
    PumpFor(500);
    EXPECT_EQ(0u, Received("login"));
    EXPECT_FALSE(Settings().signedIn);
    EXPECT_FALSE(Control(L"LoginLayer")->IsVisible());

    panel->ShowLoginLayer();
    PumpFor(100);
    Type(L"EditUsername", L"demo");
    Type(L"EditPassword", L"demo123");
    Control(L"BtnLogin")->SetFocus();
    PressKey(VK_RETURN);
    EXPECT_TRUE(PumpUntil([] { return Settings().signedIn; }));
    PumpFor(300);
    EXPECT_EQ(1u, Received("login"));
}

}  // namespace
