// The main window's watch on the service host: the reachability monitor
// and its last report, and the window's reactions when the host is lost
// (sign out, offline page, balloon) or found again (sign back in, the
// server clock, list home, the counters timer).
#pragma once

#include <windows.h>

#include <memory>

#include "net/reachability.h"

class MainWindowHost;
struct RouteTable;

class ConnectionWatch {
public:
    explicit ConnectionWatch(MainWindowHost& host) : host_(host) {}
    ConnectionWatch(const ConnectionWatch&) = delete;
    ConnectionWatch& operator=(const ConnectionWatch&) = delete;

    void AddRoutes(RouteTable& routes);
    // The monitor's thread reports to the window from now on.
    void Start(DWORD intervalMs);
    // For good: the thread stops and the monitor goes.
    void Stop();

    // -1 not yet known, 0 unreachable, 1 reachable.
    int State() const { return state_; }
    // The connection went while signed in; the next "reachable" signs in again.
    bool ReloginPending() const { return reloginPending_; }

private:
    void OnReport(bool reachable, bool forced);
    void OnLost();
    void OnFound();
    void ShowOffline(UINT balloonMs);

    MainWindowHost& host_;
    std::unique_ptr<ReachabilityMonitor> monitor_;
    int state_ = -1;
    bool reloginPending_ = false;
};
