#include "api/envelope.h"

#include <algorithm>
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

namespace {
DWORD g_timeLimit = kDefaultRequestTimeLimitMs;
}

DWORD RequestTimeLimit() { return g_timeLimit; }
void SetRequestTimeLimit(DWORD ms) { g_timeLimit = ms != 0 ? ms : kDefaultRequestTimeLimitMs; }

std::wstring ApiBaseUrl() { return Service().ServiceOrigin() + L"/rovavoda.php/rovavoda/api/"; }

std::wstring ApiUrl(const char* action) {
    return shell::FormatW(L"%s%s", ApiBaseUrl().c_str(), shell::AnsiToWide(action).c_str());
}

std::string TimeText() { return shell::Format("%lld", static_cast<long long>(ServerNow())); }
std::string UidText(uint32_t uid) { return shell::Format("%u", uid); }
std::string IntText(int value) { return shell::Format("%d", value); }
std::string VersionText() { return shell::WideToAnsi(ProgramVersion().text); }

namespace {

bool IsFlatTextObject(const Json::Value& document) {
    if (!document.isObject()) return false;
    for (const auto& name : document.getMemberNames()) {
        if (!document[name].isString()) return false;
    }
    return true;
}

// A string member quoted by the library: read as UTF-8 with every
// character past ASCII escaped, or byte for byte, escaping only what JSON
// must (quote, backslash, control characters).
std::string QuotedText(const Json::Value& text, bool bytes) {
    if (!bytes) {
        std::string quoted = Json::StyledWriter().write(text);
        if (!quoted.empty() && quoted.back() == '\n') quoted.pop_back();
        return quoted;
    }
    Json::StreamWriterBuilder builder;
    builder["emitUTF8"] = true;
    builder["indentation"] = "";
    return Json::writeString(builder, text);
}

}  // namespace

std::string SerializeDocument(const Json::Value& document, const AnsiMembers& ansi) {
    if (ansi.empty() || !IsFlatTextObject(document)) return Json::StyledWriter().write(document);
    // The library's indented layout, line for line, with the ANSI members'
    // bytes written as they are: read as UTF-8 they would turn into
    // escapes of characters the member never held. A trail byte 0x5C is
    // escaped like any backslash, and read back as itself.
    const Json::Value::Members names = document.getMemberNames();
    if (names.empty()) return "{}\n";
    std::string out = "{\n";
    for (size_t i = 0; i < names.size(); ++i) {
        const bool bytes = std::find(ansi.begin(), ansi.end(), names[i]) != ansi.end();
        out += "   " + Json::valueToQuotedString(names[i].c_str()) + " : " + QuotedText(document[names[i]], bytes);
        out += i + 1 < names.size() ? ",\n" : "\n";
    }
    out += "}\n";
    return out;
}

std::string SignedForm(const Json::Value& document, const AnsiMembers& ansi) {
    std::string body = "sign=";
    body += EncryptText(SerializeDocument(document, ansi));
    body += shell::Format("&ver=%s", VersionText().c_str());
    return body;
}

HttpRequestHeader ApiRequest(const char* action, const Json::Value& document, const AnsiMembers& ansi) {
    HttpRequestHeader header(HttpRequestHeader::kPost, Service().port);
    header.url = ApiUrl(action);
    header.extraHeaders = L"Content-Type: application/x-www-form-urlencoded\r\n";
    header.body = SignedForm(document, ansi);
    header.maxBody = kMaxReplyBytes;
    header.timeout = RequestTimeLimit();
    return header;
}

HttpRequestHeader GetTimeRequest() {
    HttpRequestHeader header(HttpRequestHeader::kGet, Service().port);
    header.url = ApiUrl("get_time");
    header.maxBody = kMaxReplyBytes;
    header.timeout = RequestTimeLimit();
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
