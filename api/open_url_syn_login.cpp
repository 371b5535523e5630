#include "api/open_url_syn_login.h"

#include "api/envelope.h"
#include "shell/md5.h"
#include "api/pc_code.h"
#include "net/shell_open.h"
#include "shell/app_settings.h"
#include "shell/service_config.h"
#include "shell/text.h"

OpenUrlSynLogin& SynLogin() {
    static OpenUrlSynLogin instance;
    return instance;
}

void OpenUrlSynLogin::RequestToken() {
    Json::Value doc;
    doc["time"] = api::TimeText();
    doc["uid"] = api::UidText(Settings().uid);
    doc["pccode"] = shell::WideToAnsi(GetPcCode());
    tokenId_ = StartRequest(api::ApiRequest("get_token", doc, {"pccode"}));
}

void OpenUrlSynLogin::OnRequestFinished(FCHttpRequest& request) {
    std::string body;
    if (!api::TakeAcceptedBody(request, body) || request.Id() != tokenId_) return;
    api::Reply reply;
    if (!api::ReadReply(body, true, reply) || !reply.Usable() || reply.StatusValue() < 0) return;
    std::string token;
    if (api::FirstString(reply.data, token)) token_ = token;
}

std::wstring OpenUrlSynLogin::SignOnAddress(const std::wstring& page) const {
    const AppSettings& s = Settings();
    if (!s.signedIn || token_.empty()) return page;
    const std::string time = api::TimeText();
    const std::string pccode = shell::WideToAnsi(GetPcCode());
    const std::string uid = api::UidText(s.uid);
    Json::Value doc;
    doc["token"] = Md5Hex(token_ + time + pccode + uid);
    doc["time"] = time;
    doc["uid"] = uid;
    doc["pccode"] = pccode;
    doc["defaulturl"] = shell::WideToAnsi(page);
    return Service().WebOrigin() + L"/alogin?" + shell::AnsiToWide(api::SignedForm(doc, {"pccode", "defaulturl"}));
}

bool OpenUrlSynLogin::OpenUrl(const std::wstring& page) {
    ShellOpenUrl(SignOnAddress(page), false);
    return true;
}
