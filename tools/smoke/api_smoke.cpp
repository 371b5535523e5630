// A console round trip against the service named in "service.ini" beside
// this program: synchronise the clock, sign in, read the counters.
//   api_smoke [user] [password]
#include <windows.h>

#include <cstdio>
#include <string>

#include "api/envelope.h"
#include "api/server_clock.h"
#include "net/request_manager.h"
#include "shell/service_config.h"
#include "shell/text.h"

namespace {

class SmokeManager : public FCHttpRequestManager {
public:
    bool done = false;
    bool ok = false;
    api::Reply reply;
    int status = 0;
    bool unescape = false;

protected:
    void OnRequestFinished(FCHttpRequest& r) override {
        done = true;
        status = r.StatusCode();
        std::string body;
        r.PopReceivedData(body);
        ok = api::IsReplyAccepted(r) && api::ReadReply(body, unescape, reply) && reply.Usable();
    }
};

bool Run(SmokeManager& m, const HttpRequestHeader& h, bool unescape) {
    m.done = m.ok = false;
    m.unescape = unescape;
    m.StartRequest(h);
    const ULONGLONG deadline = ::GetTickCount64() + 15000;
    MSG msg;
    while (!m.done && ::GetTickCount64() < deadline) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return m.ok;
}

std::string Show(const Json::Value& v) {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    b["emitUTF8"] = true;
    return Json::writeString(b, v);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring user = argc > 1 ? argv[1] : L"demo";
    std::wstring pass = argc > 2 ? argv[2] : L"demo123";
    const ServiceConfig& config = Service();
    std::printf("service %s\n", shell::WideToUtf8(config.ServiceOrigin()).c_str());

    SmokeManager m;
    if (!Run(m, api::GetTimeRequest(), false)) {
        std::printf("get_time failed (HTTP %d)\n", m.status);
        return 1;
    }
    std::string t;
    api::FirstString(m.reply.data, t);
    SetServerTime(shell::ReadDecimal64(t));
    std::printf("get_time: server clock %s\n", t.c_str());

    Json::Value login;
    login["time"] = api::TimeText();
    login["user"] = shell::WideToUtf8(user);
    login["pass"] = shell::WideToUtf8(pass);
    if (!Run(m, api::ApiRequest("login", login), true)) {
        std::printf("login failed (HTTP %d)\n", m.status);
        return 1;
    }
    if (m.reply.data.isArray()) {
        std::printf("login refused: %s\n", Show(m.reply.data).c_str());
        return 1;
    }
    std::string uid, title;
    api::StringMember(m.reply.data, "uid", uid);
    api::StringMember(m.reply.data, "title", title);
    std::printf("login: uid %s, %s\n", uid.c_str(), shell::WideToUtf8(shell::AnsiToWide(title)).c_str());

    Json::Value counts;
    counts["time"] = api::TimeText();
    if (!Run(m, api::ApiRequest("get_sq_num", counts), false)) {
        std::printf("get_sq_num failed (HTTP %d)\n", m.status);
        return 1;
    }
    std::printf("get_sq_num: %s\n", Show(m.reply.data).c_str());
    std::printf("round trip ok\n");
    return 0;
}
