#include "net/http_request_header.h"

#include <urlmon.h>

#include "shell/text.h"

namespace {

std::wstring SystemUserAgent() {
    char agent[1024] = {};
    DWORD size = sizeof(agent);
    if (FAILED(::ObtainUserAgentString(0, agent, &size))) return L"Mozilla/4.0 (compatible; MSIE 8.0)";
    agent[sizeof(agent) - 1] = '\0';
    return shell::AnsiToWide(agent);
}

}  // namespace

HttpRequestHeader::HttpRequestHeader(int verb_, uint16_t port_)
    : verb(verb_), userAgent(SystemUserAgent()), port(port_) {}

const wchar_t* HttpRequestHeader::VerbText() const {
    switch (verb) {
        case 1:
        case 2:
            return L"POST";
        case 3:
            return L"DELETE";
        default:
            return L"GET";
    }
}
