// The one process-wide settings-and-session record: file paths, the "Main"
// flags of "config.ini", the signed-in user's profile, the server clock and
// the subscription state. User-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The executable's folder and the per-user data folder (documents + "\TAVO_zudedo").
struct AppFolders {
    std::wstring app;   // no trailing backslash
    std::wstring data;  // created on first use; empty when documents is unknown

    static const AppFolders& Get();
    // Tests and tools point the data folder elsewhere before anything reads it.
    static void Override(const std::wstring& app, const std::wstring& data);
};

class AppSettings {
public:
    AppSettings() = default;
    ~AppSettings();
    AppSettings(const AppSettings&) = delete;
    AppSettings& operator=(const AppSettings&) = delete;

    // Start-up load: paths, first-run defaults, the seven "Main" flags.
    void Load();

    BOOL WriteInt(const wchar_t* section, const wchar_t* key, int value) const;
    std::wstring ReadString(const wchar_t* section, const wchar_t* key) const;
    BOOL WriteString(const wchar_t* section, const wchar_t* key, const std::wstring& text) const;
    bool ReadWindowRect(RECT& rect) const;
    void WriteWindowRect(const RECT& rect) const;
    // The saved rectangle is used only when usable and left and top are > 0.
    bool SavedWindowPlacement(RECT& rect) const;
    // Saved only when left and top are > 0 (a minimised window is not).
    void SaveWindowPlacement(const RECT& rect) const;

    bool EnableAutoRun();
    bool DisableAutoRun();

    std::wstring DataFilePath(const std::wstring& name) const;
    std::wstring UserFilePath(const std::wstring& name) const;
    void SetUserSession(bool signedIn);
    void LoadLastReadTime();
    void SaveLastReadTime() const;

    // Paths.
    std::wstring configPath;
    std::wstring userFilePath;
    std::wstring passwordPath;

    // "Main" flags, in file order of reading.
    bool autoRun = false;
    bool autoLogin = false;
    bool keepPassword = false;
    bool mainPanelTopmost = false;
    bool exitButtonHides = false;
    bool hideToTrayNoticed = false;
    bool playVoiceOnInquiry = false;

    // Account and profile.
    std::wstring userName;
    std::wstring title;
    std::wstring password;
    std::wstring nickname;
    std::wstring contactName;
    uint32_t uid = 0;
    int32_t id = 0;
    std::wstring department;
    int32_t certStatus = 0;
    bool signedIn = false;
    bool postedFlag = false;

    // Server clock and subscriptions.
    int64_t serverTimeAtSync = 0;
    int64_t localTimeAtSync = 0;
    int64_t lastReadTime = 0;
    std::wstring provinceList;

    // Inquiry counters.
    int32_t totalPosts = 0;
    int32_t todayPosts = 0;

    // Overrides the executable path used for the Run value (tests).
    std::wstring executablePathOverride;
    // Overrides the per-user Run key that auto-start writes (tests).
    std::wstring runKeyOverride;

private:
    bool ReadFlag(const wchar_t* key) const;
    std::wstring ExecutablePath() const;
    const wchar_t* RunKey() const;
};

// The process-wide record.
AppSettings& Settings();
