// The windows beside the main window, and what the main window owes them
// as it moves, shows, hides and closes. Each is created on first demand and
// afterwards only raised, held by a weak reference (so it is forgotten by
// itself once gone), and closed with the main window.
//
// A new kind of side window is a few lines: a ui::WindowRef member, an
// Open... operation calling Open<W>(ref, placement, args...), and the route
// of its closing message in AddRoutes.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "panels/config_panel.h"
#include "panels/custom_subscribe_panel.h"
#include "ui/secondary_window.h"
#include "ui/window_ref.h"

class MainWindowHost;
struct RouteTable;

class SideWindows {
public:
    // Where a side window sits. Beside the main window: on its right, or on
    // its left when the work area ends first, `top` pixels (in the skin's
    // units) below the main window's top; it moves along with the main
    // window and is hidden and shown with it. Otherwise the window places
    // itself and is only raised.
    struct Placement {
        bool beside = false;
        int top = 0;
    };
    static constexpr Placement kBesideSettings{true, 1};
    static constexpr Placement kBesideSubscription{true, 250};
    static constexpr Placement kOwnPlace{false, 0};

    // The hint of the subscription window while signed out, and the one of
    // the subscribed-inquiries page while nothing is subscribed yet.
    static constexpr wchar_t kSignedOutHint[] = L"请先登录，再按区域订阅";
    static constexpr UINT kSignedOutHintMs = 3000;
    static constexpr wchar_t kNothingSubscribedHint[] =
        L"请选择您关注的区域！保存订阅后，<n>有任何针对该区域的新询价将及时通知您";

    explicit SideWindows(MainWindowHost& host) : host_(host) {}
    SideWindows(const SideWindows&) = delete;
    SideWindows& operator=(const SideWindows&) = delete;

    void AddRoutes(RouteTable& routes);

    // Opened, or raised when open; null when the window could not be made.
    ConfigPanel* OpenSettings();
    CustomSubscribePanel* OpenSubscription();
    // The subscribed-inquiries page while nothing is subscribed: the
    // subscription window, with the hint asking for a choice until it closes.
    CustomSubscribePanel* OpenSubscriptionToChoose();
    ConfigPanel* SettingsWindow() const { return settings_.Get(); }
    CustomSubscribePanel* SubscriptionWindow() const { return subscription_.Get(); }

    // Where a window of `size` (pixels) goes beside a main window at `main`
    // on a monitor with work area `work`, `top` pixels below its top: right
    // of it, else left of it, and inside the work area either way.
    static POINT BesidePosition(const RECT& main, const RECT& work, SIZE size, int top);

    // The main window's position is about to change.
    void OnMainWindowMoving(const WINDOWPOS& pos);
    // The main window has been shown and has the focus.
    void OnMainWindowShown();
    // The main window is about to be hidden.
    void OnMainWindowHidden();
    // The main window closes: the side windows close with it.
    void OnMainWindowClosing();

private:
    struct Tracked {
        ui::WindowRef<ui::SecondaryWindow> window;
        Placement placement;
    };

    template <typename W, typename... A>
    W* Open(ui::WindowRef<W>& ref, const Placement& placement, A&&... args) {
        if (W* open = ref.Get()) {
            Raise(*open, placement, false);
            return open;
        }
        PrepareMainWindow();
        W* made = ui::SecondaryWindow::Open<W>(std::forward<A>(args)...);
        ref = made;
        if (made != nullptr) {
            open_.push_back(Tracked{ui::WindowRef<ui::SecondaryWindow>(made), placement});
            Raise(*made, placement, true);
        }
        return made;
    }
    void PrepareMainWindow();
    // Into its layer (top-most when the main window is kept on top); the
    // first time also to its place.
    void Raise(ui::SecondaryWindow& window, const Placement& placement, bool place);
    // Beside the main window at `main`, at the main window's DPI.
    void PlaceBeside(ui::SecondaryWindow& window, const RECT& main, int top, HWND insertAfter, UINT flags);
    // Drops the windows that are gone.
    void ForgetClosed();

    MainWindowHost& host_;
    ui::WindowRef<ConfigPanel> settings_;
    ui::WindowRef<CustomSubscribePanel> subscription_;
    std::vector<Tracked> open_;
};
