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

// The shell seam records the call, and the machine's browser command comes
// back, however the test ends.
class CapturedShell {
public:
    CapturedShell() { SetShellExecute(&Capture); }
    ~CapturedShell() { SetShellExecute(nullptr); }
    CapturedShell(const CapturedShell&) = delete;
    CapturedShell& operator=(const CapturedShell&) = delete;
};

class SavedBrowserCommand {
public:
    explicit SavedBrowserCommand(HKEY key) : key_(key) {
        DWORD size = sizeof(saved_) - sizeof(wchar_t);
        had_ = ::RegQueryValueExW(key_, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(saved_), &size) ==
               ERROR_SUCCESS;
        size_ = size;
    }
    ~SavedBrowserCommand() {
        if (had_) {
            ::RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_), size_);
        } else {
            ::RegDeleteValueW(key_, nullptr);
        }
    }
    SavedBrowserCommand(const SavedBrowserCommand&) = delete;
    SavedBrowserCommand& operator=(const SavedBrowserCommand&) = delete;

private:
    HKEY key_;
    wchar_t saved_[2048] = {};
    DWORD size_ = 0;
    bool had_ = false;
};

TEST(ShellOpen, OpensThroughTheShellOrTheDefaultBrowser) {
    CapturedShell capture;
    g_file = g_params = L"<not called>";
    ShellOpenUrl(L"http://127.0.0.1/notice", false);
    EXPECT_EQ(L"http://127.0.0.1/notice", g_file);
    EXPECT_EQ(L"", g_params);

    shell::UniqueRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, nullptr, 0,
                                               KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr));
    SavedBrowserCommand saved(key.get());
    const wchar_t command[] = L"\"C:\\Tools\\My Browser\\b.exe\" -osint -url \"%1\"";
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command), sizeof(command)));
    g_file = g_params = L"<not called>";
    ShellOpenUrl(L"http://127.0.0.1/x", true);
    EXPECT_EQ(L"C:\\Tools\\My Browser\\b.exe", g_file);
    EXPECT_EQ(L"http://127.0.0.1/x", g_params);
}

}  // namespace
