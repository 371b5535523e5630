// System functions that older Windows versions (and Wine) may lack, loaded
// once into one table, and the DPI helpers built on them.
#pragma once

#include <windows.h>

namespace ui {

struct OptionalApis {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetDpiForSystemFn = UINT(WINAPI*)();
    using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(HANDLE);

    GetDpiForWindowFn getDpiForWindow = nullptr;
    GetDpiForSystemFn getDpiForSystem = nullptr;
    SetProcessDpiAwarenessContextFn setProcessDpiAwarenessContext = nullptr;
};

const OptionalApis& Apis();

// Asks for per-monitor (v2) DPI awareness where the manifest did not, falling
// back to v1 and then to system awareness. Harmless when already set.
void EnableDpiAwareness();

// The DPI a window is shown at (96 when nothing better is known).
UINT DpiForWindow(HWND hwnd);

inline int ScaleBy(int value, UINT dpi) { return dpi == 96 ? value : ::MulDiv(value, static_cast<int>(dpi), 96); }
inline int UnscaleBy(int value, UINT dpi) { return dpi == 96 ? value : ::MulDiv(value, 96, static_cast<int>(dpi)); }

// The work area of the monitor nearest to a point.
RECT WorkAreaAt(POINT pt);

// Where the task bar's notification area is, as an edge of its monitor.
enum class TrayEdge { kBottom, kTop, kLeft, kRight };
struct TrayPlace {
    RECT work;      // the work area of the monitor with the notification area
    TrayEdge edge;  // the edge the task bar sits on (bottom without a task bar)
};
TrayPlace FindTrayPlace();
// A window of `size` in the corner of the work area next to the
// notification area: `gapX` pixels from the side edge and `gapY` from the
// bottom (or top) edge; always inside the work area.
RECT CornerNextToTray(const TrayPlace& place, SIZE size, int gapX, int gapY);

// Whether the system's high-contrast scheme is on: the controls then draw
// text, frames and fills in the system's colours. Read on first use and
// again by RefreshHighContrast (on WM_SETTINGCHANGE and WM_SYSCOLORCHANGE).
bool HighContrastOn();
void RefreshHighContrast();
// Test seam: 1 forces high contrast on, 0 off, -1 follows the system again.
void ForceHighContrast(int state);
// A system colour (COLOR_WINDOWTEXT, …) as an opaque 0xAARRGGBB colour.
DWORD SystemColor(int index);
// What a window shows where nothing is drawn: white, in high contrast the
// system's window colour. A shared brush, never deleted.
HBRUSH BlankBrush();

}  // namespace ui
