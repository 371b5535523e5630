#include "net/http_request.h"

#include <vector>

#include "net/background_work.h"
#include "shell/text.h"

namespace {

bool Running(HANDLE done) { return done != nullptr && ::WaitForSingleObject(done, 0) == WAIT_TIMEOUT; }

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

// A short thread, counted for the shutdown wait; its end sets `done`. The
// worker's own reference keeps the request alive until it ends, even when
// the manager has given up on it at shutdown.
bool FCHttpRequest::StartPhase(Phase phase, HINTERNET handle, shell::UniqueHandleKernel& done) {
    done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) return false;
    const HANDLE ended = done.get();
    auto self = shared_from_this();
    if (net::RunInBackground([self, phase, handle, ended] {
            ((*self).*phase)(handle);
            ::SetEvent(ended);
        })) {
        return true;
    }
    done.reset();
    return false;
}

void FCHttpRequest::Start() {
    goAhead_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!goAhead_ || !StartPhase(&FCHttpRequest::RunWorker, session_.get(), workerDone_)) {
        handover_ = kEnd;
        Report(kConnected);  // the manager still moves the request on
    }
    if (header_.timeout != 0) {
        timerSet_ = ::SetTimer(eventWindow_, static_cast<UINT_PTR>(id_), header_.timeout, nullptr) != 0;
    }
}

void FCHttpRequest::RunWorker(HINTERNET session) {
    RunConnect(session);
    if (::WaitForSingleObject(goAhead_.get(), kGoAheadWait) != WAIT_OBJECT_0) {
        // Gives up, unless the go-ahead came just now.
        int waiting = kWaiting;
        handover_.compare_exchange_strong(waiting, kEnd);
    }
    // The request handle was stored before the go-ahead.
    if (handover_.load() == kSend) RunSendAndRead(sendHandle_.load());
}

bool FCHttpRequest::HandOver(Handover what) {
    int waiting = kWaiting;
    if (!handover_.compare_exchange_strong(waiting, what)) return false;
    ::SetEvent(goAhead_.get());
    return true;
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
    sending_ = true;
    sendHandle_ = request_.get();
    if (HandOver(kSend)) return;
    // The worker gave up waiting, or never started.
    if (!StartPhase(&FCHttpRequest::RunSendAndRead, request_.get(), sendDone_)) {
        Report(kHeadersReady);
        Report(kBodyDone);
    }
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
    // Here, on the thread that owns the timer: the last reference may go on
    // a worker.
    if (timerSet_) ::KillTimer(eventWindow_, static_cast<UINT_PTR>(id_));
    timerSet_ = false;
    const HANDLE sender = sendDone_ ? sendDone_.get() : workerDone_.get();
    if (sending_ && Running(sender)) {
        net::CloseInBackground(std::move(request_));
        return sender;
    }
    if (!sending_ && Running(workerDone_.get())) {
        // A worker waiting for the go-ahead ends; one still connecting
        // writes the connection handle, so only the session goes.
        HandOver(kEnd);
        net::CloseInBackground(std::move(session_));
        return workerDone_.get();
    }
    net::CloseInBackground(std::move(request_), std::move(connection_), std::move(session_));
    return nullptr;
}

void FCHttpRequest::ReleaseFinished() {
    if (timerSet_) ::KillTimer(eventWindow_, static_cast<UINT_PTR>(id_));
    timerSet_ = false;
    if (readComplete_) {
        // The whole body was read: closing has nothing left to drain, and a
        // thread for it would cost more than the close.
        request_.reset();
        connection_.reset();
        session_.reset();
        return;
    }
    net::CloseInBackground(std::move(request_), std::move(connection_), std::move(session_));
}

void FCHttpRequest::SetHeldReply(int status, const std::string& body) {
    statusCode_ = status;
    contentLength_ = static_cast<int>(body.size());
    buffer_.Append(body.data(), static_cast<DWORD>(body.size()));
    readComplete_ = true;
}

bool FCHttpRequest::IsIdle() const {
    return !Running(workerDone_.get()) && !Running(sendDone_.get());
}
