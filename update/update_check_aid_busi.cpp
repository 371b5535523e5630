#include "update/update_check_aid_busi.h"

#include <shlobj.h>

#include <climits>
#include <exception>

#include "api/envelope.h"
#include "api/program_version.h"
#include "api/server_clock.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/service_config.h"
#include "shell/text.h"
#include "shell/unique_handle.h"
#include "update/check_update.h"

namespace notice {
namespace {

const char kVersionPrefix[] = "lastVersion=";
const wchar_t kNoticeBase[] = L"/soft/sq/update/update_notice/";

// A member of an object; null for anything that is not an object (JsonCpp
// refuses to index other values).
const Json::Value& Member(const Json::Value& object, const char* name) {
    static const Json::Value none;
    return object.isObject() ? object[name] : none;
}

// "file" and "freq" of a matching entry replace the current ones; members
// that are absent or of another type leave them alone.
void TakeValues(const Json::Value& entry, Decision& d) {
    const Json::Value& file = Member(entry, "file");
    if (file.isString()) d.file = file.asString();
    const Json::Value& freq = Member(entry, "freq");
    if (freq.isString()) {
        d.freq = shell::ReadDecimal(freq.asString());
    } else if (freq.type() == Json::intValue) {
        const int64_t days = freq.asInt64();
        d.freq = days < INT32_MIN ? INT32_MIN : days > INT32_MAX ? INT32_MAX : static_cast<int32_t>(days);
    } else if (freq.type() == Json::uintValue) {
        const uint64_t days = freq.asUInt64();
        d.freq = days > INT32_MAX ? INT32_MAX : static_cast<int32_t>(days);
    }
}

bool FindRange(const Json::Value& section, const std::string& own, Decision& d) {
    const Json::Value& ranges = Member(section, "ranges");
    if (!ranges.isArray()) return false;
    for (const Json::Value& entry : ranges) {
        const Json::Value& beg = Member(entry, "beg");
        const Json::Value& end = Member(entry, "end");
        if (beg.isString() && end.isString() && InRange(own, beg.asString(), end.asString())) {
            TakeValues(entry, d);
            return true;
        }
    }
    return false;
}

bool FindSingle(const Json::Value& section, const std::string& own, Decision& d) {
    const Json::Value& singles = Member(section, "single");
    if (!singles.isArray()) return false;
    for (const Json::Value& entry : singles) {
        const Json::Value& ver = Member(entry, "ver");
        if (ver.isString() && ver.asString() == own) {
            TakeValues(entry, d);
            return true;
        }
    }
    return false;
}

int CompareNoCase(const std::string& a, const std::string& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// Seconds since 1970 as a local calendar date; false outside what the
// system's clock can express.
bool LocalDate(int64_t seconds, SYSTEMTIME& local) {
    constexpr int64_t kEpoch = 116444736000000000;  // 1970 in 100 ns since 1601
    constexpr int64_t kLatest = (INT64_MAX - kEpoch) / 10000000;
    if (seconds < 0 || seconds > kLatest) return false;
    const int64_t ticks = seconds * 10000000 + kEpoch;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME utc;
    return ::FileTimeToSystemTime(&ft, &utc) && ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
}

}  // namespace

bool ReadLatestVersion(const std::string& page, std::string& version) {
    bool found = false;
    size_t start = 0;
    while (start <= page.size()) {
        size_t end = page.find('\n', start);
        if (end == std::string::npos) end = page.size();
        std::string line;
        for (size_t i = start; i < end; ++i) {
            if (page[i] != '\t') line += page[i];
        }
        if (line.compare(0, sizeof(kVersionPrefix) - 1, kVersionPrefix) == 0) {
            std::string text = line.substr(sizeof(kVersionPrefix) - 1);
            // Pages with CR LF line ends: the CR is no part of the version,
            // and in an address it would name a file that is not there.
            while (!text.empty() && text.back() == '\r') text.pop_back();
            version = text;
            found = true;
        }
        start = end + 1;
    }
    return found && version.size() <= kMaxVersionText;
}

bool InRange(const std::string& version, const std::string& beg, const std::string& end) {
    return CompareNoCase(version, beg) >= 0 && CompareNoCase(version, end) <= 0;
}

Decision Evaluate(const Json::Value& config, const std::string& own) {
    Decision d;
    if (!config.isObject()) return d;
    bool rangeHit = false;
    if (config.isMember("specialon")) {
        const Json::Value& on = config["specialon"];
        rangeHit = FindRange(on, own, d);
        if (FindSingle(on, own, d)) {
            d.due = true;
            return d;
        }
    }
    if (config.isMember("general") && !rangeHit) {
        const Json::Value& general = config["general"];
        const Json::Value& switchedOn = Member(general, "on");
        if (!switchedOn.isString() || switchedOn.asString() != "true") return d;
        TakeValues(general, d);
    }
    // Without "specialoff" only a version singled out above gets a notice.
    if (!config.isMember("specialoff")) return d;
    const Json::Value& off = config["specialoff"];
    Decision withheld = d;
    if (FindSingle(off, own, withheld)) return d;
    if (rangeHit) {
        d.due = true;
        return d;
    }
    d.due = !FindRange(off, own, withheld);
    return d;
}

bool IsTooSoon(int64_t last, int32_t freq, int64_t now) {
    if (last == 0 || freq == 0) return false;
    SYSTEMTIME today, closed;
    if (!LocalDate(now, today) || !LocalDate(last, closed)) return false;
    if (today.wYear > closed.wYear) return false;
    if (today.wMonth > closed.wMonth) return false;
    return static_cast<int>(today.wDay) - static_cast<int>(closed.wDay) < freq;
}

int64_t ReadLastNoticeTime() {
    shell::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\tavo", 0, KEY_READ, key.put()) != ERROR_SUCCESS) return 0;
    wchar_t text[255] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), L"lastUpdNotice", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return 0;
    }
    text[size / sizeof(wchar_t)] = L'\0';
    return shell::ReadDecimal64(shell::WideToAnsi(text));
}

}  // namespace notice

UpdateCheckAidBusi::UpdateCheckAidBusi(HWND mainWindow) : mainWindow_(mainWindow) {}

UpdateCheckAidBusi::~UpdateCheckAidBusi() = default;

std::wstring UpdateCheckAidBusi::TempLayoutPath() { return CheckUpdate::UpdateFolder() + L"\\notice_info.xmlTemp"; }
std::wstring UpdateCheckAidBusi::LayoutPath() { return CheckUpdate::UpdateFolder() + L"\\upd_available_notice.xml"; }

int UpdateCheckAidBusi::Get(const std::wstring& path, uint32_t maxBody) {
    HttpRequestHeader h(HttpRequestHeader::kGet, Service().port);
    h.url = Service().WebOrigin() + path;
    h.maxBody = maxBody;
    h.timeout = api::RequestTimeLimit();
    return StartRequest(h);
}

void UpdateCheckAidBusi::StartNoticeCheck() {
    if (stage_ != Stage::kIdle) return;  // one check per start
    stage_ = Stage::kVersionPage;
    versionId_ = Get(L"/soft/sq/update/version_lastest.htm", notice::kMaxVersionPage);
}

void UpdateCheckAidBusi::OnRequestFinished(FCHttpRequest& request) {
    const int id = request.Id();
    if (id != versionId_ && id != configId_ && id != layoutId_) return;
    std::string body;
    const bool accepted = api::TakeAcceptedBody(request, body);
    if (!accepted) {
        stage_ = Stage::kFailed;
    } else if (id == versionId_) {
        OnVersionPage(body);
    } else if (id == configId_) {
        OnConfig(body);
    } else {
        OnLayout(body);
    }
    if (id == versionId_) versionId_ = -1;
    if (id == configId_) configId_ = -1;
    if (id == layoutId_) layoutId_ = -1;
}

void UpdateCheckAidBusi::OnRequestTimeout(FCHttpRequest& request) {
    const int id = request.Id();
    if (id == versionId_ || id == configId_ || id == layoutId_) stage_ = Stage::kFailed;
}

void UpdateCheckAidBusi::OnVersionPage(const std::string& body) {
    std::string latest;
    if (!notice::ReadLatestVersion(body, latest)) {
        stage_ = Stage::kNoNewer;
        return;
    }
    latestVersion_ = shell::AnsiToWide(latest);
    if (VersionInfo::Parse(latestVersion_, true).Number() <= ProgramVersion().Number()) {
        stage_ = Stage::kNoNewer;
        return;
    }
    // Fetched like every other request, so the window keeps answering
    // however slow the web host is.
    stage_ = Stage::kConfig;
    configId_ = Get(notice::kNoticeBase + latestVersion_ + L"/notice_config", notice::kMaxConfig);
}

void UpdateCheckAidBusi::OnConfig(const std::string& body) {
    Json::Value config;
    Json::Reader reader;
    try {
        // The reader throws on pathologically deep documents.
        if (body.empty() || !reader.parse(body, config, false)) {
            stage_ = Stage::kFailed;
            return;
        }
    } catch (const std::exception&) {
        stage_ = Stage::kFailed;
        return;
    }
    const notice::Decision d = notice::Evaluate(config, api::VersionText());
    if (!d.due) {
        stage_ = Stage::kNotDue;
        return;
    }
    noticeFile_ = shell::AnsiToWide(d.file);
    freq_ = d.freq;
    lastNotice_ = notice::ReadLastNoticeTime();
    if (notice::IsTooSoon(lastNotice_, freq_, LocalNow())) {
        stage_ = Stage::kTooSoon;
        return;
    }
    // No rule named a layout: the folder's own address would be fetched
    // and whatever page it answers taken for one.
    if (noticeFile_.empty() || noticeFile_.size() > MAX_PATH) {
        stage_ = Stage::kFailed;
        return;
    }
    stage_ = Stage::kLayout;
    layoutId_ = Get(notice::kNoticeBase + latestVersion_ + L"/notice_info/" + noticeFile_, notice::kMaxLayout);
}

void UpdateCheckAidBusi::OnLayout(const std::string& body) {
    stage_ = Stage::kFailed;
    if (body.empty()) return;
    // The updater may not have made the folder yet.
    ::SHCreateDirectoryExW(nullptr, CheckUpdate::UpdateFolder().c_str(), nullptr);
    const std::wstring temp = TempLayoutPath();
    bool written = false;
    {
        shell::UniqueFile file(
            ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD put = 0;
        written = file && ::WriteFile(file.get(), body.data(), static_cast<DWORD>(body.size()), &put, nullptr) &&
                  put == body.size();
    }
    if (!written ||
        !::MoveFileExW(temp.c_str(), LayoutPath().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        ::DeleteFileW(temp.c_str());
        return;
    }
    stage_ = Stage::kLayoutReady;
    ::PostMessageW(mainWindow_, msg::kUpdateNoticeReady, 0, 0);
}
