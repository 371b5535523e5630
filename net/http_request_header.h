// The request record a service fills before handing it to its manager.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

// The request methods by name, as WinInet takes them.
namespace http {
constexpr wchar_t kGet[] = L"GET";
constexpr wchar_t kPost[] = L"POST";
constexpr wchar_t kDelete[] = L"DELETE";
}  // namespace http

struct HttpRequestHeader {
    // The request record's method codes (`verb`).
    static constexpr int kGet = 0;
    static constexpr int kPost = 1;
    static constexpr int kDelete = 3;
    // Every request asks the server, never the cache, and leaves nothing in it.
    static constexpr DWORD kDefaultOpenFlags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;

    // Largest body a request keeps; a longer reply counts as incomplete.
    static constexpr uint32_t kDefaultMaxBody = 64u * 1024 * 1024;

    HttpRequestHeader(int verb = kGet, uint16_t port = 80);

    std::string body;            // sent only when non-empty
    int verb = kGet;             // kPost (or 2) = POST, kDelete, anything else GET
    std::wstring url;            // absolute; scheme, host and path come from it
    int rangeStart = 0;          // non-zero adds "Range: bytes=N-"
    std::wstring userAgent;      // defaults to the system's browser agent
    uint16_t port = 80;          // replaced by 443 for https
    std::wstring extraHeaders;   // lines as written, each ending in "\r\n"
    // A redirect is the answer; followed by the system it may never end.
    DWORD openFlags = kDefaultOpenFlags;
    DWORD timeout = 0;           // milliseconds; 0 = no limit
    std::wstring proxyHost;
    int proxyPort = 80;
    std::wstring proxyUser;
    std::wstring proxyPassword;
    uint32_t maxBody = kDefaultMaxBody;

    const wchar_t* VerbText() const;
};
