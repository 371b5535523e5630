// Owns running requests, drives them from phase to phase through a hidden
// message-only window, and hands their outcome to the subclass on the
// user-interface thread. Every service of the client derives from it.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>

#include "net/http_request.h"

class FCHttpRequestManager {
public:
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
    // Abandons a running request; its later reports are ignored.
    void CloseRequest(int id);

    HWND EventWindow() const { return eventWindow_; }
    size_t RunningCount() const { return running_.size(); }
    size_t ClosingCount() const { return closing_.size(); }

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
    RequestPtr FindRunning(int id) const;

    std::deque<RequestPtr> running_;
    std::deque<RequestPtr> closing_;
    HWND eventWindow_ = nullptr;
    DWORD shutdownWait_ = kShutdownWait;
    int nextId_ = kFirstRequestId;
};
