#include "net/shell_open.h"

#include <shellapi.h>

#include "shell/unique_handle.h"

namespace {

HINSTANCE RealShellExecute(const std::wstring& file, const std::wstring& parameters) {
    return ::ShellExecuteW(nullptr, nullptr, file.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                           nullptr, SW_SHOWNORMAL);
}

ShellExecuteFn g_execute = &RealShellExecute;

std::wstring DefaultBrowserCommand() {
    shell::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return {};
    }
    wchar_t value[2048] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
    if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {};
    }
    value[size / sizeof(wchar_t)] = L'\0';
    return value;
}

}  // namespace

bool IsWebAddress(const std::wstring& address) {
    size_t host = 0;
    if (address.size() > 7 && _wcsnicmp(address.c_str(), L"http://", 7) == 0) {
        host = 7;
    } else if (address.size() > 8 && _wcsnicmp(address.c_str(), L"https://", 8) == 0) {
        host = 8;
    } else {
        return false;
    }
    if (address[host] == L'/' || address[host] == L'\\') return false;
    for (wchar_t c : address) {
        if (c <= L' ' || c == L'"' || c == 0x7F) return false;
    }
    return true;
}

void SetShellExecute(ShellExecuteFn fn) { g_execute = fn ? fn : &RealShellExecute; }

std::wstring BrowserProgramFromCommand(const std::wstring& command) {
    size_t open = command.find(L'"');
    if (open != std::wstring::npos) {
        // The quoted program path ends at the next quote, not at the last one
        // of the line: arguments such as "%1" carry quotes of their own.
        size_t close = command.find(L'"', open + 1);
        if (close != std::wstring::npos) return command.substr(open + 1, close - open - 1);
        return command;
    }
    size_t lastSlash = command.rfind(L'\\');
    if (command.size() > 1 && command.find(L'\\', 1) != std::wstring::npos && lastSlash != std::wstring::npos) {
        size_t space = command.find(L' ', lastSlash);
        if (space != std::wstring::npos) return command.substr(0, space);
    }
    return command;
}

HINSTANCE ShellOpenUrl(const std::wstring& address, bool useDefaultBrowser) {
    if (!useDefaultBrowser) return g_execute(address, L"");
    return g_execute(BrowserProgramFromCommand(DefaultBrowserCommand()), address);
}
