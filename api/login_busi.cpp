#include "api/login_busi.h"

#include <cstdint>

#include "api/envelope.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/text.h"

void LoginBusi::Login(const std::wstring& userName, const std::wstring& password) {
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["user"] = shell::WideToUtf8(userName);
    doc["pass"] = shell::WideToUtf8(password);
    loginId_ = StartRequest(api::ApiRequest("login", doc));
}

void LoginBusi::OnRequestFinished(FCHttpRequest& request) {
    if (request.Id() != loginId_) return;  // an earlier login, given up on
    loginId_ = -1;
    std::string body;
    // Every end of the exchange posts an outcome: the window waits for one.
    LPARAM code = 0;
    const bool signedIn = api::TakeAcceptedBody(request, body) && ReadLoginReply(body, code);
    ::PostMessageW(owner_, msg::kLoginResult, signedIn ? 1 : 0, signedIn ? 0 : code);
}

void LoginBusi::OnRequestTimeout(FCHttpRequest& request) {
    if (request.Id() != loginId_) return;
    loginId_ = -1;
    ::PostMessageW(owner_, msg::kLoginResult, 0, 0);
}

bool LoginBusi::ReadLoginReply(const std::string& body, LPARAM& code) {
    api::Reply reply;
    if (!api::ReadReply(body, true, reply)) return false;
    if (reply.status.isNull() || reply.data.isString()) return false;
    if (reply.status.isString() && reply.StatusValue() < 0) return false;

    const Json::Value& data = reply.data;
    if (data.isArray()) {
        // A one-element array is the service's error code.
        std::string first;
        if (data.size() == 1 && api::FirstString(data, first)) {
            int value = shell::ReadDecimal(first);
            if (value < 0) code = static_cast<LPARAM>(value);
        }
        return false;
    }

    // A sign-in needs a user: a profile whose "uid" names one.
    std::string text;
    if (!data.isObject() || !api::StringMember(data, "uid", text)) return false;
    const int64_t uid = shell::ReadDecimal64(text);
    if (uid <= 0 || uid > static_cast<int64_t>(UINT32_MAX)) return false;

    AppSettings& s = Settings();
    s.uid = static_cast<uint32_t>(uid);
    if (api::StringMember(data, "id", text)) s.id = shell::ReadDecimal(text);
    if (api::StringMember(data, "title", text)) s.title = shell::AnsiToWide(text);
    if (api::StringMember(data, "contact_name", text)) s.contactName = shell::AnsiToWide(text);
    if (api::StringMember(data, "nickname", text)) s.nickname = shell::AnsiToWide(text);
    if (api::StringMember(data, "department", text)) s.department = shell::AnsiToWide(text);
    if (api::StringMember(data, "cert_status", text)) s.certStatus = shell::ReadDecimal(text);
    if (api::StringMember(data, "posted_flag", text)) s.postedFlag = shell::ReadDecimal(text) == 1;
    return true;
}
