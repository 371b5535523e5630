// The real executable under Wine against the stand-in service: first start,
// a second start, and the hand-overs to the updater. Each test installs the
// program into a folder of its own with a "service.ini" naming its stand-in
// instance; the profile is a throw-away one (the user's data folder set
// aside, the Run value and the program's registry key put back after).
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "api/program_version.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/saved_password.h"
#include "shell/text.h"
#include "shell/unique_handle.h"
#include "tests/support/message_pump.h"
#include "tests/support/paths.h"
#include "tests/support/profile_guard.h"
#include "tests/support/standin.h"
#include "tests/support/inspect.h"

namespace {

using testing_support::ReadIni;
using testing_support::RegistryString;
using testing_support::RemoveTree;

const wchar_t kClass[] = L"zudedo_main_panel";

// Every file below a folder with its last write time, to see that nothing changed.
void Snapshot(const std::wstring& folder, std::vector<std::pair<std::wstring, ULONGLONG>>& out) {
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Snapshot(path, out);
        } else {
            out.emplace_back(path, (ULONGLONG(fd.ftLastWriteTime.dwHighDateTime) << 32) | fd.ftLastWriteTime.dwLowDateTime);
        }
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
}

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standin.ok()) << "stand-in service not reachable (YF_STANDIN_PORT)";
        Json::Value quiet;
        quiet["msg_count"] = 0;
        quiet["notices"] = Json::Value(Json::arrayValue);
        standin.SetState(quiet);
        ASSERT_EQ(nullptr, ::FindWindowW(kClass, nullptr)) << "another client is running";
        profile = std::make_unique<testing_support::ProfileGuard>();
        data = profile->data();
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        install = std::wstring(temp) + L"zudedo-e2e-" + std::to_wstring(::GetCurrentProcessId());
        ::SHCreateDirectoryExW(nullptr, install.c_str(), nullptr);
        exe = install + L"\\zudedo.exe";
        ASSERT_TRUE(::CopyFileW(testing_support::BinaryPath("app/zudedo.exe").c_str(), exe.c_str(), FALSE));
        const std::wstring ini = install + L"\\service.ini";
        for (const wchar_t* key : {L"ServiceHost", L"WebHost", L"FeedbackHost"}) {
            ::WritePrivateProfileStringW(L"Service", key, L"127.0.0.1", ini.c_str());
        }
        ::WritePrivateProfileStringW(L"Service", L"Port", std::to_wstring(standin.port()).c_str(), ini.c_str());
    }

    void TearDown() override {
        for (auto& p : processes) {
            if (::WaitForSingleObject(p.get(), 0) == WAIT_TIMEOUT) {
                if (HWND w = ::FindWindowW(kClass, nullptr)) ::PostMessageW(w, WM_CLOSE, 0, 0);
                if (::WaitForSingleObject(p.get(), 10000) == WAIT_TIMEOUT) ::TerminateProcess(p.get(), 1);
            }
        }
        RemoveTree(install);
        profile->Restore();
        EXPECT_EQ("", profile->Differences()) << "the test left something behind";
        profile.reset();
    }

    HANDLE Start() {
        std::wstring line = L"\"" + exe + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, install.c_str(), &si, &pi)) {
            return nullptr;
        }
        ::CloseHandle(pi.hThread);
        processes.emplace_back(pi.hProcess);
        return pi.hProcess;
    }

    HWND WaitForWindow(DWORD ms = 20000) {
        HWND found = nullptr;
        testing_support::PumpUntil([&] { return (found = ::FindWindowW(kClass, nullptr)) != nullptr; }, ms);
        return found;
    }

    DWORD WaitForExit(HANDLE process, DWORD ms = 20000) {
        if (::WaitForSingleObject(process, ms) != WAIT_OBJECT_0) return 999;
        DWORD code = 999;
        ::GetExitCodeProcess(process, &code);
        return code;
    }

    // Closes the running client as the system would and returns its exit code.
    DWORD CloseClient(HANDLE process) {
        HWND w = ::FindWindowW(kClass, nullptr);
        if (w) ::PostMessageW(w, WM_CLOSE, 0, 0);
        return WaitForExit(process);
    }

    void InstallUpdater(const char* stub) {
        ::SHCreateDirectoryExW(nullptr, (data + L"\\update").c_str(), nullptr);
        ASSERT_TRUE(::CopyFileW(testing_support::BinaryPath((std::string("tests/") + stub + ".exe").c_str()).c_str(),
                                (data + L"\\update\\update.exe").c_str(), FALSE));
    }
    void NeedUpdate() {
        ::SHCreateDirectoryExW(nullptr, (data + L"\\update").c_str(), nullptr);
        ::WritePrivateProfileStringW(L"UpdateInfo", L"NeedUpdate", L"1", (data + L"\\update\\updateinfo.ini").c_str());
    }
    std::wstring UpdaterCommandLine(DWORD waitMs) {
        const std::wstring file = data + L"\\update\\updater-cmdline.txt";
        testing_support::PumpUntil([&] { return !testing_support::ReadFileBytes(file).empty(); }, waitMs);
        std::string raw = testing_support::ReadFileBytes(file);
        return std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
    }
    void PublishUpdater(const char* versionPage, int status = 200) {
        Json::Value page;
        page["path"] = "/soft/sq/update/update_app/update_exe_version.htm";
        page["body"] = versionPage;
        page["status"] = status;
        standin.Reply(page);
        std::string bytes = testing_support::ReadFileBytes(testing_support::BinaryPath("tests/stub_updater_1005.exe"));
        std::string hex;
        for (unsigned char c : bytes) hex += shell::Format("%02x", c);
        Json::Value state;
        state["update_exe_hex"] = hex;
        standin.SetState(state);
    }
    size_t Requests(const char* path) { return standin.ReceivedAt(path).size(); }

    // The demo account signs in by itself at the next start.
    void SignInAutomatically() {
        ::SHCreateDirectoryExW(nullptr, data.c_str(), nullptr);
        AppSettings settings;
        settings.passwordPath = data + L"\\info.db";
        const std::wstring config = data + L"\\config.ini";
        for (const wchar_t* key : {L"AutoRun", L"MainPanelTopmost", L"ExitBtnDoHide", L"HideToTraybarNoticed"}) {
            ::WritePrivateProfileStringW(L"Main", key, L"0", config.c_str());
        }
        ::WritePrivateProfileStringW(L"Main", L"AutoLogin", L"1", config.c_str());
        ::WritePrivateProfileStringW(L"Main", L"KeepPSW", L"1", config.c_str());
        ::WritePrivateProfileStringW(L"Main", L"UserName", L"demo", config.c_str());
        ASSERT_TRUE(SavePassword(settings, L"demo123"));
    }
    size_t LoginLogs(const char* action) {
        size_t n = 0;
        for (const auto& r : standin.ReceivedAt("/rovavoda.php/rovavoda/api/login_log")) {
            n += r["document"]["action"].asString() == action;
        }
        return n;
    }
    // Signed in, the service turns silent or slow, each service of the
    // window has a request out: the client must still end soon after its
    // window is closed.
    void CloseAgainst(const char* kind) {
        SignInAutomatically();
        HANDLE client = Start();
        HWND window = WaitForWindow();
        ASSERT_NE(nullptr, window);
        ASSERT_TRUE(testing_support::PumpUntil([&] { return LoginLogs("login") > 0; }, 30000));
        Json::Value fault;
        fault["path"] = "*";
        fault["kind"] = kind;
        fault["ms"] = 3000;
        standin.Fault(fault);
        for (UINT ask : {msg::kRequestMessageCount, msg::kRequestNotices, msg::kPollNewInquiries}) {
            ::PostMessageW(window, ask, 0, 0);
        }
        ::PostMessageW(window, WM_TIMER, 101, 0);  // the post counters
        testing_support::PumpFor(500);
        // A bound to catch a hang only (each blocked report and each
        // service with a blocked request used to hold the end for seconds,
        // one after the other); tools/bench measures the time.
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, WaitForExit(client, 10000)) << "still running 10 s after its window was closed";
        EXPECT_EQ(1u, LoginLogs("logout"));
        EXPECT_EQ(1u, LoginLogs("exit"));
    }

    testing_support::StandIn standin;
    std::unique_ptr<testing_support::ProfileGuard> profile;
    std::wstring data, install, exe;
    std::vector<shell::UniqueHandleKernel> processes;
};

const char kVersionPage[] = "/soft/sq/update/update_app/update_exe_version.htm";
const char kUpdaterFile[] = "/soft/sq/update/update_app/update.exe";

TEST_F(ClientTest, FirstStartWritesTheDefaults) {
    HANDLE client = Start();
    ASSERT_NE(nullptr, client);
    ASSERT_NE(nullptr, WaitForWindow());
    const std::wstring config = data + L"\\config.ini";
    EXPECT_EQ(L"1", ReadIni(config, L"Main", L"KeepPSW"));
    EXPECT_EQ(L"0", ReadIni(config, L"Main", L"AutoLogin"));
    EXPECT_EQ(L"1", ReadIni(config, L"Main", L"AutoRun"));
    EXPECT_EQ(L"0", ReadIni(config, L"Main", L"ExitBtnDoHide"));
    EXPECT_EQ(L"0", ReadIni(config, L"Main", L"MainPanelTopmost"));
    EXPECT_EQ(L"<absent>", ReadIni(config, L"Main", L"PlayVoiceWhenInquiryIn"));
    EXPECT_EQ(exe, RegistryString(L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"tavo"));
    EXPECT_EQ(ProgramVersion().text, RegistryString(L"Software\\tavo", L"Version"));
    EXPECT_EQ(0u, CloseClient(client));
    EXPECT_EQ(L"0", ReadIni(config, L"Main", L"HideToTraybarNoticed"));
}

TEST_F(ClientTest, SecondStartRaisesTheFirst) {
    HANDLE first = Start();
    HWND window = WaitForWindow();
    ASSERT_NE(nullptr, window);
    testing_support::PumpFor(1500);  // let the first settle its files

    for (int how : {SW_HIDE, SW_MINIMIZE}) {
        ::ShowWindow(window, how);
        testing_support::PumpFor(300);
        std::vector<std::pair<std::wstring, ULONGLONG>> before, after;
        Snapshot(data, before);
        HANDLE second = Start();
        EXPECT_EQ(0u, WaitForExit(second));
        testing_support::PumpUntil([&] { return ::IsWindowVisible(window) && !::IsIconic(window); }, 3000);
        EXPECT_TRUE(::IsWindowVisible(window)) << how;
        EXPECT_FALSE(::IsIconic(window)) << how;
        Snapshot(data, after);
        EXPECT_EQ(before, after) << "the second start touched a file";
    }
    EXPECT_EQ(0u, CloseClient(first));
}

TEST_F(ClientTest, WaitingPackageHandsOverWithoutAWindow) {
    InstallUpdater("stub_updater_1004");
    NeedUpdate();
    HANDLE client = Start();
    bool sawWindow = false;
    testing_support::PumpUntil([&] {
        sawWindow |= ::FindWindowW(kClass, nullptr) != nullptr;
        return ::WaitForSingleObject(client, 0) == WAIT_OBJECT_0;
    }, 20000);
    EXPECT_EQ(0u, WaitForExit(client, 100));
    EXPECT_FALSE(sawWindow);
    EXPECT_EQ(L"\"" + data + L"\\update\\update.exe\" -u \"" + exe + L"\"\n", UpdaterCommandLine(5000));
}

TEST_F(ClientTest, WaitingPackageWithoutUpdaterStartsNormally) {
    NeedUpdate();
    HANDLE client = Start();
    ASSERT_NE(nullptr, WaitForWindow());
    testing_support::PumpFor(1500);
    EXPECT_EQ(0u, Requests(kVersionPage));
    EXPECT_EQ(0u, CloseClient(client));
}

TEST_F(ClientTest, OlderUpdaterIsReplacedAndStarted) {
    InstallUpdater("stub_updater_1004");
    PublishUpdater("lastVersion=1.0.0.5");
    HANDLE client = Start();
    const std::wstring line = UpdaterCommandLine(20000);
    EXPECT_EQ(L"\"" + data + L"\\update\\update.exe\" -c 2198\n", line);
    EXPECT_EQ(1u, Requests(kUpdaterFile));
    EXPECT_EQ(L"1.0.0.5", VersionInfo::FromFile(data + L"\\update\\update.exe").text);
    EXPECT_EQ(L"1.0.0.5", RegistryString(L"Software\\tavo", L"UpdExeVersion"));
    EXPECT_EQ(0u, CloseClient(client));
}

TEST_F(ClientTest, NewerLocalUpdaterStartsWithoutDownload) {
    InstallUpdater("stub_updater_1005");
    PublishUpdater("lastVersion=1.0.0.5");
    HANDLE client = Start();
    EXPECT_NE(std::wstring::npos, UpdaterCommandLine(20000).find(L" -c 2198"));
    EXPECT_EQ(0u, Requests(kUpdaterFile));
    EXPECT_EQ(0u, CloseClient(client));
}

TEST_F(ClientTest, MissingVersionPageDoesNothingElse) {
    InstallUpdater("stub_updater_1004");
    PublishUpdater("gone", 404);
    HANDLE client = Start();
    ASSERT_NE(nullptr, WaitForWindow());
    testing_support::PumpUntil([&] { return Requests(kVersionPage) > 0; }, 10000);
    testing_support::PumpFor(1500);
    EXPECT_EQ(0u, Requests(kUpdaterFile));
    EXPECT_TRUE(UpdaterCommandLine(10).empty());
    EXPECT_EQ(0u, CloseClient(client));
}

TEST_F(ClientTest, CloseButtonHidesAndTheNoticeIsRemembered) {
    ::SHCreateDirectoryExW(nullptr, data.c_str(), nullptr);
    const std::wstring config = data + L"\\config.ini";
    for (const wchar_t* key : {L"KeepPSW", L"AutoLogin", L"AutoRun", L"MainPanelTopmost", L"HideToTraybarNoticed"}) {
        ::WritePrivateProfileStringW(L"Main", key, L"0", config.c_str());
    }
    ::WritePrivateProfileStringW(L"Main", L"ExitBtnDoHide", L"1", config.c_str());
    HANDLE client = Start();
    HWND window = WaitForWindow();
    ASSERT_NE(nullptr, window);
    testing_support::PumpUntil([&] { return ::IsWindowVisible(window) != FALSE; }, 5000);
    RECT rc;
    ::GetClientRect(window, &rc);
    // The close button is the last of the caption row.
    const LPARAM at = MAKELPARAM(rc.right - 14, 16);
    ::PostMessageW(window, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(window, WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !::IsWindowVisible(window); }, 5000));
    EXPECT_EQ(0u, CloseClient(client));
    EXPECT_EQ(L"1", ReadIni(config, L"Main", L"HideToTraybarNoticed"));
}

TEST_F(ClientTest, EndsSoonAfterClosingAgainstASilentService) { CloseAgainst("hang"); }

TEST_F(ClientTest, EndsSoonAfterClosingAgainstADrippingService) { CloseAgainst("drip"); }

}  // namespace
