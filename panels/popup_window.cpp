#include "panels/popup_window.h"

#include <imm.h>
#include <windowsx.h>

#include "ui/accessibility.h"
#include "ui/platform.h"

void PopupWindow::InitPopup() {
    ::ImmAssociateContext(hwnd_, nullptr);
    PlaceInCorner();
}

void PopupWindow::PlaceInCorner() {
    RECT rc{};
    if (hwnd_ == nullptr || !::GetWindowRect(hwnd_, &rc)) return;
    const RECT to = ui::CornerNextToTray(ui::FindTrayPlace(), SIZE{rc.right - rc.left, rc.bottom - rc.top},
                                         pm_.Scale(kGapX), pm_.Scale(kGapY));
    ::SetWindowPos(hwnd_, nullptr, to.left, to.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PopupWindow::ShowOnTop() {
    if (hwnd_ == nullptr) return;
    ::ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    ::SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void PopupWindow::Hide() {
    if (hwnd_ != nullptr) ::ShowWindow(hwnd_, SW_HIDE);
}

void PopupWindow::Announce() {
    if (hwnd_ == nullptr) return;
    pm_.UpdateLayout();
    ui::RaiseAccessibleEvent(hwnd_, EVENT_SYSTEM_ALERT, nullptr);
}

bool PopupWindow::IsGrip(POINT screen) {
    bool handled = true;
    return SkinWindow::OnNcHitTest(WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y), handled) == HTCAPTION;
}

LRESULT PopupWindow::OnNcHitTest(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    // The system's own move would activate the window; the caption is
    // client area here and the window moves itself.
    const LRESULT hit = SkinWindow::OnNcHitTest(msg, wParam, lParam, handled);
    return hit == HTCAPTION ? HTCLIENT : hit;
}

LRESULT PopupWindow::OnLButtonDown(UINT, WPARAM, LPARAM lParam, bool& handled) {
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(hwnd_, &pt);
    RECT rc{};
    if (!IsGrip(pt) || !::GetWindowRect(hwnd_, &rc)) {
        handled = false;
        return 0;
    }
    dragging_ = true;
    dragFrom_ = pt;
    windowFrom_ = POINT{rc.left, rc.top};
    ::SetCapture(hwnd_);
    return 0;
}

LRESULT PopupWindow::OnMouseMove(UINT, WPARAM, LPARAM lParam, bool& handled) {
    if (!dragging_) {
        handled = false;
        return 0;
    }
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(hwnd_, &pt);
    movedByUser_ = true;
    ::SetWindowPos(hwnd_, nullptr, windowFrom_.x + pt.x - dragFrom_.x, windowFrom_.y + pt.y - dragFrom_.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

LRESULT PopupWindow::OnLButtonUp(UINT, WPARAM, LPARAM, bool& handled) {
    if (!dragging_) {
        handled = false;
        return 0;
    }
    dragging_ = false;
    if (::GetCapture() == hwnd_) ::ReleaseCapture();
    return 0;
}

LRESULT PopupWindow::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    switch (msg) {
        case WM_MOUSEACTIVATE:
            handled = true;
            return MA_NOACTIVATE;
        case WM_CAPTURECHANGED:
            dragging_ = false;
            break;
        case WM_DPICHANGED: {
            // Made on one monitor and moved to the notification area's, it
            // takes that monitor's size and goes back into the corner,
            // unless the user has put it elsewhere.
            LRESULT result = 0;
            pm_.MessageHandler(msg, wParam, lParam, result);
            if (!movedByUser_) PlaceInCorner();
            handled = true;
            return result;
        }
        default:
            break;
    }
    handled = false;
    return 0;
}
