// Test entry: every test process writes its data files into a folder of its
// own under the temporary folder, never into the user's documents.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>

#include "shell/app_settings.h"
#include "tests/support/inspect.h"

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
    int rc = RUN_ALL_TESTS();
    // Leave nothing behind in the temporary folder.
    testing_support::RemoveTree(data);
    return rc;
}
