// Tells the main window whether the service host can be reached: a monitor
// resolving the host's name every few seconds (on a short thread each time),
// and a one-shot check.
// Reports: message 2098, wParam 1 reachable / 0 not, lParam 0 from the
// monitor and 1 from CheckNow.
#pragma once

#include <windows.h>

#include <string>

#include "net/periodic_worker.h"

class ReachabilityMonitor {
public:
    static constexpr DWORD kInterval = 5000;

    ReachabilityMonitor() = default;
    ~ReachabilityMonitor() = default;
    ReachabilityMonitor(const ReachabilityMonitor&) = delete;
    ReachabilityMonitor& operator=(const ReachabilityMonitor&) = delete;

    // Starts reporting to the window; a running monitor is stopped first.
    void StartMonitor(HWND target);
    // Stops for good without waiting; a report in flight may still arrive.
    void StopMonitor();
    // One check on the calling thread.
    void CheckNow(HWND target) const;

    void SetInterval(DWORD ms) { interval_ = ms; }  // tests
    void SetHost(const std::wstring& host) { host_ = host; }  // default: the service host

    static bool Resolves(const std::wstring& host);
    // The name lookup, replaceable so tests can take the host away.
    using ResolveFn = bool (*)(const std::wstring& host);
    static void SetResolver(ResolveFn fn);  // null restores the real lookup

private:
    std::wstring Host() const;

    PeriodicWorker worker_;
    DWORD interval_ = kInterval;
    std::wstring host_;
};
