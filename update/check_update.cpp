#include "update/check_update.h"

#include <shlobj.h>

#include <vector>

#include "api/envelope.h"
#include "api/program_version.h"
#include "shell/app_settings.h"
#include "shell/service_config.h"
#include "shell/text.h"
#include "shell/unique_handle.h"

namespace {

const wchar_t kRegistryKey[] = L"Software\\tavo";
const char kVersionPrefix[] = "lastVersion=";
// The updater is a small program; anything far bigger is not it.
constexpr uint32_t kMaxUpdaterBytes = 64u * 1024 * 1024;
// The version page is one line.
constexpr uint32_t kMaxVersionPage = 64u * 1024;
// The updater is far bigger than an API reply: it may take as long as
// twenty of them (ten minutes).
constexpr DWORD kUpdaterDownloadLimits = 20;

std::wstring ClientPath() {
    std::vector<wchar_t> buf(32768);
    DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    return std::wstring(buf.data(), n);
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

std::wstring CheckUpdate::UpdateFolder() { return Settings().DataFilePath(L"update"); }
std::wstring CheckUpdate::UpdateInfoPath() { return Settings().DataFilePath(L"update\\updateinfo.ini"); }

CheckUpdate::CheckUpdate() : updaterPath_(Settings().DataFilePath(L"update\\update.exe")) {
    shell::UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(),
                          nullptr) == ERROR_SUCCESS) {
        const std::wstring& version = ProgramVersion().text;
        ::RegSetValueExW(key.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                         static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    }
}

HttpRequestHeader CheckUpdate::Get(const wchar_t* path) const {
    HttpRequestHeader h(0, Service().port);
    h.url = Service().WebOrigin() + path;
    return h;
}

bool CheckUpdate::CheckPendingUpdate() {
    if (::GetPrivateProfileIntW(L"UpdateInfo", L"NeedUpdate", 0, UpdateInfoPath().c_str()) != 0) {
        return LaunchUpdater(true);
    }
    HttpRequestHeader h = Get(L"/soft/sq/update/update_app/update_exe_version.htm");
    h.maxBody = kMaxVersionPage;
    h.timeout = api::RequestTimeLimit();
    versionId_ = StartRequest(h);
    return false;
}

std::wstring CheckUpdate::CommandLine(bool install) const {
    std::wstring line = L"\"" + updaterPath_ + L"\"";
    if (install) {
        line += L" -u \"" + ClientPath() + L"\"";
    } else {
        line += shell::FormatW(L" -c %u", kPackageReadyMessage);
    }
    return line;
}

bool CheckUpdate::LaunchUpdater(bool install) {
    std::wstring line = CommandLine(install);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

void CheckUpdate::OnRequestFinished(FCHttpRequest& request) {
    if (request.StatusCode() != 200) return;
    std::string body;
    request.PopReceivedData(body);
    if (request.Id() == versionId_) {
        OnVersionReply(body);
    } else if (request.Id() == downloadId_) {
        // A cut-off or empty download must not replace a working updater:
        // only a whole body is written; the one in place is started anyway.
        if (api::IsBodyComplete(request) && !body.empty()) {
            OnDownloadReply(body);
        } else {
            LaunchUpdater(false);
        }
    }
}

void CheckUpdate::OnRequestTimeout(FCHttpRequest& request) {
    // A download that took too long counts as cut off: the updater in place
    // is started; a version page that took too long is dropped.
    if (request.Id() == downloadId_) LaunchUpdater(false);
}

void CheckUpdate::OnVersionReply(const std::string& body) {
    if (body.compare(0, sizeof(kVersionPrefix) - 1, kVersionPrefix) == 0) {
        latestVersion_ = body.substr(sizeof(kVersionPrefix) - 1);
    }
    const VersionInfo latest = VersionInfo::Parse(shell::AnsiToWide(latestVersion_), true);
    bool needed = true;
    if (FileExists(updaterPath_)) needed = VersionInfo::FromFile(updaterPath_) < latest;
    if (!needed) {
        LaunchUpdater(false);
        return;
    }
    HttpRequestHeader h = Get(L"/soft/sq/update/update_app/update.exe");
    h.maxBody = kMaxUpdaterBytes;
    h.timeout = api::RequestTimeLimit() * kUpdaterDownloadLimits;
    downloadId_ = StartRequest(h);
}

void CheckUpdate::OnDownloadReply(const std::string& body) {
    ::SHCreateDirectoryExW(nullptr, UpdateFolder().c_str(), nullptr);
    const std::wstring temp = updaterPath_ + L".tmp";
    bool written = false;
    {
        shell::UniqueFile file(
            ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD put = 0;
        written = file && ::WriteFile(file.get(), body.data(), static_cast<DWORD>(body.size()), &put, nullptr) &&
                  put == body.size();
    }
    if (written) {
        if (!::MoveFileExW(temp.c_str(), updaterPath_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            // The old updater may still run: replace it at the next restart.
            ::MoveFileExW(temp.c_str(), updaterPath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
        }
        shell::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
            std::wstring version = shell::AnsiToWide(latestVersion_);
            ::RegSetValueExW(key.get(), L"UpdExeVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                             static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
        }
    }
    LaunchUpdater(false);
}
