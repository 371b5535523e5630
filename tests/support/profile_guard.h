// The real executable keeps its data in the profile's documents folder and
// registers itself in the per-user Run key. A test that starts it gives it
// a throw-away profile: the user's own data folder is set aside first and
// put back afterwards, and everything the client wrote under the profile
// (data folder, Run value, "Software\tavo") is undone, so the machine is
// left as it was found.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testing_support {

// A registry key's values (name -> type and bytes); `exists` false when the key is missing.
struct RegistrySnapshot {
    bool exists = false;
    std::map<std::wstring, std::pair<DWORD, std::string>> values;
    bool operator==(const RegistrySnapshot& o) const { return exists == o.exists && values == o.values; }
};
RegistrySnapshot SnapshotKey(HKEY root, const wchar_t* path);
// Puts a key back as snapshotted: values written, added ones deleted, the key
// removed when it did not exist.
void RestoreKey(HKEY root, const wchar_t* path, const RegistrySnapshot& snapshot);

// The names in a folder (not recursive), sorted.
std::vector<std::wstring> FolderEntries(const std::wstring& folder);
std::wstring DocumentsFolder();

class ProfileGuard {
public:
    static const wchar_t kRunKey[];
    static const wchar_t kProductKey[];

    ProfileGuard();
    ~ProfileGuard();  // Restore(), then puts the user's data folder back
    ProfileGuard(const ProfileGuard&) = delete;
    ProfileGuard& operator=(const ProfileGuard&) = delete;

    // The client's data folder in this profile (documents + "\TAVO_zudedo").
    const std::wstring& data() const { return data_; }
    // Undoes what the client wrote; safe to call more than once.
    void Restore();
    // What differs now from before the test, one line each; empty when nothing.
    std::string Differences() const;

private:
    std::wstring data_;
    std::wstring setAside_;  // the user's own data folder while the test runs
    RegistrySnapshot run_, product_;
    std::vector<std::wstring> documents_;
};

}  // namespace testing_support
