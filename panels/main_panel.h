// The client's main window and hub: owns the services and the reachability
// monitor, receives their outcomes as messages, hosts the login layer, the
// post box and the embedded browser, and lives in the notification area.
// Its code is in three modules: frame and login, posting and pages, tray,
// menus and timers.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "net/reachability.h"
#include "panels/browser_navigator.h"
#include "panels/route_table.h"
#include "panels/tray_icon.h"
#include "shell/saved_password.h"
#include "ui/skin_window.h"

class LoginBusi;
class MainBusi;
class MsgCenterBusi;
class SubscribeBusi;

namespace ui {
class Control;
class Label;
class Option;
class Edit;
class RichEdit;
class NoticeBanner;
class UIMenu;
}  // namespace ui

class MainPanel : public ui::SkinWindow {
public:
    // Timer ids and their periods; tests shorten the periods.
    enum Timer : UINT_PTR {
        kCountsTimer = 101,
        kWebLoginTimer = 102,
        kMessagesTimer = 103,
        kSlowMessagesTimer = 104,
        kTokenTimer = 105,
        kNoticeCheckTimer = 106,
        kAddTrayIconTimer = 110,
    };
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

    static constexpr wchar_t kTitle[] = L"云帆商务台";
    static constexpr DWORD kStyle = 0x10CF0000;

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

    // Frame and login.
    void ShowTip(const std::wstring& text, int x, int y, int type, const std::wstring& colour);
    void ShowTipAtControl(ui::Control* control, const std::wstring& text, const std::wstring& colour, bool focus);
    void ShowLoginLayer();
    void HideLoginLayer();
    bool StartLogin();
    bool StartLogin(const std::wstring& userName, const std::wstring& password);
    void Logout();
    void OpenServicePage(const std::wstring& address);

    // Tray, menus and timers.
    void ShowMainWindow();
    void HideAllWindows();
    void Quit();
    bool ShowBalloon(const std::wstring& text, const std::wstring& title, UINT timeoutMs,
                     TrayIcon::BalloonIcon icon);
    void SetTrayIcon(UINT iconResource);

    // Seams and state for tests and tools.
    void SetPeriods(const Periods& periods) { periods_ = periods; }
    void SetNavigator(std::unique_ptr<BrowserNavigator> navigator);
    int Reachability() const { return reachability_; }
    bool ReloginPending() const { return reloginPending_; }
    const TrayIcon& Tray() const { return tray_; }
    const Tip& LastTip() const { return lastTip_; }
    ui::NoticeBanner* Banner() const { return banner_; }
    MainBusi* Session() const { return mainBusi_.get(); }
    SubscribeBusi* Subscriptions() const { return subscribeBusi_.get(); }
    MsgCenterBusi* MessageCentre() const { return msgCenterBusi_.get(); }
    ReachabilityMonitor* Monitor() const { return monitor_.get(); }
    // The credential boxes as the credential rules see them.
    CredentialBoxes Boxes() const;

    static std::wstring ServicePage(const wchar_t* path);
    static std::wstring WebPage(const wchar_t* path);

private:
    // Frame and login.
    void PlaceWindow();
    void LookUpControls();
    void FillLoginLayer();
    void OnLoginButton();
    void OnLoginResult(WPARAM ok, LPARAM code);
    void OnLoginSucceeded();
    void OnLoginFailed(int code);
    void OnServerTimeKnown();
    void OnAvatarSaved();
    void OnPendingTip();
    void OnWebLoginRequest();
    void OnLoginBoxFocus(ui::Control* box, bool gained);
    void OnHideLoginLayerButton(ui::Control* button);
    void OnCredentialOption(bool autoOption);
    void ShowCapsLockTip();
    void ExpandTitleArea();
    void SetBoxes(const CredentialBoxes& boxes);
    POINT ClientToScreenPoint(int x, int y) const;

    // Posting and pages.
    void OnPostTextChanged();
    void OnPostFocus(bool gained);
    void ExpandPostOptions(bool expand);
    void OnPostTypeChanged();
    void OnPost();
    void OnPostResult(int code);
    void OpenListHome(const wchar_t* query = L"");
    // True when signed in; otherwise shows the login layer and the tip.
    bool SignedInOrAsk(const wchar_t* tip);
    void OpenMyInquiries();
    void OpenSubscribedInquiries();
    void ReopenCurrentPage();
    void OnShowSubscribedList();
    void OnGoToPostBox();
    void SetTitleAreaFull(bool full);
    void ShowMultiLayer(bool show);
    void OnPageButton(const std::wstring& name);
    void UpdateBottomLabel();
    bool IsSelected(const wchar_t* option) const;

    // Routing.
    void AddRoutes();
    void AddTimerRoutes();
    void AddFilterRoutes();
    void AddNotifyRoutes();

    // Tray, menus and timers.
    void OnTrayIcon(WPARAM id, LPARAM mouse);
    void OnReachability(bool reachable, bool forced);
    void ShowOffline();
    void OnExitButton();
    ui::UIMenu* OpenMenu(const wchar_t* layout, ui::Control* owner, POINT pt, UINT flags);
    void OpenMainMenu(ui::Control* button);
    void OpenEditMenu();
    void OnMenuItem(const std::wstring& item);
    void OnSlowMessagePolling();
    void HideBanner();
    void MoveSideWindows(const WINDOWPOS* pos);

    template <typename T>
    T* Find(const wchar_t* name) const {
        return dynamic_cast<T*>(const_cast<MainPanel*>(this)->pm_.FindControl(name));
    }

    // Messages of the window, of its timers, and those its key and mouse
    // filter looks at; control notifications.
    RouteTable routes_;
    MessageRoutes timers_;
    MessageRoutes filters_;

    Periods periods_;
    TrayIcon tray_;
    std::unique_ptr<LoginBusi> loginBusi_;
    std::unique_ptr<MainBusi> mainBusi_;
    std::unique_ptr<SubscribeBusi> subscribeBusi_;
    std::unique_ptr<ReachabilityMonitor> monitor_;
    std::unique_ptr<MsgCenterBusi> msgCenterBusi_;
    std::unique_ptr<BrowserNavigator> navigator_;
    ui::NoticeBanner* banner_ = nullptr;  // deletes itself; forgotten on 2055
    HWND bannerWindow_ = nullptr;         // used only while IsWindow says it lives

    // Controls, looked up once.
    ui::Control* avatar_ = nullptr;
    ui::Label* labelLxsname_ = nullptr;
    ui::Label* labelUsername_ = nullptr;
    ui::Control* notLoggedUser_ = nullptr;
    ui::Control* btnHideFull_ = nullptr;
    ui::Control* multiLayer_ = nullptr;
    ui::RichEdit* postEdit_ = nullptr;
    ui::Control* postNotice_ = nullptr;
    ui::Label* restWordCount_ = nullptr;
    ui::Control* loginLayer_ = nullptr;
    ui::Edit* editUsername_ = nullptr;
    ui::Edit* editPassword_ = nullptr;
    ui::Option* optionSavePsw_ = nullptr;
    ui::Option* optionAutoLogin_ = nullptr;
    ui::Control* inputUsernameNotice_ = nullptr;
    ui::Control* inputPasswordNotice_ = nullptr;

    Tip pendingTip_;
    Tip lastTip_;
    bool reloginPending_ = false;
    bool loginRunning_ = false;
    bool startupReported_ = false;
    bool webLoginReloaded_ = false;
    int reachability_ = -1;
    int postType_ = 0;
};
