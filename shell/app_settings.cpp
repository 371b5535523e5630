#include "shell/app_settings.h"

#include <shlobj.h>

#include <memory>
#include <vector>

#include "shell/module_path.h"
#include "shell/text.h"
#include "shell/unique_handle.h"

namespace {

const wchar_t kMain[] = L"Main";
const wchar_t kWindowSection[] = L"WindowPostion";  // the section is spelled this way
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"tavo";

// Each write of a profile value rewrites the whole file; a value that is
// already there is not written again, so a burst of unchanged values (every
// sign-in writes the same flags) leaves the file alone.
BOOL WriteProfileValue(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                       const std::wstring& value) {
    static const wchar_t kAbsent[] = L"\x01";
    if (value.size() < 1024 && value.find_first_of(L"\r\n") == std::wstring::npos) {
        wchar_t current[1026] = {};
        ::GetPrivateProfileStringW(section, key, kAbsent, current, 1026, file.c_str());
        if (value == current) return TRUE;
    }
    return ::WritePrivateProfileStringW(section, key, value.c_str(), file.c_str());
}

AppFolders ComputeFolders() {
    AppFolders f;
    std::wstring exe = shell::ModulePath();
    size_t slash = exe.find_last_of(L'\\');
    f.app = slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash);
    wchar_t docs[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, docs))) {
        f.data = std::wstring(docs) + L"\\TAVO_zudedo";
        ::SHCreateDirectoryExW(nullptr, f.data.c_str(), nullptr);
    }
    return f;
}

std::unique_ptr<AppFolders>& FoldersSlot() {
    static std::unique_ptr<AppFolders> folders;
    return folders;
}

}  // namespace

const AppFolders& AppFolders::Get() {
    auto& slot = FoldersSlot();
    if (!slot) slot = std::make_unique<AppFolders>(ComputeFolders());
    return *slot;
}

void AppFolders::Override(const std::wstring& app, const std::wstring& data) {
    auto folders = std::make_unique<AppFolders>();
    folders->app = app;
    folders->data = data;
    if (!data.empty()) ::SHCreateDirectoryExW(nullptr, data.c_str(), nullptr);
    FoldersSlot() = std::move(folders);
}

AppSettings& Settings() {
    static AppSettings settings;
    return settings;
}

AppSettings::~AppSettings() {
    if (!configPath.empty()) WriteInt(kMain, L"HideToTraybarNoticed", hideToTrayNoticed ? 1 : 0);
}

std::wstring AppSettings::DataFilePath(const std::wstring& name) const {
    return AppFolders::Get().data + L"\\" + name;
}

std::wstring AppSettings::UserFilePath(const std::wstring& name) const {
    return AppFolders::Get().data + L"\\" + std::to_wstring(uid) + L"\\" + name;
}

void AppSettings::Load() {
    configPath = DataFilePath(L"config.ini");
    if (::GetFileAttributesW(configPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        WriteInt(kMain, L"KeepPSW", 1);
        WriteInt(kMain, L"AutoLogin", 0);
        WriteInt(kMain, L"AutoRun", 1);
        WriteInt(kMain, L"ExitBtnDoHide", 0);
        WriteInt(kMain, L"MainPanelTopmost", 0);
        WriteInt(kMain, L"HideToTraybarNoticed", 0);
        EnableAutoRun();
    }
    passwordPath = DataFilePath(L"info.db");
    autoLogin = ReadFlag(L"AutoLogin");
    keepPassword = ReadFlag(L"KeepPSW");
    autoRun = ReadFlag(L"AutoRun");
    mainPanelTopmost = ReadFlag(L"MainPanelTopmost");
    exitButtonHides = ReadFlag(L"ExitBtnDoHide");
    hideToTrayNoticed = ReadFlag(L"HideToTraybarNoticed");
    playVoiceOnInquiry = ReadFlag(L"PlayVoiceWhenInquiryIn");
}

bool AppSettings::ReadFlag(const wchar_t* key) const {
    return ::GetPrivateProfileIntW(kMain, key, 0, configPath.c_str()) != 0;
}

BOOL AppSettings::WriteInt(const wchar_t* section, const wchar_t* key, int value) const {
    return WriteProfileValue(configPath, section, key, std::to_wstring(value));
}

std::wstring AppSettings::ReadString(const wchar_t* section, const wchar_t* key) const {
    std::vector<wchar_t> buf(2048, L'\0');
    ::GetPrivateProfileStringW(section, key, L"", buf.data(), static_cast<DWORD>(buf.size()), configPath.c_str());
    return std::wstring(buf.data());
}

BOOL AppSettings::WriteString(const wchar_t* section, const wchar_t* key, const std::wstring& text) const {
    return WriteProfileValue(configPath, section, key, text);
}

bool AppSettings::ReadWindowRect(RECT& rect) const {
    rect.left = static_cast<LONG>(::GetPrivateProfileIntW(kWindowSection, L"MainPanelLeft", 0, configPath.c_str()));
    rect.right = static_cast<LONG>(::GetPrivateProfileIntW(kWindowSection, L"MainPanelRight", 0, configPath.c_str()));
    rect.top = static_cast<LONG>(::GetPrivateProfileIntW(kWindowSection, L"MainPanelTop", 0, configPath.c_str()));
    rect.bottom = static_cast<LONG>(::GetPrivateProfileIntW(kWindowSection, L"MainPanelBottom", 0, configPath.c_str()));
    return rect.right - rect.left >= 50 && rect.bottom - rect.top >= 50;
}

void AppSettings::WriteWindowRect(const RECT& rect) const {
    WriteInt(kWindowSection, L"MainPanelLeft", rect.left);
    WriteInt(kWindowSection, L"MainPanelRight", rect.right);
    WriteInt(kWindowSection, L"MainPanelTop", rect.top);
    WriteInt(kWindowSection, L"MainPanelBottom", rect.bottom);
}

bool AppSettings::SavedWindowPlacement(RECT& rect) const {
    return ReadWindowRect(rect) && rect.left > 0 && rect.top > 0;
}

void AppSettings::SaveWindowPlacement(const RECT& rect) const {
    if (rect.left > 0 && rect.top > 0) WriteWindowRect(rect);
}

const wchar_t* AppSettings::RunKey() const { return runKeyOverride.empty() ? kRunKey : runKeyOverride.c_str(); }

std::wstring AppSettings::ExecutablePath() const {
    return executablePathOverride.empty() ? shell::ModulePath() : executablePathOverride;
}

bool AppSettings::EnableAutoRun() {
    std::wstring exe = ExecutablePath();
    if (exe.empty() || ::GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        autoRun = false;
        WriteInt(kMain, L"AutoRun", 0);
        return false;
    }
    shell::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, RunKey(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
        ::RegSetValueExW(key.get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(exe.c_str()),
                         static_cast<DWORD>((exe.size() + 1) * sizeof(wchar_t)));
    }
    autoRun = true;
    WriteInt(kMain, L"AutoRun", 1);
    return true;
}

bool AppSettings::DisableAutoRun() {
    shell::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, RunKey(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key.get(), kRunValue);
    }
    autoRun = false;
    WriteInt(kMain, L"AutoRun", 0);
    return true;
}

void AppSettings::SetUserSession(bool signedIn_) {
    userFilePath = UserFilePath(L"userConfig.ini");
    std::wstring folder = AppFolders::Get().data + L"\\" + std::to_wstring(uid);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    signedIn = signedIn_;
}

void AppSettings::LoadLastReadTime() {
    wchar_t buf[260] = {};
    ::GetPrivateProfileStringW(L"User", L"LastTimeReadSubscribe", L"", buf, 260, userFilePath.c_str());
    lastReadTime = shell::ReadDecimal64(shell::WideToAnsi(buf));
    if (lastReadTime == 0) lastReadTime = serverTimeAtSync;
}

void AppSettings::SaveLastReadTime() const {
    WriteProfileValue(userFilePath, L"User", L"LastTimeReadSubscribe",
                      shell::FormatW(L"%lld", static_cast<long long>(lastReadTime)));
}
