// The posting-rules and about windows of the main window, real windows
// against the stand-in: the rules before a first post, accepted or not, and
// where they open; the about window's version check against a newer, the
// same, an older and a missing version page, and its closing while the
// page hangs.
#include <string>
#include <vector>

#include "api/open_url_syn_login.h"
#include "api/program_version.h"
#include "net/shell_open.h"
#include "panels/rules_and_about.h"
#include "shell/messages.h"
#include "shell/service_config.h"
#include "shell/text.h"
#include "tests/panels/main_panel_fixture.h"
#include "ui/accessibility.h"
#include "ui/platform.h"

using testing_support::MainPanelTest;
using testing_support::Opened;
using testing_support::RecordOpen;

namespace {

const char kVersionPagePath[] = "/soft/sq/update/version_lastest.htm";


class RulesAboutTest : public MainPanelTest {
protected:
    void SetUp() override {
        MainPanelTest::SetUp();
        Opened().clear();
        SetShellExecute(&RecordOpen);
    }
    void TearDown() override {
        MainPanelTest::TearDown();
        SetShellExecute(nullptr);
    }

    RulesAndAbout& Windows() { return panel->RulesAndAboutWindows(); }
    PostRulePanel* Rules() { return Windows().PostRules(); }
    AboutUsPanel* About() { return Windows().About(); }

    static ui::Control* In(ui::SkinWindow& window, const wchar_t* name) {
        return window.GetPaintManager().FindControl(name);
    }
    // A mouse click at the centre of a control of a side window.
    void ClickIn(ui::SkinWindow& window, const wchar_t* name) {
        ui::Control* c = In(window, name);
        ASSERT_NE(nullptr, c) << shell::WideToUtf8(name);
        window.GetPaintManager().UpdateLayout();
        const RECT& rc = c->GetPos();
        const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        const HWND hwnd = window;
        ::PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
        ::PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
        PumpFor(60);
    }
    void KeyIn(HWND hwnd, WPARAM key) {
        ::PostMessageW(hwnd, WM_KEYDOWN, key, 1);
        ::PostMessageW(hwnd, WM_KEYUP, key, 0xC0000001);
        PumpFor(40);
    }
    bool WaitGone(HWND hwnd, DWORD ms = 3000) {
        return PumpUntil([&] { return !::IsWindow(hwnd); }, ms);
    }

    Json::Value Posts() { return standin.ReceivedAt("/rovavoda.php/rovavoda/api/add_sq"); }
    // A post ready in the box: an inquiry for a local agency.
    void Draft(const std::wstring& text) {
        Type(L"PostEdit", text);
        auto* dijie = dynamic_cast<ui::Option*>(Control(L"OpDijie"));
        ASSERT_NE(nullptr, dijie);
        dijie->Selected(true, true);
        PumpFor(30);
    }

    void SetVersionPage(const std::string& text) {
        Json::Value state;
        state["version_page"] = text;
        standin.SetState(state);
    }
    // Opens the about window the way the menus do and waits for its check.
    AboutUsPanel* OpenAboutAndWait() {
        ui::Notification n;
        n.type = L"menu_about_us";
        n.sender = panel->GetPaintManager().GetRoot();
        panel->Notify(n);
        AboutUsPanel* about = About();
        if (about == nullptr) return nullptr;
        PumpUntil([&] { return About() == nullptr || About()->VersionCheck() != AboutUsPanel::Check::kRunning; });
        return About();
    }
    ui::Button* Version(AboutUsPanel& about) { return dynamic_cast<ui::Button*>(In(about, L"version")); }
};

TEST(VersionPage, TheLastVersionLineDecides) {
    const uint64_t own = VersionInfo::Parse(L"1.2.0.1").Number();
    struct Case {
        const char* page;
        VersionVerdict verdict;
    };
    const Case cases[] = {
        {"product=yunfan\nlastVersion=1.2.0.2\n", VersionVerdict::kNewer},
        {"lastVersion=1.3", VersionVerdict::kNewer},
        {"lastVersion=1.2.0.1\r\n", VersionVerdict::kUpToDate},
        {"lastVersion=1.0.9.9\n", VersionVerdict::kUpToDate},
        {"lastVersion=2.0.0.0\nlastVersion=1.0.0.0\n", VersionVerdict::kUpToDate},
        {"lastVersion=1.0.0.0\nlastVersion=1..3\n", VersionVerdict::kNewer},  // 1.3.0.0: dots run together
        {"\tlastVersion=\t1.2.0.5\n", VersionVerdict::kNewer},                 // tabs are dropped
        {"LastVersion=9.0.0.0\n", VersionVerdict::kUnknown},
        {" lastVersion=9.0.0.0\n", VersionVerdict::kUnknown},
        {"product=yunfan\n", VersionVerdict::kUnknown},
        {"", VersionVerdict::kUnknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.verdict, ReadVersionPage(c.page, own)) << c.page;
    }
}

TEST_F(RulesAboutTest, PlacedAtThePostBoxInsideTheWorkArea) {
    Open();
    const HWND main = *panel;
    const RECT box = Control(L"PostEdit")->GetPos();
    const UINT dpi = ui::DpiForWindow(main);
    POINT corner{box.left - ui::ScaleBy(20, dpi), box.top + ui::ScaleBy(40, dpi)};
    ::ClientToScreen(main, &corner);
    const SIZE size{427, 500};
    const RECT roomy{-5000, -5000, 5000, 5000};
    const RECT free = RulesAndAbout::PlaceAtPostBox(main, box, size, roomy);
    EXPECT_EQ(corner.x, free.left);
    EXPECT_EQ(corner.y, free.top);
    EXPECT_EQ(427, free.right - free.left);

    // A work area that ends just right of and below the corner.
    const RECT tight{corner.x - 600, corner.y - 600, corner.x + 100, corner.y + 100};
    const RECT moved = RulesAndAbout::PlaceAtPostBox(main, box, size, tight);
    EXPECT_EQ(tight.right, moved.right);
    EXPECT_EQ(tight.bottom, moved.bottom);
    // And one smaller than the window: its top-left corner shows.
    const RECT tiny{corner.x + 10, corner.y + 10, corner.x + 210, corner.y + 110};
    const RECT fitted = RulesAndAbout::PlaceAtPostBox(main, box, size, tiny);
    EXPECT_EQ(tiny.left, fitted.left);
    EXPECT_EQ(tiny.top, fitted.top);
    EXPECT_LE(fitted.right, tiny.right);
    EXPECT_LE(fitted.bottom, tiny.bottom);
}

// A user who has not accepted the rules gets them instead of posting;
// closing them any other way than accepting leaves the post unsent, and
// the next send shows them again in the same place.
TEST_F(RulesAboutTest, TheRulesComeBeforeTheFirstPostUntilAccepted) {
    Open();
    ASSERT_TRUE(SignIn(L"newbie", L"newbie123"));
    ASSERT_FALSE(Settings().postedFlag);
    Draft(L"求北京地接报价，五月中旬");
    Click(L"BtnPost");
    ASSERT_TRUE(PumpUntil([&] { return Rules() != nullptr; }, 2000)) << "the send opens the rules";
    HWND rules = *Rules();
    EXPECT_TRUE(::IsWindowVisible(rules));
    EXPECT_EQ(static_cast<HWND>(*panel), ::GetWindow(rules, GW_OWNER));
    EXPECT_NE(0, ::GetWindowLongW(rules, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT first;
    ::GetWindowRect(rules, &first);
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(*panel, MONITOR_DEFAULTTONEAREST), &mi);
    RECT inside;
    EXPECT_TRUE(::IntersectRect(&inside, &first, &mi.rcWork) && ::EqualRect(&inside, &first))
        << "inside the work area";

    // Asked again: the same window, raised, not moved.
    ::SetWindowPos(rules, nullptr, first.left + 30, first.top + 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Click(L"BtnPost");
    EXPECT_EQ(rules, static_cast<HWND>(*Rules()));
    RECT again;
    ::GetWindowRect(rules, &again);
    EXPECT_EQ(first.left + 30, again.left);

    // Return with no button focused closes without accepting.
    KeyIn(rules, VK_RETURN);
    ASSERT_TRUE(WaitGone(rules));
    EXPECT_FALSE(Settings().postedFlag);
    PumpFor(100);
    EXPECT_EQ(nullptr, Rules());
    EXPECT_EQ(0u, Posts().size());
    EXPECT_EQ(L"求北京地接报价，五月中旬", Control(L"PostEdit")->GetText()) << "the draft stays";

    // "详情>>" opens the detailed rules, signed in through the sign-on
    // address, and leaves the window open.
    Click(L"BtnPost");
    ASSERT_NE(nullptr, Rules());
    rules = *Rules();
    ClickIn(*Rules(), L"BtnMore");
    ASSERT_EQ(1u, Opened().size());
    EXPECT_EQ(0u, Opened()[0].rfind(Service().WebOrigin() + L"/alogin?sign=", 0)) << shell::WideToUtf8(Opened()[0]);
    EXPECT_TRUE(::IsWindow(rules));

    // Escape and the close button do not accept either.
    KeyIn(rules, VK_ESCAPE);
    ASSERT_TRUE(WaitGone(rules));
    Click(L"BtnPost");
    ASSERT_NE(nullptr, Rules());
    rules = *Rules();
    ClickIn(*Rules(), L"BtnExit");
    ASSERT_TRUE(WaitGone(rules));
    EXPECT_FALSE(Settings().postedFlag);
    PumpFor(300);
    EXPECT_EQ(0u, Posts().size());
}

// Accepting records it for the session: the window closes, the post is not
// sent by it, and the next send goes out without the rules. Signing out
// forgets it; a login reply without the acceptance brings the rules back.
TEST_F(RulesAboutTest, AcceptedRulesLetThePostGoOutForTheSession) {
    Open();
    ASSERT_TRUE(SignIn(L"newbie", L"newbie123"));
    Draft(L"求三亚地接，十人团");
    Click(L"BtnPost");
    ASSERT_NE(nullptr, Rules());
    HWND rules = *Rules();
    ClickIn(*Rules(), L"BtnAccept");
    ASSERT_TRUE(WaitGone(rules));
    EXPECT_TRUE(Settings().postedFlag);
    PumpFor(300);
    EXPECT_EQ(0u, Posts().size()) << "accepting does not send";

    Click(L"BtnPost");
    ASSERT_TRUE(PumpUntil([&] { return Posts().size() == 1; }, 4000));
    EXPECT_EQ(nullptr, Rules());
    EXPECT_EQ(shell::WideToUtf8(L"求三亚地接，十人团"), Posts()[0]["document"]["content"].asString());
    // The service is never told of the acceptance.
    const Json::Value received = standin.Received();
    for (const auto& r : received) {
        EXPECT_EQ(std::string::npos, r["plaintext"].asString().find("posted_flag")) << r["path"].asString();
    }

    panel->Logout();
    EXPECT_FALSE(Settings().postedFlag);
    ASSERT_TRUE(SignIn(L"newbie", L"newbie123"));
    Draft(L"求桂林地接");
    Click(L"BtnPost");
    EXPECT_NE(nullptr, Rules()) << "a new session asks again";
}

// By keyboard: Tab reaches the accept button and Return on it is its
// click; the rules also open when the box takes the focus.
TEST_F(RulesAboutTest, TheRulesOpenWithTheBoxAndAreAcceptedByKeyboard) {
    Open();
    ASSERT_TRUE(SignIn(L"newbie", L"newbie123"));
    ClickThrough(L"PostEdit");
    ASSERT_TRUE(PumpUntil([&] { return Rules() != nullptr; }, 2000)) << "the box's focus opens the rules";
    PostRulePanel& rules = *Rules();
    const HWND hwnd = rules;
    ui::PaintManager& pm = rules.GetPaintManager();
    for (int i = 0; i < 5 && (pm.GetFocus() == nullptr || pm.GetFocus()->GetName() != L"BtnAccept"); ++i) {
        KeyIn(hwnd, VK_TAB);
    }
    ASSERT_NE(nullptr, pm.GetFocus());
    ASSERT_EQ(L"BtnAccept", pm.GetFocus()->GetName());
    KeyIn(hwnd, VK_RETURN);
    ASSERT_TRUE(WaitGone(hwnd));
    EXPECT_TRUE(Settings().postedFlag);

    Click(L"BtnPost");  // an empty box: refused with a tip, no rules now
    EXPECT_TRUE(WaitForTip(L"请输入内容"));
    EXPECT_EQ(nullptr, Rules());
}

TEST_F(RulesAboutTest, TheRulesWindowReadsOutItsRulesAndButtons) {
    Open();
    ASSERT_TRUE(SignIn(L"newbie", L"newbie123"));
    Click(L"BtnPost");
    ASSERT_NE(nullptr, Rules());
    PostRulePanel& rules = *Rules();
    const struct {
        const wchar_t* control;
        const wchar_t* name;
        LONG role;
    } expected[] = {{L"BtnAccept", L"同意并继续发布", ROLE_SYSTEM_PUSHBUTTON},
                    {L"BtnMore", L"详情>>", ROLE_SYSTEM_PUSHBUTTON},
                    {L"BtnExit", L"关闭", ROLE_SYSTEM_PUSHBUTTON}};
    for (const auto& e : expected) {
        ui::Control* c = In(rules, e.control);
        ASSERT_NE(nullptr, c);
        const ui::AccessibleInfo info = ui::DescribeControl(*c, false, nullptr);
        EXPECT_EQ(e.name, info.name) << shell::WideToUtf8(e.control);
        EXPECT_EQ(e.role, info.role) << shell::WideToUtf8(e.control);
    }
    const ui::AccessibleInfo text = ui::DescribeControl(*In(rules, L"RuleText"), false, nullptr);
    EXPECT_EQ(ROLE_SYSTEM_STATICTEXT, text.role);
    EXPECT_NE(std::wstring::npos, text.name.find(L"每个账号每天最多发布100条询价信息"));
    wchar_t title[64] = {};
    ::GetWindowTextW(rules, title, 64);
    EXPECT_STREQ(L"发布规则", title);
}

// What the two layouts must carry: sizes, a caption over the whole
// window, the named controls with their texts and tips, and the about
// window's four fonts with the underlined one last.
TEST_F(RulesAboutTest, BothLayoutsCarryTheirControls) {
    Open();
    ASSERT_TRUE(SignIn(L"newbie", L"newbie123"));
    Click(L"BtnPost");
    ASSERT_NE(nullptr, Rules());
    ui::PaintManager& rules = Rules()->GetPaintManager();
    const UINT dpi = rules.GetDpi();
    EXPECT_EQ(ui::ScaleBy(427, dpi), rules.GetInitSize().cx);
    EXPECT_EQ(ui::ScaleBy(500, dpi), rules.GetInitSize().cy);
    EXPECT_EQ(rules.GetInitSize().cy, rules.GetCaptionRect().bottom);
    EXPECT_EQ(L"关闭", rules.FindControl(L"BtnExit")->GetToolTip());
    auto* more = dynamic_cast<ui::Button*>(rules.FindControl(L"BtnMore"));
    ASSERT_NE(nullptr, more);
    EXPECT_EQ(L"详情>>", more->GetText());
    EXPECT_EQ(L"查看详细规则", more->GetToolTip());
    EXPECT_EQ(0xFF1080BBu, more->GetTextColor());
    EXPECT_EQ(L"同意并继续发布", rules.FindControl(L"BtnAccept")->GetText());
    EXPECT_NE(std::wstring::npos, rules.GetRoot()->GetBkImage().find(L"post_rule_bk.png"));

    AboutUsPanel* about = OpenAboutAndWait();
    ASSERT_NE(nullptr, about);
    ui::PaintManager& pm = about->GetPaintManager();
    EXPECT_EQ(ui::ScaleBy(385, dpi), pm.GetInitSize().cx);
    EXPECT_EQ(ui::ScaleBy(294, dpi), pm.GetInitSize().cy);
    EXPECT_EQ(pm.GetInitSize().cy, pm.GetCaptionRect().bottom);
    EXPECT_EQ(L"关闭", pm.FindControl(L"BtnExit")->GetToolTip());
    const ui::FontInfo* fonts[] = {pm.GetFontInfo(0), pm.GetFontInfo(1), pm.GetFontInfo(2), pm.GetFontInfo(3)};
    for (const ui::FontInfo* f : fonts) ASSERT_NE(nullptr, f);
    EXPECT_EQ(L"宋体", fonts[0]->face);
    EXPECT_TRUE(fonts[1]->bold);
    EXPECT_EQ(14, fonts[1]->size);
    EXPECT_EQ(L"Arial", fonts[2]->face);
    EXPECT_TRUE(fonts[3]->underline);
    EXPECT_FALSE(fonts[0]->underline);
    auto* version = Version(*about);
    ASSERT_NE(nullptr, version);
    EXPECT_EQ(0xFF5C89A0u, version->GetTextColor());
    ui::Control* badge = pm.FindControl(L"newTip");
    ASSERT_NE(nullptr, badge);
    EXPECT_TRUE(badge->IsFloat());
    EXPECT_EQ(version->Scale(29), badge->GetFixedWidth());
    EXPECT_EQ(version->Scale(16), badge->GetFixedHeight());
    EXPECT_NE(std::wstring::npos, badge->GetBkImage().find(L"new_tip.png"));
}

TEST_F(RulesAboutTest, ANewerVersionTurnsTheNumberIntoALinkWithTheBadge) {
    SetVersionPage("product=yunfan\nlastVersion=9.0.0.0\n");
    Open();
    AboutUsPanel* about = OpenAboutAndWait();
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(AboutUsPanel::Check::kNewer, about->VersionCheck());
    ui::Button* version = Version(*about);
    ASSERT_NE(nullptr, version);
    EXPECT_EQ(ProgramVersion().text, version->GetText());
    EXPECT_EQ(3, version->GetFont());
    EXPECT_EQ(L"检测到新版本，点击到官网下载", version->GetToolTip());
    EXPECT_EQ(version->MeasureText(version->GetText()).cx + 2, version->GetFixedWidth());

    about->GetPaintManager().UpdateLayout();
    ui::Control* badge = In(*about, L"newTip");
    ASSERT_NE(nullptr, badge);
    EXPECT_TRUE(badge->IsVisible());
    const RECT v = version->GetPos();
    const RECT b = badge->GetPos();
    EXPECT_EQ(v.top, b.bottom) << "the badge sits on the number";
    EXPECT_EQ(v.right + version->Scale(16), b.right) << "overhanging its end";
    EXPECT_EQ(badge->GetFixedWidth(), b.right - b.left);
    EXPECT_EQ(badge->GetFixedHeight(), b.bottom - b.top);

    // Signed out, the number opens the download page itself.
    ClickIn(*about, L"version");
    ASSERT_EQ(1u, Opened().size());
    EXPECT_EQ(Service().WebOrigin() + L"/soft/sq?soft", Opened()[0]);
    const ui::AccessibleInfo info = ui::DescribeControl(*version, false, nullptr);
    EXPECT_EQ(ProgramVersion().text, info.name);
    EXPECT_EQ(L"检测到新版本，点击到官网下载", info.description);

    // Signed in, it goes through the sign-on address.
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PumpUntil([] { return !SynLogin().Token().empty(); }, 4000));
    ClickIn(*About(), L"version");
    ASSERT_EQ(2u, Opened().size());
    EXPECT_EQ(0u, Opened()[1].rfind(Service().WebOrigin() + L"/alogin?sign=", 0)) << shell::WideToUtf8(Opened()[1]);
}

TEST_F(RulesAboutTest, TheSameOrAnOlderVersionIsUpToDate) {
    for (const std::string& announced : {shell::WideToAnsi(ProgramVersion().text), std::string("1.0.0.0")}) {
        SCOPED_TRACE(announced);
        SetVersionPage("product=yunfan\r\nlastVersion=" + announced + "\r\n");
        if (!panel) Open();
        AboutUsPanel* about = OpenAboutAndWait();
        ASSERT_NE(nullptr, about);
        EXPECT_EQ(AboutUsPanel::Check::kUpToDate, about->VersionCheck());
        ui::Button* version = Version(*about);
        EXPECT_EQ(L"您已经在使用最新版本了", version->GetToolTip());
        EXPECT_NE(3, version->GetFont());
        EXPECT_FALSE(In(*about, L"newTip")->IsVisible());
        const HWND hwnd = *about;
        KeyIn(hwnd, VK_ESCAPE);
        ASSERT_TRUE(WaitGone(hwnd));
        PumpFor(50);
        EXPECT_EQ(nullptr, About());
    }
    EXPECT_EQ(2u, standin.ReceivedAt(kVersionPagePath).size()) << "one check per opening";
}

// A version page that cannot be read is not news of being up to date.
TEST_F(RulesAboutTest, AVersionPageThatCannotBeReadIsNotCalledUpToDate) {
    Open();
    struct Case {
        const char* what;
        Json::Value fault;
        const char* page;
    };
    auto fault = [](const char* kind) {
        Json::Value f;
        f["path"] = kVersionPagePath;
        f["kind"] = kind;
        if (std::string(kind) == "status") f["code"] = 404;
        return f;
    };
    const Case cases[] = {{"missing", fault("status"), nullptr},
                          {"cut short", fault("bad_length"), nullptr},
                          {"dropped", fault("reset"), nullptr},
                          {"without a version line", Json::Value(), "product=yunfan\nversion=9.0.0.0\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Json::Value none;
        none["path"] = kVersionPagePath;
        none["kind"] = "none";
        standin.Fault(none);
        if (!c.fault.isNull()) standin.Fault(c.fault);
        SetVersionPage(c.page ? c.page : "lastVersion=1.0.0.0\n");
        AboutUsPanel* about = OpenAboutAndWait();
        ASSERT_NE(nullptr, about);
        EXPECT_EQ(AboutUsPanel::Check::kFailed, about->VersionCheck());
        ui::Button* version = Version(*about);
        EXPECT_EQ(L"暂时无法检查新版本", version->GetToolTip());
        EXPECT_EQ(ProgramVersion().text, version->GetText());
        EXPECT_FALSE(In(*about, L"newTip")->IsVisible());
        const HWND hwnd = *about;
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitGone(hwnd));
    }
}

// Asked again while open: the same window comes forward and makes no
// second request; the main window forgets it once it is closed.
TEST_F(RulesAboutTest, TheAboutWindowOpensOnceAndComesForward) {
    Open();
    AboutUsPanel* about = OpenAboutAndWait();
    ASSERT_NE(nullptr, about);
    const HWND hwnd = *about;
    EXPECT_EQ(nullptr, ::GetWindow(hwnd, GW_OWNER)) << "created with no parent";
    EXPECT_EQ(0, ::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    wchar_t title[64] = {};
    ::GetWindowTextW(hwnd, title, 64);
    EXPECT_STREQ(L"关于云帆商务台", title);

    Settings().mainPanelTopmost = true;
    EXPECT_EQ(about, OpenAboutAndWait());
    EXPECT_NE(0, ::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) << "the main window's layer";
    Settings().mainPanelTopmost = false;
    EXPECT_EQ(about, OpenAboutAndWait());
    EXPECT_EQ(0, ::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(1u, standin.ReceivedAt(kVersionPagePath).size());

    // The home page link opens the web host's home page.
    about->GetPaintManager().UpdateLayout();
    auto* link = dynamic_cast<ui::FormattedText*>(In(*about, L"LinkHome"));
    ASSERT_NE(nullptr, link);
    ASSERT_EQ(1, link->GetLinkCount());
    ASSERT_TRUE(link->ActivateLink(0));
    PumpFor(30);
    ASSERT_EQ(1u, Opened().size());
    EXPECT_EQ(Service().WebOrigin() + L"/", Opened()[0]);

    // Return closes it too; the next opening is a new window and check.
    KeyIn(hwnd, VK_RETURN);
    ASSERT_TRUE(WaitGone(hwnd));
    AboutUsPanel* second = OpenAboutAndWait();
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(2u, standin.ReceivedAt(kVersionPagePath).size());
}

// Closing the window while the version page hangs returns at once: the
// request is left to end on its own, and the main window still closes.
TEST_F(RulesAboutTest, ClosingWhileTheVersionPageHangsDoesNotWait) {
    Json::Value hang;
    hang["path"] = kVersionPagePath;
    hang["kind"] = "hang";
    standin.Fault(hang);
    Open();
    ui::Notification n;
    n.type = L"menu_about_us";
    n.sender = panel->GetPaintManager().GetRoot();
    panel->Notify(n);
    ASSERT_NE(nullptr, About());
    ASSERT_TRUE(PumpUntil([&] { return standin.ReceivedAt(kVersionPagePath).size() == 1; }, 4000));
    PumpFor(200);
    EXPECT_EQ(AboutUsPanel::Check::kRunning, About()->VersionCheck());
    const HWND hwnd = *About();
    const ULONGLONG start = ::GetTickCount64();
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    const ULONGLONG took = ::GetTickCount64() - start;
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_LT(took, 1000u) << "the close waited for the request";
    EXPECT_EQ(nullptr, About());
    // The main window still answers at once.
    const ULONGLONG ping = ::GetTickCount64();
    DWORD_PTR result = 0;
    EXPECT_NE(0, ::SendMessageTimeoutW(*panel, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result));
    EXPECT_LT(::GetTickCount64() - ping, 500u);
}

// The main window's end closes both windows with it.
TEST_F(RulesAboutTest, BothWindowsCloseWithTheMainWindow) {
    Open();
    ASSERT_TRUE(SignIn(L"newbie", L"newbie123"));
    Click(L"BtnPost");
    ASSERT_NE(nullptr, Rules());
    const HWND rules = *Rules();
    ASSERT_NE(nullptr, OpenAboutAndWait());
    const HWND about = *About();
    ::PostMessageW(*panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 10000));
    EXPECT_FALSE(::IsWindow(rules));
    EXPECT_FALSE(::IsWindow(about));
}

}  // namespace
