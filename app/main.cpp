// The client's entry point: one instance per logon, the settings, the
// hand-over to a waiting update, then the main window and its message loop.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <memory>

#include "net/request_manager.h"
#include "panels/main_panel.h"
#include "shell/app_settings.h"
#include "shell/crash_dump.h"
#include "shell/resource_ids.h"
#include "ui/paint_manager.h"
#include "update/check_update.h"

namespace {

const wchar_t kMutexName[] = L"TAVO_ZUDEDO_APP_RUNNING";

// A second start raises the first instance's window and ends.
void RaiseFirstInstance() {
    HWND first = ::FindWindowW(nullptr, MainPanel::kTitle);
    if (first == nullptr) return;
    if (::IsIconic(first)) ::ShowWindow(first, SW_RESTORE);
    ::ShowWindow(first, SW_SHOW);
    ::SetForegroundWindow(first);
}

// Workers abandoned on a silent or dripping service may still be inside the
// network library. The usual end of a process stops them wherever they are
// and then runs every library's clean-up, which can wait for ever on a lock
// such a worker held (it does under Wine). Everything the client keeps is
// on disk by now but the settings record's last flag: that is written, and
// the process ends at once.
[[noreturn]] void EndProcessNow() {
    AppSettings& s = Settings();
    if (!s.configPath.empty()) s.WriteInt(L"Main", L"HideToTraybarNoticed", s.hideToTrayNoticed ? 1 : 0);
    ::TerminateProcess(::GetCurrentProcess(), 0);
    ::ExitProcess(0);  // not reached
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Held for the whole run; the system releases it with the process.
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kMutexName);
    if (mutex != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        RaiseFirstInstance();
        ::CloseHandle(mutex);
        return 0;
    }

    if (!AppFolders::Get().data.empty()) shell::InstallCrashDumps(AppFolders::Get().data + L"\\crash");
    Settings().Load();
#ifdef ZUDEDO_CRASH_HOOK
    // Test builds only: the tests of the crash dumps end the client here.
    if (::GetEnvironmentVariableW(L"ZUDEDO_CRASH_AT_START", nullptr, 0) != 0) {
        int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
#endif

    // The version check waits until the main window has painted (a timer
    // comes after the paint).
    auto checker = std::make_unique<CheckUpdate>();
    if (checker->CheckPendingUpdate(1)) return 0;

    ui::PaintManager::SetInstance(instance);
    ui::PaintManager::SetResourcePath(ui::PaintManager::GetInstancePath());

    const HRESULT com = ::CoInitialize(nullptr);
    const HRESULT ole = ::OleInitialize(nullptr);
    // Tooltips and the edit controls come from common controls 6.
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    {
        auto panel = std::make_unique<MainPanel>();
        // Without its window the loop would never end, holding the mutex.
        if (SUCCEEDED(ole) && panel->Create(nullptr, MainPanel::kTitle, MainPanel::kStyle, 0) != nullptr) {
            panel->ShowWindow(true, true);
            ::SetWindowPos(*panel, Settings().mainPanelTopmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE);
            panel->SetIcon(IDI_APP);
            ui::PaintManager::MessageLoop();
        }
        if (SUCCEEDED(ole)) ::OleUninitialize();
        if (SUCCEEDED(com)) ::CoUninitialize();
        panel.reset();
    }
    // The window's close gave every request its one short wait; whatever
    // still runs (the update check on a silent service) is abandoned, and
    // nothing waits for it here.
    checker->AbortAll();
    FCHttpRequestManager::WaitForWorkers(::GetTickCount64());
    checker.reset();
    EndProcessNow();
}
