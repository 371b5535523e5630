// The update notice: once per start, decides from the files the maker
// publishes whether this installed version should be told about the newest
// one, fetches the notice's layout into the update folder and asks the main
// window to show it (2199).
#pragma once

#include <windows.h>

#include <json/json.h>

#include <cstdint>
#include <string>

#include "net/request_manager.h"

namespace notice {

// Largest published files the check takes; a longer one counts as failed.
constexpr uint32_t kMaxVersionPage = 64u * 1024;
constexpr uint32_t kMaxConfig = 1024u * 1024;
// The notice window reads no bigger layout.
constexpr uint32_t kMaxLayout = 4u * 1024 * 1024;
// A version text is a.b.c.d; anything longer is not one.
constexpr size_t kMaxVersionText = 64;

// The text after the last "lastVersion=" line of a version page, without a
// line end; false when no line announces one.
bool ReadLatestVersion(const std::string& page, std::string& version);

// Whether `version` lies in `beg`..`end`, compared as text, case-blind,
// character by character: the maker's configurations rely on 1.10.0.0
// sorting before 1.9.9.9.
bool InRange(const std::string& version, const std::string& beg, const std::string& end);

struct Decision {
    bool due = false;
    std::string file;   // ANSI, as published
    int32_t freq = 0;   // days; 0 = no interval limit
};
// The configuration's rules applied to the installed version `own`.
Decision Evaluate(const Json::Value& config, const std::string& own);

// Whether a notice closed at `last` (seconds since 1970, 0 = never) may not
// be shown again yet at `now`, with the frequency in days. Calendar dates
// are local: a new month or year always allows it.
bool IsTooSoon(int64_t last, int32_t freq, int64_t now);

// "lastUpdNotice" under "Software\tavo"; 0 when absent or unreadable.
int64_t ReadLastNoticeTime();

}  // namespace notice

class UpdateCheckAidBusi : public FCHttpRequestManager {
public:
    // How far a check got; every stage but kLayoutReady ends silently.
    enum class Stage {
        kIdle,
        kVersionPage,
        kConfig,
        kLayout,
        kNoNewer,
        kNotDue,
        kTooSoon,
        kFailed,
        kLayoutReady,
    };

    explicit UpdateCheckAidBusi(HWND mainWindow);
    ~UpdateCheckAidBusi() override;

    // Starts the version-page request; the rest follows its reply.
    void StartNoticeCheck();

    Stage CurrentStage() const { return stage_; }
    const std::wstring& LatestVersion() const { return latestVersion_; }
    const std::wstring& NoticeFile() const { return noticeFile_; }
    int32_t Frequency() const { return freq_; }

    static std::wstring TempLayoutPath();
    static std::wstring LayoutPath();

protected:
    void OnRequestFinished(FCHttpRequest& request) override;
    void OnRequestTimeout(FCHttpRequest& request) override;

private:
    void OnVersionPage(const std::string& body);
    void OnConfig(const std::string& body);
    void OnLayout(const std::string& body);
    int Get(const std::wstring& path, uint32_t maxBody);

    HWND mainWindow_;
    int versionId_ = -1;
    int configId_ = -1;
    int layoutId_ = -1;
    std::wstring latestVersion_;
    int32_t freq_ = 0;
    int64_t lastNotice_ = 0;
    std::wstring noticeFile_;
    Stage stage_ = Stage::kIdle;
};
