#include "ui/platform.h"

#include <algorithm>

namespace ui {
namespace {

template <typename Fn>
Fn Load(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

OptionalApis LoadApis() {
    OptionalApis apis;
    HMODULE user = ::GetModuleHandleW(L"user32.dll");
    apis.getDpiForWindow = Load<OptionalApis::GetDpiForWindowFn>(user, "GetDpiForWindow");
    apis.getDpiForSystem = Load<OptionalApis::GetDpiForSystemFn>(user, "GetDpiForSystem");
    apis.setProcessDpiAwarenessContext =
        Load<OptionalApis::SetProcessDpiAwarenessContextFn>(user, "SetProcessDpiAwarenessContext");
    return apis;
}

}  // namespace

const OptionalApis& Apis() {
    static const OptionalApis apis = LoadApis();
    return apis;
}

void EnableDpiAwareness() {
    const auto& apis = Apis();
    if (apis.setProcessDpiAwarenessContext != nullptr) {
        // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 is (HANDLE)-4, v1 is -3.
        if (apis.setProcessDpiAwarenessContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) return;
        if (apis.setProcessDpiAwarenessContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)))) return;
    }
    ::SetProcessDPIAware();
}

UINT DpiForWindow(HWND hwnd) {
    const auto& apis = Apis();
    if (hwnd != nullptr && apis.getDpiForWindow != nullptr) {
        UINT dpi = apis.getDpiForWindow(hwnd);
        if (dpi != 0) return dpi;
    }
    if (apis.getDpiForSystem != nullptr) {
        UINT dpi = apis.getDpiForSystem();
        if (dpi != 0) return dpi;
    }
    HDC screen = ::GetDC(nullptr);
    int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

namespace {
int g_highContrastForced = -1;
int g_highContrast = -1;  // not read yet
}  // namespace

bool HighContrastOn() {
    if (g_highContrastForced >= 0) return g_highContrastForced == 1;
    if (g_highContrast < 0) RefreshHighContrast();
    return g_highContrast == 1;
}

void RefreshHighContrast() {
    HIGHCONTRASTW hc = {};
    hc.cbSize = sizeof(hc);
    const bool on = ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(hc), &hc, 0) &&
                    (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
    g_highContrast = on ? 1 : 0;
}

void ForceHighContrast(int state) { g_highContrastForced = state < 0 ? -1 : (state > 0 ? 1 : 0); }

DWORD SystemColor(int index) {
    const COLORREF c = ::GetSysColor(index);
    return 0xFF000000u | (static_cast<DWORD>(GetRValue(c)) << 16) | (static_cast<DWORD>(GetGValue(c)) << 8) |
           GetBValue(c);
}

HBRUSH BlankBrush() {
    return HighContrastOn() ? ::GetSysColorBrush(COLOR_WINDOW) : static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
}

RECT WorkAreaAt(POINT pt) {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    HMONITOR monitor = ::MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST);
    if (monitor != nullptr && ::GetMonitorInfoW(monitor, &info)) return info.rcWork;
    RECT rc = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rc, 0);
    return rc;
}

TrayPlace FindTrayPlace() {
    // The task bar's monitor (the primary one without a task bar).
    POINT at{0, 0};
    HWND bar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    RECT barRect = {};
    const bool haveBar = bar != nullptr && ::GetWindowRect(bar, &barRect);
    if (haveBar) at = POINT{(barRect.left + barRect.right) / 2, (barRect.top + barRect.bottom) / 2};
    TrayPlace place{{}, TrayEdge::kBottom};
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(::MonitorFromPoint(at, MONITOR_DEFAULTTOPRIMARY), &info)) {
        place.work = WorkAreaAt(at);
        return place;
    }
    place.work = info.rcWork;
    const RECT& mon = info.rcMonitor;
    // The edge is the side the bar's strip takes from the work area; a bar
    // that reserves none (it auto-hides) is known by its shape: a strip
    // along at least half of one side of the monitor. A small window of
    // that class (a stand-alone notification area) says nothing.
    if (place.work.top > mon.top) {
        place.edge = TrayEdge::kTop;
    } else if (place.work.left > mon.left) {
        place.edge = TrayEdge::kLeft;
    } else if (place.work.right < mon.right) {
        place.edge = TrayEdge::kRight;
    } else if (place.work.bottom < mon.bottom || !haveBar) {
        place.edge = TrayEdge::kBottom;
    } else if (barRect.right - barRect.left >= (mon.right - mon.left) / 2 &&
               barRect.bottom - barRect.top < barRect.right - barRect.left) {
        place.edge = at.y < (mon.top + mon.bottom) / 2 ? TrayEdge::kTop : TrayEdge::kBottom;
    } else if (barRect.bottom - barRect.top >= (mon.bottom - mon.top) / 2) {
        place.edge = at.x < (mon.left + mon.right) / 2 ? TrayEdge::kLeft : TrayEdge::kRight;
    }
    return place;
}

RECT CornerNextToTray(const TrayPlace& place, SIZE size, int gapX, int gapY) {
    const RECT& work = place.work;
    const LONG width = std::min<LONG>(size.cx, work.right - work.left);
    const LONG height = std::min<LONG>(size.cy, work.bottom - work.top);
    // The notification area ends a horizontal task bar on the right and a
    // vertical one at the bottom.
    LONG x = work.right - width - gapX;
    if (place.edge == TrayEdge::kLeft) x = work.left + gapX;
    LONG y = work.bottom - height - gapY;
    if (place.edge == TrayEdge::kTop) y = work.top + gapY;
    x = std::clamp(x, work.left, work.right - width);
    y = std::clamp(y, work.top, work.bottom - height);
    return RECT{x, y, x + width, y + height};
}

}  // namespace ui
