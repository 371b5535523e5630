#include "ui/native_window.h"

#include <new>
#include <string>

#include "shell/diagnostic.h"
#include "ui/skin_store.h"

namespace ui {

NativeWindow::~NativeWindow() {
    // Destroyed while its window still exists: unbind first, so the
    // window's last messages go to the default procedure.
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        HWND h = hwnd_;
        hwnd_ = nullptr;
        ::DestroyWindow(h);
    }
}

bool NativeWindow::RegisterWindowClass() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    HINSTANCE instance = SkinStore::GetInstance();
    if (::GetClassInfoExW(instance, GetWindowClassName(), &wc)) return true;
    wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = GetClassStyle();
    wc.lpfnWndProc = &NativeWindow::WndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = GetWindowClassName();
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool NativeWindow::RegisterSuperclass() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    HINSTANCE instance = SkinStore::GetInstance();
    if (!::GetClassInfoExW(nullptr, GetSuperClassName(), &wc) &&
        !::GetClassInfoExW(instance, GetSuperClassName(), &wc)) {
        return false;
    }
    superProc_ = wc.lpfnWndProc;
    wc.lpfnWndProc = &NativeWindow::WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = GetWindowClassName();
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND NativeWindow::Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x, int y, int cx,
                          int cy, HMENU menu) {
    if (hwnd_ != nullptr) return hwnd_;
    const bool ok = GetSuperClassName() != nullptr ? RegisterSuperclass() : RegisterWindowClass();
    if (!ok) return nullptr;
    HWND created = ::CreateWindowExW(exStyle, GetWindowClassName(), title ? title : L"", style, x, y, cx, cy, parent,
                                     menu, SkinStore::GetInstance(), this);
    return created;
}

void NativeWindow::ShowWindow(bool show, bool takeFocus) {
    if (hwnd_ == nullptr) return;
    ::ShowWindow(hwnd_, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void NativeWindow::CenterWindow() {
    if (hwnd_ == nullptr) return;
    RECT rc{};
    ::GetWindowRect(hwnd_, &rc);
    HWND owner = ::GetWindow(hwnd_, GW_OWNER);
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : hwnd_, MONITOR_DEFAULTTONEAREST), &mi);
    RECT area = mi.rcWork;
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &area);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    int x = (area.left + area.right - w) / 2, y = (area.top + area.bottom - h) / 2;
    // Keep it on the monitor's work area.
    if (x + w > mi.rcWork.right) x = mi.rcWork.right - w;
    if (y + h > mi.rcWork.bottom) y = mi.rcWork.bottom - h;
    if (x < mi.rcWork.left) x = mi.rcWork.left;
    if (y < mi.rcWork.top) y = mi.rcWork.top;
    ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void NativeWindow::SetIcon(UINT resourceId) {
    HINSTANCE instance = SkinStore::GetInstance();
    // Shared icons from LoadImage with LR_SHARED need no destruction.
    HANDLE big = ::LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                              ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR | LR_SHARED);
    HANDLE small = ::LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                LR_DEFAULTCOLOR | LR_SHARED);
    if (big) SendMessageW(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (small) SendMessageW(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void NativeWindow::Close(UINT result) {
    if (hwnd_ != nullptr) ::PostMessageW(hwnd_, WM_CLOSE, static_cast<WPARAM>(result), 0);
}

LRESULT NativeWindow::SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
    return hwnd_ ? ::SendMessageW(hwnd_, msg, wParam, lParam) : 0;
}

BOOL NativeWindow::PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
    return hwnd_ ? ::PostMessageW(hwnd_, msg, wParam, lParam) : FALSE;
}

DWORD NativeWindow::ModifyStyle(DWORD remove, DWORD add) {
    DWORD style = static_cast<DWORD>(::GetWindowLongW(hwnd_, GWL_STYLE));
    DWORD next = (style & ~remove) | add;
    if (next != style) ::SetWindowLongW(hwnd_, GWL_STYLE, static_cast<LONG>(next));
    return style;
}

DWORD NativeWindow::ModifyStyleEx(DWORD remove, DWORD add) {
    DWORD style = static_cast<DWORD>(::GetWindowLongW(hwnd_, GWL_EXSTYLE));
    DWORD next = (style & ~remove) | add;
    if (next != style) ::SetWindowLongW(hwnd_, GWL_EXSTYLE, static_cast<LONG>(next));
    return style;
}

LRESULT NativeWindow::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (superProc_ != nullptr) return ::CallWindowProcW(superProc_, hwnd_, msg, wParam, lParam);
    return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT NativeWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefaultProc(msg, wParam, lParam);
}

LRESULT NativeWindow::Dispatch(NativeWindow* self, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        LRESULT r = self->DefaultProc(msg, wParam, lParam);
        self->hwnd_ = nullptr;
        self->OnFinalMessage(hwnd);  // may delete the object
        return r;
    }
    return self->HandleMessage(msg, wParam, lParam);
}

LRESULT CALLBACK NativeWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    NativeWindow* self = nullptr;
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        self = static_cast<NativeWindow*>(cs->lpCreateParams);
        if (self != nullptr) {
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<NativeWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    // Nothing thrown below may unwind through the system's code.
    try {
        return Dispatch(self, hwnd, msg, wParam, lParam);
    } catch (...) {
        shell::Diagnostic(L"ui: exception stopped at the window procedure");
        return 0;
    }
}

}  // namespace ui
