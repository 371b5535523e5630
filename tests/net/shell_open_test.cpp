#include "net/shell_open.h"

#include <gtest/gtest.h>

#include "shell/unique_handle.h"

namespace {

std::wstring g_file, g_params;
HINSTANCE Capture(const std::wstring& file, const std::wstring& params) {
    g_file = file;
    g_params = params;
    return reinterpret_cast<HINSTANCE>(33);
}

TEST(ShellOpen, BrowserCommandParsing) {
    EXPECT_EQ(L"C:\\Program Files\\Browser\\browser.exe",
              BrowserProgramFromCommand(L"\"C:\\Program Files\\Browser\\browser.exe\" -- \"%1\""));
    EXPECT_EQ(L"C:\\Program Files\\Internet Explorer\\iexplore.exe",
              BrowserProgramFromCommand(L"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1"));
    EXPECT_EQ(L"C:\\Progra~1\\Browser\\browser.exe",
              BrowserProgramFromCommand(L"C:\\Progra~1\\Browser\\browser.exe -nohome %1"));
    EXPECT_EQ(L"browser.exe %1", BrowserProgramFromCommand(L"browser.exe %1"));  // no backslash
    EXPECT_EQ(L"C:\\browser.exe", BrowserProgramFromCommand(L"C:\\browser.exe"));
    EXPECT_EQ(L"\"unterminated", BrowserProgramFromCommand(L"\"unterminated"));
    EXPECT_EQ(L"", BrowserProgramFromCommand(L""));
}

TEST(ShellOpen, OpensThroughTheShellOrTheDefaultBrowser) {
    SetShellExecute(&Capture);
    ShellOpenUrl(L"http://127.0.0.1/notice", false);
    EXPECT_EQ(L"http://127.0.0.1/notice", g_file);
    EXPECT_EQ(L"", g_params);

    shell::UniqueRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, nullptr, 0,
                                               KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr));
    wchar_t saved[2048] = {};
    DWORD savedSize = sizeof(saved) - sizeof(wchar_t);
    const bool hadValue =
        ::RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(saved), &savedSize) ==
        ERROR_SUCCESS;
    const wchar_t command[] = L"\"C:\\Tools\\My Browser\\b.exe\" -osint -url \"%1\"";
    ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command), sizeof(command));
    ShellOpenUrl(L"http://127.0.0.1/x", true);
    // Put the machine's browser back before judging.
    if (hadValue) {
        ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(saved), savedSize);
    } else {
        ::RegDeleteValueW(key.get(), nullptr);
    }
    EXPECT_EQ(L"C:\\Tools\\My Browser\\b.exe", g_file);
    EXPECT_EQ(L"http://127.0.0.1/x", g_params);
    SetShellExecute(nullptr);
}

}  // namespace
