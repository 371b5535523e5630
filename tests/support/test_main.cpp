// Test entry: every test process writes its data files into a folder of its
// own under the temporary folder, never into the user's documents; every
// test starts as in a fresh process, whether the program runs one test (as
// ctest does) or all of them in one process; and the program leaves no Run
// value of its own behind.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "shell/app_settings.h"
#include "shell/service_config.h"
#include "tests/support/inspect.h"

namespace {

// Top-level windows of this process (message-only windows are not among them).
std::vector<HWND> OwnWindows() {
    std::vector<HWND> found;
    ::EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid == ::GetCurrentProcessId()) reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// What a test process owns that outlives a test: the process-wide settings
// record, the data folder, the service configuration and its windows. After
// each test they are put back as a new process finds them; a window or a
// data file the test left open is reported against it.
class FreshProcessState : public ::testing::EmptyTestEventListener {
public:
    FreshProcessState(std::wstring app, std::wstring data) : app_(std::move(app)), data_(std::move(data)) {
        AppFolders::Override(app_, data_);
        service_ = Service();
    }

    void OnTestEnd(const ::testing::TestInfo&) override {
        // A window left open would take the focus and the input of the tests after it.
        for (HWND hwnd : OwnWindows()) {
            wchar_t cls[128] = {};
            ::GetClassNameW(hwnd, cls, 128);
            const wchar_t* name = cls;
            ADD_FAILURE() << "the test left a window open (class " << name << ")";
            ::DestroyWindow(hwnd);
        }

        // The record goes as at the end of a process (writing what it owes
        // its file) and a new one takes its place; references stay valid.
        AppSettings& record = Settings();
        record.~AppSettings();
        new (&record) AppSettings();

        testing_support::RemoveTree(data_);
        if (::GetFileAttributesW(data_.c_str()) != INVALID_FILE_ATTRIBUTES) {
            ADD_FAILURE() << "the test left a file open in the data folder";
        }
        AppFolders::Override(app_, data_);
        SetService(service_);
    }

private:
    std::wstring app_, data_;
    ServiceConfig service_;
};

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring data = std::wstring(temp) + L"zudedo-tests\\" + std::to_wstring(::GetCurrentProcessId());
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring app(exe);
    app = app.substr(0, app.find_last_of(L'\\'));
    auto* fresh = new FreshProcessState(app, data);  // owned by the listener list
    ::testing::UnitTest::GetInstance()->listeners().Append(fresh);
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
    // As the client does: a worker a test abandoned inside the network
    // library may hold a lock that the libraries' clean-up at the end of a
    // process waits on for ever (it does under Wine). The results are out,
    // so the process ends at once.
    std::fflush(stdout);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(rc));
    return rc;
}
