#include "api/login_busi.h"

#include "shell/messages.h"
#include "shell/text.h"
#include "tests/support/service_fixture.h"

namespace {

class LoginBusiTest : public testing_support::ServiceTest {
protected:
    // Signs in and returns the (wParam, lParam) of the one 2068 posted.
    std::pair<WPARAM, LPARAM> Login(const wchar_t* user, const wchar_t* pass) {
        busi.Login(user, pass);
        EXPECT_TRUE(owner.WaitFor(msg::kLoginResult));
        auto got = owner.Of(msg::kLoginResult);
        if (got.empty()) return {99, 99};
        return {got[0].wParam, got[0].lParam};
    }
    LoginBusi busi{owner.hwnd()};
};

TEST_F(LoginBusiTest, SuccessStoresTheProfile) {
    EXPECT_EQ((std::pair<WPARAM, LPARAM>{1, 0}), Login(L"demo", L"demo123"));
    const AppSettings& s = Settings();
    EXPECT_EQ(12345u, s.uid);
    EXPECT_EQ(6789, s.id);
    EXPECT_EQ(L"Yunfan Demo Travel", s.title);
    EXPECT_EQ(L"Demo User", s.contactName);
    EXPECT_EQ(1, s.certStatus);
    EXPECT_TRUE(s.postedFlag);
    Json::Value got = Received("login");
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("demo", got[0]["document"]["user"].asString());
    EXPECT_EQ("demo123", got[0]["document"]["pass"].asString());
    EXPECT_FALSE(got[0]["document"]["time"].asString().empty());
}

TEST_F(LoginBusiTest, EscapedChineseProfileArrivesIntact) {
    EXPECT_EQ((std::pair<WPARAM, LPARAM>{1, 0}), Login(L"zhang", L"zhang123"));
    const AppSettings& s = Settings();
    EXPECT_EQ(1001u, s.uid);
    EXPECT_EQ(L"云帆国际旅行社", s.title);
    EXPECT_EQ(L"张三", s.contactName);
    EXPECT_EQ(L"小张", s.nickname);
    EXPECT_EQ(L"市场部", s.department);
    EXPECT_EQ(std::string("\xD5\xC5\xC8\xFD"), shell::WideToAnsi(s.contactName));  // GBK
}

TEST_F(LoginBusiTest, ServiceErrorCodes) {
    EXPECT_EQ((std::pair<WPARAM, LPARAM>{0, -1}), Login(L"nobody", L"x"));
    owner.Clear();
    EXPECT_EQ((std::pair<WPARAM, LPARAM>{0, -2}), Login(L"demo", L"wrong"));
    for (int code = 3; code <= 5; ++code) {
        owner.Clear();
        std::wstring user = L"err" + std::to_wstring(code);
        EXPECT_EQ((std::pair<WPARAM, LPARAM>{0, -code}), Login(user.c_str(), user.c_str()));
    }
    EXPECT_EQ(0u, Settings().uid);  // no profile stored for a refusal
}

TEST_F(LoginBusiTest, NoUsableAnswerIsReportedAsNetworkFailure) {
    FaultAction("login", "status", "code", 500);
    EXPECT_EQ((std::pair<WPARAM, LPARAM>{0, 0}), Login(L"demo", L"demo123"));
    owner.Clear();
    FaultAction("login", "drop");
    EXPECT_EQ((std::pair<WPARAM, LPARAM>{0, 0}), Login(L"demo", L"demo123"));
    EXPECT_EQ(0u, Settings().uid);
}

TEST_F(LoginBusiTest, AHungLoginEndsAsANetworkFailureAtItsLimit) {
    api::SetRequestTimeLimit(500);
    FaultAction("login", "hang");
    const ULONGLONG start = ::GetTickCount64();
    busi.Login(L"demo", L"demo123");
    ASSERT_TRUE(owner.WaitFor(msg::kLoginResult, 1, 10000));
    EXPECT_LT(::GetTickCount64() - start, 8000u);
    auto got = owner.Of(msg::kLoginResult);
    EXPECT_EQ(0u, got[0].wParam);
    EXPECT_EQ(0, got[0].lParam);
    Settle(busi);
    EXPECT_EQ(1u, owner.Count(msg::kLoginResult));
}

TEST_F(LoginBusiTest, UnusableRepliesEndTheWaitAsAFailure) {
    const Json::Value cases[] = {
        Document("0", Strings({"3"})),                 // a positive code
        Document("-1", Strings({"-2"})),               // a negative status
        Document("0", Json::Value("-2")),              // data as a string
    };
    for (const auto& doc : cases) {
        owner.Clear();
        ReplyDocument("login", doc);
        EXPECT_EQ((std::pair<WPARAM, LPARAM>{0, 0}), Login(L"demo", L"demo123"));
        Settle(busi);
        EXPECT_EQ(1u, owner.Count(msg::kLoginResult));
    }
    for (const char* kind : {"garbage", "bad_json", "nonhex"}) {
        owner.Clear();
        FaultAction("login", kind);
        EXPECT_EQ((std::pair<WPARAM, LPARAM>{0, 0}), Login(L"demo", L"demo123")) << kind;
        Settle(busi);
        EXPECT_EQ(1u, owner.Count(msg::kLoginResult)) << kind;
    }
    EXPECT_EQ(0u, Settings().uid);
}

TEST_F(LoginBusiTest, PostedFlagRules) {
    Json::Value profile;
    profile["uid"] = "77";
    profile["posted_flag"] = "2";
    Settings().postedFlag = true;
    ReplyDocument("login", Document("1", profile));
    EXPECT_EQ((std::pair<WPARAM, LPARAM>{1, 0}), Login(L"demo", L"demo123"));
    EXPECT_FALSE(Settings().postedFlag);  // only 1 means accepted
    EXPECT_EQ(77u, Settings().uid);

    owner.Clear();
    profile.removeMember("posted_flag");
    profile["title"] = 5;  // not a string: left alone
    Settings().postedFlag = true;
    Settings().title = L"kept";
    ReplyDocument("login", Document("1", profile));
    EXPECT_EQ((std::pair<WPARAM, LPARAM>{1, 0}), Login(L"demo", L"demo123"));
    EXPECT_TRUE(Settings().postedFlag);
    EXPECT_EQ(L"kept", Settings().title);
}

TEST_F(LoginBusiTest, AReplyWithoutAUserIsAFailedLogin) {
    Json::Value noData;
    noData["status"] = "1";
    Json::Value noUid;
    noUid["title"] = "x";
    Json::Value zeroUid;
    zeroUid["uid"] = "0";
    Json::Value wordUid;
    wordUid["uid"] = "abc";
    Json::Value negativeUid;
    negativeUid["uid"] = "-7";
    Json::Value hugeUid;
    hugeUid["uid"] = "4294967296";
    Json::Value numberUid;
    numberUid["uid"] = 77;
    const Json::Value cases[] = {
        noData,
        Document("1", Json::Value(Json::arrayValue)),
        Document("1", Json::Value(Json::objectValue)),
        Document("1", Json::Value(5)),
        Document("1", noUid),
        Document("1", zeroUid),
        Document("1", wordUid),
        Document("1", negativeUid),
        Document("1", hugeUid),
        Document("1", numberUid),
    };
    Settings().title = L"kept";
    for (const auto& doc : cases) {
        owner.Clear();
        ReplyDocument("login", doc);
        EXPECT_EQ((std::pair<WPARAM, LPARAM>{0, 0}), Login(L"demo", L"demo123"))
            << testing_support::ToJson(doc);
        EXPECT_EQ(0u, Settings().uid);
    }
    EXPECT_EQ(L"kept", Settings().title);  // nothing of a refused profile is stored

    owner.Clear();
    Json::Value single;
    single["uid"] = "5";  // one member, yet a profile and not an error code
    ReplyDocument("login", Document("1", single));
    EXPECT_EQ((std::pair<WPARAM, LPARAM>{1, 0}), Login(L"demo", L"demo123"));
    EXPECT_EQ(5u, Settings().uid);
}

}  // namespace
