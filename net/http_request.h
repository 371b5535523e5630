// One HTTP request over WinInet, run in three phases by one short worker
// thread: it connects, then waits while the user-interface thread opens the
// request (the manager's go-ahead), then sends and reads. Each phase ends
// with a report to the manager's event window.
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

    // First phase: starts the worker and the time-limit timer. The worker
    // keeps the request alive until it ends.
    void Start();
    // After event 0: opens the request and hands it to the worker for
    // sending and reading.
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

    // How long a connected worker waits for the go-ahead before it ends;
    // a go-ahead after that gets a worker of its own.
    static constexpr DWORD kGoAheadWait = 30000;

private:
    // What the user-interface thread tells the waiting worker.
    enum Handover { kWaiting, kSend, kEnd };
    using Phase = void (FCHttpRequest::*)(HINTERNET);
    bool StartPhase(Phase phase, HINTERNET handle, shell::UniqueHandleKernel& done);
    void RunWorker(HINTERNET session);
    void RunConnect(HINTERNET session);
    void RunSendAndRead(HINTERNET request);
    // False when the worker no longer waits for it.
    bool HandOver(Handover what);
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
    // A thread per request, not per phase: under Wine starting one costs
    // about as much as the whole exchange with a nearby service.
    shell::UniqueHandleKernel goAhead_;
    std::atomic<int> handover_{kWaiting};
    std::atomic<HINTERNET> sendHandle_{nullptr};  // the request, for the worker
    // Set when the worker has ended; and when a send worker of its own
    // (after a late go-ahead) has.
    shell::UniqueHandleKernel workerDone_;
    shell::UniqueHandleKernel sendDone_;
    bool sending_ = false;  // handed over for sending
    bool timerSet_ = false;
};
