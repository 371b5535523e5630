// The client's side of self-update: hands over to the updater when a
// package waits, otherwise keeps "update.exe" current and starts it in
// check mode. The updater itself is a separate program.
#pragma once

#include <windows.h>

#include <string>

#include "net/request_manager.h"

class CheckUpdate : public FCHttpRequestManager {
public:
    // Records the client's version under "Software\tavo".
    CheckUpdate();

    // True when a package waited and the updater was started to install it:
    // the caller then ends without a window. Otherwise the version check runs,
    // at once or, given a delay, from a timer: a start-up puts it after the
    // main window's first paint.
    bool CheckPendingUpdate(UINT versionCheckDelayMs = 0);
    // Starts the updater in install mode (true) or check mode (false).
    bool LaunchUpdater(bool install);

    const std::wstring& UpdaterPath() const { return updaterPath_; }
    const std::string& LatestUpdaterVersion() const { return latestVersion_; }
    // The command line LaunchUpdater uses.
    std::wstring CommandLine(bool install) const;

    // Moves a file the way MoveFileExW does; tests put their own in its place.
    using FileMover = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
    static void SetFileMover(FileMover mover);  // null restores MoveFileExW

    static std::wstring UpdateFolder();
    static std::wstring UpdateInfoPath();

protected:
    void OnRequestFinished(FCHttpRequest& request) override;
    void OnRequestTimeout(FCHttpRequest& request) override;
    void OnServiceTimer(UINT_PTR id) override;

private:
    static constexpr UINT_PTR kVersionCheckTimer = 1;
    void StartVersionCheck();
    void OnVersionReply(const std::string& body);
    void OnDownloadReply(const std::string& body);
    // True once a fitting download is in place, or its move is scheduled for
    // the next restart; otherwise the download is discarded.
    bool InstallDownload(const std::string& body);
    HttpRequestHeader Get(const wchar_t* path) const;

    std::wstring updaterPath_;
    std::string latestVersion_;
    int versionId_ = -1;
    int downloadId_ = -1;
};
