#include "tests/support/profile_guard.h"

#include <shlobj.h>

#include <algorithm>

#include "shell/text.h"
#include "shell/unique_handle.h"
#include "tests/support/inspect.h"

namespace testing_support {

const wchar_t ProfileGuard::kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t ProfileGuard::kProductKey[] = L"Software\\tavo";

RegistrySnapshot SnapshotKey(HKEY root, const wchar_t* path) {
    RegistrySnapshot s;
    shell::UniqueRegKey key;
    if (::RegOpenKeyExW(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return s;
    s.exists = true;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLen = 16384, type = 0, size = 0;
        if (::RegEnumValueW(key.get(), i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::string data(size, '\0');
        nameLen = 16384;
        ::RegEnumValueW(key.get(), i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
        data.resize(size);
        s.values[std::wstring(name, nameLen)] = {type, data};
    }
    return s;
}

void RestoreKey(HKEY root, const wchar_t* path, const RegistrySnapshot& snapshot) {
    const RegistrySnapshot now = SnapshotKey(root, path);
    if (now == snapshot) return;
    if (!snapshot.exists) {
        ::RegDeleteTreeW(root, path);
        ::RegDeleteKeyW(root, path);
        return;
    }
    shell::UniqueRegKey key;
    if (::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    for (const auto& [name, value] : now.values) {
        if (snapshot.values.count(name) == 0) ::RegDeleteValueW(key.get(), name.c_str());
    }
    for (const auto& [name, value] : snapshot.values) {
        ::RegSetValueExW(key.get(), name.c_str(), 0, value.first, reinterpret_cast<const BYTE*>(value.second.data()),
                         static_cast<DWORD>(value.second.size()));
    }
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return out;
    do {
        const std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") out.push_back(name);
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
    std::sort(out.begin(), out.end());
    return out;
}

std::wstring DocumentsFolder() {
    wchar_t docs[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, docs);
    return docs;
}

ProfileGuard::ProfileGuard() : data_(DocumentsFolder() + L"\\TAVO_zudedo") {
    run_ = SnapshotKey(HKEY_CURRENT_USER, kRunKey);
    product_ = SnapshotKey(HKEY_CURRENT_USER, kProductKey);
    documents_ = FolderEntries(DocumentsFolder());
    if (::GetFileAttributesW(data_.c_str()) != INVALID_FILE_ATTRIBUTES) {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        setAside_ = std::wstring(temp) + L"zudedo-profile-kept-" + std::to_wstring(::GetCurrentProcessId());
        RemoveTree(setAside_);
        if (!::MoveFileExW(data_.c_str(), setAside_.c_str(), MOVEFILE_COPY_ALLOWED)) setAside_.clear();
    }
}

ProfileGuard::~ProfileGuard() {
    Restore();
    if (!setAside_.empty()) ::MoveFileExW(setAside_.c_str(), data_.c_str(), MOVEFILE_COPY_ALLOWED);
}

void ProfileGuard::Restore() {
    RemoveTree(data_);
    RestoreKey(HKEY_CURRENT_USER, kRunKey, run_);
    RestoreKey(HKEY_CURRENT_USER, kProductKey, product_);
}

std::string ProfileGuard::Differences() const {
    std::string out;
    const RegistrySnapshot run = SnapshotKey(HKEY_CURRENT_USER, kRunKey);
    for (const auto& [name, value] : run.values) {
        auto before = run_.values.find(name);
        if (before == run_.values.end() || before->second != value) {
            out += "Run value " + shell::WideToUtf8(name) + " added or changed\n";
        }
    }
    for (const auto& [name, value] : run_.values) {
        if (run.values.count(name) == 0) out += "Run value " + shell::WideToUtf8(name) + " removed\n";
    }
    if (!(SnapshotKey(HKEY_CURRENT_USER, kProductKey) == product_)) out += "HKCU\\Software\\tavo changed\n";
    // The user's data folder is still set aside here: the documents folder
    // must hold exactly what it held once that is put back.
    std::vector<std::wstring> docs = FolderEntries(DocumentsFolder());
    if (!setAside_.empty()) {
        docs.push_back(L"TAVO_zudedo");
        std::sort(docs.begin(), docs.end());
    }
    if (docs != documents_) {
        out += "documents folder now holds:";
        for (const auto& d : docs) out += " " + shell::WideToUtf8(d);
        out += "\n";
    }
    return out;
}

}  // namespace testing_support
