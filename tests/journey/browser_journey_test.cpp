// Journeys through the embedded browser of the real client: the list page
// it asks the service for, before and after the user signs in, as the
// service sees the request.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/journey/driver.h"
#include "tests/journey/fixture.h"
#include "tests/support/profile_guard.h"
#include "tests/support/standin.h"

namespace {

const char kListPath[] = "/rovavoda.php/rovavoda/sq";
constexpr int64_t kServiceNow = 1765432109;

class BrowserJourney : public journey::JourneyTest {
protected:
    Json::Value InitialState() override {
        Json::Value state = JourneyTest::InitialState();
        // The service's clock, far from the machine's: the page requests
        // must carry the service's.
        state["now"] = kServiceNow;
        state["freeze"] = true;
        return state;
    }

    // The list page requests received so far.
    Json::Value ListRequests() { return standin.ReceivedAt(kListPath); }

    // Checks one list page request: a form post marked as the client's,
    // carrying the service's clock once the client has learnt it (it runs
    // on from there with the machine's).
    static void ExpectMarkedFormPost(const Json::Value& request, bool clockKnown) {
        SCOPED_TRACE(request.toStyledString());
        EXPECT_EQ("POST", request["method"].asString());
        const std::string body = request["body"].asString();
        ASSERT_EQ(0u, body.rfind("from_tavo_soft=", 0));
        const std::string digits = body.substr(15);
        ASSERT_FALSE(digits.empty());
        EXPECT_EQ(std::string::npos, digits.find_first_not_of("0123456789"));
        if (clockKnown) {
            const int64_t sent = std::stoll(digits);
            EXPECT_GE(sent, kServiceNow) << "the service's clock, not the machine's";
            EXPECT_LE(sent, kServiceNow + 300);
        }
        std::string type;
        for (const auto& name : request["headers"].getMemberNames()) {
            if (_stricmp(name.c_str(), "Content-Type") == 0) type = request["headers"][name].asString();
        }
        EXPECT_EQ("application/x-www-form-urlencoded", type);
    }

};

TEST_F(BrowserJourney, SignedInUsersListPageIsTheMarkedFormPost) {
    ASSERT_TRUE(client->Start());
    ASSERT_NE(nullptr, client->WaitForWindow());
    ASSERT_TRUE(journey::WaitUntil([&] { return !standin.ReceivedAt(kApi + "get_time").empty(); }, 15000))
        << "the client never asked the service for the time";
    // Wine offers the browser object without an HTML engine; where even
    // that is missing the page is never asked for.
    if (!journey::WaitUntil([&] { return ListRequests().size() > 0; }, 15000)) {
        client->Close();
        GTEST_SKIP() << "the embedded browser never asked for the list page (no web-browser control)";
    }
    // The first may go before the service's clock is known.
    ExpectMarkedFormPost(ListRequests()[0], false);

    // Signing in by keyboard: the list page is opened again, signed in.
    const Json::Value::ArrayIndex before = ListRequests().size();
    auto notSignedIn = client->WaitFor(L"未登录用户", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_TRUE(notSignedIn) << journey::Describe(client->Read());
    journey::Click(*notSignedIn);
    ASSERT_TRUE(client->WaitFor(L"用户名", ROLE_SYSTEM_TEXT, 5000, STATE_SYSTEM_FOCUSED))
        << journey::Describe(client->Read());
    journey::Type(L"demo");
    journey::Press(VK_TAB);
    ASSERT_TRUE(client->WaitFor(L"密码", ROLE_SYSTEM_TEXT, 3000, STATE_SYSTEM_FOCUSED));
    journey::Type(L"demo123");
    journey::Press(VK_RETURN);
    ASSERT_TRUE(client->WaitFor(L"Demo User", ROLE_SYSTEM_STATICTEXT, 15000)) << journey::Describe(client->Read());
    ASSERT_TRUE(journey::WaitUntil([&] { return ListRequests().size() > before; }, 15000))
        << "the list page was not opened again after signing in";
    const Json::Value requests = ListRequests();
    for (Json::Value::ArrayIndex i = before; i < requests.size(); ++i) ExpectMarkedFormPost(requests[i], true);
    EXPECT_EQ(0u, client->Close());
}

}  // namespace
