// Screenshots of the main window against the service named in
// "service.ini" beside this program (signed out with the login layer, a
// login tip, the keyboard's focus mark, the tray menu, signed in and
// posting) and of every window beside it, each drawn by itself. Also what
// the demo runs when there is no display to look at: it signs in by itself,
// in a throw-away profile (its data folder in the temporary folder, nothing
// left in the Run key). With --installer it pictures the installer's first
// page instead and cancels it, installing nothing.
//   screens [--out <folder>] [user] [password]
//   screens --installer <setup.exe> [--out <folder>]
#include <windows.h>
#include <ole2.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "net/blocking_http.h"
#include "panels/config_panel.h"
#include "panels/custom_subscribe_panel.h"
#include "panels/main_panel.h"
#include "panels/side_windows.h"
#include "panels/update_windows.h"
#include "shell/service_config.h"
#include "panels/tray_icon.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/module_path.h"
#include "shell/unique_handle.h"
#include "tools/gallery/png_writer.h"
#include "ui/controls.h"
#include "ui/menu.h"
#include "ui/paint_manager.h"

namespace {

bool PumpUntil(const std::function<bool()>& pred, DWORD ms) { return ui::PaintManager::PumpUntil(pred, ms); }

void Pump(DWORD ms) { PumpUntil([] { return false; }, ms); }

// Windows drawn by themselves (PrintWindow), each at its place on the
// screen, over a quiet backdrop: no pixel of the screen around them gets in.
// The rectangle is the union of the windows, grown by `margin`. Windows of
// another process cannot draw into this one's bitmap: with `fromScreen` the
// rectangle is copied from the screen as it shows (nothing else is open on
// the demo's display).
bool CaptureWindows(const std::vector<HWND>& windows, const std::wstring& path, int margin = 0,
                    bool fromScreen = false) {
    Pump(250);
    RECT all = {};
    for (HWND w : windows) {
        RECT rc;
        ::GetWindowRect(w, &rc);
        ::UnionRect(&all, &all, &rc);
    }
    ::InflateRect(&all, margin, margin);
    const int w = all.right - all.left, h = all.bottom - all.top;
    HDC screen = ::GetDC(nullptr);
    HDC canvas = ::CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(canvas, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(canvas, dib);
    HBRUSH backdrop = ::CreateSolidBrush(RGB(0xE4, 0xE8, 0xEE));
    RECT whole = {0, 0, w, h};
    ::FillRect(canvas, &whole, backdrop);
    ::DeleteObject(backdrop);
    // Each window, then its native children (text boxes draw themselves).
    std::vector<HWND> drawn;
    if (fromScreen) ::BitBlt(canvas, 0, 0, w, h, screen, all.left, all.top, SRCCOPY);
    for (HWND window : fromScreen ? std::vector<HWND>{} : windows) {
        drawn.push_back(window);
        for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
            if (::IsWindowVisible(child)) drawn.push_back(child);
        }
    }
    for (HWND window : drawn) {
        RECT rc;
        ::GetWindowRect(window, &rc);
        const int ww = rc.right - rc.left, wh = rc.bottom - rc.top;
        HDC one = ::CreateCompatibleDC(screen);
        HBITMAP bmp = ::CreateCompatibleBitmap(screen, ww, wh);
        HGDIOBJ oldOne = ::SelectObject(one, bmp);
        ::PrintWindow(window, one, 0);
        HRGN shape = ::CreateRectRgn(0, 0, 0, 0);
        // A window with an outline (rounded corners) shows only inside it.
        if (::GetWindowRgn(window, shape) != ERROR) {
            ::OffsetRgn(shape, rc.left - all.left, rc.top - all.top);
            ::SelectClipRgn(canvas, shape);
        }
        ::BitBlt(canvas, rc.left - all.left, rc.top - all.top, ww, wh, one, 0, 0, SRCCOPY);
        ::SelectClipRgn(canvas, nullptr);
        ::DeleteObject(shape);
        ::SelectObject(one, oldOne);
        ::DeleteObject(bmp);
        ::DeleteDC(one);
    }
    ::GdiFlush();
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    const auto* src = static_cast<const uint8_t*>(bits);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = src[i + 2];
        rgba[i + 1] = src[i + 1];
        rgba[i + 2] = src[i];
        rgba[i + 3] = 255;
    }
    ::SelectObject(canvas, old);
    ::DeleteObject(dib);
    ::DeleteDC(canvas);
    ::ReleaseDC(nullptr, screen);
    std::string png = gallery::EncodePng(rgba, w, h);
    shell::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    const bool ok = file && ::WriteFile(file.get(), png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
    std::printf("%s %ls (%dx%d)\n", ok ? "wrote" : "could not write", path.c_str(), w, h);
    return ok;
}

// The visible windows of this process of one class, topmost last.
std::vector<HWND> Popups(const wchar_t* className) {
    std::vector<HWND> found;
    for (HWND w = ::GetTopWindow(nullptr); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        wchar_t cls[64] = {};
        ::GetClassNameW(w, cls, 64);
        if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(w) && wcscmp(cls, className) == 0) {
            found.insert(found.begin(), w);
        }
    }
    return found;
}

// Where the notification area's icon sits: the system's tray window when
// there is one, else the corner of the work area that holds it on Windows.
POINT TrayPoint() {
    for (const wchar_t* cls : {L"Shell_TrayWnd", L"__winex11_standalone_tray"}) {
        HWND tray = ::FindWindowW(cls, nullptr);
        RECT rc;
        if (tray != nullptr && ::IsWindowVisible(tray) && ::GetWindowRect(tray, &rc) && rc.right > rc.left) {
            const int side = std::min(rc.right - rc.left, rc.bottom - rc.top);
            return POINT{rc.left + side / 2, rc.top + side / 2};
        }
    }
    RECT work;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return POINT{work.right - 24, work.bottom - 2};
}

// The profile of the run is a throw-away one: the data folder lives in the
// temporary folder, and the Run value the first start registers is put
// back as it was.
class ThrowAwayProfile {
public:
    ThrowAwayProfile() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        data_ = std::wstring(temp) + L"zudedo-screens-" + std::to_wstring(::GetCurrentProcessId());
        const std::wstring exe = shell::ModulePath();
        AppFolders::Override(exe.substr(0, exe.find_last_of(L'\\')), data_);
        shell::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
            wchar_t value[2048] = {};
            DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
            if (::RegQueryValueExW(key.get(), kRunValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS) {
                hadRun_ = true;
                runType_ = type;
                run_.assign(reinterpret_cast<const char*>(value), size);
            }
        }
    }
    ~ThrowAwayProfile() { PutBack(); }
    ThrowAwayProfile(const ThrowAwayProfile&) = delete;
    ThrowAwayProfile& operator=(const ThrowAwayProfile&) = delete;

    void PutBack() const {
        shell::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
            if (hadRun_) {
                ::RegSetValueExW(key.get(), kRunValue, 0, runType_, reinterpret_cast<const BYTE*>(run_.data()),
                                 static_cast<DWORD>(run_.size()));
            } else {
                ::RegDeleteValueW(key.get(), kRunValue);
            }
        }
        std::wstring from = data_ + L'\0';
        SHFILEOPSTRUCTW op = {};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
        ::SHFileOperationW(&op);
    }

private:
    static constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const wchar_t* kRunValue = L"tavo";
    std::wstring data_;
    bool hadRun_ = false;
    DWORD runType_ = REG_SZ;
    std::string run_;
};

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

// One update window from its layout in the update folder, pictured alone.
template <typename W>
void PictureUpdateWindow(HWND owner, const std::wstring& path) {
    W* window = ui::SecondaryWindow::Open<W>(owner);
    if (window == nullptr) {
        std::printf("no layout for %ls\n", path.c_str());
        return;
    }
    const HWND hwnd = window->GetHWND();
    CaptureWindows({hwnd}, path);
    ::DestroyWindow(hwnd);
}

void PictureUpdateWindows(HWND owner, const std::wstring& out) {
    ::SHCreateDirectoryExW(nullptr, Settings().DataFilePath(L"update").c_str(), nullptr);
    const ServiceConfig& service = Service();
    DownloadToFile(service.webHost, L"/soft/sq/update/update_notice/1.0.1.0/notice_info/notice.xml",
                   update_layout::PathOf(update_layout::kNotice), CREATE_ALWAYS, service.port);
    PictureUpdateWindow<UpdateAvailabelNotice>(owner, out + L"\\update_notice.png");
    // The source tree, through Wine's drive of the build machine's root.
    std::wstring fixtures = L"Z:";
    for (const char* p = ZUDEDO_SOURCE_DIR "/tests/update/fixtures/"; *p; ++p) {
        fixtures.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
    }
    ::CopyFileW((fixtures + update_layout::kDownloaded).c_str(), update_layout::PathOf(update_layout::kDownloaded).c_str(),
                FALSE);
    PictureUpdateWindow<UpdatePackageDownloadedPanel>(owner, out + L"\\update_downloaded.png");
    ::CopyFileW((fixtures + update_layout::kComplete).c_str(), update_layout::PathOf(update_layout::kComplete).c_str(),
                FALSE);
    PictureUpdateWindow<UpdateCompletePanel>(owner, out + L"\\update_complete.png");
}

// The visible top-level dialogs of another process, topmost first.
std::vector<HWND> DialogsOf(DWORD pid) {
    std::vector<HWND> found;
    for (HWND w = ::GetTopWindow(nullptr); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(w, &owner);
        wchar_t cls[16] = {};
        ::GetClassNameW(w, cls, 16);
        if (owner == pid && ::IsWindowVisible(w) && wcscmp(cls, L"#32770") == 0) found.push_back(w);
    }
    return found;
}

// Starts the installer as a person would (not silently), pictures its
// window once the page inside it shows, then cancels it and confirms the
// question that follows; ended outright if it does not go by itself.
int PictureInstaller(const std::wstring& setup, const std::wstring& path) {
    std::wstring line = L"\"" + setup + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(setup.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("could not start %ls (error %lu)\n", setup.c_str(), ::GetLastError());
        return 1;
    }
    shell::UniqueHandleKernel process(pi.hProcess);
    shell::UniqueHandleKernel thread(pi.hThread);
    HWND dialog = nullptr;
    const bool shown = PumpUntil(
        [&] {
            const std::vector<HWND> dialogs = DialogsOf(pi.dwProcessId);
            dialog = dialogs.empty() ? nullptr : dialogs.front();
            const HWND page = dialog ? ::FindWindowExW(dialog, nullptr, L"#32770", nullptr) : nullptr;
            return page != nullptr && ::IsWindowVisible(page);
        },
        30000);
    bool ok = false;
    if (shown) {
        Pump(1000);
        ok = CaptureWindows({dialog}, path, 0, true);
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDCANCEL)));
        // The question whether to leave the installation: yes.
        HWND question = nullptr;
        if (PumpUntil(
                [&] {
                    for (HWND w : DialogsOf(pi.dwProcessId)) {
                        if (w != dialog) question = w;
                    }
                    return question != nullptr || ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
                },
                5000) &&
            question != nullptr) {
            ::PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(question, IDYES)));
        }
    } else {
        std::printf("the installer showed no window\n");
    }
    if (::WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) {
        std::printf("the installer did not end by itself; ended\n");
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 5000);
    }
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring out = L".";
    std::wstring installer;
    std::vector<std::wstring> rest;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--out" && i + 1 < argc) {
            out = argv[++i];
        } else if (std::wstring(argv[i]) == L"--installer" && i + 1 < argc) {
            installer = argv[++i];
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (!installer.empty()) return PictureInstaller(installer, out + L"\\installer.png");
    const std::wstring user = rest.size() > 0 ? rest[0] : L"demo";
    const std::wstring password = rest.size() > 1 ? rest[1] : L"demo123";

    ThrowAwayProfile profile;
    // The real first-run code: defaults written, auto-start registered (and
    // put back at once: this tool is not the client).
    Settings().Load();
    profile.PutBack();
    ui::PaintManager::SetInstance(::GetModuleHandleW(nullptr));
    ui::PaintManager::SetResourcePath(ui::PaintManager::GetInstancePath());
    shell::UniqueModule richEdit(::LoadLibraryW(L"Riched20.dll"));
    ::OleInitialize(nullptr);
    int rc = 0;
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
        ui::PaintManager& pm = panel.GetPaintManager();
        Click(panel, L"NotLoggedUser");
        Pump(500);
        CaptureWindows({panel}, out + L"\\main_signed_out.png");

        // The keyboard's focus mark: Tab from the name box, as a person moves on.
        for (int i = 0; i < 2; ++i) {
            HWND focus = ::GetFocus() != nullptr ? ::GetFocus() : static_cast<HWND>(panel);
            ::PostMessageW(focus, WM_KEYDOWN, VK_TAB, 0);
            ::PostMessageW(focus, WM_KEYUP, VK_TAB, 0);
            Pump(200);
        }
        CaptureWindows({panel}, out + L"\\main_focus_mark.png");

        // A login tip: the password is missing.
        pm.FindControl(L"EditUsername")->SetText(user);
        pm.FindControl(L"EditPassword")->SetText(L"");
        Click(panel, L"BtnLogin");
        Pump(700);
        std::vector<HWND> withTip{panel};
        for (HWND banner : Popups(L"NoticeBanner")) withTip.push_back(banner);
        CaptureWindows(withTip, out + L"\\main_login_tip.png", 8);

        // The tray menu where it opens: at the notification icon, with the
        // window beside it, opened by the icon's own right click.
        const POINT tray = TrayPoint();
        RECT work;
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        RECT wr = WindowRect(panel);
        const int ww = wr.right - wr.left, wh = wr.bottom - wr.top;
        const int x = tray.x > (work.left + work.right) / 2 ? tray.x - ww - 160 : tray.x + 160;
        const int y = tray.y > (work.top + work.bottom) / 2 ? work.bottom - wh - 8 : work.top + 8;
        ::SetWindowPos(panel, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::SetCursorPos(tray.x, tray.y);
        ::SendMessageW(panel, msg::kTrayIcon, TrayIcon::kId, WM_RBUTTONUP);
        Pump(500);
        std::vector<HWND> withMenu{panel};
        for (HWND m : Popups(L"MenuWnd")) withMenu.push_back(m);
        CaptureWindows(withMenu, out + L"\\main_tray_menu.png", 8);
        for (HWND m : Popups(L"MenuWnd")) ::DestroyWindow(m);
        ::SetWindowPos(panel, nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Pump(200);

        pm.FindControl(L"EditPassword")->SetText(password);
        Click(panel, L"BtnLogin");
        if (!PumpUntil([] { return Settings().signedIn; }, 15000)) {
            std::printf("could not sign in as %ls\n", user.c_str());
            rc = 1;
        }
        Pump(1500);
        CaptureWindows({panel}, out + L"\\main_signed_in.png");

        // The pop-ups of the service's announcements after the sign-in: its
        // notice over the message count, then the count once it is read.
        PopupController& popups = panel.Popups();
        PumpUntil([&] { return popups.NoticePopup() != nullptr && popups.MessagePopup() != nullptr; }, 5000);
        if (PopupNoticePanel* notice = popups.NoticePopup()) {
            CaptureWindows({notice->GetHWND()}, out + L"\\popup_notice.png", 8);
            ::PostMessageW(notice->GetHWND(), WM_CLOSE, 0, 0);
        }
        PumpUntil([&] { return popups.MessagePopup() != nullptr && popups.MessagePopup()->IsShown(); }, 5000);
        if (PopupMsgPanel* message = popups.MessagePopup()) {
            CaptureWindows({message->GetHWND()}, out + L"\\popup_message.png", 8);
            ::PostMessageW(message->GetHWND(), WM_CLOSE, 0, 0);
        }

        // Posting: the box has the focus, the options are open, the counter counts.
        Click(panel, L"PostEdit");
        if (ui::Control* edit = pm.FindControl(L"PostEdit")) {
            pm.SetFocus(edit);
            edit->SetText(L"北京出发，海南双飞五日游，20人团，求当地地接报价");
        }
        Pump(500);
        CaptureWindows({panel}, out + L"\\main_posting.png");

        PictureUpdateWindows(panel, out);
        // The posting rules at the post box, as a user who has not accepted
        // them meets them; the about window once its version check is done.
        RulesAndAbout& side = panel.RulesAndAboutWindows();
        Settings().postedFlag = false;
        panel.ShowPostRules(false);
        Pump(500);
        if (PostRulePanel* rules = side.PostRules()) {
            CaptureWindows({panel, *rules}, out + L"\\post_rule.png");
            ::DestroyWindow(*rules);
        }
        side.OpenAbout();
        PumpUntil([&] { return side.About() && side.About()->VersionCheck() != AboutUsPanel::Check::kRunning; }, 8000);
        if (AboutUsPanel* about = side.About()) {
            CaptureWindows({*about}, out + L"\\about_us.png");
            ::DestroyWindow(*about);
        }
        // The settings and subscription windows, each on its own. Destroyed,
        // not closed: closing the settings window would store its options
        // (and the Run value with them).
        if (ConfigPanel* config = panel.Sides().OpenSettings()) {
            Pump(300);
            CaptureWindows({*config}, out + L"\\config_panel.png");
            ::DestroyWindow(*config);
        }
        if (CustomSubscribePanel* subscription = panel.Sides().OpenSubscription()) {
            Pump(300);
            CaptureWindows({*subscription}, out + L"\\custom_subscribe_panel.png");
            ::DestroyWindow(*subscription);
        }

        ::PostMessageW(panel, WM_CLOSE, 0, 0);
        PumpUntil([&] { return !::IsWindow(panel); }, 10000);
    }
    ::OleUninitialize();
    return rc;
}
