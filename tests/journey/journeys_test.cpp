// Journeys through the real client: what a person does with the keyboard
// and the mouse, checked by what a screen reader reads back and by what the
// stand-in service received. Each journey starts the program afresh in a
// throw-away profile against its own stand-in instance.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/journey/driver.h"
#include "tests/support/profile_guard.h"
#include "tests/support/standin.h"

namespace {

using journey::Element;
using journey::Utf8;

// The boxes are named by the hints laid over them.
const wchar_t kUserBox[] = L"请输入星程账号";
const wchar_t kPasswordBox[] = L"请输入密码";
const wchar_t kPostBox[] = L"发布或转发一条有效的QQ即时询价信息奖励1积分，发布违规信息每次扣除10积分。";
const wchar_t kLogin[] = L"登录";

class Journey : public ::testing::Test {
protected:
    void SetUp() override {
        // A screen reader's thread: single-threaded apartment, pumping messages.
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        ASSERT_TRUE(standin.ok()) << "stand-in service not reachable (YF_STANDIN_PORT)";
        Json::Value quiet;
        quiet["msg_count"] = 0;
        quiet["notices"] = Json::Value(Json::arrayValue);
        standin.SetState(quiet);
        ASSERT_EQ(nullptr, ::FindWindowW(journey::Client::kClass, nullptr)) << "another client is running";
        profile = std::make_unique<testing_support::ProfileGuard>();
        client = std::make_unique<journey::Client>(standin.port());
    }

    void TearDown() override {
        client.reset();
        profile->Restore();
        EXPECT_EQ("", profile->Differences()) << "the journey left something behind";
        profile.reset();
        ::CoUninitialize();
    }

    // Starts the client and waits until it shows the window and knows the host is reachable.
    void StartClient() {
        ASSERT_TRUE(client->Start());
        ASSERT_NE(nullptr, client->WaitForWindow());
        ASSERT_TRUE(journey::WaitUntil([&] { return !standin.ReceivedAt(kTimePath).empty(); }, 15000))
            << "the client never asked the service for the time";
        journey::Pause(300);
    }

    // The login layer's controls, shown by clicking "未登录用户".
    void OpenLoginLayer() {
        auto notSignedIn = client->WaitFor(L"未登录用户", ROLE_SYSTEM_PUSHBUTTON);
        ASSERT_TRUE(notSignedIn) << journey::Describe(client->Read());
        journey::Click(*notSignedIn);
        ASSERT_TRUE(client->WaitFor(kUserBox, ROLE_SYSTEM_TEXT)) << journey::Describe(client->Read());
    }

    Json::Value Received(const char* action) {
        Json::Value matching(Json::arrayValue);
        for (const auto& r : standin.Received()) {
            if (r["action"].asString() == action) matching.append(r);
        }
        return matching;
    }

    bool SignedIn() { return client->Find(L"Demo User", ROLE_SYSTEM_STATICTEXT).has_value(); }

    static constexpr const char* kTimePath = "/rovavoda.php/rovavoda/api/get_time";

    testing_support::StandIn standin;
    std::unique_ptr<testing_support::ProfileGuard> profile;
    std::unique_ptr<journey::Client> client;
};

TEST_F(Journey, SignInByKeyboardAlone) {
    StartClient();
    OpenLoginLayer();
    ASSERT_TRUE(journey::BringToFront(client->window()));
    auto user = client->Find(kUserBox, ROLE_SYSTEM_TEXT);
    ASSERT_TRUE(user);
    // Showing the layer puts the caret into the name box.
    EXPECT_TRUE(journey::WaitUntil([&] { return client->Find(kUserBox, ROLE_SYSTEM_TEXT)->Has(STATE_SYSTEM_FOCUSED); },
                                   3000))
        << journey::Describe(client->Read());
    journey::Type(L"demo");
    journey::Press(VK_TAB);
    EXPECT_TRUE(client->WaitFor(kPasswordBox, ROLE_SYSTEM_TEXT, 3000, STATE_SYSTEM_FOCUSED))
        << "Tab leaves the name box for the password box\n"
        << journey::Describe(client->Read());
    journey::Type(L"demo123");
    journey::Press(VK_RETURN);
    ASSERT_TRUE(journey::WaitUntil([&] { return SignedIn(); }, 15000)) << journey::Describe(client->Read());
    const Json::Value logins = Received("login");
    ASSERT_EQ(1u, logins.size());
    EXPECT_EQ("demo", logins[0]["document"]["user"].asString()) << logins[0].toStyledString();
    EXPECT_FALSE(client->Find(kUserBox, ROLE_SYSTEM_TEXT)) << "the login layer is gone";
    EXPECT_TRUE(client->Find(L"Yunfan Demo Travel", ROLE_SYSTEM_STATICTEXT));
    EXPECT_EQ(0u, client->Close());
}

}  // namespace
