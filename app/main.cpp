// The client's entry point: one instance per logon, the settings, the
// hand-over to a waiting update, then the main window and its message loop.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <memory>

#include "panels/main_panel.h"
#include "shell/app_settings.h"
#include "shell/resource_ids.h"
#include "shell/unique_handle.h"
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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Held for the whole run; the system releases it with the process.
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kMutexName);
    if (mutex != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        RaiseFirstInstance();
        ::CloseHandle(mutex);
        return 0;
    }

    Settings().Load();

    auto checker = std::make_unique<CheckUpdate>();
    if (checker->CheckPendingUpdate()) return 0;

    ui::PaintManager::SetInstance(instance);
    ui::PaintManager::SetResourcePath(ui::PaintManager::GetInstancePath());

    shell::UniqueModule richEdit(::LoadLibraryW(L"Riched20.dll"));

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
        richEdit.reset();
        panel.reset();
    }
    checker.reset();
    return 0;
}
