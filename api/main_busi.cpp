#include "api/main_busi.h"

#include <process.h>

#include <algorithm>

#include "api/envelope.h"
#include "api/pc_code.h"
#include "api/server_clock.h"
#include "net/background_work.h"
#include "net/blocking_http.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/network_image.h"
#include "shell/service_config.h"
#include "shell/text.h"
#include "shell/unique_handle.h"

namespace {

// A picture bigger than this is not the user's avatar.
constexpr uint32_t kMaxAvatarBytes = 4u * 1024 * 1024;

// Form values go as percent-encoded ANSI bytes, so that "&", "=" or "+" in
// a name or password cannot reshape the form.
std::string FormEncode(const std::wstring& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : shell::WideToAnsi(text)) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.' || c == '*') {
            out.push_back(static_cast<char>(c));
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 0x0F]);
        }
    }
    return out;
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

void MainBusi::SyncServerTime() {
    Cancel(timeRetry_);
    timeId_ = StartRequest(api::GetTimeRequest());
}

std::string MainBusi::AvatarPath(uint32_t uid) {
    // Pictures live in folders of a thousand users each.
    return shell::Format("/uploads/photos/%u/s_%u.png", static_cast<unsigned>((uint64_t(uid) + 999) / 1000), uid);
}

void MainBusi::DownloadAvatar() {
    HttpRequestHeader h(HttpRequestHeader::kGet, Service().port);
    h.url = Service().WebOrigin() + shell::AnsiToWide(AvatarPath(Settings().uid));
    h.maxBody = kMaxAvatarBytes;
    h.timeout = api::RequestTimeLimit();
    avatarId_ = StartRequest(h);
}

std::string MainBusi::WebLoginForm(const std::wstring& userName, const std::wstring& password) {
    return "username=" + FormEncode(userName) + "&password=" + FormEncode(password) +
           "&submit_btn=%B5%C7+%C2%BC&action=login&forward=";
}

void MainBusi::WebLogin() {
    // An explicit login starts the retry pauses afresh.
    Cancel(webLoginRetry_);
    webLoginRetry_.delay = webLoginRetry_.first;
    SendWebLogin();
}

void MainBusi::CancelWebLogin() {
    Cancel(webLoginRetry_);
    webLoginRetry_.delay = webLoginRetry_.first;
    webLoginId_ = -1;
}

void MainBusi::SendWebLogin() {
    HttpRequestHeader h(HttpRequestHeader::kPost, Service().port);
    h.url = Service().WebOrigin() + L"/login/cardpage/dologin";
    h.extraHeaders = L"Content-Type: application/x-www-form-urlencoded\r\nConnection:Keep-Alive";
    h.body = WebLoginForm(Settings().userName, Settings().password);
    h.maxBody = api::kMaxReplyBytes;
    h.timeout = api::RequestTimeLimit();
    webLoginId_ = StartRequest(h);
}

void MainBusi::Retry::SetRange(UINT firstMs, UINT lastMs) {
    first = firstMs;
    last = std::max(firstMs, lastMs);
    delay = first;
}

void MainBusi::Schedule(Retry& retry) {
    if (retry.pending) return;
    retry.pending = SetServiceTimer(retry.timer, retry.delay);
}

void MainBusi::Cancel(Retry& retry) {
    KillServiceTimer(retry.timer);
    retry.pending = false;
}

void MainBusi::OnServiceTimer(UINT_PTR id) {
    if (id != kTimeRetryTimer && id != kWebLoginRetryTimer) return;
    Retry& retry = id == kTimeRetryTimer ? timeRetry_ : webLoginRetry_;
    Cancel(retry);
    retry.delay = std::min(retry.last, retry.delay * 2);
    if (id == kTimeRetryTimer) {
        timeId_ = StartRequest(api::GetTimeRequest());
    } else {
        SendWebLogin();
    }
}

void MainBusi::AddPost(const std::wstring& text, int type, int param) {
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["uid"] = api::UidText(Settings().uid);
    doc["content"] = shell::WideToUtf8(text);
    doc["type"] = api::IntText(type);
    doc["param"] = api::IntText(param);
    postId_ = StartRequest(api::ApiRequest("add_sq", doc));
}

void MainBusi::GetPostCounts() {
    Json::Value doc;
    doc["time"] = api::TimeText();
    countsId_ = StartRequest(api::ApiRequest("get_sq_num", doc));
}

Json::Value MainBusi::LoginLogDocument(const char* action) {
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["uid"] = api::UidText(Settings().uid);
    doc["action"] = action;
    doc["pccode"] = shell::WideToAnsi(GetPcCode());
    return doc;
}

int MainBusi::StartLoginLog(const char* action) {
    return StartRequest(api::ApiRequest("login_log", LoginLogDocument(action), {"pccode"}));
}

// What a report's worker needs; the body is built on the user-interface
// thread, which owns the settings it is made from.
struct MainBusi::ReportJob {
    std::shared_ptr<LoginLogReport> report;
    std::wstring url;
    std::wstring body;
    uint16_t port;
    // A shutdown's one wait for every worker waits for the report too.
    net::WorkerTicket ticket;
};

unsigned __stdcall MainBusi::RunReport(void* param) {
    std::unique_ptr<ReportJob> job(static_cast<ReportJob*>(param));
    // The blocking post leaves at its limit; its own worker may linger on a
    // silent service, holding only its own state.
    job->report->Finish(PostFormSync(job->url, job->body, nullptr, job->port, 0, kReportLimitMs));
    return 0;
}

LoginLogReportPtr MainBusi::SendLoginLogAside(const char* action) {
    auto report = std::make_shared<LoginLogReport>();
    auto* job = new ReportJob{report, api::ApiUrl("login_log"),
                              shell::AnsiToWide(api::SignedForm(LoginLogDocument(action), {"pccode"})),
                              Service().port, {}};
    const uintptr_t thread = _beginthreadex(nullptr, 0, &RunReport, job, 0, nullptr);
    if (thread == 0) {
        delete job;
        report->Finish(false);
    } else {
        ::CloseHandle(reinterpret_cast<HANDLE>(thread));  // nobody joins it
    }
    return report;
}

void MainBusi::ReportStartup() { startupLogId_ = StartLoginLog("startup"); }
void MainBusi::ReportLogin() { loginLogId_ = StartLoginLog("login"); }

LoginLogReportPtr MainBusi::ReportLogout() { return SendLoginLogAside("logout"); }
LoginLogReportPtr MainBusi::ReportExit() { return SendLoginLogAside("exit"); }

void MainBusi::OnRequestFailed(int id) {
    // Without the clock nothing else starts (the automatic login waits for
    // it); without the web login the pages show signed out.
    if (id == webLoginId_) Schedule(webLoginRetry_);
    if (id == timeId_) Schedule(timeRetry_);
}

void MainBusi::OnRequestTimeout(FCHttpRequest& request) { OnRequestFailed(request.Id()); }

void MainBusi::OnRequestFinished(FCHttpRequest& request) {
    const int id = request.Id();
    std::string body;
    if (id == webLoginId_ && IsRedirect(request.StatusCode()) && api::IsBodyComplete(request)) {
        // The site answered the form with a redirect, its cookie with it.
        webLoginRetry_.delay = webLoginRetry_.first;
        ::PostMessageW(owner_, msg::kWebLoginDone, 0, 0);
        return;
    }
    if (!api::TakeAcceptedBody(request, body)) {
        OnRequestFailed(id);
        return;
    }
    if (id == timeId_) {
        ReadTimeReply(body);
    } else if (id == avatarId_) {
        SaveAvatar(body);
    } else if (id == postId_) {
        ReadPostReply(body);
    } else if (id == countsId_) {
        ReadCountsReply(body);
    } else if (id == webLoginId_) {
        webLoginRetry_.delay = webLoginRetry_.first;
        ::PostMessageW(owner_, msg::kWebLoginDone, 0, 0);
    }
}

void MainBusi::ReadTimeReply(const std::string& body) {
    api::Reply reply;
    std::string t;
    // A reply that is no clock counts as a failed request: everything that
    // waits for the clock would otherwise start on a wrong one.
    if (!api::ReadReply(body, false, reply) || !reply.Usable() || !api::FirstString(reply.data, t) ||
        !SetServerTime(shell::ReadDecimal64(t))) {
        Schedule(timeRetry_);
        return;
    }
    timeRetry_.delay = timeRetry_.first;
    ::PostMessageW(owner_, msg::kServerTimeSet, 0, 0);
}

void MainBusi::ReadPostReply(const std::string& body) {
    api::Reply reply;
    std::string result;
    if (!api::ReadReply(body, false, reply) || !reply.Usable() || !api::FirstString(reply.data, result)) return;
    ::PostMessageW(owner_, msg::kPostResult, static_cast<WPARAM>(static_cast<INT_PTR>(shell::ReadDecimal(result))), 0);
}

void MainBusi::ReadCountsReply(const std::string& body) {
    api::Reply reply;
    if (!api::ReadReply(body, false, reply) || !reply.Usable()) return;
    AppSettings& s = Settings();
    std::string text;
    // Counts are never below zero, whatever the service says.
    if (api::StringMember(reply.data, "total", text)) s.totalPosts = std::max(0, shell::ReadDecimal(text));
    if (api::StringMember(reply.data, "today", text)) s.todayPosts = std::max(0, shell::ReadDecimal(text));
    ::PostMessageW(owner_, msg::kPostCountsStored, 0, 0);
}

void MainBusi::SaveAvatar(const std::string& body) {
    // The picture comes over plain HTTP: it is decoded off this thread by
    // the system's imaging component, bounded, and saved as a small PNG that
    // the window then loads as a trusted file. Nothing else is ever saved
    // under that name.
    const std::wstring path = Settings().UserFilePath(L"avatar.png");
    const HWND owner = owner_;
    const bool queued = net::RunInBackground([body, path, owner] {
        if (shell::SaveNetworkPictureAsPng(body, path) && owner != nullptr) {
            ::PostMessageW(owner, msg::kAvatarSaved, 0, 0);
        }
    });
    if (!queued) ::DeleteFileW(path.c_str());
}
