// Main window: the notification-area icon and balloons, the three menus,
// the caption buttons, show/hide/quit, the timers, the reachability
// reactions, and the keyboard and mouse filter.
#include "panels/main_panel.h"

#include "api/main_busi.h"
#include "api/msg_center_busi.h"
#include "api/open_url_syn_login.h"
#include "api/subscribe_busi.h"
#include "net/shell_open.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/service_config.h"
#include "ui/controls.h"
#include "ui/menu.h"
#include "ui/native_controls.h"
#include "ui/notice_banner.h"

namespace {

const wchar_t kOffline[] = L"连接已断开，请检查您的网络是否正常";

}  // namespace

bool MainPanel::ShowBalloon(const std::wstring& text, const std::wstring& title, UINT timeoutMs,
                            TrayIcon::BalloonIcon icon) {
    return tray_.ShowBalloon(text, title, timeoutMs, icon);
}

void MainPanel::SetTrayIcon(UINT iconResource) { tray_.SetIcon(iconResource); }

void MainPanel::ShowMainWindow() {
    ::SetForegroundWindow(hwnd_);
    ShowWindow(true, true);
}

void MainPanel::HideAllWindows() { ShowWindow(false, false); }

void MainPanel::Quit() {
    ShowWindow(false, false);
    msgCenterBusi_.reset();
    if (subscribeBusi_) subscribeBusi_->StopPolling();
    subscribeBusi_.reset();
    if (monitor_) monitor_->StopMonitor();
    monitor_.reset();
    PostMessageW(WM_CLOSE);
}

void MainPanel::OnTrayIcon(WPARAM id, LPARAM mouse) {
    if (id != TrayIcon::kId) return;
    if (mouse == WM_LBUTTONUP) {
        ShowMainWindow();
    } else if (mouse == WM_RBUTTONUP) {
        POINT pt;
        ::GetCursorPos(&pt);
        OpenMenu(L"menu_tray.xml", pm_.GetRoot(), pt, ui::UIMenu::kAbovePoint);
    }
}

ui::UIMenu* MainPanel::OpenMenu(const wchar_t* layout, ui::Control* owner, POINT pt, UINT flags) {
    // A menu deletes itself when its window goes; without an owner it would
    // never have one.
    if (owner == nullptr) return nullptr;
    auto* menu = new ui::UIMenu(layout);
    menu->Init(owner, pt, flags);
    return menu;
}

void MainPanel::OpenMainMenu(ui::Control* button) {
    const RECT& rc = button->GetPos();
    POINT pt{rc.right, rc.top};
    ::ClientToScreen(hwnd_, &pt);
    ui::UIMenu* menu = OpenMenu(L"menu_main_panel_main.xml", button, pt, 0);
    if (menu == nullptr) return;
    menu->SetItemText(L"menu_log_action", Settings().signedIn ? L"登出账户" : L"登录");
}

void MainPanel::OpenEditMenu() {
    POINT pt;
    ::GetCursorPos(&pt);
    ui::UIMenu* menu = OpenMenu(L"menu_edit.xml", pm_.GetRoot(), pt, 0);
    if (menu == nullptr) return;
    if (postEdit_ && postEdit_->GetSelText().empty()) {
        menu->DisableItem(L"menu_copy");
        menu->DisableItem(L"menu_cut");
    }
    if (::OpenClipboard(hwnd_)) {
        bool usable = false;
        if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* text = static_cast<const wchar_t*>(::GlobalLock(data))) {
                usable = text[0] != L'\0';
                ::GlobalUnlock(data);
            }
        } else if (HANDLE ansi = ::GetClipboardData(CF_TEXT)) {
            if (const auto* text = static_cast<const char*>(::GlobalLock(ansi))) {
                usable = text[0] != '\0';
                ::GlobalUnlock(ansi);
            }
        }
        ::CloseClipboard();
        if (!usable) menu->DisableItem(L"menu_paste");
    }
}

void MainPanel::OnMenuItem(const std::wstring& item) {
    if (item == L"menu_log_action") {
        if (Settings().signedIn) {
            Logout();
        } else {
            ShowLoginLayer();
        }
    } else if (item == L"menu_exit") {
        Quit();
    } else if (item == L"menu_feedback") {
        ShellOpenUrl(Service().FeedbackOrigin() + L"/guestbook/?soft", true);
    } else if (item == L"menu_show_main_panel") {
        ShowMainWindow();
    } else if (item == L"menu_hide_main_panel") {
        HideAllWindows();
    } else if (item == L"menu_cut") {
        if (postEdit_) postEdit_->Cut();
    } else if (item == L"menu_copy") {
        if (postEdit_) postEdit_->Copy();
    } else if (item == L"menu_paste") {
        if (postEdit_) postEdit_->Paste();
    } else if (item == L"menu_select_all") {
        if (postEdit_) postEdit_->SetSelAll();
    }
    // "menu_config", "menu_modify_subscribe" and "menu_about_us" open side
    // windows that are not part of this build.
}

void MainPanel::OnExitButton() {
    AppSettings& s = Settings();
    if (!s.exitButtonHides) {
        Quit();
        return;
    }
    if (!s.hideToTrayNoticed) {
        ShowBalloon(L"软件窗口已最小化，点此图标还原显示。", L"提示", 5000, TrayIcon::BalloonIcon::Information);
        s.hideToTrayNoticed = true;
    }
    HideAllWindows();
}

void MainPanel::OnSlowMessagePolling() {
    ::KillTimer(hwnd_, kMessagesTimer);
    ::SetTimer(hwnd_, kSlowMessagesTimer, periods_.slowMessages, nullptr);
}

void MainPanel::OnReachability(bool reachable, bool forced) {
    const int now = reachable ? 1 : 0;
    if (reachability_ != -1 && now == reachability_) {
        if (!forced) return;
        if (!reachable) {
            ShowOffline();
            ShowBalloon(kOffline, L"网络异常", 3000, TrayIcon::BalloonIcon::Warning);
            return;
        }
    }
    const int before = reachability_;
    reachability_ = now;
    if (before == -1) {
        if (!reachable) {
            ShowOffline();
            ShowBalloon(kOffline, L"网络异常", 5000, TrayIcon::BalloonIcon::Warning);
        } else if (mainBusi_) {
            mainBusi_->SyncServerTime();
        }
        return;
    }
    if (!reachable) {
        if (Settings().signedIn) {
            Logout();
            reloginPending_ = true;
        }
        ::KillTimer(hwnd_, kCountsTimer);
        ShowOffline();
        ShowBalloon(kOffline, L"网络异常", 4000, TrayIcon::BalloonIcon::Warning);
        return;
    }
    if (reloginPending_) {
        StartLogin(Settings().userName, Settings().password);
        reloginPending_ = false;
    }
    if (mainBusi_) mainBusi_->SyncServerTime();
    OpenListHome();
    ::SetTimer(hwnd_, kCountsTimer, periods_.counts, nullptr);
}

void MainPanel::ShowOffline() {
    if (navigator_) navigator_->ShowOfflinePage();
}

void MainPanel::MoveSideWindows(const WINDOWPOS* pos) {
    // The settings and subscription windows follow the main window; they
    // are not part of this build yet.
    (void)pos;
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
