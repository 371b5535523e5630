#include "api/main_busi.h"

#include <algorithm>

#include "api/server_clock.h"
#include "net/blocking_http.h"
#include "shell/messages.h"
#include "shell/text.h"
#include "tests/support/fake_clock.h"
#include "tests/support/paths.h"
#include "tests/support/service_fixture.h"

namespace {

class MainBusiTest : public testing_support::ServiceTest {
protected:
    MainBusi busi{owner.hwnd()};
};

TEST_F(MainBusiTest, ServerTimeSetsTheClock) {
    testing_support::FakeClock clock(5000);
    Json::Value state;
    state["now"] = 1700000000;
    state["freeze"] = true;
    standin.SetState(state);
    busi.SyncServerTime();
    ASSERT_TRUE(owner.WaitFor(msg::kServerTimeSet));
    EXPECT_EQ(1700000000, ServerNow());
    clock.Advance(60);
    EXPECT_EQ(1700000060, ServerNow());
    EXPECT_EQ("GET", Received("get_time")[0]["method"].asString());
}

TEST_F(MainBusiTest, AFailedClockRequestIsSentAgain) {
    Json::Value fault;
    fault["action"] = "get_time";
    fault["kind"] = "status";
    fault["code"] = 502;
    fault["times"] = 2;
    standin.Fault(fault);
    busi.SetTimeRetryRange(100, 150);
    busi.SyncServerTime();
    // Nothing else starts without the clock: it is asked for until it comes.
    ASSERT_TRUE(owner.WaitFor(msg::kServerTimeSet, 1, 5000));
    EXPECT_EQ(3u, Received("get_time").size());
}

TEST_F(MainBusiTest, AHungClockRequestIsSentAgainAtItsLimit) {
    api::SetRequestTimeLimit(500);
    busi.SetTimeRetryRange(100, 150);
    Json::Value fault;
    fault["action"] = "get_time";
    fault["kind"] = "hang";
    fault["times"] = 1;
    standin.Fault(fault);
    busi.SyncServerTime();
    // Without the clock the automatic login never starts.
    ASSERT_TRUE(owner.WaitFor(msg::kServerTimeSet, 1, 10000));
    EXPECT_EQ(2u, Received("get_time").size());
}

TEST_F(MainBusiTest, EveryRequestCarriesATimeLimit) {
    api::SetRequestTimeLimit(1234);
    EXPECT_EQ(1234u, api::ApiRequest("get_sq_num", Json::Value()).timeout);
    EXPECT_EQ(1234u, api::GetTimeRequest().timeout);
    api::SetRequestTimeLimit(0);
    EXPECT_EQ(api::kDefaultRequestTimeLimitMs, api::ApiRequest("get_sq_num", Json::Value()).timeout);
}

TEST_F(MainBusiTest, AnImplausibleClockIsAFailedRequest) {
    testing_support::FakeClock clock(5000);
    Json::Value state;
    state["now"] = 1700000000;
    state["freeze"] = true;
    standin.SetState(state);
    busi.SetTimeRetryRange(100, 150);
    for (const char* bad : {"abc", "-1", "0", "9223372036854775807", "9223372036854775808", "-9223372036854775808"}) {
        owner.Clear();
        standin.Clear();
        Settings().serverTimeAtSync = Settings().localTimeAtSync = 0;
        Json::Value rule;
        rule["action"] = "get_time";
        rule["document"] = Document("1", Strings({bad}));
        rule["times"] = 1;
        standin.Reply(rule);
        busi.SyncServerTime();
        // The clock is asked for again, and only the plausible answer counts.
        ASSERT_TRUE(owner.WaitFor(msg::kServerTimeSet, 1, 5000)) << bad;
        Settle(busi);
        EXPECT_EQ(1u, owner.Count(msg::kServerTimeSet)) << bad;
        EXPECT_EQ(2u, Received("get_time").size()) << bad;
        EXPECT_EQ(1700000000, ServerNow()) << bad;
    }
}

TEST_F(MainBusiTest, ARedirectedClockRequestIsAFailedRequest) {
    Json::Value fault;
    fault["action"] = "get_time";
    fault["kind"] = "redirect";  // to itself, for ever
    standin.Fault(fault);
    busi.SetTimeRetryRange(300, 300);
    busi.SyncServerTime();
    testing_support::PumpFor(1500);
    EXPECT_EQ(0u, owner.Count(msg::kServerTimeSet));
    const size_t asked = Received("get_time").size();
    EXPECT_GE(asked, 2u);  // each redirect is a failure, retried after a pause
    EXPECT_LE(asked, 7u);  // and never followed
    fault["kind"] = "none";
    standin.Fault(fault);
    ASSERT_TRUE(owner.WaitFor(msg::kServerTimeSet, 1, 5000));
}

TEST_F(MainBusiTest, ARedirectAnswersTheCardPageLogin) {
    AppSettings& s = Settings();
    s.userName = L"demo";
    s.password = L"demo123";
    Json::Value fault;
    fault["path"] = "/login/cardpage/dologin";
    fault["kind"] = "redirect";
    standin.Fault(fault);
    busi.WebLogin();
    // The site answered (its cookie comes with the redirect): not followed, not sent again.
    ASSERT_TRUE(owner.WaitFor(msg::kWebLoginDone, 1, 10000));
    Settle(busi);
    EXPECT_EQ(1u, standin.ReceivedAt("/login/cardpage/dologin").size());
    EXPECT_EQ(0u, busi.WebLoginRetryDelay());
}

TEST_F(MainBusiTest, AvatarFoldersAndSaving) {
    EXPECT_EQ("/uploads/photos/0/s_0.png", MainBusi::AvatarPath(0));
    EXPECT_EQ("/uploads/photos/1/s_1000.png", MainBusi::AvatarPath(1000));
    EXPECT_EQ("/uploads/photos/2/s_1001.png", MainBusi::AvatarPath(1001));
    EXPECT_EQ("/uploads/photos/4294968/s_4294967295.png", MainBusi::AvatarPath(4294967295u));

    AppSettings& s = Settings();
    s.uid = 12345;
    s.SetUserSession(true);
    ::DeleteFileW(s.UserFilePath(L"avatar.png").c_str());
    busi.DownloadAvatar();
    ASSERT_TRUE(owner.WaitFor(msg::kAvatarSaved));
    std::string png = testing_support::ReadFileBytes(s.UserFilePath(L"avatar.png"));
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), png.substr(0, 8));
    EXPECT_EQ(1u, standin.ReceivedAt("/uploads/photos/13/s_12345.png").size());
}

TEST_F(MainBusiTest, MissingAvatarWritesNothing) {
    AppSettings& s = Settings();
    s.uid = 424242;  // the service has no picture for this user
    s.SetUserSession(true);
    busi.DownloadAvatar();
    Settle(busi);
    EXPECT_EQ(0u, owner.Count(msg::kAvatarSaved));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(s.UserFilePath(L"avatar.png").c_str()));
}

TEST_F(MainBusiTest, PostResultCodes) {
    Settings().uid = 12345;
    busi.AddPost(L"__code:-3", 0, 2);
    ASSERT_TRUE(owner.WaitFor(msg::kPostResult, 1));
    busi.AddPost(L"__code:0", 1, -1);
    ASSERT_TRUE(owner.WaitFor(msg::kPostResult, 2));
    busi.AddPost(L"求北京到三亚往返机票两张，下周出发", 0, 1);
    ASSERT_TRUE(owner.WaitFor(msg::kPostResult, 3));
    auto results = owner.Of(msg::kPostResult);
    EXPECT_EQ(-3, static_cast<int>(results[0].wParam));
    EXPECT_EQ(0, static_cast<int>(results[1].wParam));
    EXPECT_GT(static_cast<int>(results[2].wParam), 0);

    Json::Value got = Received("add_sq");
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ("12345", got[2]["document"]["uid"].asString());
    EXPECT_EQ(shell::WideToUtf8(L"求北京到三亚往返机票两张，下周出发"), got[2]["document"]["content"].asString());
    EXPECT_EQ("0", got[2]["document"]["type"].asString());
    EXPECT_EQ("1", got[2]["document"]["param"].asString());
    EXPECT_EQ("-1", got[1]["document"]["param"].asString());
}

TEST_F(MainBusiTest, CountsWithOnlyATotal) {
    Settings().todayPosts = 3;
    Json::Value data;
    data["total"] = "12";
    ReplyDocument("get_sq_num", Document("1", data));
    busi.GetPostCounts();
    ASSERT_TRUE(owner.WaitFor(msg::kPostCountsStored));
    EXPECT_EQ(12, Settings().totalPosts);
    EXPECT_EQ(3, Settings().todayPosts);
    Json::Value doc = Received("get_sq_num")[0]["document"];
    EXPECT_EQ(std::vector<std::string>{"time"}, doc.getMemberNames());
}

TEST_F(MainBusiTest, NegativeCountsAreStoredAsZero) {
    Settings().totalPosts = Settings().todayPosts = 7;
    Json::Value data;
    data["total"] = "-12";
    data["today"] = "-2147483648";
    ReplyDocument("get_sq_num", Document("1", data));
    busi.GetPostCounts();
    ASSERT_TRUE(owner.WaitFor(msg::kPostCountsStored));
    EXPECT_EQ(0, Settings().totalPosts);
    EXPECT_EQ(0, Settings().todayPosts);
}

TEST_F(MainBusiTest, LoginLogReports) {
    Settings().uid = 12345;
    busi.ReportStartup();
    busi.ReportLogin();
    Settle(busi);
    // The synchronous reports are out when the call returns.
    EXPECT_TRUE(busi.ReportLogout());
    EXPECT_TRUE(busi.ReportExit());
    Json::Value got = Received("login_log");
    ASSERT_EQ(4u, got.size());
    std::vector<std::string> actions;
    for (const auto& r : got) {
        actions.push_back(r["document"]["action"].asString());
        EXPECT_EQ("12345", r["document"]["uid"].asString());
        EXPECT_TRUE(r["document"].isMember("pccode"));
        EXPECT_TRUE(r["document"].isMember("time"));
        EXPECT_EQ(0u, r["body"].asString().find("sign="));
    }
    std::sort(actions.begin(), actions.end() - 2);  // the two asynchronous ones may cross
    EXPECT_EQ((std::vector<std::string>{"login", "startup", "logout", "exit"}), actions);
}

TEST_F(MainBusiTest, SynchronousReportsGiveUpAtTheirLimit) {
    FaultAction("login_log", "hang");
    Settings().uid = 12345;
    for (bool logout : {true, false}) {
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_FALSE(logout ? busi.ReportLogout() : busi.ReportExit());
        // The window closes on this call: a service that never answers
        // must not hold it much beyond the limit.
        EXPECT_LT(::GetTickCount64() - start, net::kFormPostTimeoutMs + 10000u);
    }
}

TEST_F(MainBusiTest, SynchronousReportFailsWithoutService) {
    standin.Control("POST", "close");
    // The instance answers first and closes after: wait until it is gone.
    ASSERT_TRUE(testing_support::PumpUntil(
        [&] { return testing_support::HttpCall(standin.port(), L"GET", "/__control/ping").status == 0; }, 5000));
    EXPECT_FALSE(busi.ReportExit());
}

TEST_F(MainBusiTest, CardPageLoginIsEncodedAndRetriedWithPauses) {
    AppSettings& s = Settings();
    s.userName = L"demo";
    s.password = L"demo123";
    EXPECT_EQ("username=a%26b&password=x%3Dy%2Bz+%D5%C5&submit_btn=%B5%C7+%C2%BC&action=login&forward=",
              MainBusi::WebLoginForm(L"a&b", L"x=y+z 张"));

    Json::Value fault;
    fault["path"] = "/login/cardpage/dologin";
    fault["kind"] = "status";
    fault["code"] = 503;
    fault["times"] = 2;
    standin.Fault(fault);
    busi.SetWebLoginRetryRange(200, 300);
    const ULONGLONG start = ::GetTickCount64();
    busi.WebLogin();
    ASSERT_TRUE(owner.WaitFor(msg::kWebLoginDone, 1, 10000));
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_GE(elapsed, 450u);  // two pauses: 200 then 300 (capped), never a tight loop

    Json::Value got = standin.ReceivedAt("/login/cardpage/dologin");
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ("demo", got[2]["form"]["username"].asString());
    EXPECT_EQ("demo123", got[2]["form"]["password"].asString());
    EXPECT_EQ(0u, busi.WebLoginRetryDelay());
}

}  // namespace
