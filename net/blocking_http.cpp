#include "net/blocking_http.h"

#include <wininet.h>

#include <algorithm>
#include <vector>

#include "net/http_request_header.h"
#include "shell/text.h"
#include "shell/unique_handle.h"

namespace {

// A response header as a number; false when absent.
bool QueryNumber(HINTERNET request, DWORD which, DWORD bufferBytes, int64_t& value) {
    std::vector<char> text(bufferBytes, '\0');
    DWORD size = bufferBytes - 1;
    if (!::HttpQueryInfoA(request, which, text.data(), &size, nullptr)) return false;
    value = shell::ReadDecimal64(std::string(text.data()));
    return true;
}

// Reads up to `limit` bytes, looping over short reads; false when a read failed.
bool ReadUpTo(HINTERNET request, DWORD limit, std::string& out) {
    std::vector<char> chunk(8192);
    while (out.size() < limit) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(chunk.size(), limit - out.size()));
        DWORD got = 0;
        if (!::InternetReadFile(request, chunk.data(), want, &got)) return false;
        if (got == 0) break;
        out.append(chunk.data(), got);
    }
    return true;
}

}  // namespace

HRESULT DownloadToFile(const std::wstring& host, const std::wstring& path, const std::wstring& localFile,
                       DWORD creationDisposition, uint16_t port) {
    shell::UniqueInternet session(::InternetOpenW(L"MyDownLoad", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return E_FAIL;
    shell::UniqueInternet connection(
        ::InternetConnectW(session.get(), host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return E_FAIL;
    shell::UniqueInternet request(::HttpOpenRequestW(connection.get(), http::kGet, path.c_str(), nullptr, nullptr,
                                                     nullptr, INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RELOAD,
                                                     0));
    if (!request || !::HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) return E_FAIL;

    int64_t status = 0;
    if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, 512, status) || status != 200) return E_FAIL;
    int64_t length = -1;
    const bool known = QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, 512, length) && length >= 0;

    shell::UniqueFile file(::CreateFileW(localFile.c_str(), GENERIC_WRITE, 0, nullptr, creationDisposition,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return E_FAIL;

    // The file is written as it arrives: nothing here is sized by the header.
    std::vector<char> chunk(8192);
    int64_t written = 0;
    bool cleanEnd = false;
    while (!known || written < length) {
        DWORD want = static_cast<DWORD>(chunk.size());
        if (known && length - written < want) want = static_cast<DWORD>(length - written);
        DWORD got = 0;
        if (!::InternetReadFile(request.get(), chunk.data(), want, &got)) break;
        if (got == 0) {
            cleanEnd = true;
            break;
        }
        DWORD put = 0;
        if (!::WriteFile(file.get(), chunk.data(), got, &put, nullptr) || put != got) break;
        written += got;
    }
    if (known) return written == length ? S_OK : 1;
    // Without a length the body is whole only when the connection ended cleanly.
    return cleanEnd ? S_OK : 1;
}

std::wstring FetchText(const std::wstring& url) {
    shell::UniqueInternet session(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return {};
    shell::UniqueInternet request(
        ::InternetOpenUrlW(session.get(), url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0));
    if (!request) return {};
    int64_t length = 0;
    if (!QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, 520, length)) return {};
    if (length <= 0 || length > net::kMaxBlockingText) return {};
    std::string body;
    ReadUpTo(request.get(), static_cast<DWORD>(length), body);
    return shell::AnsiToWide(body);
}

bool PostFormSync(const std::wstring& url, const std::wstring& body, std::wstring* reply, uint16_t port,
                  DWORD expectedLength) {
    wchar_t host[260] = {}, path[260] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 260;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 260;
    if (!::InternetCrackUrlW(url.c_str(), 0, 0, &parts)) return false;

    shell::UniqueInternet session(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return false;
    // Sent while signing out or closing, often because the host is gone:
    // the window must not hang on it.
    DWORD limit = net::kFormPostTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        ::InternetSetOptionW(session.get(), option, &limit, sizeof(limit));
    }
    shell::UniqueInternet connection(
        ::InternetConnectW(session.get(), host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return false;
    shell::UniqueInternet request(::HttpOpenRequestW(connection.get(), http::kPost, path, nullptr, nullptr, nullptr,
                                                     INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_RELOAD, 0));
    if (!request) return false;
    std::string form = shell::WideToAnsi(body);
    const wchar_t headers[] = L"Content-Type: application/x-www-form-urlencoded\r\n";
    if (!::HttpSendRequestW(request.get(), headers, static_cast<DWORD>(wcslen(headers)),
                            form.empty() ? nullptr : &form[0], static_cast<DWORD>(form.size()))) {
        return false;
    }
    if (reply != nullptr) {
        int64_t length = expectedLength;
        if (length == 0) QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, 260, length);
        if (length > 0 && length <= net::kMaxBlockingText) {
            std::string text;
            ReadUpTo(request.get(), static_cast<DWORD>(length), text);
            *reply = shell::AnsiToWide(text);
        }
    }
    return true;
}
