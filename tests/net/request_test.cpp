// One request's phases and its reading of replies, against the stand-in
// service over loopback.
#include "net/http_request.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include "api/envelope.h"
#include "shell/text.h"
#include "tests/support/recording_manager.h"
#include "tests/support/standin.h"

using testing_support::RecordingManager;
using testing_support::StandIn;

namespace {

class RequestTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(standin.ok()) << "stand-in service not reachable (YF_STANDIN_PORT)"; }

    HttpRequestHeader Get(const std::string& path) {
        HttpRequestHeader h(0, standin.port());
        h.url = shell::FormatW(L"http://127.0.0.1:%u", standin.port()) + shell::AnsiToWide(path);
        return h;
    }
    void ReplyAt(const std::string& path, const std::string& body, int status = 200) {
        Json::Value rule;
        rule["path"] = path;
        rule["body"] = body;
        rule["status"] = status;
        standin.Reply(rule);
    }
    void FaultAt(const std::string& path, const char* kind, const char* key = nullptr, int value = 0) {
        Json::Value rule;
        rule["path"] = path;
        rule["kind"] = kind;
        if (key) rule[key] = value;
        standin.Fault(rule);
    }
    Json::Value Header(const Json::Value& record, const char* name) {
        for (const auto& key : record["headers"].getMemberNames()) {
            if (_stricmp(key.c_str(), name) == 0) return record["headers"][key];
        }
        return Json::Value();
    }

    StandIn standin;
    RecordingManager m;
};

TEST_F(RequestTest, BodyWithContentLengthIsComplete) {
    ReplyAt("/t/plain", "hello world");
    int id = m.StartRequest(Get("/t/plain"));
    ASSERT_TRUE(m.WaitFinished(1));
    const auto* o = m.Find(id);
    ASSERT_NE(nullptr, o);
    EXPECT_EQ(200, o->status);
    EXPECT_EQ(11, o->contentLength);
    EXPECT_EQ(11, o->received);
    EXPECT_EQ("hello world", o->body);
    EXPECT_TRUE(o->readComplete);
}

TEST_F(RequestTest, BodyWithoutContentLengthRestsOnTheLastRead) {
    ReplyAt("/t/nolength", "close-delimited body");
    FaultAt("/t/nolength", "no_length");
    m.StartRequest(Get("/t/nolength"));
    ASSERT_TRUE(m.WaitFinished(1));
    const auto& o = m.finished[0];
    EXPECT_EQ(0, o.contentLength);
    EXPECT_TRUE(o.readComplete);
    EXPECT_EQ("close-delimited body", o.body);
}

TEST_F(RequestTest, ConnectionDroppedHalfwayIsIncomplete) {
    ReplyAt("/t/drop", std::string(20000, 'x'));
    FaultAt("/t/drop", "drop");
    m.StartRequest(Get("/t/drop"));
    ASSERT_TRUE(m.WaitFinished(1));
    const auto& o = m.finished[0];
    EXPECT_EQ(20000, o.contentLength);
    EXPECT_LT(o.received, 20000);
}

TEST_F(RequestTest, StatusCodeIsReported) {
    ReplyAt("/t/missing", "nope", 404);
    FaultAt("/t/error", "status", "code", 500);
    m.StartRequest(Get("/t/missing"));
    m.StartRequest(Get("/t/error"));
    ASSERT_TRUE(m.WaitFinished(2));
    EXPECT_EQ(404, m.Find(100)->status);
    EXPECT_EQ(500, m.Find(101)->status);
}

TEST_F(RequestTest, UnreachableHostStillReportsEveryEvent) {
    // A port nobody listens on: take a free one and let it go.
    WSADATA wsa;
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    int len = sizeof(addr);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    ::closesocket(s);
    const unsigned short port = ntohs(addr.sin_port);

    HttpRequestHeader h(1, port);
    h.url = shell::FormatW(L"http://127.0.0.1:%u/x", port);
    h.body = "a=1";
    int id = m.StartRequest(h);
    ASSERT_TRUE(m.WaitFinished(1, 20000));
    EXPECT_EQ(1u, m.headers.size());
    EXPECT_EQ(id, m.finished[0].id);
    EXPECT_EQ(0, m.finished[0].status);
}

TEST_F(RequestTest, OversizedReplyStopsAtTheBound) {
    ReplyAt("/t/big", std::string(300000, 'y'));
    HttpRequestHeader h = Get("/t/big");
    h.maxBody = 100000;
    m.StartRequest(h);
    ASSERT_TRUE(m.WaitFinished(1));
    const auto& o = m.finished[0];
    EXPECT_TRUE(o.overflowed);
    EXPECT_FALSE(o.readComplete);
    EXPECT_LE(o.received, 100000);
}

TEST_F(RequestTest, RangeAndBodiesAreSentAsAsked) {
    ReplyAt("/t/range", "r");
    HttpRequestHeader ranged = Get("/t/range");
    ranged.rangeStart = 1000;
    ranged.extraHeaders = L"X-Probe: 1\r\n";
    m.StartRequest(ranged);
    m.StartRequest(Get("/t/range"));  // range 0: no header
    HttpRequestHeader emptyPost = Get("/t/range");
    emptyPost.verb = 1;
    m.StartRequest(emptyPost);
    ASSERT_TRUE(m.WaitFinished(3));

    Json::Value got = standin.ReceivedAt("/t/range");
    ASSERT_EQ(3u, got.size());
    int withRange = 0;
    for (const auto& r : got) {
        if (!Header(r, "Range").isNull()) {
            ++withRange;
            EXPECT_EQ("bytes=1000-", Header(r, "Range").asString());
            EXPECT_EQ("1", Header(r, "X-Probe").asString());
        }
        EXPECT_EQ("", r["body"].asString());
    }
    EXPECT_EQ(1, withRange);
}

TEST_F(RequestTest, RedirectsAreNotFollowed) {
    FaultAt("/t/loop", "redirect");  // to itself
    int id = m.StartRequest(Get("/t/loop"));
    ASSERT_TRUE(m.WaitFinished(1, 10000));
    EXPECT_EQ(302, m.Find(id)->status);
    EXPECT_EQ(1u, standin.ReceivedAt("/t/loop").size());
}

}  // namespace
