#include "net/http_request.h"

#include <process.h>

#include <vector>

#include "net/background_work.h"
#include "shell/text.h"

namespace {

bool ThreadRunning(HANDLE thread) {
    return thread != nullptr && ::WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
}

// The worker's own reference keeps the request alive until the thread ends,
// even when the manager has given up on it at shutdown.
// The ticket goes last, after the request (whose end may queue closers).
struct ThreadStart {
    net::WorkerTicket ticket;
    std::shared_ptr<FCHttpRequest> request;
    HINTERNET handle;
};

}  // namespace

FCHttpRequest::FCHttpRequest(int id, HWND eventWindow, const HttpRequestHeader& header, bool held)
    : id_(id), eventWindow_(eventWindow), header_(header) {
    if (held) return;
    // Crack the URL into scheme, host and path; a port in the URL is ignored
    // in favour of the record's.
    const size_t room = header_.url.size() + 8;
    std::vector<wchar_t> host(room), path(room);
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(room);
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(room);
    if (!header_.url.empty() && ::InternetCrackUrlW(header_.url.c_str(), 0, 0, &parts)) {
        scheme_ = parts.nScheme;
        host_.assign(host.data(), parts.dwHostNameLength);
        path_.assign(path.data(), parts.dwUrlPathLength);
    }

    if (!header_.proxyHost.empty()) {
        std::wstring proxy = shell::FormatW(L"%s:%d", header_.proxyHost.c_str(), header_.proxyPort);
        session_.reset(::InternetOpenW(header_.userAgent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxy.c_str(),
                                       nullptr, 0));
    } else {
        session_.reset(
            ::InternetOpenW(header_.userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    }
    if (session_ && !header_.proxyUser.empty()) {
        ::InternetSetOptionW(session_.get(), INTERNET_OPTION_PROXY_USERNAME,
                             const_cast<wchar_t*>(header_.proxyUser.c_str()),
                             static_cast<DWORD>(header_.proxyUser.size()));
    }
    if (session_ && !header_.proxyPassword.empty()) {
        ::InternetSetOptionW(session_.get(), INTERNET_OPTION_PROXY_PASSWORD,
                             const_cast<wchar_t*>(header_.proxyPassword.c_str()),
                             static_cast<DWORD>(header_.proxyPassword.size()));
    }
}

FCHttpRequest::~FCHttpRequest() {
    if (timerSet_) ::KillTimer(eventWindow_, static_cast<UINT_PTR>(id_));
    // The last reference may go on the user-interface thread.
    net::CloseInBackground(std::move(request_), std::move(connection_), std::move(session_));
}

void FCHttpRequest::Start() {
    auto* start = new ThreadStart{{}, shared_from_this(), session_.get()};
    uintptr_t thread = _beginthreadex(nullptr, 0, &FCHttpRequest::ConnectThread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        Report(kConnected);  // the manager still moves the request on
    } else {
        connectThread_.reset(reinterpret_cast<HANDLE>(thread));
    }
    if (header_.timeout != 0) {
        timerSet_ = ::SetTimer(eventWindow_, static_cast<UINT_PTR>(id_), header_.timeout, nullptr) != 0;
    }
}

unsigned __stdcall FCHttpRequest::ConnectThread(void* param) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(param));
    start->request->RunConnect(start->handle);
    return 0;
}

void FCHttpRequest::RunConnect(HINTERNET session) {
    INTERNET_PORT port = scheme_ == INTERNET_SCHEME_HTTPS ? INTERNET_DEFAULT_HTTPS_PORT : header_.port;
    HINTERNET connection = nullptr;
    if (session != nullptr && !host_.empty()) {
        connection =
            ::InternetConnectW(session, host_.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    }
    connection_.reset(connection);
    Report(kConnected);
}

void FCHttpRequest::OpenAndSend() {
    connectThread_.reset();
    DWORD flags = header_.openFlags;
    if (scheme_ == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    if (connection_) {
        request_.reset(::HttpOpenRequestW(connection_.get(), header_.VerbText(), path_.c_str(), nullptr, nullptr,
                                          nullptr, flags, 0));
    }
    if (request_ && header_.timeout != 0) {
        // On the request handle: Wine takes no notice of them on the session.
        // The worker then gives up by itself, even where closing the handle
        // does not wake it.
        DWORD limit = header_.timeout;
        for (DWORD option :
             {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
            ::InternetSetOptionW(request_.get(), option, &limit, sizeof(limit));
        }
    }
    auto* start = new ThreadStart{{}, shared_from_this(), request_.get()};
    uintptr_t thread = _beginthreadex(nullptr, 0, &FCHttpRequest::SendAndReadThread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        Report(kHeadersReady);
        Report(kBodyDone);
    } else {
        sendThread_.reset(reinterpret_cast<HANDLE>(thread));
    }
}

unsigned __stdcall FCHttpRequest::SendAndReadThread(void* param) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(param));
    start->request->RunSendAndRead(start->handle);
    return 0;
}

void FCHttpRequest::RunSendAndRead(HINTERNET request) {
    std::wstring headers = header_.extraHeaders;
    if (header_.rangeStart != 0) headers += shell::FormatW(L"Range: bytes=%d-\r\n", header_.rangeStart);

    BOOL sent = FALSE;
    if (request != nullptr) {
        void* body = header_.body.empty() ? nullptr : const_cast<char*>(header_.body.data());
        sent = ::HttpSendRequestW(request, headers.empty() ? nullptr : headers.c_str(),
                                  static_cast<DWORD>(headers.size()), body,
                                  static_cast<DWORD>(header_.body.size()));
    }
    Report(kHeadersReady);

    BOOL lastRead = FALSE;
    if (sent) {
        std::vector<char> chunk(8192);
        for (;;) {
            DWORD got = 0;
            lastRead = ::InternetReadFile(request, chunk.data(), static_cast<DWORD>(chunk.size()), &got);
            if (!lastRead || got == 0) break;
            if (static_cast<uint64_t>(buffer_.Count()) + got > header_.maxBody) {
                // More than any reply of this kind may hold: stop reading and
                // let the request count as incomplete.
                overflow_ = true;
                lastRead = FALSE;
                break;
            }
            buffer_.Append(chunk.data(), got);
        }
    }
    readComplete_ = lastRead != FALSE;
    Report(kBodyDone);
}

void FCHttpRequest::Report(Event event) const {
    ::SendNotifyMessageW(eventWindow_, kHttpEventMessage, static_cast<WPARAM>(id_), static_cast<LPARAM>(event));
}

std::wstring FCHttpRequest::QueryHeader(DWORD which) const {
    DWORD size = 0;
    ::HttpQueryInfoW(request_.get(), which, nullptr, &size, nullptr);
    if (size == 0 || size > 4096) return {};
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, L'\0');
    DWORD bytes = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
    if (!::HttpQueryInfoW(request_.get(), which, text.data(), &bytes, nullptr)) return {};
    return std::wstring(text.data());
}

void FCHttpRequest::ReadResponseInfo() {
    if (!request_) return;
    std::wstring status = QueryHeader(HTTP_QUERY_STATUS_CODE);
    if (!status.empty()) statusCode_ = shell::ReadDecimal(shell::WideToAnsi(status));
    std::wstring length = QueryHeader(HTTP_QUERY_CONTENT_LENGTH);
    if (!length.empty()) contentLength_ = shell::ReadDecimal(shell::WideToAnsi(length));
}

HANDLE FCHttpRequest::AbortForClose() {
    if (ThreadRunning(sendThread_.get())) {
        net::CloseInBackground(std::move(request_));
        return sendThread_.get();
    }
    if (ThreadRunning(connectThread_.get())) {
        // The connect thread still writes the connection handle.
        net::CloseInBackground(std::move(session_));
        return connectThread_.get();
    }
    net::CloseInBackground(std::move(request_), std::move(connection_), std::move(session_));
    return nullptr;
}

void FCHttpRequest::ReleaseFinished() {
    if (timerSet_) ::KillTimer(eventWindow_, static_cast<UINT_PTR>(id_));
    timerSet_ = false;
    net::CloseInBackground(std::move(request_), std::move(connection_), std::move(session_));
}

void FCHttpRequest::SetHeldReply(int status, const std::string& body) {
    statusCode_ = status;
    contentLength_ = static_cast<int>(body.size());
    buffer_.Append(body.data(), static_cast<DWORD>(body.size()));
    readComplete_ = true;
}

bool FCHttpRequest::IsIdle() const {
    return !ThreadRunning(connectThread_.get()) && !ThreadRunning(sendThread_.get());
}
