#include "panels/side_windows.h"

void SideWindows::OnMainWindowMoving(const WINDOWPOS&) {
    // The settings and subscription windows will follow the main window
    // here, on its right or, without room there, on its left.
}

void SideWindows::OnMainWindowShown() {
    // The settings and subscription windows will be shown again here.
}

void SideWindows::OnMainWindowHidden() {
    // The settings and subscription windows will be hidden first here.
}

void SideWindows::OnMainWindowClosing() {
    // The settings and subscription windows will be closed here.
}
