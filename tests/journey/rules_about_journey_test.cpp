// Journeys through the posting-rules and about windows of the real client:
// the about window reached from the tray menu by keys, and the posting
// rules accepted before a first post, checked by what a screen reader reads
// and by what the stand-in service received.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "tests/journey/driver.h"
#include "tests/journey/fixture.h"
#include "tests/support/profile_guard.h"
#include "tests/support/standin.h"

namespace {

using journey::Element;
using journey::Utf8;

const wchar_t kAboutClass[] = L"zudedo_about_us_panel";
const wchar_t kRulesClass[] = L"zudedo_post_rule_panel";
const wchar_t kPostBoxText[] = L"发布或转发一条有效的QQ即时询价信息奖励1积分，发布违规信息每次扣除10积分。";

class RulesAboutJourney : public journey::JourneyTest {
protected:
    bool Gone(const wchar_t* cls, DWORD ms = 5000) {
        return journey::WaitUntil([&] { return journey::WindowsOf(client->processId(), cls).empty(); }, ms);
    }

    Json::Value Posts() { return standin.ReceivedAt("/rovavoda.php/rovavoda/api/add_sq"); }

};

TEST_F(RulesAboutJourney, OpenTheAboutWindowFromTheTrayMenuByKeyboard) {
    Json::Value page;
    page["version_page"] = "product=yunfan\nlastVersion=99.0.0.0\n";
    standin.SetState(page);
    StartClient();
    HWND menu = OpenTrayMenu();
    ASSERT_NE(nullptr, menu) << "the tray menu opens";
    bool reached = false;
    for (int i = 0; i < 10 && !reached; ++i) {
        journey::Press(VK_DOWN);
        auto about = journey::Find(menu, L"关于", ROLE_SYSTEM_MENUITEM);
        reached = about && about->Has(STATE_SYSTEM_FOCUSED);
    }
    ASSERT_TRUE(reached) << journey::Describe(journey::ReadWindow(menu));
    journey::Press(VK_RETURN);
    HWND about = WaitForWindowOf(kAboutClass);
    ASSERT_NE(nullptr, about) << "关于 opens the about window";
    EXPECT_TRUE(journey::WaitUntil([&] { return ::GetForegroundWindow() == about; }, 3000)) << "it has the keys";

    // A newer version is announced: the badge shows beside the number.
    ASSERT_TRUE(journey::WaitUntil([&] { return journey::Find(about, L"新版本", ROLE_SYSTEM_GRAPHIC).has_value(); },
                                   8000))
        << journey::Describe(journey::ReadWindow(about));
    auto version = journey::Find(about, L"1.2.0.1", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_TRUE(version) << journey::Describe(journey::ReadWindow(about));
    auto badge = journey::Find(about, L"新版本", ROLE_SYSTEM_GRAPHIC);
    EXPECT_EQ(version->location.top, badge->location.bottom);
    EXPECT_EQ(1u, standin.ReceivedAt("/soft/sq/update/version_lastest.htm").size());

    // Tab reaches the close button, and Escape closes the window.
    EXPECT_TRUE(journey::Find(about, L"关闭", ROLE_SYSTEM_PUSHBUTTON));
    journey::Press(VK_ESCAPE);
    EXPECT_TRUE(Gone(kAboutClass)) << "Escape closes it";
    EXPECT_EQ(0u, client->Close());
}

TEST_F(RulesAboutJourney, AcceptThePostingRulesThenPost) {
    StartClient();
    auto notSignedIn = client->WaitFor(L"未登录用户", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_TRUE(notSignedIn) << journey::Describe(client->Read());
    journey::Click(*notSignedIn);
    auto user = client->WaitFor(L"用户名", ROLE_SYSTEM_TEXT);
    ASSERT_TRUE(user) << journey::Describe(client->Read());
    journey::Click(*user);
    journey::Press('A', false, true);
    journey::Type(L"newbie");
    journey::Press(VK_TAB);
    journey::Type(L"newbie123");
    journey::Press(VK_RETURN);
    auto box = client->WaitFor(kPostBoxText, ROLE_SYSTEM_TEXT, 15000);
    ASSERT_TRUE(box) << "signed in, the post box shows\n" << journey::Describe(client->Read());

    // Writing a first post starts with the rules.
    journey::Click(*box);
    HWND rules = WaitForWindowOf(kRulesClass);
    ASSERT_NE(nullptr, rules) << "the rules open at the post box";
    RECT at;
    ::GetWindowRect(rules, &at);
    EXPECT_LT(at.left, box->location.left) << "left of the box";
    EXPECT_GT(at.top, box->location.top) << "below its top";
    auto accept = journey::Find(rules, L"同意并继续发布", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_TRUE(accept) << journey::Describe(journey::ReadWindow(rules));
    EXPECT_TRUE(journey::Find(rules, L"详情>>", ROLE_SYSTEM_PUSHBUTTON));
    journey::Click(*accept);
    ASSERT_TRUE(Gone(kRulesClass)) << "accepting closes the rules";
    EXPECT_EQ(0u, Posts().size());

    box = client->WaitFor(kPostBoxText, ROLE_SYSTEM_TEXT);
    ASSERT_TRUE(box);
    journey::Click(*box);
    const std::wstring text = L"求厦门地接报价，三十人团，下周出发";
    journey::Type(text);
    auto dijie = client->WaitFor(L"找地接", ROLE_SYSTEM_RADIOBUTTON, 3000);
    ASSERT_TRUE(dijie) << journey::Describe(client->Read());
    journey::Click(*dijie);
    auto send = client->Find(L"发送", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_TRUE(send) << journey::Describe(client->Read());
    journey::Click(*send);
    ASSERT_TRUE(journey::WaitUntil([&] { return Posts().size() == 1; }, 8000))
        << "no post reached the service\ntip: " << Utf8(client->TipText());
    EXPECT_EQ(Utf8(text), Posts()[0]["document"]["content"].asString());
    EXPECT_EQ("1", Posts()[0]["document"]["param"].asString());
    EXPECT_TRUE(journey::WindowsOf(client->processId(), kRulesClass).empty()) << "no rules once accepted";
    EXPECT_EQ(0u, client->Close());
}

}  // namespace
