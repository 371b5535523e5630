// The windows beside the main window, and what the main window owes them
// as it moves, shows, hides and closes.
//
// Empty in this build. The secondary windows will live here, each created
// on first demand, held without owning it and forgotten on its closing
// message: the settings window (menu item "menu_config", closing 2050), the
// subscription window ("menu_modify_subscribe", 2051), the about window
// ("menu_about_us", 2053), the posting-rules window (2054), the update
// windows (2198, 2199) and the pop-up controller with its message and
// notice pop-ups (2052, 2056, 2088, 2128, 2138). Their routes will be added
// to the main window's table here as well.
#pragma once

#include <windows.h>

class SideWindows {
public:
    SideWindows() = default;
    SideWindows(const SideWindows&) = delete;
    SideWindows& operator=(const SideWindows&) = delete;

    // The main window's position is about to change.
    void OnMainWindowMoving(const WINDOWPOS& pos);
    // The main window has been shown and has the focus.
    void OnMainWindowShown();
    // The main window is about to be hidden.
    void OnMainWindowHidden();
    // The main window closes: the side windows close with it.
    void OnMainWindowClosing();
};
