// Main window: construction, placement, the services, the tip banner, the
// timers, showing, hiding and quitting, and the shutdown; the operations its
// parts ask for, forwarded to the part that does them.
#include "panels/main_panel.h"

#include "api/login_busi.h"
#include "api/main_busi.h"
#include "api/msg_center_busi.h"
#include "api/subscribe_busi.h"
#include "panels/browser_page_navigator.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "ui/browser.h"
#include "ui/notice_banner.h"

namespace {

// "RRGGBB" is opaque; "AARRGGBB" says its own alpha.
DWORD TipColour(const std::wstring& text) {
    DWORD value = static_cast<DWORD>(wcstoul(text.c_str(), nullptr, 16));
    return text.size() <= 6 ? (0xFF000000u | value) : value;
}

}  // namespace

MainPanel::MainPanel() { AddRoutes(); }

MainPanel::~MainPanel() = default;

void MainPanel::SetNavigator(std::unique_ptr<BrowserNavigator> navigator) { navigator_ = std::move(navigator); }

LRESULT MainPanel::OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    // Adding the icon costs tens of milliseconds on some desktops; a timer
    // fires only once the window has painted, so it does not delay that.
    StartTimer(kAddTrayIconTimer);
    return SkinWindow::OnCreate(msg, wParam, lParam, handled);
}

void MainPanel::Init() {
    PlaceWindow();
    ModifyStyle(WS_MAXIMIZEBOX, 0);
    if (!navigator_) {
        if (auto* browser = Find<ui::BrowserControl>(L"browser")) {
            navigator_ = std::make_unique<BrowserPageNavigator>(browser);
        }
    }
    postBox_.Init();
    login_.Init();
    if (navigator_) OpenListHome();

    connection_.Start(periods_.reachability);
    mainBusi_ = std::make_unique<MainBusi>(hwnd_);
    loginBusi_ = std::make_unique<LoginBusi>(hwnd_);
    msgCenterBusi_ = std::make_unique<MsgCenterBusi>(hwnd_);
    subscribeBusi_ = std::make_unique<SubscribeBusi>(hwnd_);
    StartTimer(kNoticeCheckTimer);
}

void MainPanel::PlaceWindow() {
    RECT saved;
    if (Settings().SavedWindowPlacement(saved)) {
        ::SetWindowPos(hwnd_, nullptr, saved.left, saved.top, saved.right - saved.left, saved.bottom - saved.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    CenterWindow();
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi);
    const int workHeight = mi.rcWork.bottom - mi.rcWork.top;
    const int wanted = workHeight > 900 ? 800 : static_cast<int>(workHeight * 0.8);
    SIZE init = pm_.GetInitSize();
    if (wanted != init.cy) {
        pm_.SetInitSize(init.cx, wanted);
        ::SetWindowPos(hwnd_, nullptr, 0, 0, init.cx, wanted, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    }
    pm_.SetMaxInfo(pm_.GetMaxInfo().cx, workHeight);
}

void MainPanel::ShowTip(const std::wstring& text, int x, int y, int type, const std::wstring& colour) {
    pendingTip_ = Tip{text, x, y, type, TipColour(colour)};
    PostMessageW(msg::kShowPendingTip);
}

void MainPanel::OnPendingTip() {
    lastTip_ = pendingTip_;
    const Tip& tip = pendingTip_;
    const POINT pt{tip.x, tip.y};
    if (ui::NoticeBanner* banner = banner_.Get()) {
        banner->UpdateNoticeWith(tip.text, pt, tip.type, tip.colour, 5000);
        return;
    }
    auto* banner = new ui::NoticeBanner(ui::NoticeBanner::Action{0, msg::kTipBannerClosed, hwnd_});
    banner->InitNoticeWith(hwnd_, tip.text, pt, tip.type, tip.colour, 5000);
    banner_ = banner;
}

void MainPanel::HideTip() {
    ui::NoticeBanner* banner = banner_.Get();
    if (banner && ::IsWindowVisible(banner->GetHWND())) ::ShowWindow(banner->GetHWND(), SW_HIDE);
}

void MainPanel::ShowLoginLayer() { login_.Show(); }

bool MainPanel::StartLogin(const std::wstring& userName, const std::wstring& password) {
    return login_.StartLogin(userName, password);
}

void MainPanel::Logout() { login_.Logout(); }

void MainPanel::ExpandTitleArea() { postBox_.ExpandTitleArea(); }

void MainPanel::OpenListHome() { postBox_.OpenListHome(); }

void MainPanel::SelectListHome() { postBox_.SelectListHome(); }

void MainPanel::OpenSelectedPersonalPage() { postBox_.OpenSelectedPersonalPage(); }

void MainPanel::OnServerTimeKnown() {
    login_.AutoLogin();
    if (mainBusi_) mainBusi_->GetPostCounts();
    StartTimer(kCountsTimer);
    if (mainBusi_ && !startupReported_) {
        startupReported_ = true;
        mainBusi_->ReportStartup();
    }
}

void MainPanel::OnWebLoginRequest() {
    if (!Settings().signedIn || webLoginReloaded_) {
        webLoginReloaded_ = false;
        ShowLoginLayer();
        return;
    }
    webLoginReloaded_ = true;
    if (navigator_) navigator_->ReloadPage();
}

void MainPanel::OpenServicePage(const std::wstring& address) {
    if (!navigator_) return;
    if (Reachability() == 0) {
        navigator_->ShowOfflinePage();
    } else {
        navigator_->OpenPage(address);
    }
}

void MainPanel::ShowOfflinePage() {
    if (navigator_) navigator_->ShowOfflinePage();
}

void MainPanel::FocusBrowser() {
    if (auto* browser = pm_.FindControl(L"browser")) browser->SetFocus();
}

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

void MainPanel::OnSlowMessagePolling() {
    StopTimer(kMessagesTimer);
    StartTimer(kSlowMessagesTimer);
}

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

LRESULT MainPanel::OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    AppSettings& s = Settings();
    if (subscribeBusi_) subscribeBusi_->StopPolling();
    if (s.signedIn) {
        s.SaveLastReadTime();
        if (mainBusi_) mainBusi_->ReportLogout();
    }
    if (mainBusi_) mainBusi_->ReportExit();
    login_.SaveOnClose();
    loginBusi_.reset();
    mainBusi_.reset();
    msgCenterBusi_.reset();
    subscribeBusi_.reset();
    if (ui::NoticeBanner* banner = banner_.Get()) ::DestroyWindow(banner->GetHWND());
    banner_.Reset();
    sideWindows_.OnMainWindowClosing();
    RECT rc;
    if (::GetWindowRect(hwnd_, &rc)) s.SaveWindowPlacement(rc);
    trayMenus_.RemoveIcon();
    navigator_.reset();
    ::PostQuitMessage(0);
    handled = false;
    return 0;
}
