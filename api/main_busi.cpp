#include "api/main_busi.h"

#include <algorithm>

#include "api/envelope.h"
#include "api/pc_code.h"
#include "api/server_clock.h"
#include "net/blocking_http.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
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

bool MainBusi::SendLoginLogNow(const char* action) {
    std::wstring reply;
    return PostFormSync(api::ApiUrl("login_log"),
                        shell::AnsiToWide(api::SignedForm(LoginLogDocument(action), {"pccode"})), &reply,
                        Service().port);
}

void MainBusi::ReportStartup() { startupLogId_ = StartLoginLog("startup"); }
void MainBusi::ReportLogin() { loginLogId_ = StartLoginLog("login"); }

bool MainBusi::ReportLogout() { return SendLoginLogNow("logout"); }
bool MainBusi::ReportExit() { return SendLoginLogNow("exit"); }

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
    shell::UniqueFile file(::CreateFileW(Settings().UserFilePath(L"avatar.png").c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), body.data(), static_cast<DWORD>(body.size()), &written, nullptr);
    file.reset();
    if (owner_ != nullptr) ::PostMessageW(owner_, msg::kAvatarSaved, 0, 0);
}
