#include "api/envelope.h"

#include <exception>
#include <memory>

#include "api/program_version.h"
#include "api/server_clock.h"
#include "shell/text_cipher.h"
#include "api/unescape.h"
#include "shell/service_config.h"
#include "shell/text.h"

// The reply and document classes of the library are the ones the service's
// other clients use; keep them despite their deprecation.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#elif defined(_MSC_VER)
#pragma warning(disable : 4996)
#endif

namespace api {

std::wstring ApiBaseUrl() { return Service().ServiceOrigin() + L"/rovavoda.php/rovavoda/api/"; }

std::wstring ApiUrl(const char* action) {
    return shell::FormatW(L"%s%s", ApiBaseUrl().c_str(), shell::AnsiToWide(action).c_str());
}

std::string TimeText() { return shell::Format("%lld", static_cast<long long>(ServerNow())); }
std::string UidText(uint32_t uid) { return shell::Format("%u", uid); }
std::string IntText(int value) { return shell::Format("%d", value); }
std::string VersionText() { return shell::WideToAnsi(ProgramVersion().text); }

std::string SerializeDocument(const Json::Value& document) {
    Json::StyledWriter writer;
    return writer.write(document);
}

std::string SignedForm(const Json::Value& document) {
    std::string body = "sign=";
    body += EncryptText(SerializeDocument(document));
    body += shell::Format("&ver=%s", VersionText().c_str());
    return body;
}

HttpRequestHeader ApiRequest(const char* action, const Json::Value& document) {
    HttpRequestHeader header(HttpRequestHeader::kPost, Service().port);
    header.url = ApiUrl(action);
    header.extraHeaders = L"Content-Type: application/x-www-form-urlencoded\r\n";
    header.body = SignedForm(document);
    header.maxBody = kMaxReplyBytes;
    return header;
}

HttpRequestHeader GetTimeRequest() {
    HttpRequestHeader header(HttpRequestHeader::kGet, Service().port);
    header.url = ApiUrl("get_time");
    header.maxBody = kMaxReplyBytes;
    return header;
}

bool IsBodyComplete(const FCHttpRequest& request) {
    if (request.Overflowed()) return false;
    if (request.ContentLength() != 0) return request.ContentLength() == request.ReceivedCount();
    return request.ReadComplete();
}

bool IsReplyAccepted(const FCHttpRequest& request) {
    return request.StatusCode() == 200 && IsBodyComplete(request);
}

bool TakeAcceptedBody(FCHttpRequest& request, std::string& body) {
    if (!IsReplyAccepted(request)) return false;
    request.PopReceivedData(body);
    return true;
}

int64_t Reply::StatusValue() const { return status.isString() ? shell::ReadDecimal64(status.asString()) : 0; }

bool ReadReply(const std::string& body, bool unescape, Reply& reply) {
    std::string text = DecryptText(body);
    if (unescape) text = UnescapeUnicode(text);
    Json::Value root;
    Json::Reader reader;
    try {
        // The reader throws on pathologically deep documents.
        if (text.empty() || !reader.parse(text, root, true)) return false;
    } catch (const std::exception&) {
        return false;
    }
    if (!root.isObject()) return false;
    reply.status = root.get("status", Json::Value());
    reply.data = root.get("data", Json::Value());
    return true;
}

bool StringMember(const Json::Value& object, const char* name, std::string& out) {
    if (!object.isObject()) return false;
    const Json::Value& member = object[name];
    if (!member.isString()) return false;
    out = member.asString();
    return true;
}

bool FirstString(const Json::Value& data, std::string& out) {
    if (!data.isArray() || data.empty()) return false;
    const Json::Value& first = data[0u];
    if (!first.isString()) return false;
    out = first.asString();
    return true;
}

}  // namespace api
