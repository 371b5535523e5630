// Test entry: every test process writes its data files into a folder of its
// own under the temporary folder, never into the user's documents, and
// leaves no Run value of its own behind.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>

#include "shell/app_settings.h"
#include "tests/support/inspect.h"

namespace {
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring data = std::wstring(temp) + L"zudedo-tests\\" + std::to_wstring(::GetCurrentProcessId());
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring app(exe);
    app = app.substr(0, app.find_last_of(L'\\'));
    AppFolders::Override(app, data);
    // Tests that run the first-start code register this program in the Run
    // key; what was there before is put back.
    const std::wstring run = testing_support::RegistryString(kRunKey, L"tavo");
    int rc = RUN_ALL_TESTS();
    if (testing_support::RegistryString(kRunKey, L"tavo") == exe && run != exe) {
        shell::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
            if (run == L"<absent>" || run == L"<no key>" || run == L"<wrong type>") {
                ::RegDeleteValueW(key.get(), L"tavo");
            } else {
                ::RegSetValueExW(key.get(), L"tavo", 0, REG_SZ, reinterpret_cast<const BYTE*>(run.c_str()),
                                 static_cast<DWORD>((run.size() + 1) * sizeof(wchar_t)));
            }
        }
    }
    // Leave nothing behind in the temporary folder.
    testing_support::RemoveTree(data);
    return rc;
}
