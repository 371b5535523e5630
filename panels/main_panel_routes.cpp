// Main window: the tables that route its messages, its timers, the input
// its filter looks at and the control notifications, and their dispatch.
#include "panels/main_panel.h"

#include "api/main_busi.h"
#include "api/msg_center_busi.h"
#include "api/open_url_syn_login.h"
#include "api/subscribe_busi.h"
#include "shell/messages.h"

void MainPanel::AddRoutes() {
    MessageRoutes& m = routes_.messages;
    m.Add(WM_TIMER, [this](WPARAM id, LPARAM) { timers_.Dispatch(static_cast<UINT>(id), 0, 0); });
    m.Add(WM_WINDOWPOSCHANGING, [this](WPARAM, LPARAM pos) {
        if (pos != 0) sideWindows_.OnMainWindowMoving(*reinterpret_cast<const WINDOWPOS*>(pos));
    });
    m.Add(msg::kTipBannerClosed, [this](WPARAM, LPARAM) {
        // A late message from an old banner must not forget a newer one.
        if (banner_.Get() == nullptr) banner_.Reset();
    });
    m.Add(msg::kServerTimeSet, [this](WPARAM, LPARAM) { OnServerTimeKnown(); });
    m.Add(msg::kPollNewInquiries, [this](WPARAM, LPARAM) {
        if (subscribeBusi_) subscribeBusi_->RequestNewInquiryCount();
    });
    m.Add(msg::kRequestMessageCount, [this](WPARAM, LPARAM) {
        if (msgCenterBusi_) msgCenterBusi_->RequestNewMessageCount();
    });
    m.Add(msg::kRequestNotices, [this](WPARAM, LPARAM) {
        if (msgCenterBusi_) msgCenterBusi_->RequestImportantNotices();
    });
    m.Add(msg::kSlowMessagePolling, [this](WPARAM, LPARAM) { OnSlowMessagePolling(); });
    m.Add(msg::kShowPendingTip, [this](WPARAM, LPARAM) { OnPendingTip(); });
    m.Add(msg::kPageOtherClick, [this](WPARAM, LPARAM) {
        HideTip();
        postBox_.OnPagePress();
    });
    m.Add(msg::kPageWebLogin, [this](WPARAM, LPARAM) { OnWebLoginRequest(); });
    m.Add(msg::kQuitForUpdate, [this](WPARAM, LPARAM) { Quit(); });
    trayMenus_.AddRoutes(routes_);
    sideWindows_.AddRoutes(routes_);
    login_.AddRoutes(routes_);
    postBox_.AddRoutes(routes_);
    connection_.AddRoutes(routes_);
    updateWindows_.AddRoutes(routes_);
    rulesAndAbout_.AddRoutes(routes_);
    popups_.AddRoutes(routes_);
    AddTimerRoutes();
    AddFilterRoutes();
}

void MainPanel::AddTimerRoutes() {
    timers_.Add(kCountsTimer, [this](WPARAM, LPARAM) {
        if (mainBusi_) mainBusi_->GetPostCounts();
    });
    timers_.Add(kWebLoginTimer, [this](WPARAM, LPARAM) {
        if (mainBusi_) mainBusi_->WebLogin();
    });
    timers_.Add(kMessagesTimer, [this](WPARAM, LPARAM) {
        if (msgCenterBusi_) msgCenterBusi_->RequestNewMessageCount();
    });
    timers_.Add(kSlowMessagesTimer, [this](WPARAM, LPARAM) {
        if (msgCenterBusi_) msgCenterBusi_->RequestNewMessageCount();
        StopTimer(kMessagesTimer);
        StartTimer(kMessagesTimer);
    });
    timers_.Add(kTokenTimer, [](WPARAM, LPARAM) { SynLogin().RequestToken(); });
    timers_.Add(kStartServicesTimer, [this](WPARAM, LPARAM) {
        StopTimer(kStartServicesTimer);
        StartServices();
    });
    timers_.Add(kAddTrayIconTimer, [this](WPARAM, LPARAM) {
        StopTimer(kAddTrayIconTimer);
        trayMenus_.AddIcon();
    });
    // One-shot: one update-notice check per start.
    timers_.Add(kNoticeCheckTimer, [this](WPARAM, LPARAM) {
        StopTimer(kNoticeCheckTimer);
        updateWindows_.StartNoticeCheck();
    });
}

void MainPanel::AddFilterRoutes() {
    filters_.Add(WM_NCLBUTTONDOWN, [this](WPARAM, LPARAM) {
        HideTip();
        postBox_.OnCaptionPress();
    });
    filters_.Add(WM_KEYDOWN, [this](WPARAM key, LPARAM) {
        HideTip();
        login_.OnKeyDown(key);
    });
    filters_.Add(WM_LBUTTONDOWN, [this](WPARAM, LPARAM) { HideTip(); });
}

LRESULT MainPanel::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    // Never marks a message handled: in particular Escape does not close
    // the main window.
    filters_.Dispatch(msg, wParam, lParam);
    return 0;
}

LRESULT MainPanel::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    // The Windows session ends (logoff, shutdown): the process may be ended
    // without a close message once the second one has been answered, so
    // that is where what closing keeps is kept, the network given the same
    // short wait as closing gives it.
    if (msg == WM_QUERYENDSESSION) {
        handled = true;
        return TRUE;
    }
    if (msg == WM_ENDSESSION) {
        if (wParam != FALSE) {
            const ULONGLONG deadline = EndDeadline();
            SaveForEnd();
            WaitForReports(deadline);
        }
        handled = true;
        return 0;
    }
    // None of the others is marked handled: each goes on to the default
    // processing.
    handled = false;
    routes_.messages.Dispatch(msg, wParam, lParam);
    return 0;
}

void MainPanel::Notify(ui::Notification& msg) { routes_.notifications.Dispatch(msg); }
