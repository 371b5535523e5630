#include "net/blocking_http.h"

#include <gtest/gtest.h>

#include "shell/app_settings.h"
#include "shell/text.h"
#include "tests/support/paths.h"
#include "tests/support/standin.h"

namespace {

class BlockingHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standin.ok()) << "stand-in service not reachable (YF_STANDIN_PORT)";
        file = Settings().DataFilePath(L"download.bin");
        ::DeleteFileW(file.c_str());
    }
    void ReplyAt(const char* path, const std::string& body, int status = 200, const char* encoding = nullptr) {
        Json::Value rule;
        rule["path"] = path;
        rule["body"] = body;
        rule["status"] = status;
        if (encoding) rule["encoding"] = encoding;
        standin.Reply(rule);
    }
    void FaultAt(const char* path, const char* kind) {
        Json::Value rule;
        rule["path"] = path;
        rule["kind"] = kind;
        standin.Fault(rule);
    }
    HRESULT Download(const wchar_t* path) {
        return DownloadToFile(L"127.0.0.1", path, file, CREATE_ALWAYS, standin.port());
    }
    std::wstring Url(const char* path) const {
        return shell::FormatW(L"http://127.0.0.1:%u", standin.port()) + shell::AnsiToWide(path);
    }

    testing_support::StandIn standin;
    std::wstring file;
};

TEST_F(BlockingHttpTest, DownloadOutcomes) {
    ReplyAt("/f/whole", std::string(30000, 'w'));
    EXPECT_EQ(S_OK, Download(L"/f/whole"));
    EXPECT_EQ(30000u, testing_support::ReadFileBytes(file).size());

    ::DeleteFileW(file.c_str());
    ReplyAt("/f/missing", "not here", 404);
    EXPECT_EQ(E_FAIL, Download(L"/f/missing"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(file.c_str()));

    ReplyAt("/f/dropped", std::string(40000, 'd'));
    FaultAt("/f/dropped", "drop");
    EXPECT_EQ(1, Download(L"/f/dropped"));
    size_t partial = testing_support::ReadFileBytes(file).size();
    EXPECT_GT(partial, 0u);
    EXPECT_LT(partial, 40000u);

    EXPECT_EQ(E_FAIL, DownloadToFile(L"127.0.0.1", L"/f/whole", file, CREATE_ALWAYS, 1));  // nobody there
}

TEST_F(BlockingHttpTest, FetchTextNeedsALength) {
    ReplyAt("/t/notice", "版本说明", 200, "gbk");
    EXPECT_EQ(L"版本说明", FetchText(Url("/t/notice")));

    ReplyAt("/t/nolength", "body without a length");
    FaultAt("/t/nolength", "no_length");
    EXPECT_EQ(L"", FetchText(Url("/t/nolength")));

    Json::Value rule;
    rule["path"] = "/t/huge";
    rule["kind"] = "bad_length";
    rule["length"] = 2000000000;
    ReplyAt("/t/huge", "small");
    standin.Fault(rule);
    EXPECT_EQ(L"", FetchText(Url("/t/huge")));  // never sized by the header
}

TEST_F(BlockingHttpTest, FetchTextOfAnErrorPageIsEmpty) {
    ReplyAt("/t/missing", "<html>not found</html>", 404);
    EXPECT_EQ(L"", FetchText(Url("/t/missing")));
    ReplyAt("/t/broken", "<html>error</html>", 500);
    EXPECT_EQ(L"", FetchText(Url("/t/broken")));
    ReplyAt("/t/fine", "lastVersion=1.0.1.0");
    EXPECT_EQ(L"lastVersion=1.0.1.0", FetchText(Url("/t/fine")));
}

TEST_F(BlockingHttpTest, EveryHelperGivesUpAtItsLimit) {
    for (const char* path : {"/h/file", "/h/text", "/h/form"}) FaultAt(path, "hang");
    // Generous margins: only a helper that hangs should fail here.
    ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(E_FAIL, DownloadToFile(L"127.0.0.1", L"/h/file", file, CREATE_ALWAYS, standin.port(), 1000));
    EXPECT_LT(::GetTickCount64() - start, 10000u);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(file.c_str()));

    start = ::GetTickCount64();
    EXPECT_EQ(L"", FetchText(Url("/h/text"), 1000));
    EXPECT_LT(::GetTickCount64() - start, 10000u);

    start = ::GetTickCount64();
    std::wstring reply = L"untouched";
    EXPECT_FALSE(PostFormSync(Url("/h/form"), L"a=1", &reply, standin.port(), 0, 1000));
    EXPECT_LT(::GetTickCount64() - start, 10000u);
    EXPECT_EQ(L"untouched", reply);
}

TEST_F(BlockingHttpTest, RedirectsAreNotFollowed) {
    for (const char* path : {"/r/file", "/r/text", "/r/form"}) FaultAt(path, "redirect");  // each to itself
    EXPECT_EQ(E_FAIL, Download(L"/r/file"));
    EXPECT_EQ(L"", FetchText(Url("/r/text")));
    PostFormSync(Url("/r/form"), L"a=1", nullptr, standin.port());
    for (const char* path : {"/r/file", "/r/text", "/r/form"}) {
        EXPECT_EQ(1u, standin.ReceivedAt(path).size()) << path;
    }
}

TEST_F(BlockingHttpTest, PostFormSyncSendsTheForm) {
    ReplyAt("/p/form", "thanks");
    std::wstring reply;
    EXPECT_TRUE(PostFormSync(Url("/p/form"), L"a=1&b=二", &reply, standin.port()));
    EXPECT_EQ(L"thanks", reply);
    Json::Value got = standin.ReceivedAt("/p/form");
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("POST", got[0]["method"].asString());
    std::string hex;
    for (unsigned char c : shell::WideToAnsi(L"a=1&b=二")) hex += shell::Format("%02x", c);
    EXPECT_EQ(hex, got[0]["body_hex"].asString());  // the form goes in the ANSI code page
    std::string contentType;
    for (const auto& name : got[0]["headers"].getMemberNames()) {
        if (_stricmp(name.c_str(), "Content-Type") == 0) contentType = got[0]["headers"][name].asString();
    }
    EXPECT_EQ("application/x-www-form-urlencoded", contentType);
    EXPECT_FALSE(PostFormSync(Url("/p/form"), L"x", nullptr, 1));
}

}  // namespace
