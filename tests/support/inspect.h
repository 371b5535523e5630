// Reading what the client left behind: INI values, registry values, and
// removing a folder tree.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "shell/unique_handle.h"

namespace testing_support {

// "<absent>" when the key is missing.
inline std::wstring ReadIni(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    wchar_t buf[256] = {};
    ::GetPrivateProfileStringW(section, key, L"<absent>", buf, 256, file.c_str());
    return buf;
}

// A string value under HKEY_CURRENT_USER; "<no key>" or "<absent>" when missing.
inline std::wstring RegistryString(const wchar_t* keyPath, const wchar_t* name) {
    shell::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return L"<no key>";
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t), type = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
        return L"<absent>";
    }
    return type == REG_SZ ? data : L"<wrong type>";
}

inline void RemoveTree(const std::wstring& path) {
    std::wstring from = path + L'\0';
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    ::SHFileOperationW(&op);
}

}  // namespace testing_support
