// Screenshots of the main window against the service named in
// "service.ini" beside this program: signed out with the login layer, a
// login tip, the tray menu, and signed in. Also what the demo runs when
// there is no display to look at.
//   screens [--out <folder>] [user] [password]
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "panels/main_panel.h"
#include "shell/app_settings.h"
#include "shell/unique_handle.h"
#include "tools/gallery/png_writer.h"
#include "ui/controls.h"
#include "ui/menu.h"
#include "ui/paint_manager.h"

namespace {

bool PumpUntil(const std::function<bool()>& pred, DWORD ms) { return ui::PaintManager::PumpUntil(pred, ms); }

void Pump(DWORD ms) { PumpUntil([] { return false; }, ms); }

// What the screen shows in a rectangle: the window with whatever floats over it.
bool CaptureScreen(const RECT& rc, const std::wstring& path) {
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, dib);
    ::BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    ::SelectObject(mem, old);
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    const auto* src = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = src[i + 2];
        rgba[i + 1] = src[i + 1];
        rgba[i + 2] = src[i];
        rgba[i + 3] = 255;
    }
    ::DeleteObject(dib);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    std::string png = gallery::EncodePng(rgba, w, h);
    shell::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    const bool ok = file && ::WriteFile(file.get(), png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
    std::printf("%s %ls (%dx%d)\n", ok ? "wrote" : "could not write", path.c_str(), w, h);
    return ok;
}

RECT WindowRect(HWND hwnd, int growRight = 0, int growDown = 0) {
    RECT rc;
    ::GetWindowRect(hwnd, &rc);
    rc.right += growRight;
    rc.bottom += growDown;
    return rc;
}

void Click(MainPanel& panel, const wchar_t* name) {
    ui::Control* c = panel.GetPaintManager().FindControl(name);
    if (c == nullptr) return;
    const RECT& rc = c->GetPos();
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    ::PostMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(panel, WM_LBUTTONUP, 0, at);
    Pump(100);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring out = L".";
    std::vector<std::wstring> rest;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--out" && i + 1 < argc) {
            out = argv[++i];
        } else {
            rest.push_back(argv[i]);
        }
    }
    const std::wstring user = rest.size() > 0 ? rest[0] : L"demo";
    const std::wstring password = rest.size() > 1 ? rest[1] : L"demo123";

    Settings().Load();
    ui::PaintManager::SetInstance(::GetModuleHandleW(nullptr));
    ui::PaintManager::SetResourcePath(ui::PaintManager::GetInstancePath());
    shell::UniqueModule richEdit(::LoadLibraryW(L"Riched20.dll"));
    ::OleInitialize(nullptr);
    int rc = 0;
    // A quiet desktop behind the windows, instead of the display's black.
    WNDCLASSW backdropClass = {};
    backdropClass.lpfnWndProc = ::DefWindowProcW;
    backdropClass.hInstance = ::GetModuleHandleW(nullptr);
    backdropClass.hbrBackground = ::CreateSolidBrush(RGB(0xE4, 0xE8, 0xEE));
    backdropClass.lpszClassName = L"zudedo_screens_backdrop";
    ::RegisterClassW(&backdropClass);
    HWND backdrop = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, backdropClass.lpszClassName, L"", WS_POPUP,
                                      0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), nullptr,
                                      nullptr, backdropClass.hInstance, nullptr);
    ::SetWindowPos(backdrop, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    {
        MainPanel panel;
        panel.Create(nullptr, MainPanel::kTitle, MainPanel::kStyle, 0);
        ::SetWindowPos(panel, nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        panel.ShowWindow(true, true);
        if (!PumpUntil([&] { return panel.Reachability() == 1; }, 15000)) {
            std::printf("the service is not reachable\n");
            rc = 1;
        }
        Pump(800);
        Click(panel, L"NotLoggedUser");
        Pump(500);
        CaptureScreen(WindowRect(panel), out + L"\\main_signed_out.png");

        // A login tip: the password is missing.
        panel.GetPaintManager().FindControl(L"EditUsername")->SetText(user);
        panel.GetPaintManager().FindControl(L"EditPassword")->SetText(L"");
        Click(panel, L"BtnLogin");
        Pump(700);
        CaptureScreen(WindowRect(panel, 0, 0), out + L"\\main_login_tip.png");

        // The tray menu, opened beside the window as from the tray icon.
        RECT wr = WindowRect(panel);
        auto* menu = new ui::UIMenu(L"menu_tray.xml");
        menu->Init(panel.GetPaintManager().GetRoot(), POINT{wr.right + 8, wr.top + 260}, ui::UIMenu::kAbovePoint);
        Pump(500);
        RECT shot = wr;
        shot.right += 160;
        CaptureScreen(shot, out + L"\\main_tray_menu.png");
        if (HWND m = ::FindWindowW(L"MenuWnd", nullptr)) ::DestroyWindow(m);

        panel.GetPaintManager().FindControl(L"EditPassword")->SetText(password);
        Click(panel, L"BtnLogin");
        if (!PumpUntil([] { return Settings().signedIn; }, 15000)) {
            std::printf("could not sign in as %ls\n", user.c_str());
            rc = 1;
        }
        Pump(1500);
        CaptureScreen(WindowRect(panel), out + L"\\main_signed_in.png");
        ::PostMessageW(panel, WM_CLOSE, 0, 0);
        PumpUntil([&] { return !::IsWindow(panel); }, 10000);
    }
    ::DestroyWindow(backdrop);
    ::OleUninitialize();
    return rc;
}
