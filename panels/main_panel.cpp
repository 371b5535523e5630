// Main window: construction, placement, the services, the tip banner, the
// timers, showing, hiding and quitting, and the shutdown; the operations its
// parts ask for, forwarded to the part that does them.
#include "panels/main_panel.h"

#include <algorithm>

#include "api/login_busi.h"
#include "api/main_busi.h"
#include "api/msg_center_busi.h"
#include "api/subscribe_busi.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/service_config.h"
#include "ui/browser.h"
#include "ui/notice_banner.h"
#include "update/update_check_aid_busi.h"

namespace {

// "RRGGBB" is opaque; "AARRGGBB" says its own alpha.
DWORD TipColour(const std::wstring& text) {
    DWORD value = static_cast<DWORD>(wcstoul(text.c_str(), nullptr, 16));
    return text.size() <= 6 ? (0xFF000000u | value) : value;
}

// A window the user can still grab: this much of its caption strip lies on
// the work area of some monitor.
constexpr LONG kGripWidth = 100;
constexpr LONG kGripHeight = 20;

struct GripSearch {
    RECT strip;
    bool found = false;
};

BOOL CALLBACK FindGrip(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
    auto* search = reinterpret_cast<GripSearch*>(param);
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    RECT common;
    if (::GetMonitorInfoW(monitor, &mi) && ::IntersectRect(&common, &search->strip, &mi.rcWork) &&
        common.right - common.left >= std::min(kGripWidth, search->strip.right - search->strip.left) &&
        common.bottom - common.top >= std::min(kGripHeight, search->strip.bottom - search->strip.top)) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

// A saved rectangle whose caption strip can be grabbed stays as it was (a
// monitor since unplugged, or a smaller desktop, leaves others off every
// screen); otherwise it goes onto the nearest monitor's work area, no
// bigger than that and as near its old place as fits.
RECT OnScreen(const RECT& saved, LONG captionHeight) {
    GripSearch search;
    search.strip = saved;
    search.strip.bottom = saved.top + std::min(std::max(captionHeight, kGripHeight), saved.bottom - saved.top);
    ::EnumDisplayMonitors(nullptr, nullptr, &FindGrip, reinterpret_cast<LPARAM>(&search));
    if (search.found) return saved;
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    if (!::GetMonitorInfoW(::MonitorFromRect(&saved, MONITOR_DEFAULTTONEAREST), &mi)) return saved;
    const RECT& work = mi.rcWork;
    const LONG width = std::min(saved.right - saved.left, work.right - work.left);
    const LONG height = std::min(saved.bottom - saved.top, work.bottom - work.top);
    const LONG left = std::clamp(saved.left, work.left, work.right - width);
    const LONG top = std::clamp(saved.top, work.top, work.bottom - height);
    return RECT{left, top, left + width, top + height};
}

}  // namespace

MainPanel::MainPanel() { AddRoutes(); }

MainPanel::~MainPanel() { DetachBrowserHelper(); }

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
    if (!navigator_) AttachBrowserHelper();
    postBox_.Init();
    login_.Init();
    if (navigator_) OpenListHome();
    // The reachability thread and the services' windows cost several
    // milliseconds: they start once the window has painted.
    StartTimer(kStartServicesTimer);
}

void MainPanel::StartServices() {
    if (mainBusi_) return;
    connection_.Start(periods_.reachability);
    mainBusi_ = std::make_unique<MainBusi>(hwnd_);
    loginBusi_ = std::make_unique<LoginBusi>(hwnd_);
    msgCenterBusi_ = std::make_unique<MsgCenterBusi>(hwnd_);
    subscribeBusi_ = std::make_unique<SubscribeBusi>(hwnd_);
    // Runs under test may ask for the notice check sooner, never later.
    if (const UINT sooner = Service().noticeCheckMs; sooner != 0 && sooner < periods_.noticeCheck) {
        periods_.noticeCheck = sooner;
    }
    updateWindows_.ShowCompleteIfDue();
    StartTimer(kNoticeCheckTimer);
}

void MainPanel::PlaceWindow() {
    RECT saved;
    if (Settings().SavedWindowPlacement(saved)) {
        const RECT rc = OnScreen(saved, pm_.GetCaptionRect().bottom);
        ::SetWindowPos(hwnd_, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
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

void MainPanel::LoginLayerShown(bool shown) { postBox_.OnLoginLayerShown(shown); }

bool MainPanel::StartLogin(const std::wstring& userName, const std::wstring& password) {
    return login_.StartLogin(userName, password);
}

void MainPanel::Logout() {
    popups_.CloseAll();
    login_.Logout();
}

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
        case kStartServicesTimer: return 1;
    }
    return 0;
}

void MainPanel::StartTimer(Timer id) { ::SetTimer(hwnd_, id, PeriodOf(id), nullptr); }

void MainPanel::StopTimer(Timer id) { ::KillTimer(hwnd_, id); }

void MainPanel::OnSlowMessagePolling() {
    StopTimer(kMessagesTimer);
    StartTimer(kSlowMessagesTimer);
}

void MainPanel::ShowPostRules(bool later) {
    if (later) {
        rulesAndAbout_.OpenPostRulesLater();
    } else {
        rulesAndAbout_.OpenPostRules();
    }
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
    sideWindows_.OnMainWindowClosing();
    if (subscribeBusi_) subscribeBusi_->StopPolling();
    // The services go now, so that nothing still queued for them is
    // answered, and with them the one wait the close would have had.
    SaveForEnd();
    EndServices(EndDeadline());
    PostMessageW(WM_CLOSE);
}

ULONGLONG MainPanel::EndDeadline() {
    if (endDeadline_ == 0) endDeadline_ = ::GetTickCount64() + kEndWaitMs;
    return endDeadline_;
}

void MainPanel::SaveForEnd() {
    if (savedForEnd_) return;
    savedForEnd_ = true;
    AppSettings& s = Settings();
    if (s.signedIn) {
        s.SaveLastReadTime();
        if (mainBusi_) endReports_.push_back(mainBusi_->ReportLogout());
    }
    if (mainBusi_) endReports_.push_back(mainBusi_->ReportExit());
    login_.SaveOnClose();
    RECT rc;
    if (::GetWindowRect(hwnd_, &rc)) s.SaveWindowPlacement(rc);
    s.WriteInt(L"Main", L"HideToTraybarNoticed", s.hideToTrayNoticed ? 1 : 0);
}

void MainPanel::WaitForReports(ULONGLONG deadline) {
    for (const auto& report : endReports_) report->WaitUntil(deadline);
}

void MainPanel::EndServices(ULONGLONG deadline) {
    if (subscribeBusi_) subscribeBusi_->StopPolling();
    connection_.Stop();
    for (FCHttpRequestManager* service : std::initializer_list<FCHttpRequestManager*>{
             loginBusi_.get(), mainBusi_.get(), msgCenterBusi_.get(), subscribeBusi_.get(), updateWindows_.NoticeCheck()}) {
        if (service) service->AbortAll();
    }
    // One budget for all: a worker still blocked then is left behind, and
    // deleting its service no longer waits for it.
    FCHttpRequestManager::WaitForWorkers(deadline);
    loginBusi_.reset();
    mainBusi_.reset();
    msgCenterBusi_.reset();
    subscribeBusi_.reset();
    updateWindows_.EndNoticeCheck();
}

LRESULT MainPanel::OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    // The side windows first: what their closing stores is stored before
    // the end's own writes.
    sideWindows_.OnMainWindowClosing();
    const ULONGLONG deadline = EndDeadline();
    if (subscribeBusi_) subscribeBusi_->StopPolling();
    SaveForEnd();
    EndServices(deadline);
    WaitForReports(deadline);
    endReports_.clear();
    if (ui::NoticeBanner* banner = banner_.Get()) ::DestroyWindow(banner->GetHWND());
    banner_.Reset();
    popups_.DestroyAll();
    rulesAndAbout_.CloseAll();
    trayMenus_.RemoveIcon();
    DetachBrowserHelper();
    navigator_.reset();
    ::PostQuitMessage(0);
    handled = false;
    return 0;
}
