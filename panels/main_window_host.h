// What the parts of the main window may ask of it. The parts (the login
// layer, the post box with the pages, the tray icon with the menus, the
// connection watch and the side windows) know the window only through this
// interface, and reach one another only through the operations it forwards.
#pragma once

#include <windows.h>

#include <string>

#include "panels/tray_icon.h"
#include "ui/paint_manager.h"

class LoginBusi;
class MainBusi;
class MsgCenterBusi;
class SideWindows;
class SubscribeBusi;

class MainWindowHost {
public:
    // The window's timers; the window knows their periods.
    enum Timer : UINT_PTR {
        kCountsTimer = 101,
        kWebLoginTimer = 102,
        kMessagesTimer = 103,
        kSlowMessagesTimer = 104,
        kTokenTimer = 105,
        kNoticeCheckTimer = 106,
        kAddTrayIconTimer = 110,
        kStartServicesTimer = 120,
    };

    // Colours of the tips, as the skin writes them.
    static constexpr wchar_t kHintColour[] = L"FE7819";
    static constexpr wchar_t kErrorColour[] = L"FFF00000";
    static constexpr wchar_t kCapsColour[] = L"000000";
    // A tip and the balloon say this when the service host cannot be reached.
    static constexpr wchar_t kOfflineText[] = L"连接已断开，请检查您的网络是否正常";

    // Pages of the service host, and pages of its web site.
    static std::wstring ServicePage(const wchar_t* path);
    static std::wstring WebPage(const wchar_t* path);

    // The window and its controls.
    virtual HWND Window() const = 0;
    virtual ui::PaintManager& Paint() = 0;

    // Tips: the point is in screen pixels; type 0 is a strip, type 1 a
    // bubble pointing at a control. The tray's icon and balloon.
    virtual void ShowTip(const std::wstring& text, int x, int y, int type, const std::wstring& colour) = 0;
    virtual bool ShowBalloon(const std::wstring& text, const std::wstring& title, UINT timeoutMs,
                             TrayIcon::BalloonIcon icon) = 0;
    virtual void SetTrayIcon(UINT iconResource) = 0;

    // The services, null once Quit has deleted them, and the timers that
    // drive them.
    virtual LoginBusi* Logins() = 0;
    virtual MainBusi* Session() = 0;
    virtual SubscribeBusi* Subscriptions() = 0;
    virtual MsgCenterBusi* MessageCentre() = 0;
    virtual void StartTimer(Timer id) = 0;
    virtual void StopTimer(Timer id) = 0;

    // The service host: -1 not yet known, 0 unreachable, 1 reachable. The
    // embedded browser shows its pages, or the offline page while it is
    // unreachable.
    virtual int Reachability() const = 0;
    virtual void OpenServicePage(const std::wstring& address) = 0;
    virtual void ShowOfflinePage() = 0;
    virtual void FocusBrowser() = 0;

    // Signing in and out.
    virtual void ShowLoginLayer() = 0;
    // The login layer has gone up or down over the post layer.
    virtual void LoginLayerShown(bool shown) = 0;
    virtual bool StartLogin(const std::wstring& userName, const std::wstring& password) = 0;
    virtual void Logout() = 0;

    // The title area and the list pages.
    virtual void ExpandTitleArea() = 0;
    virtual void OpenListHome() = 0;
    // Selects the list home option, which opens the page.
    virtual void SelectListHome() = 0;
    // My inquiries or my subscribed inquiries, when its option is selected.
    virtual void OpenSelectedPersonalPage() = 0;

    // The posting rules, at the post box; `later`: once the focus change
    // under way has settled.
    virtual void ShowPostRules(bool later) = 0;

    // The main window with the side windows that follow it.
    virtual void ShowMainWindow() = 0;
    virtual void HideAllWindows() = 0;
    virtual void Quit() = 0;
    // The windows beside it (settings, subscription, ...).
    virtual SideWindows& Sides() = 0;

    // Helpers on top of the above.
    template <typename T = ui::Control>
    T* Find(const wchar_t* name) {
        return dynamic_cast<T*>(Paint().FindControl(name));
    }
    // True when the option exists and is selected.
    bool IsSelected(const wchar_t* option);
    POINT ClientToScreen(int x, int y) const;
    // A type 1 tip at 21 pixels into the control, at its bottom; when
    // `focus`, the control takes the focus first.
    void ShowTipAtControl(ui::Control* control, const std::wstring& text, const std::wstring& colour, bool focus);

protected:
    ~MainWindowHost() = default;
};
