// One HTTP request over WinInet, run in three phases: a connect worker, then
// (after the manager's go-ahead on the user-interface thread) a send-and-read
// worker. Each phase ends with a report to the manager's event window.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>

#include "net/http_request_header.h"
#include "net/receive_buffer.h"
#include "shell/unique_handle.h"

// The manager's event message: wParam = request id, lParam = event 0, 1 or 2.
constexpr UINT kHttpEventMessage = WM_APP + 0x30;

class FCHttpRequest : public std::enable_shared_from_this<FCHttpRequest> {
public:
    enum Event { kConnected = 0, kHeadersReady = 1, kBodyDone = 2 };

    // A held request opens nothing: it waits for a reply handed in by a
    // test (SetHeldReply) instead of the network.
    FCHttpRequest(int id, HWND eventWindow, const HttpRequestHeader& header, bool held = false);
    virtual ~FCHttpRequest();
    FCHttpRequest(const FCHttpRequest&) = delete;
    FCHttpRequest& operator=(const FCHttpRequest&) = delete;

    // First phase: starts the connect worker and the time-limit timer. The
    // workers keep the request alive until they end.
    void Start();
    // After event 0: opens the request and starts the send-and-read worker.
    void OpenAndSend();
    // After event 1: status code and content length from the headers.
    void ReadResponseInfo();
    // Unblocks whichever worker still runs and returns the event its end
    // sets (null when none runs); its time limit stops. The handles it gives
    // up are closed on a thread of their own: closing one drains what is left of its
    // body.
    HANDLE AbortForClose();
    // After event 2, which is every worker's last act: no worker touches the
    // handles or the timer any more, so both go at once (the connection
    // returns to the pool) and the request needs no sweep.
    void ReleaseFinished();
    bool IsIdle() const;

    int Id() const { return id_; }
    int StatusCode() const { return statusCode_; }
    int ContentLength() const { return contentLength_; }
    bool ReadComplete() const { return readComplete_.load(); }
    bool Overflowed() const { return overflow_.load(); }
    LONG ReceivedCount() const { return buffer_.Count(); }
    void PopReceivedData(std::string& out) { buffer_.PopData(out); }
    const HttpRequestHeader& Header() const { return header_; }

    // The reply of a held request: status, body, and a length that matches.
    void SetHeldReply(int status, const std::string& body);

private:
    using Phase = void (FCHttpRequest::*)(HINTERNET);
    bool StartPhase(Phase phase, HINTERNET handle, shell::UniqueHandleKernel& done);
    void RunConnect(HINTERNET session);
    void RunSendAndRead(HINTERNET request);
    void Report(Event event) const;
    std::wstring QueryHeader(DWORD which) const;

    const int id_;
    const HWND eventWindow_;
    HttpRequestHeader header_;
    INTERNET_SCHEME scheme_ = INTERNET_SCHEME_UNKNOWN;
    std::wstring host_;
    std::wstring path_;

    int statusCode_ = 0;
    int contentLength_ = 0;
    std::atomic<bool> readComplete_{false};
    std::atomic<bool> overflow_{false};
    inner::CReceiveBuffer buffer_;

    shell::UniqueInternet session_;
    shell::UniqueInternet connection_;
    shell::UniqueInternet request_;
    // Set when the worker of each phase has ended.
    shell::UniqueHandleKernel connectDone_;
    shell::UniqueHandleKernel sendDone_;
    bool timerSet_ = false;
};
