// Main window: show/hide/quit, the timers, the reachability reactions, and
// the keyboard and mouse filter.
#include "panels/main_panel.h"

#include "api/main_busi.h"
#include "api/msg_center_busi.h"
#include "api/open_url_syn_login.h"
#include "api/subscribe_busi.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "ui/controls.h"
#include "ui/native_controls.h"
#include "ui/notice_banner.h"

bool MainPanel::ShowBalloon(const std::wstring& text, const std::wstring& title, UINT timeoutMs,
                            TrayIcon::BalloonIcon icon) {
    return trayMenus_.ShowBalloon(text, title, timeoutMs, icon);
}

void MainPanel::SetTrayIcon(UINT iconResource) { trayMenus_.SetIcon(iconResource); }

UINT MainPanel::PeriodOf(Timer id) const {
    switch (id) {
        case kCountsTimer: return periods_.counts;
        case kWebLoginTimer: return periods_.webLogin;
        case kMessagesTimer: return periods_.messages;
        case kSlowMessagesTimer: return periods_.slowMessages;
        case kTokenTimer: return periods_.token;
        case kNoticeCheckTimer: return periods_.noticeCheck;
        case kAddTrayIconTimer: return 1;
    }
    return 0;
}

void MainPanel::StartTimer(Timer id) { ::SetTimer(hwnd_, id, PeriodOf(id), nullptr); }

void MainPanel::StopTimer(Timer id) { ::KillTimer(hwnd_, id); }

void MainPanel::ShowMainWindow() {
    ::SetForegroundWindow(hwnd_);
    ShowWindow(true, true);
    sideWindows_.OnMainWindowShown();
}

void MainPanel::HideAllWindows() {
    sideWindows_.OnMainWindowHidden();
    ShowWindow(false, false);
}

void MainPanel::Quit() {
    ShowWindow(false, false);
    msgCenterBusi_.reset();
    if (subscribeBusi_) subscribeBusi_->StopPolling();
    subscribeBusi_.reset();
    connection_.Stop();
    PostMessageW(WM_CLOSE);
}

void MainPanel::OnSlowMessagePolling() {
    StopTimer(kMessagesTimer);
    StartTimer(kSlowMessagesTimer);
}

void MainPanel::ShowOfflinePage() {
    if (navigator_) navigator_->ShowOfflinePage();
}

LRESULT MainPanel::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    // Never marks a message handled: in particular Escape does not close
    // the main window.
    filters_.Dispatch(msg, wParam, lParam);
    return 0;
}

LRESULT MainPanel::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    // None is marked handled: each goes on to the default processing.
    handled = false;
    routes_.messages.Dispatch(msg, wParam, lParam);
    return 0;
}

void MainPanel::Notify(ui::Notification& msg) { routes_.notifications.Dispatch(msg); }
