#include "panels/connection_watch.h"

#include "api/main_busi.h"
#include "panels/main_window_host.h"
#include "panels/route_table.h"
#include "shell/app_settings.h"
#include "shell/messages.h"

void ConnectionWatch::AddRoutes(RouteTable& routes) {
    routes.messages.Add(msg::kReachability,
                        [this](WPARAM reachable, LPARAM forced) { OnReport(reachable != 0, forced != 0); });
    // The offline page's retry button: one probe now, reported as forced.
    routes.messages.Add(msg::kPageRetryConnect, [this](WPARAM, LPARAM) {
        if (monitor_) monitor_->CheckNow(host_.Window());
    });
}

void ConnectionWatch::Start(DWORD intervalMs) {
    monitor_ = std::make_unique<ReachabilityMonitor>();
    monitor_->SetInterval(intervalMs);
    monitor_->StartMonitor(host_.Window());
}

void ConnectionWatch::Stop() {
    if (monitor_) monitor_->StopMonitor();
    monitor_.reset();
}

void ConnectionWatch::OnReport(bool reachable, bool forced) {
    const int now = reachable ? 1 : 0;
    if (state_ != -1 && now == state_) {
        // Nothing changed; a probe the user asked for still answers.
        if (!forced) return;
        if (!reachable) {
            ShowOffline(3000);
            return;
        }
    }
    const int before = state_;
    state_ = now;
    if (before == -1) {
        if (!reachable) {
            ShowOffline(5000);
        } else if (MainBusi* session = host_.Session()) {
            session->SyncServerTime();  // its reply may sign in by itself
        }
    } else if (!reachable) {
        OnLost();
    } else {
        OnFound();
    }
}

void ConnectionWatch::OnLost() {
    if (Settings().signedIn) {
        host_.Logout();
        reloginPending_ = true;
    }
    host_.StopTimer(MainWindowHost::kCountsTimer);
    ShowOffline(4000);
}

void ConnectionWatch::OnFound() {
    if (reloginPending_) {
        host_.StartLogin(Settings().userName, Settings().password);
        reloginPending_ = false;
    }
    if (MainBusi* session = host_.Session()) session->SyncServerTime();
    host_.OpenListHome();
    host_.StartTimer(MainWindowHost::kCountsTimer);
}

void ConnectionWatch::ShowOffline(UINT balloonMs) {
    host_.ShowOfflinePage();
    host_.ShowBalloon(MainWindowHost::kOfflineText, L"网络异常", balloonMs, TrayIcon::BalloonIcon::Warning);
}
