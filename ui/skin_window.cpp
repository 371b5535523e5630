#include "ui/skin_window.h"

#include <windowsx.h>

#include "ui/accessibility.h"
#include "ui/gdi.h"
#include "ui/platform.h"
#include "ui/skin_store.h"

namespace ui {

const std::string_view* SkinWindow::skin_archive_ = nullptr;

void RoundedOutline(int W, int H, int w, int h, POINT out[8]) {
    out[0] = POINT{0, h};
    out[1] = POINT{w, 0};
    out[2] = POINT{W - w, 0};
    out[3] = POINT{W, h};
    out[4] = POINT{W, H - h - 1};
    out[5] = POINT{W - w - 1, H};
    out[6] = POINT{w + 1, H};
    out[7] = POINT{0, H - h - 1};
}

SkinWindow::~SkinWindow() = default;

LRESULT SkinWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    bool handled = true;
    switch (msg) {
        case WM_CREATE: result = OnCreate(msg, wParam, lParam, handled); break;
        case WM_CLOSE: result = OnClose(msg, wParam, lParam, handled); break;
        case WM_DESTROY: result = OnDestroy(msg, wParam, lParam, handled); break;
        case WM_NCACTIVATE: result = OnNcActivate(msg, wParam, lParam, handled); break;
        case WM_NCCALCSIZE: result = OnNcCalcSize(msg, wParam, lParam, handled); break;
        case WM_NCPAINT: result = OnNcPaint(msg, wParam, lParam, handled); break;
        case WM_NCHITTEST: result = OnNcHitTest(msg, wParam, lParam, handled); break;
        case WM_GETMINMAXINFO: result = OnGetMinMaxInfo(msg, wParam, lParam, handled); break;
        case WM_MOUSEWHEEL: result = OnMouseWheel(msg, wParam, lParam, handled); break;
        case WM_SIZE: result = OnSize(msg, wParam, lParam, handled); break;
        case WM_SYSCOMMAND: result = OnSysCommand(msg, wParam, lParam, handled); break;
        case WM_KEYDOWN: result = OnKeyDown(msg, wParam, lParam, handled); break;
        case WM_KILLFOCUS: result = OnKillFocus(msg, wParam, lParam, handled); break;
        case WM_SETFOCUS: result = OnSetFocus(msg, wParam, lParam, handled); break;
        case WM_LBUTTONDOWN: result = OnLButtonDown(msg, wParam, lParam, handled); break;
        case WM_LBUTTONUP: result = OnLButtonUp(msg, wParam, lParam, handled); break;
        case WM_MOUSEMOVE: result = OnMouseMove(msg, wParam, lParam, handled); break;
        default: handled = false; break;
    }
    if (handled) return result;
    handled = false;
    result = HandleCustomMessage(msg, wParam, lParam, handled);
    if (handled) return result;
    if (msg == WM_GETOBJECT) {
        if (LRESULT answer = AnswerGetObject(pm_, wParam, lParam, ROLE_SYSTEM_CLIENT)) return answer;
    }
    if (pm_.MessageHandler(msg, wParam, lParam, result)) return result;
    return DefaultProc(msg, wParam, lParam);
}

void SkinWindow::OnFinalMessage(HWND) {
    pm_.RemovePreMessageFilter(this);
    pm_.RemoveNotifier(this);
    pm_.ReleaseRoot();
}

LRESULT SkinWindow::OnClose(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT SkinWindow::OnDestroy(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT SkinWindow::OnNcActivate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    if (::IsIconic(hwnd_)) {
        handled = false;
        return 0;
    }
    return wParam == 0 ? 1 : 0;
}

LRESULT SkinWindow::OnNcCalcSize(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT SkinWindow::OnNcPaint(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT SkinWindow::OnNcHitTest(UINT, WPARAM, LPARAM lParam, bool&) {
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ScreenToClient(hwnd_, &pt);
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    if (!::IsZoomed(hwnd_)) {
        const RECT box = pm_.GetSizeBox();
        const bool left = pt.x < client.left + box.left, right = pt.x >= client.right - box.right;
        if (pt.y < client.top + box.top) return left ? HTTOPLEFT : right ? HTTOPRIGHT : HTTOP;
        if (pt.y >= client.bottom - box.bottom) return left ? HTBOTTOMLEFT : right ? HTBOTTOMRIGHT : HTBOTTOM;
        if (left) return HTLEFT;
        if (right) return HTRIGHT;
    }
    const RECT caption = pm_.GetCaptionRect();
    if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right && pt.y >= caption.top &&
        pt.y < caption.bottom) {
        for (Control* c = pm_.FindControl(pt); c != nullptr; c = c->GetParent()) {
            if (c->KeepsCaptionPress(pt)) return HTCLIENT;
        }
        return HTCAPTION;
    }
    return HTCLIENT;
}

LRESULT SkinWindow::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, bool&) {
    auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi);
    // Maximised: the work area's size, at the monitor's top-left corner.
    info->ptMaxPosition = POINT{mi.rcWork.left - mi.rcMonitor.left, mi.rcWork.top - mi.rcMonitor.top};
    info->ptMaxSize = POINT{mi.rcWork.right - mi.rcWork.left, mi.rcWork.bottom - mi.rcWork.top};
    const SIZE minInfo = pm_.GetMinInfo(), maxInfo = pm_.GetMaxInfo();
    if (minInfo.cx > 0) info->ptMinTrackSize.x = minInfo.cx;
    if (minInfo.cy > 0) info->ptMinTrackSize.y = minInfo.cy;
    if (maxInfo.cx > 0) info->ptMaxTrackSize.x = maxInfo.cx;
    if (maxInfo.cy > 0) info->ptMaxTrackSize.y = maxInfo.cy;
    return 0;
}

LRESULT SkinWindow::OnMouseWheel(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT SkinWindow::OnSize(UINT, WPARAM wParam, LPARAM, bool& handled) {
    const SIZE round = pm_.GetRoundCorner();
    if (wParam != SIZE_MINIMIZED && (round.cx > 0 || round.cy > 0)) {
        RECT rc{};
        ::GetWindowRect(hwnd_, &rc);
        POINT pts[8];
        RoundedOutline(rc.right - rc.left, rc.bottom - rc.top, round.cx, round.cy, pts);
        UniqueRegion region(::CreatePolygonRgn(pts, 8, WINDING));
        // The system owns a region once it is set.
        if (region && ::SetWindowRgn(hwnd_, region.get(), TRUE)) region.release();
    }
    handled = false;  // the paint manager lays the tree out again
    return 0;
}

LRESULT SkinWindow::OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool&) {
    return DefaultProc(msg, wParam, lParam);
}

LRESULT SkinWindow::OnCreate(UINT, WPARAM, LPARAM, bool&) {
    ModifyStyle(WS_CAPTION, WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    pm_.Init(hwnd_);
    pm_.AddPreMessageFilter(this);
    PaintManager::SetResourcePath(GetSkinFolder());
    const std::wstring file = GetSkinFile();
    if (skin_archive_ == nullptr) {
        const std::string_view* packed = SkinStore::LoadPackedSkin(PaintManager::GetInstance(), &layoutError_);
        if (packed == nullptr) return 0;  // no skin: the window stays empty
        skin_archive_ = packed;
        PaintManager::SetResourceZip(packed->data(), packed->size());
    }
    LayoutBuilder builder;
    std::unique_ptr<Control> root = builder.Create(file, this, &pm_);
    layoutError_ = builder.LastError();
    if (!root) return 0;
    pm_.AttachDialog(std::move(root));
    pm_.AddNotifier(this);
    const SIZE size = pm_.GetInitSize();
    if (size.cx > 0 && size.cy > 0) {
        ::SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Init();
    return 0;
}

LRESULT SkinWindow::OnKeyDown(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT SkinWindow::OnKillFocus(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT SkinWindow::OnSetFocus(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT SkinWindow::OnLButtonDown(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT SkinWindow::OnLButtonUp(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT SkinWindow::OnMouseMove(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT SkinWindow::HandleCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

std::wstring SkinWindow::GetSkinFolder() { return PaintManager::GetInstancePath() + L"skin\\"; }

LRESULT SkinWindow::ResponseDefaultKeyEvent(WPARAM key) {
    if (key == VK_ESCAPE) {
        Close(1);
        return TRUE;
    }
    return FALSE;
}

LRESULT SkinWindow::MessageHandler(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
    if (msg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
        if (ResponseDefaultKeyEvent(wParam)) handled = true;
    }
    return 0;
}

}  // namespace ui
