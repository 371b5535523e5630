#include "api/open_url_syn_login.h"

#include "shell/md5.h"
#include "api/pc_code.h"
#include "api/server_clock.h"
#include "net/shell_open.h"
#include "shell/text.h"
#include "tests/support/fake_clock.h"
#include "tests/support/service_fixture.h"

namespace {

std::vector<std::wstring> g_opened;
HINSTANCE Capture(const std::wstring& file, const std::wstring& params) {
    g_opened.push_back(params.empty() ? file : file + L" " + params);
    return reinterpret_cast<HINSTANCE>(42);
}

class SynLoginTest : public testing_support::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        g_opened.clear();
        SetShellExecute(&Capture);
    }
    void TearDown() override {
        SetShellExecute(nullptr);
        ServiceTest::TearDown();
    }
    void SignIn() {
        AppSettings& s = Settings();
        s.uid = 12345;
        s.signedIn = true;
        Json::Value state;
        state["token"] = "T0KEN-abc";
        standin.SetState(state);
        sso.RequestToken();
        ASSERT_TRUE(testing_support::PumpUntil([&] { return !sso.Token().empty(); }, 5000));
    }
    std::wstring Page() const { return shell::FormatW(L"http://127.0.0.1:%u/notice", standin.port()); }

    OpenUrlSynLogin sso;
};

TEST_F(SynLoginTest, SignedOutOpensThePageItself) {
    EXPECT_TRUE(sso.OpenUrl(Page()));
    ASSERT_EQ(1u, g_opened.size());
    EXPECT_EQ(Page(), g_opened[0]);
}

TEST_F(SynLoginTest, TokenRequestCarriesTheMachine) {
    SignIn();
    EXPECT_EQ("T0KEN-abc", sso.Token());
    Json::Value doc = Received("get_token")[0]["document"];
    EXPECT_EQ("12345", doc["uid"].asString());
    EXPECT_EQ(shell::WideToAnsi(GetPcCode()), doc["pccode"].asString());
}

TEST_F(SynLoginTest, SignedInOpensTheVerifiedSignOnAddress) {
    SignIn();
    sso.OpenUrl(Page());
    ASSERT_EQ(1u, g_opened.size());
    const std::wstring prefix = shell::FormatW(L"http://127.0.0.1:%u/alogin?sign=", standin.port());
    ASSERT_EQ(0u, g_opened[0].find(prefix));
    EXPECT_NE(std::wstring::npos, g_opened[0].find(L"&ver="));

    // Follow it as a browser would; the service checks digest, time and page.
    std::string path = shell::WideToAnsi(g_opened[0].substr(g_opened[0].find(L"/alogin")));
    testing_support::HttpCall(standin.port(), L"GET", path);
    Json::Value check = standin.State()["alogin"];
    EXPECT_TRUE(check["ok"].asBool()) << check["reason"].asString();
    EXPECT_EQ(shell::WideToAnsi(Page()), check["defaulturl"].asString());
    EXPECT_EQ("12345", check["uid"].asString());
    EXPECT_EQ(Md5Hex("T0KEN-abc" + check["time"].asString() + check["pccode"].asString() + "12345"),
              check["token"].asString());
}

TEST_F(SynLoginTest, ChinesePagesReachTheServiceByteForByte) {
    SignIn();
    // 誠 has the trail byte 0x5C, a backslash when read byte by byte.
    const std::wstring page = Page() + L"?q=张三誠&t=\\\"x\"";
    const std::string ansi = shell::WideToAnsi(page);
    ASSERT_NE(std::string::npos, ansi.find("\xD5\xC5\xC8\xFD\xD5\x5C"));
    std::string hex;
    for (unsigned char c : ansi) hex += shell::Format("%02x", c);

    sso.OpenUrl(page);
    ASSERT_EQ(1u, g_opened.size());
    std::string path = shell::WideToAnsi(g_opened[0].substr(g_opened[0].find(L"/alogin")));
    testing_support::HttpCall(standin.port(), L"GET", path);
    Json::Value check = standin.State()["alogin"];
    EXPECT_EQ(hex, check["defaulturl_hex"].asString());
    EXPECT_TRUE(check["ok"].asBool()) << check["reason"].asString();
}

TEST_F(SynLoginTest, TwoCallsASecondApartDiffer) {
    SignIn();
    testing_support::FakeClock clock(1700000000);
    std::wstring first = sso.SignOnAddress(Page());
    clock.Advance(1);
    std::wstring second = sso.SignOnAddress(Page());
    EXPECT_NE(first, second);
}

TEST_F(SynLoginTest, RefusedTokenReplyKeepsTheOldToken) {
    SignIn();
    ReplyDocument("get_token", Document("-1", Strings({"NEW"})));
    sso.RequestToken();
    Settle(sso);
    EXPECT_EQ("T0KEN-abc", sso.Token());
}

}  // namespace
