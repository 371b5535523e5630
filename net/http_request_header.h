// The request record a service fills before handing it to its manager.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct HttpRequestHeader {
    // Largest body a request keeps; a longer reply counts as incomplete.
    static constexpr uint32_t kDefaultMaxBody = 64u * 1024 * 1024;

    HttpRequestHeader(int verb = 0, uint16_t port = 80);

    std::string body;            // sent only when non-empty
    int verb = 0;                // 1, 2 = POST, 3 = DELETE, anything else GET
    std::wstring url;            // absolute; scheme, host and path come from it
    int rangeStart = 0;          // non-zero adds "Range: bytes=N-"
    std::wstring userAgent;      // defaults to the system's browser agent
    uint16_t port = 80;          // replaced by 443 for https
    std::wstring extraHeaders;   // lines as written, each ending in "\r\n"
    // INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT:
    // a redirect is the answer; followed by the system it may never end.
    DWORD openFlags = 0x84200000;
    DWORD timeout = 0;           // milliseconds; 0 = no limit
    std::wstring proxyHost;
    int proxyPort = 80;
    std::wstring proxyUser;
    std::wstring proxyPassword;
    uint32_t maxBody = kDefaultMaxBody;

    const wchar_t* VerbText() const;
};
