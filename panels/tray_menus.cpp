#include "panels/tray_menus.h"

#include <optional>

#include "net/shell_open.h"
#include "panels/main_window_host.h"
#include "panels/route_table.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/service_config.h"
#include "ui/menu.h"
#include "ui/native_controls.h"

namespace {

// Whether a paste would bring text: the clipboard holds text that does not
// start with a zero. Nothing when the clipboard cannot be opened.
std::optional<bool> ClipboardOffersText(HWND owner) {
    if (!::OpenClipboard(owner)) return std::nullopt;
    bool offers = false;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const wchar_t*>(::GlobalLock(data))) {
            offers = text[0] != L'\0';
            ::GlobalUnlock(data);
        }
    } else if (HANDLE ansi = ::GetClipboardData(CF_TEXT)) {
        if (const auto* text = static_cast<const char*>(::GlobalLock(ansi))) {
            offers = text[0] != '\0';
            ::GlobalUnlock(ansi);
        }
    }
    ::CloseClipboard();
    return offers;
}

}  // namespace

void TrayMenus::AddRoutes(RouteTable& routes) {
    MessageRoutes& m = routes.messages;
    m.Add(msg::kTrayIcon, [this](WPARAM id, LPARAM mouse) { OnIconMouse(id, mouse); });
    // Explorer restarted and forgot every icon.
    m.Add(TrayIcon::TaskbarCreatedMessage(), [this](WPARAM, LPARAM) { tray_.Restore(); });

    NotifyRoutes& n = routes.notifications;
    n.Add(L"click", L"BtnExit", [this](ui::Notification&) { OnExitButton(); });
    n.Add(L"click", L"BtnMin", [this](ui::Notification&) {
        ::SendMessageW(host_.Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    });
    n.Add(L"click", L"BtnMenu", [this](ui::Notification& e) { OpenMainMenu(e.sender); });
    n.Add(L"menu", L"PostEdit", [this](ui::Notification& e) { OpenEditMenu(e.sender); });
    const std::wstring any = NotifyRoutes::kAnySender;
    n.Add(L"menu_log_action", any, [this](ui::Notification&) { OnLogAction(); });
    n.Add(L"menu_exit", any, [this](ui::Notification&) { host_.Quit(); });
    n.Add(L"menu_feedback", any, [](ui::Notification&) {
        ShellOpenUrl(Service().FeedbackOrigin() + L"/guestbook/?soft", true);
    });
    n.Add(L"menu_show_main_panel", any, [this](ui::Notification&) { host_.ShowMainWindow(); });
    n.Add(L"menu_hide_main_panel", any, [this](ui::Notification&) { host_.HideAllWindows(); });
}

void TrayMenus::AddIcon() {
    tray_.Add(host_.Window(), tray_.IconResource() != 0 ? tray_.IconResource() : TrayIcon::kSignedOutIcon);
}

void TrayMenus::OnIconMouse(WPARAM id, LPARAM mouse) {
    if (id != TrayIcon::kId) return;
    if (mouse == WM_LBUTTONUP) {
        host_.ShowMainWindow();
    } else if (mouse == WM_RBUTTONUP) {
        POINT pt;
        ::GetCursorPos(&pt);
        OpenMenu(L"menu_tray.xml", host_.Paint().GetRoot(), pt, ui::UIMenu::kAbovePoint);
    }
}

ui::UIMenu* TrayMenus::OpenMenu(const wchar_t* layout, ui::Control* owner, POINT pt, UINT flags) {
    // A menu deletes itself when its window goes; without an owner it would
    // never have one.
    if (owner == nullptr) return nullptr;
    auto* menu = new ui::UIMenu(layout);
    menu->Init(owner, pt, flags);
    return menu;
}

void TrayMenus::OpenMainMenu(ui::Control* button) {
    const RECT& rc = button->GetPos();
    const POINT pt = host_.ClientToScreen(rc.right, rc.top);
    ui::UIMenu* menu = OpenMenu(L"menu_main_panel_main.xml", button, pt, 0);
    if (menu == nullptr) return;
    menu->SetItemText(L"menu_log_action", Settings().signedIn ? L"登出账户" : L"登录");
}

void TrayMenus::OpenEditMenu(ui::Control* edit) {
    POINT pt;
    ::GetCursorPos(&pt);
    ui::UIMenu* menu = OpenMenu(L"menu_edit.xml", host_.Paint().GetRoot(), pt, 0);
    if (menu == nullptr) return;
    auto* box = dynamic_cast<ui::RichEdit*>(edit);
    if (box && box->GetSelText().empty()) {
        menu->DisableItem(L"menu_copy");
        menu->DisableItem(L"menu_cut");
    }
    if (ClipboardOffersText(host_.Window()) == false) menu->DisableItem(L"menu_paste");
}

void TrayMenus::OnLogAction() {
    if (Settings().signedIn) {
        host_.Logout();
    } else {
        host_.ShowLoginLayer();
    }
}

void TrayMenus::OnExitButton() {
    AppSettings& s = Settings();
    if (!s.exitButtonHides) {
        host_.Quit();
        return;
    }
    if (!s.hideToTrayNoticed) {
        tray_.ShowBalloon(L"软件窗口已最小化，点此图标还原显示。", L"提示", 5000, TrayIcon::BalloonIcon::Information);
        s.hideToTrayNoticed = true;
    }
    host_.HideAllWindows();
}
