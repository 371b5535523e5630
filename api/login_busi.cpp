#include "api/login_busi.h"

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
    std::string body;
    if (!api::TakeAcceptedBody(request, body)) {
        ::PostMessageW(owner_, msg::kLoginResult, 0, 0);
        return;
    }
    if (request.Id() == loginId_) ReadLoginReply(body);
}

void LoginBusi::ReadLoginReply(const std::string& body) {
    api::Reply reply;
    if (!api::ReadReply(body, true, reply)) return;
    if (reply.status.isNull() || reply.data.isString()) return;
    if (reply.status.isString() && reply.StatusValue() < 0) return;

    const Json::Value& data = reply.data;
    if ((data.isArray() || data.isObject()) && data.size() == 1) {
        // A one-element answer is an error code, never a profile.
        std::string first;
        if (api::FirstString(data, first)) {
            int code = shell::ReadDecimal(first);
            if (code < 0) ::PostMessageW(owner_, msg::kLoginResult, 0, static_cast<LPARAM>(code));
        }
        return;
    }

    AppSettings& s = Settings();
    std::string text;
    if (api::StringMember(data, "uid", text)) s.uid = static_cast<uint32_t>(shell::ReadDecimal64(text));
    if (api::StringMember(data, "id", text)) s.id = shell::ReadDecimal(text);
    if (api::StringMember(data, "title", text)) s.title = shell::AnsiToWide(text);
    if (api::StringMember(data, "contact_name", text)) s.contactName = shell::AnsiToWide(text);
    if (api::StringMember(data, "nickname", text)) s.nickname = shell::AnsiToWide(text);
    if (api::StringMember(data, "department", text)) s.department = shell::AnsiToWide(text);
    if (api::StringMember(data, "cert_status", text)) s.certStatus = shell::ReadDecimal(text);
    if (api::StringMember(data, "posted_flag", text)) s.postedFlag = shell::ReadDecimal(text) == 1;
    ::PostMessageW(owner_, msg::kLoginResult, 1, 0);
}
