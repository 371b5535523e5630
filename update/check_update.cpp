#include "update/check_update.h"

#include <shlobj.h>
#include <wintrust.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "api/envelope.h"
#include "api/program_version.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/module_path.h"
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

CheckUpdate::FileMover g_mover = &::MoveFileExW;

// A field of a file held in memory; false when it lies outside.
template <typename T>
bool ReadAt(const std::string& bytes, size_t offset, T& out) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
    std::memcpy(&out, bytes.data() + offset, sizeof(T));
    return true;
}

// The headers of a program for this machine: MZ and PE signatures, x64
// code, a PE32+ image, an executable and not a library. Tells whether it
// carries a certificate table (an Authenticode signature).
bool IsProgramForThisMachine(const std::string& bytes, bool& hasCertificates) {
    IMAGE_DOS_HEADER dos = {};
    if (!ReadAt(bytes, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0) return false;
    const size_t nt = static_cast<size_t>(dos.e_lfanew);
    DWORD signature = 0;
    IMAGE_FILE_HEADER file = {};
    if (!ReadAt(bytes, nt, signature) || signature != IMAGE_NT_SIGNATURE ||
        !ReadAt(bytes, nt + sizeof(signature), file)) {
        return false;
    }
    if (file.Machine != IMAGE_FILE_MACHINE_AMD64) return false;
    if ((file.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE) == 0 || (file.Characteristics & IMAGE_FILE_DLL) != 0) {
        return false;
    }
    const size_t optional = nt + sizeof(signature) + sizeof(IMAGE_FILE_HEADER);
    const size_t size = file.SizeOfOptionalHeader;
    if (size < offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) || optional > bytes.size() ||
        bytes.size() - optional < size) {
        return false;
    }
    IMAGE_OPTIONAL_HEADER64 header = {};
    std::memcpy(&header, bytes.data() + optional, std::min(size, sizeof(header)));
    if (header.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) return false;
    const size_t securityEnd = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) +
                               (IMAGE_DIRECTORY_ENTRY_SECURITY + 1) * sizeof(IMAGE_DATA_DIRECTORY);
    hasCertificates = false;
    if (header.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY && size >= securityEnd) {
        const IMAGE_DATA_DIRECTORY& table = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
        hasCertificates = table.VirtualAddress != 0 || table.Size != 0;
    }
    return true;
}

// WINTRUST_ACTION_GENERIC_VERIFY_V2: Authenticode.
const GUID kVerifyAuthenticode = {0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};

// Whether the file's Authenticode signature verifies. WinVerifyTrust is
// loaded for the call, so the client links no library it needs this
// seldom. Revocation is not fetched: this runs on the window's thread.
bool SignatureVerifies(const std::wstring& path) {
    shell::UniqueModule wintrust(::LoadLibraryExW(L"wintrust.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!wintrust) return false;
    using VerifyFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
    auto verify =
        reinterpret_cast<VerifyFn>(reinterpret_cast<void*>(::GetProcAddress(wintrust.get(), "WinVerifyTrust")));
    if (verify == nullptr) return false;
    GUID action = kVerifyAuthenticode;
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    const HWND noWindow = reinterpret_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG result = verify(noWindow, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify(noWindow, &action, &data);
    return result == ERROR_SUCCESS;
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

void CheckUpdate::SetFileMover(FileMover mover) { g_mover = mover ? mover : &::MoveFileExW; }

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
    HttpRequestHeader h(HttpRequestHeader::kGet, Service().port);
    h.url = Service().WebOrigin() + path;
    return h;
}

bool CheckUpdate::CheckPendingUpdate(UINT versionCheckDelayMs) {
    if (::GetPrivateProfileIntW(L"UpdateInfo", L"NeedUpdate", 0, UpdateInfoPath().c_str()) != 0) {
        return LaunchUpdater(true);
    }
    if (versionCheckDelayMs == 0 || !SetServiceTimer(kVersionCheckTimer, versionCheckDelayMs)) StartVersionCheck();
    return false;
}

void CheckUpdate::OnServiceTimer(UINT_PTR id) {
    if (id != kVersionCheckTimer) return;
    KillServiceTimer(kVersionCheckTimer);
    StartVersionCheck();
}

void CheckUpdate::StartVersionCheck() {
    HttpRequestHeader h = Get(L"/soft/sq/update/update_app/update_exe_version.htm");
    h.maxBody = kMaxVersionPage;
    h.timeout = api::RequestTimeLimit();
    versionId_ = StartRequest(h);
}

std::wstring CheckUpdate::CommandLine(bool install) const {
    std::wstring line = L"\"" + updaterPath_ + L"\"";
    if (install) {
        line += L" -u \"" + shell::ModulePath() + L"\"";
    } else {
        line += shell::FormatW(L" -c %u", msg::kUpdatePackageReady);
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
    if (InstallDownload(body)) {
        shell::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
            std::wstring version = shell::AnsiToWide(latestVersion_);
            ::RegSetValueExW(key.get(), L"UpdExeVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                             static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
        }
    }
    LaunchUpdater(false);
}

bool CheckUpdate::InstallDownload(const std::string& body) {
    // The updater is started with the user's rights at every client start:
    // only a program for this machine, of the announced version and with a
    // signature that verifies when it carries one, may take its place.
    bool hasCertificates = false;
    if (!IsProgramForThisMachine(body, hasCertificates)) return false;
    const VersionInfo announced = VersionInfo::Parse(shell::AnsiToWide(latestVersion_), true);
    if (announced.Number() == 0) return false;

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
    const bool usable = written && VersionInfo::FromFile(temp) == announced &&
                        (!hasCertificates || SignatureVerifies(temp));
    if (usable && g_mover(temp.c_str(), updaterPath_.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    // The old updater may still run: replace it at the next restart. That
    // needs administrator rights, which the client seldom has.
    if (usable && g_mover(temp.c_str(), updaterPath_.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
        return true;
    }
    ::DeleteFileW(temp.c_str());
    return false;
}
