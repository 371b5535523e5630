#include "panels/rules_and_about.h"

#include <algorithm>

#include "panels/main_window_host.h"
#include "panels/route_table.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "ui/platform.h"

namespace {

// Queued to the main window's own notifications: open the posting rules.
const wchar_t kOpenPostRules[] = L"openpostrules";

void Raise(HWND window, HWND layer) {
    ::SetWindowPos(window, layer, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(window);
}

}  // namespace

void RulesAndAbout::AddRoutes(RouteTable& routes) {
    MessageRoutes& m = routes.messages;
    // A late message from an old window must not forget a newer one.
    m.Add(msg::kAboutPanelClosed, [this](WPARAM, LPARAM) {
        if (about_.Get() == nullptr) about_.Reset();
    });
    m.Add(msg::kPostRulePanelClosed, [this](WPARAM, LPARAM) {
        if (postRules_.Get() == nullptr) postRules_.Reset();
    });
    NotifyRoutes& n = routes.notifications;
    n.Add(L"menu_about_us", NotifyRoutes::kAnySender, [this](ui::Notification&) { OpenAbout(); });
    n.Add(kOpenPostRules, NotifyRoutes::kAnySender, [this](ui::Notification&) { OpenPostRules(); });
}

RECT RulesAndAbout::PlaceAtPostBox(HWND main, const RECT& box, SIZE size, const RECT& work) {
    const UINT dpi = ui::DpiForWindow(main);
    POINT at{box.left - ui::ScaleBy(20, dpi), box.top + ui::ScaleBy(40, dpi)};
    ::ClientToScreen(main, &at);
    const LONG width = std::min<LONG>(size.cx, work.right - work.left);
    const LONG height = std::min<LONG>(size.cy, work.bottom - work.top);
    const LONG left = std::clamp<LONG>(at.x, work.left, work.right - width);
    const LONG top = std::clamp<LONG>(at.y, work.top, work.bottom - height);
    return RECT{left, top, left + width, top + height};
}

void RulesAndAbout::OpenPostRules() {
    if (PostRulePanel* open = postRules_.Get()) {
        Raise(*open, HWND_TOPMOST);
        return;
    }
    const HWND main = host_.Window();
    PostRulePanel* panel = ui::SecondaryWindow::Open<PostRulePanel>(main);
    if (panel == nullptr) return;
    postRules_ = panel;
    if (ui::Control* box = host_.Find(L"PostEdit")) {
        RECT rc;
        ::GetWindowRect(*panel, &rc);
        MONITORINFO mi = {};
        mi.cbSize = sizeof(mi);
        ::GetMonitorInfoW(::MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &mi);
        const RECT place =
            PlaceAtPostBox(main, box->GetPos(), SIZE{rc.right - rc.left, rc.bottom - rc.top}, mi.rcWork);
        ::SetWindowPos(*panel, HWND_TOPMOST, place.left, place.top, 0, 0, SWP_NOSIZE);
    }
    Raise(*panel, HWND_TOPMOST);
}

void RulesAndAbout::OpenPostRulesLater() {
    if (ui::Control* root = host_.Paint().GetRoot()) host_.Paint().SendNotify(root, kOpenPostRules, 0, 0, true);
}

void RulesAndAbout::OpenAbout() {
    AboutUsPanel* about = about_.Get();
    if (about == nullptr) {
        about = ui::SecondaryWindow::Open<AboutUsPanel>(host_.Window());
        if (about == nullptr) return;
        about->CenterWindow();
        about_ = about;
    }
    // The normal layer's top unless the main window keeps on top.
    Raise(*about, Settings().mainPanelTopmost ? HWND_TOPMOST : HWND_NOTOPMOST);
}

void RulesAndAbout::CloseAll() {
    if (PostRulePanel* rules = postRules_.Get()) ::DestroyWindow(*rules);
    if (AboutUsPanel* about = about_.Get()) ::DestroyWindow(*about);
    postRules_.Reset();
    about_.Reset();
}
