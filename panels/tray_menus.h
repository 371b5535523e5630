// The main window's icon in the notification area with its balloons, the
// three pop-up menus (tray, main, edit) with their window and session
// items, and the caption's minimise and close buttons.
#pragma once

#include <windows.h>

#include <string>

#include "panels/tray_icon.h"

class MainWindowHost;
struct RouteTable;

namespace ui {
class Control;
class UIMenu;
}  // namespace ui

class TrayMenus {
public:
    explicit TrayMenus(MainWindowHost& host) : host_(host) {}
    TrayMenus(const TrayMenus&) = delete;
    TrayMenus& operator=(const TrayMenus&) = delete;

    void AddRoutes(RouteTable& routes);

    // Once the window has painted: the icon for the current state.
    void AddIcon();
    void RemoveIcon() { tray_.Remove(); }
    void SetIcon(UINT iconResource) { tray_.SetIcon(iconResource); }
    bool ShowBalloon(const std::wstring& text, const std::wstring& title, UINT timeoutMs, TrayIcon::BalloonIcon icon) {
        return tray_.ShowBalloon(text, title, timeoutMs, icon);
    }
    const TrayIcon& Icon() const { return tray_; }

private:
    void OnIconMouse(WPARAM id, LPARAM mouse);
    ui::UIMenu* OpenMenu(const wchar_t* layout, ui::Control* owner, POINT pt, UINT flags);
    void OpenMainMenu(ui::Control* button);
    void OpenEditMenu(ui::Control* edit);
    void OnLogAction();
    void OnExitButton();

    MainWindowHost& host_;
    TrayIcon tray_;
};
