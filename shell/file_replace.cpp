#include "shell/file_replace.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "shell/unique_handle.h"

namespace shell {

bool FileHolds(const std::wstring& path, const std::string& bytes, size_t limit) {
    if (bytes.size() > limit) return false;
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size) || static_cast<unsigned long long>(size.QuadPart) != bytes.size()) {
        return false;
    }
    std::vector<char> read(bytes.size() + 1);
    DWORD got = 0;
    DWORD total = 0;
    while (total < read.size() &&
           ::ReadFile(file.get(), read.data() + total, static_cast<DWORD>(read.size() - total), &got, nullptr) &&
           got > 0) {
        total += got;
    }
    return total == bytes.size() && std::equal(bytes.begin(), bytes.end(), read.begin());
}

bool ReplaceFileContent(const std::wstring& path, const std::string& bytes) {
    if (FileHolds(path, bytes)) return true;
    const std::wstring temp = path + L".tmp";
    {
        UniqueFile file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        const bool ok = (bytes.empty() || (::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                                       &written, nullptr) &&
                                           written == bytes.size())) &&
                        ::FlushFileBuffers(file.get());
        if (!ok) {
            file.reset();
            ::DeleteFileW(temp.c_str());
            return false;
        }
    }
    if (!::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace shell
