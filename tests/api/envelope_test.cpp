#include "api/envelope.h"

#include <gtest/gtest.h>

#include "api/program_version.h"
#include "shell/text_cipher.h"
#include "shell/text.h"
#include "tests/support/recording_manager.h"
#include "tests/support/standin.h"

using testing_support::RecordingManager;
using testing_support::StandIn;

// The request documents are written in the library's indented form.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#elif defined(_MSC_VER)
#pragma warning(disable : 4996)
#endif

namespace {

class EnvelopeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(standin.ok()) << "stand-in service not reachable (YF_STANDIN_PORT)"; }
    StandIn standin;
};

TEST_F(EnvelopeTest, RequestRecordFollowsTheRecipe) {
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["user"] = shell::WideToUtf8(L"demo");
    HttpRequestHeader h = api::ApiRequest("login", doc);
    EXPECT_EQ(1, h.verb);
    EXPECT_EQ(standin.port(), h.port);
    EXPECT_EQ(shell::FormatW(L"http://127.0.0.1:%u/rovavoda.php/rovavoda/api/login", standin.port()), h.url);
    EXPECT_EQ(L"Content-Type: application/x-www-form-urlencoded\r\n", h.extraHeaders);
    const std::string ver = "&ver=" + shell::WideToAnsi(ProgramVersion().text);
    ASSERT_EQ(0u, h.body.find("sign="));
    ASSERT_EQ(h.body.size() - ver.size(), h.body.find(ver));
    std::string hex = h.body.substr(5, h.body.size() - 5 - ver.size());
    EXPECT_EQ(api::SerializeDocument(doc), DecryptText(hex));

    HttpRequestHeader t = api::GetTimeRequest();
    EXPECT_EQ(0, t.verb);
    EXPECT_TRUE(t.body.empty());
    EXPECT_TRUE(t.extraHeaders.empty());
}

TEST_F(EnvelopeTest, TheServiceReceivesTheExactWireFormat) {
    RecordingManager m;
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["user"] = shell::WideToUtf8(L"demo");
    doc["pass"] = shell::WideToUtf8(L"demo123");
    HttpRequestHeader h = api::ApiRequest("login", doc);
    int id = m.StartRequest(h);
    ASSERT_TRUE(m.WaitFinished(1));

    Json::Value got = standin.ReceivedAt("/rovavoda.php/rovavoda/api/login");
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("POST", got[0]["method"].asString());
    EXPECT_EQ(h.body, got[0]["body"].asString());
    const Json::Value& headers = got[0]["headers"];
    std::string contentType;
    for (const auto& name : headers.getMemberNames()) {
        if (_stricmp(name.c_str(), "Content-Type") == 0) contentType = headers[name].asString();
    }
    EXPECT_EQ("application/x-www-form-urlencoded", contentType);
    EXPECT_EQ("demo", got[0]["document"]["user"].asString());
    EXPECT_EQ(doc["time"].asString(), got[0]["document"]["time"].asString());

    const auto* o = m.Find(id);
    ASSERT_NE(nullptr, o);
    EXPECT_EQ(200, o->status);
    api::Reply reply;
    ASSERT_TRUE(api::ReadReply(o->body, true, reply));
    EXPECT_TRUE(reply.Usable());
    EXPECT_GE(reply.StatusValue(), 0);
    std::string uid;
    EXPECT_TRUE(api::StringMember(reply.data, "uid", uid));
    EXPECT_FALSE(uid.empty());
}

TEST_F(EnvelopeTest, UserTextTravelsAsUtf8AndArrivesIntact) {
    RecordingManager m;
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["content"] = shell::WideToUtf8(L"求北京到三亚机票报价");
    m.StartRequest(api::ApiRequest("add_sq", doc));
    ASSERT_TRUE(m.WaitFinished(1));
    Json::Value got = standin.ReceivedAt("/rovavoda.php/rovavoda/api/add_sq");
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(shell::WideToUtf8(L"求北京到三亚机票报价"), got[0]["document"]["content"].asString());
}

TEST_F(EnvelopeTest, AnsiMembersReachTheServiceAsTheirBytes) {
    RecordingManager m;
    const std::string ansi = shell::WideToAnsi(L"张三誠\\\"x");  // 誠 ends in 0x5C
    ASSERT_EQ(std::string("\xD5\xC5\xC8\xFD\xD5\x5C\\\"x"), ansi);
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["content"] = shell::WideToUtf8(L"求北京");
    doc["prov_list"] = ansi;
    m.StartRequest(api::ApiRequest("add_sq_rss", doc, {"prov_list"}));
    ASSERT_TRUE(m.WaitFinished(1));
    Json::Value got = standin.ReceivedAt("/rovavoda.php/rovavoda/api/add_sq_rss");
    ASSERT_EQ(1u, got.size());
    auto hex = [](const std::string& bytes) {
        std::string out;
        for (unsigned char c : bytes) out += shell::Format("%02x", c);
        return out;
    };
    EXPECT_EQ(hex(ansi), got[0]["member_hex"]["prov_list"].asString());
    EXPECT_EQ(hex(shell::WideToUtf8(L"求北京")), got[0]["member_hex"]["content"].asString());
}

TEST_F(EnvelopeTest, GetTimeRoundTrip) {
    standin.SetState([] {
        Json::Value s;
        s["now"] = 1700000123;
        s["freeze"] = true;  // a second may pass before the request
        return s;
    }());
    RecordingManager m;
    m.StartRequest(api::GetTimeRequest());
    ASSERT_TRUE(m.WaitFinished(1));
    api::Reply reply;
    ASSERT_TRUE(api::ReadReply(m.finished[0].body, false, reply));
    std::string t;
    ASSERT_TRUE(api::FirstString(reply.data, t));
    EXPECT_EQ("1700000123", t);
    EXPECT_EQ("GET", standin.ReceivedAt("/rovavoda.php/rovavoda/api/get_time")[0]["method"].asString());
}

TEST(RequestDocument, AnsiMembersKeepTheLibraryLayout) {
    Json::Value doc;
    doc["time"] = "1700000000";
    doc["content"] = shell::WideToUtf8(L"张\"\\\t");
    doc["pccode"] = "00163E5A1B2C";
    doc["prov_list"] = "11,\x01\"\\";
    // Nothing beyond ASCII in the ANSI members: exactly the library's text.
    EXPECT_EQ(Json::StyledWriter().write(doc), api::SerializeDocument(doc, {"pccode", "prov_list"}));
    EXPECT_EQ(Json::StyledWriter().write(doc), api::SerializeDocument(doc));

    Json::Value placeholder = doc;
    placeholder["prov_list"] = "P";
    std::string expected = Json::StyledWriter().write(placeholder);
    expected.replace(expected.find("\"P\""), 3, "\"\xD5\xC5\xD5\\\\\\\"\"");  // the bytes, quote and backslash escaped
    doc["prov_list"] = std::string("\xD5\xC5\xD5\x5C\"");
    EXPECT_EQ(expected, api::SerializeDocument(doc, {"pccode", "prov_list"}));

    Json::Value nested;
    nested["a"]["b"] = "c";
    EXPECT_EQ(Json::StyledWriter().write(nested), api::SerializeDocument(nested, {"a"}));
    EXPECT_EQ("{}\n", api::SerializeDocument(Json::Value(Json::objectValue), {"a"}));
}

TEST(ReplyReading, HostileBodiesAreRefusedQuietly) {
    api::Reply reply;
    EXPECT_FALSE(api::ReadReply("", false, reply));
    EXPECT_FALSE(api::ReadReply("<html>502 Bad Gateway</html>", false, reply));
    EXPECT_FALSE(api::ReadReply(EncryptText("{not json"), false, reply));
    EXPECT_FALSE(api::ReadReply(EncryptText("[1,2]"), false, reply));
    // Nesting deep enough to make the parser give up must not bring us down.
    EXPECT_FALSE(api::ReadReply(EncryptText(std::string(5000, '[') + std::string(5000, ']')), false, reply));

    ASSERT_TRUE(api::ReadReply(EncryptText("{\"status\":\"0\"}"), false, reply));
    EXPECT_FALSE(reply.Usable());
    ASSERT_TRUE(api::ReadReply(EncryptText("{\"status\":\"-1x\",\"data\":[\"5\"]}"), false, reply));
    EXPECT_TRUE(reply.Usable());
    EXPECT_EQ(-1, reply.StatusValue());
    std::string first;
    EXPECT_TRUE(api::FirstString(reply.data, first));
    EXPECT_EQ("5", first);
    EXPECT_FALSE(api::StringMember(reply.data, "x", first));  // an array is no record
}

TEST(ReplyReading, DecimalReadingIsLenient) {
    EXPECT_EQ(12, shell::ReadDecimal("  12abc"));
    EXPECT_EQ(-5, shell::ReadDecimal("-5"));
    EXPECT_EQ(0, shell::ReadDecimal("abc"));
    EXPECT_EQ(INT32_MAX, shell::ReadDecimal("99999999999999"));
    EXPECT_EQ(1700000000123LL, shell::ReadDecimal64("1700000000123"));
    // Saturates rather than wrapping round.
    EXPECT_EQ(INT64_MAX, shell::ReadDecimal64("18446744073709551616"));
    EXPECT_EQ(INT64_MAX, shell::ReadDecimal64("18446744073709551617"));
    EXPECT_EQ(INT64_MIN, shell::ReadDecimal64("-99999999999999999999999"));
    EXPECT_EQ(INT32_MIN, shell::ReadDecimal("-4294967296"));
}

}  // namespace
