#include "net/blocking_http.h"

#include <process.h>
#include <wininet.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "net/http_request_header.h"
#include "shell/text.h"
#include "shell/unique_handle.h"

namespace {

// A redirect is an answer, not followed: followed by the system, one that
// points to itself is asked for again without end.
constexpr DWORD kNoRedirect = INTERNET_FLAG_NO_AUTO_REDIRECT;

// One blocking transfer, run on a worker thread so that the caller can leave
// at its deadline whatever the network calls do. At the deadline the caller
// closes the handles, which cuts the worker short where the system allows
// it, and goes; the worker ends on its own and holds this state until then.
struct Transfer {
    std::mutex lock;
    bool abandoned = false;
    shell::UniqueInternet session;
    shell::UniqueInternet connection;
    shell::UniqueInternet request;
    shell::UniqueFile file;

    // Takes a handle the worker opened; null (and the handle closed) once
    // the caller has given up.
    HINTERNET Keep(shell::UniqueInternet& slot, HINTERNET handle) {
        std::lock_guard<std::mutex> guard(lock);
        if (abandoned) {
            if (handle != nullptr) ::InternetCloseHandle(handle);
            return nullptr;
        }
        slot.reset(handle);
        return handle;
    }
    // Writes to the local file unless the caller has given up: nothing is
    // written after the call has returned.
    bool Write(const char* data, DWORD size) {
        std::lock_guard<std::mutex> guard(lock);
        if (abandoned || !file) return false;
        DWORD put = 0;
        return ::WriteFile(file.get(), data, size, &put, nullptr) && put == size;
    }
    void Abandon() {
        std::lock_guard<std::mutex> guard(lock);
        abandoned = true;
        request.reset();
        connection.reset();
        session.reset();
        file.reset();
    }
};

unsigned __stdcall RunJob(void* param) {
    std::unique_ptr<std::function<void()>> job(static_cast<std::function<void()>*>(param));
    (*job)();
    return 0;
}

// Runs the job on a worker and waits for it at most `limitMs`. False when
// the time ran out or no worker could be started; the job then still owns
// everything it uses.
bool RunWithin(DWORD limitMs, std::function<void()> job) {
    auto* heap = new std::function<void()>(std::move(job));
    uintptr_t thread = _beginthreadex(nullptr, 0, &RunJob, heap, 0, nullptr);
    if (thread == 0) {
        delete heap;
        return false;
    }
    shell::UniqueHandleKernel worker(reinterpret_cast<HANDLE>(thread));
    return ::WaitForSingleObject(worker.get(), limitMs) == WAIT_OBJECT_0;
}

// The system's own limits on the request handle (Wine ignores them on the
// session), so that the worker also gives up by itself.
void LimitRequest(HINTERNET request, DWORD limitMs) {
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        ::InternetSetOptionW(request, option, &limitMs, sizeof(limitMs));
    }
}

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

struct DownloadState : Transfer {
    HRESULT result = E_FAIL;
    bool created = false;
};

void RunDownload(DownloadState& t, const std::wstring& host, const std::wstring& path, const std::wstring& localFile,
                 DWORD creationDisposition, uint16_t port, DWORD limitMs) {
    HINTERNET session =
        t.Keep(t.session, ::InternetOpenW(L"MyDownLoad", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session == nullptr) return;
    HINTERNET connection = t.Keep(
        t.connection, ::InternetConnectW(session, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (connection == nullptr) return;
    const DWORD flags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RELOAD | kNoRedirect;
    HINTERNET request =
        t.Keep(t.request, ::HttpOpenRequestW(connection, http::kGet, path.c_str(), nullptr, nullptr, nullptr, flags, 0));
    if (request == nullptr) return;
    LimitRequest(request, limitMs);
    if (!::HttpSendRequestW(request, nullptr, 0, nullptr, 0)) return;

    int64_t status = 0;
    if (!QueryNumber(request, HTTP_QUERY_STATUS_CODE, 512, status) || status != 200) return;
    int64_t length = -1;
    const bool known = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, 512, length) && length >= 0;

    {
        std::lock_guard<std::mutex> guard(t.lock);
        if (t.abandoned) return;
        t.file.reset(::CreateFileW(localFile.c_str(), GENERIC_WRITE, 0, nullptr, creationDisposition,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!t.file) return;
        t.created = true;
    }

    // The file is written as it arrives: nothing here is sized by the header.
    std::vector<char> chunk(8192);
    int64_t written = 0;
    bool cleanEnd = false;
    while (!known || written < length) {
        DWORD want = static_cast<DWORD>(chunk.size());
        if (known && length - written < want) want = static_cast<DWORD>(length - written);
        DWORD got = 0;
        if (!::InternetReadFile(request, chunk.data(), want, &got)) break;
        if (got == 0) {
            cleanEnd = true;
            break;
        }
        if (!t.Write(chunk.data(), got)) break;
        written += got;
    }
    // Without a length the body is whole only when the connection ended cleanly.
    t.result = (known ? written == length : cleanEnd) ? S_OK : 1;
    std::lock_guard<std::mutex> guard(t.lock);
    t.file.reset();
}

struct TextState : Transfer {
    std::string body;
    bool ok = false;
};

void RunFetch(TextState& t, const std::wstring& url, DWORD limitMs) {
    HINTERNET session = t.Keep(t.session, ::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session == nullptr) return;
    // Limits on the session too: the request handle does not exist before
    // the URL is opened, and outside Wine they are inherited.
    LimitRequest(session, limitMs);
    const DWORD flags = INTERNET_FLAG_RELOAD | kNoRedirect;
    HINTERNET request = t.Keep(t.request, ::InternetOpenUrlW(session, url.c_str(), nullptr, 0, flags, 0));
    if (request == nullptr) return;
    // An error page is not the document.
    int64_t status = 0;
    if (!QueryNumber(request, HTTP_QUERY_STATUS_CODE, 520, status) || status != 200) return;
    int64_t length = 0;
    if (!QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, 520, length)) return;
    if (length <= 0 || length > net::kMaxBlockingText) return;
    ReadUpTo(request, static_cast<DWORD>(length), t.body);  // a short read gives a shorter text
    t.ok = true;
}

struct FormState : Transfer {
    bool sent = false;
    bool replied = false;
    std::string reply;
};

void RunPost(FormState& t, const std::wstring& host, const std::wstring& path, const std::string& form,
             bool wantReply, uint16_t port, DWORD expectedLength, DWORD limitMs) {
    HINTERNET session = t.Keep(t.session, ::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session == nullptr) return;
    HINTERNET connection = t.Keep(
        t.connection, ::InternetConnectW(session, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (connection == nullptr) return;
    const DWORD flags = INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_RELOAD | kNoRedirect;
    HINTERNET request =
        t.Keep(t.request, ::HttpOpenRequestW(connection, http::kPost, path.c_str(), nullptr, nullptr, nullptr, flags, 0));
    if (request == nullptr) return;
    LimitRequest(request, limitMs);
    std::string body = form;
    const wchar_t headers[] = L"Content-Type: application/x-www-form-urlencoded\r\n";
    if (!::HttpSendRequestW(request, headers, static_cast<DWORD>(wcslen(headers)), body.empty() ? nullptr : &body[0],
                            static_cast<DWORD>(body.size()))) {
        return;
    }
    t.sent = true;
    if (!wantReply) return;
    int64_t length = expectedLength;
    if (length == 0) QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, 260, length);
    if (length > 0 && length <= net::kMaxBlockingText) {
        ReadUpTo(request, static_cast<DWORD>(length), t.reply);
        t.replied = true;
    }
}

}  // namespace

HRESULT DownloadToFile(const std::wstring& host, const std::wstring& path, const std::wstring& localFile,
                       DWORD creationDisposition, uint16_t port, DWORD limitMs) {
    auto state = std::make_shared<DownloadState>();
    const bool done = RunWithin(limitMs, [=] {
        RunDownload(*state, host, path, localFile, creationDisposition, port, limitMs);
    });
    if (!done) {
        state->Abandon();
        std::lock_guard<std::mutex> guard(state->lock);
        return state->created ? 1 : E_FAIL;  // a partial file stays, as for a body that ended short
    }
    return state->result;
}

std::wstring FetchText(const std::wstring& url, DWORD limitMs) {
    auto state = std::make_shared<TextState>();
    if (!RunWithin(limitMs, [=] { RunFetch(*state, url, limitMs); })) {
        state->Abandon();
        return {};
    }
    return state->ok ? shell::AnsiToWide(state->body) : std::wstring();
}

bool PostFormSync(const std::wstring& url, const std::wstring& body, std::wstring* reply, uint16_t port,
                  DWORD expectedLength, DWORD limitMs) {
    wchar_t host[260] = {}, path[260] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 260;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 260;
    if (!::InternetCrackUrlW(url.c_str(), 0, 0, &parts)) return false;

    // Sent while signing out or closing, often because the host is gone:
    // the window must not hang on it.
    auto state = std::make_shared<FormState>();
    const std::wstring hostText(host), pathText(path);
    const std::string form = shell::WideToAnsi(body);
    const bool wantReply = reply != nullptr;
    const bool done = RunWithin(
        limitMs, [=] { RunPost(*state, hostText, pathText, form, wantReply, port, expectedLength, limitMs); });
    if (!done) {
        state->Abandon();
        return false;
    }
    if (wantReply && state->replied) *reply = shell::AnsiToWide(state->reply);
    return state->sent;
}
