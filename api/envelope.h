// The API envelope: a JSON document enciphered into the form field "sign",
// sent with "ver"; replies are enciphered JSON with "status" and "data".
#pragma once

#include <json/json.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/http_request.h"

namespace api {

// No API reply is anywhere near this; a longer one is treated as failed.
constexpr uint32_t kMaxReplyBytes = 4u * 1024 * 1024;

// How long a request to the service may take before it counts as failed;
// settable so tests can wait less (0 restores the default).
constexpr DWORD kDefaultRequestTimeLimitMs = 30000;
DWORD RequestTimeLimit();
void SetRequestTimeLimit(DWORD ms);

std::wstring ApiBaseUrl();
std::wstring ApiUrl(const char* action);

// Members every document carries.
std::string TimeText();                // ServerNow, decimal
std::string UidText(uint32_t uid);     // decimal, unsigned
std::string IntText(int value);        // decimal
std::string VersionText();             // ProgramVersion in the ANSI code page

// Names of members whose text is in the ANSI code page. The service reads
// the document byte by byte, so these go out as their own bytes; all other
// members are UTF-8 (what the user typed) or plain ASCII.
using AnsiMembers = std::vector<std::string>;

// The document in the library's indented form, members in key order.
std::string SerializeDocument(const Json::Value& document, const AnsiMembers& ansi = {});
// "sign=<HEX>&ver=<a.b.c.d>": the API form body and the sign-on query.
std::string SignedForm(const Json::Value& document, const AnsiMembers& ansi = {});

// A POST of the document to the action, ready for StartRequest.
HttpRequestHeader ApiRequest(const char* action, const Json::Value& document, const AnsiMembers& ansi = {});
// "get_time" alone is a plain GET.
HttpRequestHeader GetTimeRequest();

// The body arrived whole: a Content-Length equal to the bytes received, or
// without one, a last read that succeeded.
bool IsBodyComplete(const FCHttpRequest& request);
// Status 200 and a complete body.
bool IsReplyAccepted(const FCHttpRequest& request);

struct Reply {
    Json::Value status;
    Json::Value data;
    bool Usable() const { return !status.isNull() && !data.isNull(); }
    // "status" read as a decimal when it is a string; otherwise 0.
    int64_t StatusValue() const;
};

// Takes the body out of an accepted reply; false (and nothing taken) otherwise.
bool TakeAcceptedBody(FCHttpRequest& request, std::string& body);

// Decrypts (and for the readers that want it, un-escapes) and parses a reply
// body. False when nothing parses.
bool ReadReply(const std::string& body, bool unescape, Reply& reply);

// A JSON string member's text, or false when absent or not a string.
bool StringMember(const Json::Value& object, const char* name, std::string& out);
// data[0] as text when it is a string.
bool FirstString(const Json::Value& data, std::string& out);

}  // namespace api
