#include "net/http_request_header.h"

#include "shell/system_api.h"
#include "shell/text.h"

namespace {

// Asked of the system once: it does not change while the client runs.
const std::wstring& SystemUserAgent() {
    static const std::wstring agent = [] {
        std::string text;
        return shell::SystemUserAgent(text) ? shell::AnsiToWide(text) : std::wstring(L"Mozilla/4.0 (compatible; MSIE 8.0)");
    }();
    return agent;
}

}  // namespace

HttpRequestHeader::HttpRequestHeader(int verb_, uint16_t port_)
    : verb(verb_), userAgent(SystemUserAgent()), port(port_) {}

const wchar_t* HttpRequestHeader::VerbText() const {
    switch (verb) {
        case kPost:
        case 2:  // the second POST code
            return http::kPost;
        case kDelete:
            return http::kDelete;
        default:
            return http::kGet;
    }
}
