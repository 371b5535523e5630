// The about window: the product text and the client's version, and each
// time it opens a look at the web host's version page. A newer version
// turns the version number into an underlined link to the download page
// with a "new" badge above its end. The window runs that request itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "net/request_manager.h"
#include "ui/secondary_window.h"

namespace ui {
class Button;
}

// What the web host's version page says of a client of version `own`:
// nothing usable (no "lastVersion=" line), the same or an older version,
// or a newer one. The last "lastVersion=" line decides.
enum class VersionVerdict { kUnknown, kUpToDate, kNewer };
VersionVerdict ReadVersionPage(const std::string& body, uint64_t own);

class AboutUsPanel : public ui::SecondaryWindow, public FCHttpRequestManager {
public:
    static constexpr wchar_t kClassName[] = L"zudedo_about_us_panel";
    static constexpr wchar_t kVersionPage[] = L"/soft/sq/update/version_lastest.htm";
    static constexpr wchar_t kDownloadPage[] = L"/soft/sq?soft";
    static constexpr wchar_t kUpToDateTip[] = L"您已经在使用最新版本了";
    static constexpr wchar_t kNewerTip[] = L"检测到新版本，点击到官网下载";
    // The page could not be read: that is not news of being up to date.
    static constexpr wchar_t kUncheckedTip[] = L"暂时无法检查新版本";
    static constexpr wchar_t kCheckingTip[] = L"正在检查新版本";
    static constexpr int kVersionFont = 3;  // underlined

    enum class Check { kRunning, kFailed, kUpToDate, kNewer };

    // Not owned by `owner` (the main window), which hears of its closing.
    explicit AboutUsPanel(HWND owner);

    Check VersionCheck() const { return check_; }
    bool HasNewerVersion() const { return check_ == Check::kNewer; }

    // Return or Escape closes; Return on a focused button is that button's
    // own click.
    LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    // Closing abandons the version request without waiting for it.
    LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    ~AboutUsPanel() override;
    void Init() override;
    void OnNotify(ui::Notification& msg) override;
    void OnRequestFinished(FCHttpRequest& request) override;
    void OnRequestTimeout(FCHttpRequest& request) override;

private:
    void Show(Check check);
    // The version text's width in its current font, plus 2 pixels.
    void FitVersionWidth();
    void OpenLink(ui::Control* sender, int index);

    ui::Button* version_ = nullptr;
    ui::Control* newTip_ = nullptr;
    int versionId_ = -1;
    Check check_ = Check::kRunning;
};
