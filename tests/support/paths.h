// Paths of the source and build trees as the program under Wine sees them.
#pragma once

#include <windows.h>

#include <string>

#include "shell/unique_handle.h"

namespace testing_support {

// A Unix path of the build machine, reachable through Wine's Z: drive.
inline std::wstring HostPath(const char* unixPath) {
    std::wstring out = L"Z:";
    for (const char* p = unixPath; *p; ++p) out.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
    return out;
}

inline std::wstring SourcePath(const char* relative) {
    return HostPath((std::string(ZUDEDO_SOURCE_DIR) + "/" + relative).c_str());
}

inline std::wstring BinaryPath(const char* relative) {
    return HostPath((std::string(ZUDEDO_BINARY_DIR) + "/" + relative).c_str());
}

// A whole file's bytes (empty when it cannot be read).
inline std::string ReadFileBytes(const std::wstring& path) {
    shell::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    std::string out;
    if (!file) return out;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) out.append(chunk, got);
    return out;
}

}  // namespace testing_support
