// Owns running requests, drives them from phase to phase through a hidden
// message-only window, and hands their outcome to the subclass on the
// user-interface thread. Every service of the client derives from it.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>

#include "net/http_request.h"

class FCHttpRequestManager {
public:
    // Sweeps closed requests whose workers still ran; runs only while
    // there are such requests.
    static constexpr UINT_PTR kHousekeepingTimer = 30;
    static constexpr UINT kHousekeepingPeriod = 100;
    static constexpr DWORD kShutdownWait = 3000;
    static constexpr int kFirstRequestId = 100;

    FCHttpRequestManager();
    virtual ~FCHttpRequestManager();
    FCHttpRequestManager(const FCHttpRequestManager&) = delete;
    FCHttpRequestManager& operator=(const FCHttpRequestManager&) = delete;

    // Starts the request and returns its id (100, 101, ... per manager).
    int StartRequest(const HttpRequestHeader& header);
    // Abandons a running request; its later reports are ignored. Returns at
    // once: its handles are closed, and its body drained, on a short thread.
    void CloseRequest(int id);
    // Abandons every running request at once (first step of a shutdown).
    void AbortAll();
    // Abandons every request and forgets them without waiting: a worker
    // still running keeps its request alive and ends on its own (the
    // process's end still counts it), so the destructor does not wait.
    void AbandonAll();
    // Waits, against one deadline (GetTickCount64) shared by every manager,
    // until the workers of all managers of the process have ended: request
    // threads, handle closers, picture decoders. True when none runs.
    static bool WaitForWorkers(ULONGLONG deadline);

    // Tests of the reply readers: while held, StartRequest records requests
    // without sending them, and ReplayReply completes one as if its reply
    // had come over the network (headers, then body). False when no such
    // request runs.
    void HoldRequests(bool hold) { hold_ = hold; }
    bool ReplayReply(int id, int status, const std::string& body);

    HWND EventWindow() const { return eventWindow_; }
    size_t RunningCount() const { return running_.size(); }
    size_t ClosingCount() const { return closing_.size(); }
    // The id the next StartRequest gives.
    int NextRequestId() const { return nextId_; }

protected:
    // Timers of the subclass on the event window: ids 1 to 29 are theirs.
    bool SetServiceTimer(UINT_PTR id, UINT periodMs);
    void KillServiceTimer(UINT_PTR id);
    virtual void OnServiceTimer(UINT_PTR id) {}

    virtual void OnRequestHeaders(FCHttpRequest& request) {}
    virtual void OnRequestFinished(FCHttpRequest& request) {}
    virtual void OnRequestTimeout(FCHttpRequest& request) {}

private:
    using RequestPtr = std::shared_ptr<FCHttpRequest>;
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void HandleEvent(int id, LPARAM event);
    void HandleTimer(UINT_PTR id);
    void FinishRequest(int id);
    void StopHousekeepingWhenIdle();
    RequestPtr FindRunning(int id) const;

    std::deque<RequestPtr> running_;
    std::deque<RequestPtr> closing_;
    HWND eventWindow_ = nullptr;
    DWORD shutdownWait_ = kShutdownWait;
    int nextId_ = kFirstRequestId;
    bool hold_ = false;
    bool housekeeping_ = false;
};
