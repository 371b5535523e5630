// The client's main window and hub: owns the services, receives their
// outcomes as messages, hosts the embedded browser and the tip banner, and
// lives in the notification area. Its parts (the login layer, the post box
// with the pages, the tray icon with the menus, the connection watch and
// the side windows) know it only as MainWindowHost; it owns them and routes
// messages, timers and control notifications to them through tables.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "api/login_log_report.h"
#include "net/reachability.h"
#include "panels/browser_navigator.h"
#include "panels/connection_watch.h"
#include "panels/login_layer.h"
#include "panels/main_window_host.h"
#include "panels/popup_controller.h"
#include "panels/post_box.h"
#include "panels/route_table.h"
#include "panels/rules_and_about.h"
#include "panels/side_windows.h"
#include "panels/tray_icon.h"
#include "panels/tray_menus.h"
#include "panels/update_windows.h"
#include "ui/notice_banner.h"
#include "ui/skin_window.h"
#include "ui/window_ref.h"

class LoginBusi;
class MainBusi;
class MsgCenterBusi;
class SubscribeBusi;
class WebBrowserCtrlHelper;

namespace ui {
class NoticeBanner;
}

class MainPanel : public ui::SkinWindow, public MainWindowHost {
public:
    // The periods of the timers; tests shorten them.
    struct Periods {
        UINT counts = 300000;
        UINT webLogin = 1200000;
        UINT messages = 30000;
        UINT slowMessages = 1500000;
        UINT token = 1680000;
        UINT noticeCheck = 47000;
        UINT reachability = ReachabilityMonitor::kInterval;
    };
    // A tip waiting to be shown (and the last one shown).
    struct Tip {
        std::wstring text;
        int x = 0;
        int y = 0;
        int type = 0;
        DWORD colour = 0;
    };

    // How long closing, or the end of the Windows session, waits for the
    // network in all: the logout and exit reports and every request still
    // running share it.
    static constexpr DWORD kEndWaitMs = 800;

    static constexpr wchar_t kTitle[] = L"云帆商务台";
    static constexpr DWORD kStyle = WS_VISIBLE | WS_OVERLAPPEDWINDOW;

    MainPanel();
    ~MainPanel() override;

    // ui::SkinWindow
    const wchar_t* GetWindowClassName() const override { return L"zudedo_main_panel"; }
    std::wstring GetSkinFolder() override { return SkinWindow::GetSkinFolder(); }
    std::wstring GetSkinFile() override { return L"zudedo_main.xml"; }
    void Init() override;
    LRESULT OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void Notify(ui::Notification& msg) override;
    LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

    // MainWindowHost
    HWND Window() const override { return hwnd_; }
    ui::PaintManager& Paint() override { return pm_; }
    void ShowTip(const std::wstring& text, int x, int y, int type, const std::wstring& colour) override;
    bool ShowBalloon(const std::wstring& text, const std::wstring& title, UINT timeoutMs,
                     TrayIcon::BalloonIcon icon) override;
    void SetTrayIcon(UINT iconResource) override;
    LoginBusi* Logins() override { return loginBusi_.get(); }
    MainBusi* Session() override { return mainBusi_.get(); }
    SubscribeBusi* Subscriptions() override { return subscribeBusi_.get(); }
    MsgCenterBusi* MessageCentre() override { return msgCenterBusi_.get(); }
    void StartTimer(Timer id) override;
    void StopTimer(Timer id) override;
    int Reachability() const override { return connection_.State(); }
    void OpenServicePage(const std::wstring& address) override;
    void ShowOfflinePage() override;
    void FocusBrowser() override;
    void ShowLoginLayer() override;
    void LoginLayerShown(bool shown) override;
    bool StartLogin(const std::wstring& userName, const std::wstring& password) override;
    void Logout() override;
    void ExpandTitleArea() override;
    void OpenListHome() override;
    void SelectListHome() override;
    void OpenSelectedPersonalPage() override;
    void ShowPostRules(bool later) override;
    void ShowMainWindow() override;
    void HideAllWindows() override;
    void Quit() override;
    SideWindows& Sides() override { return sideWindows_; }

    // Seams and state for tests and tools.
    void SetPeriods(const Periods& periods) { periods_ = periods; }
    void SetNavigator(std::unique_ptr<BrowserNavigator> navigator);
    bool ReloginPending() const { return connection_.ReloginPending(); }
    const TrayIcon& Tray() const { return trayMenus_.Icon(); }
    RulesAndAbout& RulesAndAboutWindows() { return rulesAndAbout_; }
    const Tip& LastTip() const { return lastTip_; }
    PopupController& Popups() { return popups_; }
    // Routes refused because a part claimed a message, timer or
    // notification another had already claimed.
    int RouteClashes() const { return routes_.Refused() + timers_.Refused() + filters_.Refused(); }

private:
    void PlaceWindow();
    void StartServices();
    // What the end keeps, once, whether the window closes or the Windows
    // session ends: the logout and exit reports (started, not waited for),
    // the last-read time, the credential rules, the window's place and
    // whether the tray notice was seen.
    void SaveForEnd();
    // The end's one deadline, set by whichever of quitting, closing and the
    // session's end comes first: the later ones wait no more.
    ULONGLONG EndDeadline();
    void WaitForReports(ULONGLONG deadline);
    // Every request of every service aborted at once, then one wait for
    // all their workers (and the reports) until the deadline.
    void EndServices(ULONGLONG deadline);
    UINT PeriodOf(Timer id) const;
    void OnServerTimeKnown();
    void OnSlowMessagePolling();
    void OnWebLoginRequest();
    void OnPendingTip();
    void HideTip();

    // The browser helper becomes the page navigator, the browser's event
    // handler and a key translator of the window; detaching undoes all three.
    void AttachBrowserHelper();
    void DetachBrowserHelper();

    void AddRoutes();
    void AddTimerRoutes();
    void AddFilterRoutes();

    // Messages of the window, of its timers, and those its key and mouse
    // filter looks at; control notifications.
    RouteTable routes_;
    MessageRoutes timers_;
    MessageRoutes filters_;

    Periods periods_;
    TrayMenus trayMenus_{*this};
    LoginLayer login_{*this};
    PostBox postBox_{*this};
    ConnectionWatch connection_{*this};
    SideWindows sideWindows_{*this};
    UpdateWindows updateWindows_{*this};
    RulesAndAbout rulesAndAbout_{*this};
    PopupController popups_{*this};
    std::unique_ptr<LoginBusi> loginBusi_;
    std::unique_ptr<MainBusi> mainBusi_;
    std::unique_ptr<SubscribeBusi> subscribeBusi_;
    std::unique_ptr<MsgCenterBusi> msgCenterBusi_;
    std::unique_ptr<BrowserNavigator> navigator_;
    WebBrowserCtrlHelper* browserHelper_ = nullptr;  // the navigator, when it is the helper
    // The tip banner deletes itself; the reference reads null once it has.
    ui::WindowRef<ui::NoticeBanner> banner_;

    Tip pendingTip_;
    Tip lastTip_;
    bool startupReported_ = false;
    bool savedForEnd_ = false;
    ULONGLONG endDeadline_ = 0;
    std::vector<LoginLogReportPtr> endReports_;
    bool webLoginReloaded_ = false;
};
