// The package as a user meets it, in a fresh profile: a silent installation,
// the client started from its shortcut, a crash, an installation of a newer
// package over the first, and a silent uninstallation while the client runs.
// The cases build on each other and run in this order in one process.
//
// It installs into the profile it runs in, so it runs only where
// tests/package/in_fresh_prefix.sh has made a throw-away prefix for it
// (YF_THROWAWAY_PREFIX=1). YF_PACKAGE_DIR names the folder scripts/package
// wrote; YF_STANDIN_PORT the stand-in service the client talks to.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "shell/unique_handle.h"
#include "tests/support/minidump.h"
#include "tests/support/paths.h"

namespace {

using testing_support::ReadFileBytes;

const wchar_t kClass[] = L"zudedo_main_panel";
const wchar_t kProduct[] = L"\u4e91\u5e06\u5546\u52a1\u53f0";  // 云帆商务台
const wchar_t kOlderVersion[] = L"1.0.0.0";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\zudedo";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring Widen(const char* text) {
    std::wstring out;
    for (; text && *text; ++text) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
    return out;
}

std::wstring Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? Widen(value) : std::wstring();
}

// A Unix path as the program sees it through Wine's Z: drive.
std::wstring HostPath(const std::wstring& unix) {
    std::wstring out = L"Z:";
    for (wchar_t c : unix) out.push_back(c == L'/' ? L'\\' : c);
    return out;
}

std::wstring Folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

std::wstring InstallDir() { return Folder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\zudedo"; }
std::wstring InstalledExe() { return InstallDir() + L"\\zudedo.exe"; }
std::wstring Shortcut() { return Folder(CSIDL_PROGRAMS) + L"\\" + kProduct + L".lnk"; }
std::wstring DataFolder() { return Folder(CSIDL_PERSONAL) + L"\\TAVO_zudedo"; }
std::wstring ConfigIni() { return DataFolder() + L"\\config.ini"; }
std::wstring PackageFile(const std::wstring& name) { return HostPath(Env("YF_PACKAGE_DIR")) + L"\\" + name; }
std::wstring SetupFile(const std::wstring& version) {
    return PackageFile((version == kOlderVersion ? L"older\\zudedo-" : L"zudedo-") + version + L"-setup.exe");
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }


// The value's text; "<absent>" when there is none.
std::wstring RegText(const wchar_t* key, const wchar_t* name) {
    wchar_t text[1024] = {};
    DWORD size = sizeof(text);
    if (::RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
        return L"<absent>";
    }
    return text;
}

bool KeyExists(const wchar_t* key) {
    shell::UniqueRegKey k;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, k.put()) == ERROR_SUCCESS;
}

std::wstring Setting(const wchar_t* key) {
    wchar_t text[64] = {};
    ::GetPrivateProfileStringW(L"Main", key, L"<absent>", text, 64, ConfigIni().c_str());
    return text;
}

std::wstring FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (size == 0 || !::GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
        !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &len)) {
        return L"";
    }
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(info->dwFileVersionLS));
}

std::wstring ShortcutTarget(const std::wstring& lnk) {
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link)))) {
        return L"";
    }
    std::wstring target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(lnk.c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH))) {
            target = path;
        }
        file->Release();
    }
    link->Release();
    return target;
}

shell::UniqueHandleKernel Start(const std::wstring& commandLine, const std::wstring& folder = L"") {
    std::wstring line = commandLine;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        return shell::UniqueHandleKernel();
    }
    ::CloseHandle(pi.hThread);
    return shell::UniqueHandleKernel(pi.hProcess);
}

// The exit code, or 999 when the process did not end in time.
DWORD WaitForExit(HANDLE process, DWORD ms) {
    if (process == nullptr || ::WaitForSingleObject(process, ms) != WAIT_OBJECT_0) return 999;
    DWORD code = 999;
    ::GetExitCodeProcess(process, &code);
    return code;
}

template <typename Pred>
bool WaitFor(Pred pred, DWORD ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (!pred()) {
        if (::GetTickCount64() > end) return false;
        ::Sleep(100);
    }
    return true;
}

DWORD RunInstaller(const std::wstring& setup) { return WaitForExit(Start(L"\"" + setup + L"\" /S").get(), 60000); }

// The installed client, started as the shortcut starts it, with its main window up.
shell::UniqueHandleKernel StartFromShortcut() {
    const std::wstring target = ShortcutTarget(Shortcut());
    EXPECT_EQ(InstalledExe(), target);
    if (target.empty()) return shell::UniqueHandleKernel();
    auto process = Start(L"\"" + target + L"\"", InstallDir());
    EXPECT_TRUE(WaitFor([] { return ::FindWindowW(kClass, nullptr) != nullptr; }, 30000)) << "no main window";
    return process;
}

void RemoveTree(const std::wstring& path) {
    std::wstring from = path + L'\0';  // the list ends with a second NUL
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

// The copied prefix may hold what earlier runs of the client left in its
// profile: a fresh profile has none of it.
void MakeProfileFresh() {
    RemoveTree(DataFolder());
    RemoveTree(InstallDir());
    ::DeleteFileW(Shortcut().c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\tavo");
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"tavo");
}

class Package : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::CoInitialize(nullptr);
        if (Env("YF_THROWAWAY_PREFIX") == L"1") MakeProfileFresh();
    }
    static void TearDownTestSuite() { ::CoUninitialize(); }
    void SetUp() override {
        ASSERT_EQ(L"1", Env("YF_THROWAWAY_PREFIX")) << "installs into the profile: run by in_fresh_prefix.sh only";
        ASSERT_TRUE(Exists(SetupFile(kOlderVersion))) << "no package in YF_PACKAGE_DIR";
    }
};

TEST_F(Package, SilentInstallIntoAFreshProfile) {
    ASSERT_FALSE(Exists(InstallDir())) << "the profile is not fresh";
    ASSERT_EQ(0u, RunInstaller(SetupFile(kOlderVersion)));

    EXPECT_EQ(ReadFileBytes(PackageFile(L"older\\stage\\zudedo.exe")), ReadFileBytes(InstalledExe()))
        << "not the shipped executable";
    EXPECT_TRUE(Exists(InstallDir() + L"\\uninstall.exe"));
    EXPECT_EQ(InstalledExe(), ShortcutTarget(Shortcut()));

    EXPECT_EQ(kProduct, RegText(kUninstallKey, L"DisplayName"));
    EXPECT_EQ(kOlderVersion, RegText(kUninstallKey, L"DisplayVersion"));
    EXPECT_EQ(L"TAVO", RegText(kUninstallKey, L"Publisher"));
    EXPECT_EQ(InstallDir(), RegText(kUninstallKey, L"InstallLocation"));
    EXPECT_EQ(InstalledExe() + L",0", RegText(kUninstallKey, L"DisplayIcon"));
    const std::wstring uninstaller = L"\"" + InstallDir() + L"\\uninstall.exe\"";
    EXPECT_EQ(uninstaller, RegText(kUninstallKey, L"UninstallString"));
    EXPECT_EQ(uninstaller + L" /S", RegText(kUninstallKey, L"QuietUninstallString"));
    DWORD size = 0, bytes = sizeof(size);
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, L"EstimatedSize", RRF_RT_REG_DWORD,
                                            nullptr, &size, &bytes));
    EXPECT_GE(size, 500u) << "kilobytes of the installed files";
    EXPECT_FALSE(Exists(DataFolder())) << "an installation writes no settings";
}

TEST_F(Package, ClientStartsFromTheShortcut) {
    // The stand-in service, so that the client's first requests go nowhere real.
    const std::wstring port = Env("YF_STANDIN_PORT").empty() ? L"9" : Env("YF_STANDIN_PORT");
    const std::wstring ini = InstallDir() + L"\\service.ini";
    for (const wchar_t* key : {L"ServiceHost", L"WebHost", L"FeedbackHost"}) {
        ::WritePrivateProfileStringW(L"Service", key, L"127.0.0.1", ini.c_str());
    }
    ::WritePrivateProfileStringW(L"Service", L"Port", port.c_str(), ini.c_str());

    auto client = StartFromShortcut();
    ASSERT_TRUE(client);
    // Its first start registered the installed program to start with the logon.
    EXPECT_EQ(InstalledExe(), RegText(kRunKey, L"tavo"));
    EXPECT_EQ(L"1", Setting(L"KeepPSW"));
    if (HWND w = ::FindWindowW(kClass, nullptr)) ::PostMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, WaitForExit(client.get(), 30000));
}

TEST_F(Package, ForcedCrashLeavesAMinidumpAndOnlyTheNewestFive) {
    const std::wstring crash = DataFolder() + L"\\crash";
    ::CreateDirectoryW(crash.c_str(), nullptr);
    // Five dumps from earlier crashes, the first the oldest.
    for (int i = 0; i < 5; ++i) {
        const std::wstring path = crash + L"\\zudedo-old-" + std::to_wstring(i) + L".dmp";
        shell::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
        t.QuadPart -= static_cast<ULONGLONG>(10 - i) * 3600 * 10000000ULL;
        FILETIME then{t.LowPart, t.HighPart};
        ::SetFileTime(file.get(), nullptr, nullptr, &then);
    }

    ::SetEnvironmentVariableW(L"ZUDEDO_CRASH_AT_START", L"1");
    auto client = Start(L"\"" + InstalledExe() + L"\"", InstallDir());
    ::SetEnvironmentVariableW(L"ZUDEDO_CRASH_AT_START", nullptr);
    ASSERT_TRUE(client);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), WaitForExit(client.get(), 30000));

    std::vector<std::wstring> dumps;
    std::wstring fresh;
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((crash + L"\\*.dmp").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, find) << "no dump";
    do {
        dumps.push_back(fd.cFileName);
        if (dumps.back().find(L"-old-") == std::wstring::npos) fresh = dumps.back();
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
    EXPECT_EQ(5u, dumps.size());
    EXPECT_FALSE(Exists(crash + L"\\zudedo-old-0.dmp")) << "the oldest dump stayed";
    ASSERT_FALSE(fresh.empty()) << "the crash left no dump";

    const auto dump = testing_support::ReadMinidump(crash + L"\\" + fresh);
    ASSERT_TRUE(dump.opened);
    EXPECT_TRUE(dump.hasException);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), dump.exceptionCode);
    bool client_listed = false;
    for (const auto& m : dump.modules) client_listed |= m == L"zudedo.exe";
    EXPECT_TRUE(client_listed);
    EXPECT_LT(dump.bytes, 4ull * 1024 * 1024) << "more than stacks and modules";
    EXPECT_EQ(nullptr, ::FindWindowW(kClass, nullptr));
}

// Installed over a running client: the client is ended first, the program
// replaced, the settings and the start with the logon kept.
TEST_F(Package, NewerPackageReplacesTheProgramAndKeepsTheSettings) {
    ASSERT_TRUE(Exists(ConfigIni()));
    ::WritePrivateProfileStringW(L"Main", L"PlayVoiceWhenInquiryIn", L"1", ConfigIni().c_str());
    // The two packages' programs differ (each signed at its own time), so
    // the bytes tell which one is in place.
    const std::string newer = ReadFileBytes(PackageFile(L"stage\\zudedo.exe"));
    ASSERT_NE(ReadFileBytes(InstalledExe()), newer);
    auto client = StartFromShortcut();
    ASSERT_TRUE(client);

    const std::wstring version = Widen(ZUDEDO_PROJECT_VERSION);
    ASSERT_EQ(0u, RunInstaller(SetupFile(version)));
    EXPECT_EQ(0u, WaitForExit(client.get(), 0)) << "the running client was not ended";

    EXPECT_EQ(version, RegText(kUninstallKey, L"DisplayVersion"));
    EXPECT_EQ(newer, ReadFileBytes(InstalledExe()));
    EXPECT_EQ(version, FileVersion(InstalledExe()));
    EXPECT_EQ(InstalledExe(), ShortcutTarget(Shortcut()));
    EXPECT_EQ(L"1", Setting(L"PlayVoiceWhenInquiryIn"));
    EXPECT_EQ(L"1", Setting(L"KeepPSW"));
    EXPECT_EQ(InstalledExe(), RegText(kRunKey, L"tavo"));
}

TEST_F(Package, SilentUninstallEndsTheClientAndKeepsTheSettings) {
    auto client = StartFromShortcut();
    ASSERT_TRUE(client);
    ::DeleteFileW((InstallDir() + L"\\service.ini").c_str());

    const std::wstring quiet = RegText(kUninstallKey, L"QuietUninstallString");
    ASSERT_NE(L"<absent>", quiet);
    // The uninstaller hands over to a copy of itself outside the folder it
    // removes and returns at once; the copy's work shows in what goes.
    auto uninstaller = Start(quiet);
    ASSERT_TRUE(uninstaller);
    EXPECT_EQ(0u, WaitForExit(client.get(), 40000)) << "the running client was not ended (in time)";
    EXPECT_TRUE(WaitFor([] { return !KeyExists(kUninstallKey) && !Exists(InstallDir()); }, 40000));

    EXPECT_FALSE(Exists(InstalledExe()));
    EXPECT_FALSE(Exists(InstallDir() + L"\\uninstall.exe"));
    EXPECT_FALSE(Exists(InstallDir()));
    EXPECT_FALSE(Exists(Shortcut()));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_EQ(L"<absent>", RegText(kRunKey, L"tavo"));
    EXPECT_EQ(L"1", Setting(L"PlayVoiceWhenInquiryIn")) << "the settings went";
    EXPECT_TRUE(Exists(DataFolder() + L"\\crash"));
}

}  // namespace
