#include "panels/side_windows.h"

#include <algorithm>

#include "api/subscribe_busi.h"
#include "panels/config_panel.h"
#include "panels/custom_subscribe_panel.h"
#include "panels/main_window_host.h"
#include "panels/route_table.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "ui/platform.h"

namespace {

DWORD HintColour() { return static_cast<DWORD>(wcstoul(MainWindowHost::kHintColour, nullptr, 16)); }

}  // namespace

void SideWindows::AddRoutes(RouteTable& routes) {
    MessageRoutes& m = routes.messages;
    m.Add(msg::kConfigPanelClosed, [this](WPARAM, LPARAM) {
        // A late message from an old window must not forget a newer one.
        if (settings_.Get() == nullptr) settings_.Reset();
        ForgetClosed();
    });
    m.Add(msg::kSubscribePanelClosed, [this](WPARAM, LPARAM) {
        if (SubscribeBusi* subscriptions = host_.Subscriptions()) subscriptions->SendProvinceList();
        if (subscription_.Get() == nullptr) subscription_.Reset();
        ForgetClosed();
    });
    // A page's own subscription button.
    m.Add(msg::kPageRssConfig, [this](WPARAM, LPARAM) { OpenSubscription(); });

    NotifyRoutes& n = routes.notifications;
    const std::wstring any = NotifyRoutes::kAnySender;
    n.Add(L"menu_config", any, [this](ui::Notification&) { OpenSettings(); });
    n.Add(L"menu_modify_subscribe", any, [this](ui::Notification&) { OpenSubscription(); });
}

ConfigPanel* SideWindows::OpenSettings() { return Open(settings_, kBesideSettings, host_.Window()); }

CustomSubscribePanel* SideWindows::OpenSubscription() {
    CustomSubscribePanel* window = Open(subscription_, kBesideSubscription, host_.Window());
    if (window != nullptr && !::Settings().signedIn) {
        host_.ShowLoginLayer();
        window->ShowTip(kSignedOutHint, HintColour(), kSignedOutHintMs);
    }
    return window;
}

CustomSubscribePanel* SideWindows::OpenSubscriptionToChoose() {
    CustomSubscribePanel* window = OpenSubscription();
    if (window != nullptr) window->ShowTip(kNothingSubscribedHint, HintColour(), 0);
    return window;
}

void SideWindows::PrepareMainWindow() {
    if (!::IsWindowVisible(host_.Window()) || ::IsIconic(host_.Window())) host_.ShowMainWindow();
}

void SideWindows::Raise(ui::SecondaryWindow& window, const Placement& placement, bool place) {
    const HWND layer = ::Settings().mainPanelTopmost ? HWND_TOPMOST : HWND_NOTOPMOST;
    RECT main;
    if (place && placement.beside && ::GetWindowRect(host_.Window(), &main)) {
        PlaceBeside(window, main, placement.top, layer, 0);
        return;
    }
    ::SetWindowPos(window, layer, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    // Asked for again: the user wants to work in it.
    if (!place) ::SetForegroundWindow(window);
}

POINT SideWindows::BesidePosition(const RECT& main, const RECT& work, SIZE size, int top) {
    LONG x = main.right + 1;
    if (work.right < main.right + size.cx) x = main.left - size.cx - 1;
    // On neither side is there room for all of it: as much as fits.
    x = std::clamp(x, work.left, std::max(work.left, work.right - size.cx));
    const LONG y = std::clamp(main.top + top, work.top, std::max(work.top, work.bottom - size.cy));
    return POINT{x, y};
}

void SideWindows::PlaceBeside(ui::SecondaryWindow& window, const RECT& main, int top, HWND insertAfter, UINT flags) {
    // The side window takes the DPI of the monitor that holds the main window.
    const UINT dpi = ui::DpiForWindow(host_.Window());
    ui::PaintManager& pm = window.GetPaintManager();
    SIZE size;
    if (pm.GetDpi() != dpi) {
        pm.SetDpi(dpi);
        size = pm.GetInitSize();
    } else {
        RECT rc;
        ::GetWindowRect(window, &rc);
        size = SIZE{rc.right - rc.left, rc.bottom - rc.top};
    }
    const RECT work = ui::WorkAreaAt(POINT{(main.left + main.right) / 2, (main.top + main.bottom) / 2});
    const POINT at = BesidePosition(main, work, size, ui::ScaleBy(top, dpi));
    ::SetWindowPos(window, insertAfter, at.x, at.y, size.cx, size.cy, flags);
}

void SideWindows::ForgetClosed() {
    open_.erase(std::remove_if(open_.begin(), open_.end(), [](const Tracked& t) { return !t.window; }), open_.end());
}

void SideWindows::OnMainWindowMoving(const WINDOWPOS& pos) {
    if ((pos.flags & SWP_NOMOVE) != 0) return;
    // Minimising moves the main window off every screen; they stay put.
    if (pos.x <= -32000 && pos.y <= -32000) return;
    ForgetClosed();
    RECT now{};
    ::GetWindowRect(host_.Window(), &now);
    const bool sized = (pos.flags & SWP_NOSIZE) == 0;
    const LONG width = sized ? pos.cx : now.right - now.left;
    const LONG height = sized ? pos.cy : now.bottom - now.top;
    const RECT main{pos.x, pos.y, pos.x + width, pos.y + height};
    for (const Tracked& t : open_) {
        ui::SecondaryWindow* window = t.window.Get();
        if (window != nullptr && t.placement.beside) {
            PlaceBeside(*window, main, t.placement.top, nullptr, SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

void SideWindows::OnMainWindowShown() {
    ForgetClosed();
    for (const Tracked& t : open_) {
        ui::SecondaryWindow* window = t.window.Get();
        if (window != nullptr && t.placement.beside && !::IsWindowVisible(*window)) ::ShowWindow(*window, SW_SHOWNA);
    }
}

void SideWindows::OnMainWindowHidden() {
    ForgetClosed();
    for (const Tracked& t : open_) {
        ui::SecondaryWindow* window = t.window.Get();
        if (window != nullptr && t.placement.beside && ::IsWindowVisible(*window)) ::ShowWindow(*window, SW_HIDE);
    }
}

void SideWindows::OnMainWindowClosing() {
    // Closed as the user would close them, so that each keeps what its
    // closing keeps (the settings window stores its options).
    for (const Tracked& t : open_) {
        if (ui::SecondaryWindow* window = t.window.Get()) ::SendMessageW(*window, WM_CLOSE, 0, 0);
    }
    open_.clear();
    settings_.Reset();
    subscription_.Reset();
}
