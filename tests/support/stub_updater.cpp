// Stands in for the external updater in tests: records how it was started
// in "updater-cmdline.txt" beside itself, then ends. In check mode ("-c N"),
// when the package-downloaded layout lies beside it, it does what the real
// updater does once a package is ready: sets "NeedUpdate" and posts N to
// the client's main window.
#include <windows.h>

#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"updater-cmdline.txt";
    const wchar_t* line = ::GetCommandLineW();
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        std::wstring record = std::wstring(line) + L"\n";
        ::WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
        ::CloseHandle(file);
    }
    const wchar_t* check = std::wcsstr(line, L" -c ");
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    if (check != nullptr &&
        ::GetFileAttributesW((folder + L"updatepackage_downloaded_panel.xml").c_str()) != INVALID_FILE_ATTRIBUTES) {
        ::WritePrivateProfileStringW(L"UpdateInfo", L"NeedUpdate", L"1", (folder + L"updateinfo.ini").c_str());
        const UINT message = static_cast<UINT>(std::wcstoul(check + 4, nullptr, 10));
        if (HWND client = ::FindWindowW(L"zudedo_main_panel", nullptr)) ::PostMessageW(client, message, 0, 0);
    }
    return 0;
}
