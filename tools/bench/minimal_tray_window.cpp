// The yardstick for shutting down: the least a Win32 program with an icon in
// the notification area does between its close message and its end (remove
// the icon, destroy the window, leave the loop).
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr UINT kIconMessage = WM_APP + 1;

NOTIFYICONDATAW IconRecord(HWND hwnd) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = hwnd;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kIconMessage;
    data.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    lstrcpynW(data.szTip, L"minimal", ARRAYSIZE(data.szTip));
    return data;
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE: {
            NOTIFYICONDATAW data = IconRecord(hwnd);
            ::Shell_NotifyIconW(NIM_ADD, &data);
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd, &ps);
            ::FillRect(dc, &ps.rcPaint, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
            ::EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_DESTROY: {
            NOTIFYICONDATAW data = IconRecord(hwnd);
            ::Shell_NotifyIconW(NIM_DELETE, &data);
            ::PostQuitMessage(0);
            return 0;
        }
        default:
            return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"minimal_tray_window";
    ::RegisterClassExW(&wc);
    HWND hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"minimal", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  426, 600, nullptr, nullptr, instance, nullptr);
    ::ShowWindow(hwnd, show);
    ::UpdateWindow(hwnd);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
