// A main window under test: the real window and services against a
// stand-in service instance of its own, a browser seam that records what
// it was asked to show, short timer periods, and a message pump that runs
// the framework's pre-message filters as the real loop does.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/reachability.h"
#include "panels/main_panel.h"
#include "shell/app_settings.h"
#include "shell/saved_password.h"
#include "tests/support/standin.h"
#include "ui/controls.h"
#include "ui/native_controls.h"
#include "ui/paint_manager.h"

namespace testing_support {

struct RecordedNavigation {
    std::vector<std::wstring> pages;
    int offline = 0;
    int reloads = 0;
};

class RecordingNavigator : public BrowserNavigator {
public:
    explicit RecordingNavigator(RecordedNavigation* log) : log_(log) {}
    void OpenPage(const std::wstring& address) override { log_->pages.push_back(address); }
    void ShowOfflinePage() override { ++log_->offline; }
    void ReloadPage() override { ++log_->reloads; }

private:
    RecordedNavigation* log_;
};

// Top-level windows of this thread of a class (only the visible ones when
// asked).
std::vector<HWND> ThreadWindows(const wchar_t* className, bool visibleOnly = false);

// What the shell was asked to open while RecordOpen stood in for it
// (SetShellExecute(&RecordOpen)): nothing is started.
std::vector<std::wstring>& Opened();
HINSTANCE RecordOpen(const std::wstring& file, const std::wstring& parameters);

// The host goes away and comes back at the test's word.
inline bool& HostDown() {
    static bool down = false;
    return down;
}
inline bool SwitchableResolver(const std::wstring& host) {
    return !HostDown() && ReachabilityMonitor::Resolves(host);
}

class MainPanelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes "config.ini" (and "info.db") as a previous run would have.
    void PrepareSettings(bool autoLogin, const std::wstring& user = L"", const std::wstring& password = L"");
    // Creates and shows the window.
    void Open(const MainPanel::Periods& periods = ShortPeriods());
    static MainPanel::Periods ShortPeriods();

    // Pumps with the framework's filters until pred holds.
    bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs = 8000);
    void PumpFor(DWORD ms);

    ui::Control* Control(const wchar_t* name) const;
    // A real mouse click (press and release messages) at the control's centre.
    void Click(const wchar_t* name);
    // The same click delivered where the system would deliver it: to a
    // native child window shown at that point (the window hearing of it
    // first), else to the window.
    void ClickThrough(const wchar_t* name);
    // A press on the control as part of the caption (a non-client press).
    void CaptionPress(const wchar_t* name);
    // Characters and a key, sent where the keyboard focus is: the focused
    // control's native window, else the window.
    void TypeKeys(const std::wstring& text);
    void PressKey(WPARAM key);
    ui::Control* Focused() const { return panel->GetPaintManager().GetFocus(); }
    void Type(const wchar_t* name, const std::wstring& text);
    bool SignIn(const wchar_t* user = L"demo", const wchar_t* password = L"demo123");
    size_t Received(const char* action);
    // The tip shown last, once it has been shown.
    bool WaitForTip(const std::wstring& text);
    HWND KeyTarget() const;

    StandIn standin;
    std::unique_ptr<MainPanel> panel;
    RecordedNavigation nav;
    // Open gives the window its own browser helper instead of the recorder.
    bool realBrowser = false;
};

}  // namespace testing_support
