// The three windows of the self-update: the update-available notice, the
// package-downloaded panel and the update-complete panel. Their layouts are
// not in the skin: the notice check and the updater leave them in the
// update folder, and a window consumes its file as it is built. The main
// window opens them on the updater's and the notice check's messages and
// keeps no pointer to them; each deletes itself once closed.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "panels/main_window_host.h"
#include "panels/route_table.h"
#include "ui/secondary_window.h"

// Layout files in the update folder.
namespace update_layout {

constexpr wchar_t kNotice[] = L"upd_available_notice.xml";
constexpr wchar_t kDownloaded[] = L"updatepackage_downloaded_panel.xml";
constexpr wchar_t kComplete[] = L"update_complete_panel.xml";
// A layout is from 1 byte up to this size.
constexpr DWORD kMaxBytes = 4u * 1024u * 1024u;

enum class Refusal { kNone, kMissing, kEmpty, kTooLarge, kReadShort, kNotText };

// Reads the file whole and deletes it; the text without a UTF-8 byte-order
// mark, as UTF-16. A file that cannot be used is left where it is (only a
// whole read consumes it).
Refusal Consume(const std::wstring& path, std::wstring* xml);
std::wstring PathOf(const wchar_t* file);

// Reads a file the way ReadFile does; tests put their own in its place.
using FileReader = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
void SetFileReader(FileReader reader);  // null restores ReadFile

}  // namespace update_layout

class UpdateWindow : public ui::SecondaryWindow {
public:
    // Why the layout was not used (kNone once the window was built).
    update_layout::Refusal Refused() const { return refused_; }

protected:
    UpdateWindow(HWND owner, const wchar_t* layoutFile, const wchar_t* className, const wchar_t* title,
                 DWORD exStyle);

    std::wstring GetSkinFile() override { return layout_; }
    // Builds the content from the layout file; a layout that cannot be
    // loaded or built fails the creation, so no empty window shows.
    LRESULT OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    // Return and Escape close the window; Return on a focused button is
    // that button's click.
    LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    // A tag the framework does not know becomes a plain container, so a
    // layout written for a newer client still shows what it can.
    std::unique_ptr<ui::Control> CreateControl(const std::wstring& tag) override;
    void OnNotify(ui::Notification& msg) override;

    // What a window does with a control of its layout; true when handled.
    virtual bool OnClick(const std::wstring& sender, ui::Control* control);
    virtual void OnLink(ui::Notification&) {}
    // Opens a web address with the system's handler; false (nothing
    // opened) for anything else.
    static bool OpenAddress(const std::wstring& address);
    // The updater's request to show the update-complete panel is answered;
    // a window that never showed answers nothing.
    void ClearCompleteNotice() const;

private:
    std::wstring file_;
    std::wstring layout_;
    update_layout::Refusal refused_ = update_layout::Refusal::kMissing;
};

class UpdateAvailabelNotice : public UpdateWindow {
public:
    static constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
    explicit UpdateAvailabelNotice(HWND owner);

    // Records when the notice was last seen, for every close that reaches it.
    LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    void Init() override;
    bool OnClick(const std::wstring& sender, ui::Control* control) override;
    void OnLink(ui::Notification& msg) override;
    void OnWindowGone() override { ClearCompleteNotice(); }
};

class UpdatePackageDownloadedPanel : public UpdateWindow {
public:
    explicit UpdatePackageDownloadedPanel(HWND owner);

protected:
    void Init() override { CenterWindow(); }
    bool OnClick(const std::wstring& sender, ui::Control* control) override;

private:
    void InstallNow();
};

class UpdateCompletePanel : public UpdateWindow {
public:
    explicit UpdateCompletePanel(HWND owner);

protected:
    void Init() override { CenterWindow(); }
    bool OnClick(const std::wstring& sender, ui::Control* control) override;
    void OnWindowGone() override { ClearCompleteNotice(); }
};

// The main window's part that opens them: on the updater's 2198, on the
// notice check's 2199, and once at start when the updater has just
// installed a new version.
class UpdateCheckAidBusi;

class UpdateWindows {
public:
    explicit UpdateWindows(MainWindowHost& host);
    ~UpdateWindows();

    void AddRoutes(RouteTable& routes);
    // "UpdateCompleteNotice" 1 and the layout in place: the complete panel.
    void ShowCompleteIfDue();
    // One update-notice check per start; it is forgotten once its notice
    // is ready, and ended with the other services at close.
    void StartNoticeCheck();
    UpdateCheckAidBusi* NoticeCheck() const { return noticeCheck_.get(); }
    void EndNoticeCheck();

private:
    MainWindowHost& host_;
    std::unique_ptr<UpdateCheckAidBusi> noticeCheck_;
};
