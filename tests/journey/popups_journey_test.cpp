// A journey with the pop-ups of the real client: the service announces new
// messages and a notice while the user types in another program; the
// pop-ups come up in the corner next to the notification area without
// taking the keyboard from that program, are read and clicked like any
// window, and "点击查看" opens the notice page in the user's browser already
// signed in to the web site.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "shell/unique_handle.h"
#include "tests/journey/driver.h"
#include "tests/journey/fixture.h"
#include "tests/support/inspect.h"
#include "tests/support/paths.h"
#include "tests/support/profile_guard.h"
#include "tests/support/standin.h"

namespace {

using journey::Element;

const wchar_t kMsgPopup[] = L"zudedo_popup_msg_panel";
const wchar_t kNoticePopup[] = L"zudedo_popup_notice_panel";
const wchar_t kBrowserKey[] = L"http\\shell\\open\\command";

// The user's web browser, for the length of a test: a stand-in program
// that writes each address it is started with into a file beside itself.
// The machine's own browser command comes back afterwards.
class RecordingBrowser {
public:
    RecordingBrowser() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"zudedo-browser-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        const std::wstring program = folder_ + L"\\browser.exe";
        ok_ = ::CopyFileW(testing_support::BinaryPath("tests/stub_updater_nover.exe").c_str(), program.c_str(),
                          FALSE) != FALSE;
        if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, kBrowserKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                              key_.put(), nullptr) != ERROR_SUCCESS) {
            ok_ = false;
            return;
        }
        DWORD size = sizeof(saved_) - sizeof(wchar_t);
        had_ = ::RegQueryValueExW(key_.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(saved_), &size) ==
               ERROR_SUCCESS;
        savedSize_ = size;
        const std::wstring command = L"\"" + program + L"\" \"%1\"";
        ok_ = ok_ && ::RegSetValueExW(key_.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                      static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ~RecordingBrowser() {
        if (key_) {
            if (had_) {
                ::RegSetValueExW(key_.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_), savedSize_);
            } else {
                ::RegDeleteValueW(key_.get(), nullptr);
            }
        }
        testing_support::RemoveTree(folder_);
    }
    RecordingBrowser(const RecordingBrowser&) = delete;
    RecordingBrowser& operator=(const RecordingBrowser&) = delete;

    bool ok() const { return ok_; }
    // The address of the first start, empty until there was one.
    std::wstring Address() const {
        const std::string raw = testing_support::ReadFileBytes(folder_ + L"\\updater-cmdline.txt");
        const std::wstring line(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
        // "<program>" "<address>"
        const size_t open = line.find(L"\" \"");
        if (open == std::wstring::npos) return {};
        const size_t close = line.find(L'"', open + 3);
        return close == std::wstring::npos ? std::wstring() : line.substr(open + 3, close - open - 3);
    }

private:
    std::wstring folder_;
    shell::UniqueRegKey key_;
    wchar_t saved_[2048] = {};
    DWORD savedSize_ = 0;
    bool had_ = false;
    bool ok_ = false;
};

// The window of another program the user types in.
class TypingWindow {
public:
    TypingWindow() {
        window_ = ::CreateWindowExW(0, L"EDIT", L"记事", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 360, 160, nullptr,
                                    nullptr, ::GetModuleHandleW(nullptr), nullptr);
    }
    ~TypingWindow() {
        if (window_ != nullptr) ::DestroyWindow(window_);
    }
    TypingWindow(const TypingWindow&) = delete;
    TypingWindow& operator=(const TypingWindow&) = delete;

    bool Focus() {
        if (!journey::BringToFront(window_)) return false;
        ::SetFocus(window_);
        return HasFocus();
    }
    bool HasFocus() const { return ::GetForegroundWindow() == window_ && ::GetFocus() == window_; }

private:
    HWND window_ = nullptr;
};

class PopupsJourney : public journey::JourneyTest {
protected:
    void StartAndSignIn() {
        StartClient();
        FillLogin(L"demo", L"demo123");
        auto login = client->Find(L"登录", ROLE_SYSTEM_PUSHBUTTON);
        ASSERT_TRUE(login);
        journey::Click(*login);
    }

    // Milliseconds from now until a moment of the stand-in's clock (seconds
    // since 1970, the same machine's clock).
    static DWORD MsUntil(double when) {
        FILETIME ft{};
        ::GetSystemTimeAsFileTime(&ft);
        const ULONGLONG ticks = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        const double now = static_cast<double>(ticks - 116444736000000000ULL) / 1e7;
        return when > now ? static_cast<DWORD>((when - now) * 1000.0) + 1 : 0;
    }
    HWND Popup(const wchar_t* cls) const {
        auto found = journey::WindowsOf(client->processId(), cls);
        return found.empty() ? nullptr : found.front();
    }
    // The pop-up's corner: 8 pixels from the side of the work area, 2 from
    // its bottom (or top, with the task bar at the top).
    static void ExpectInTheCorner(HWND popup) {
        RECT rc{};
        ASSERT_TRUE(::GetWindowRect(popup, &rc));
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(popup, MONITOR_DEFAULTTONEAREST), &mi));
        const RECT& work = mi.rcWork;
        EXPECT_TRUE(rc.left >= work.left && rc.top >= work.top && rc.right <= work.right && rc.bottom <= work.bottom)
            << "outside the work area";
        EXPECT_TRUE(rc.right == work.right - 8 || rc.left == work.left + 8) << rc.left << " " << rc.right;
        EXPECT_TRUE(rc.bottom == work.bottom - 2 || rc.top == work.top + 2) << rc.top << " " << rc.bottom;
    }
    std::optional<Element> In(HWND popup, const std::wstring& name, LONG role) const {
        return journey::Find(popup, name, role);
    }

};

TEST_F(PopupsJourney, MessagesAndANoticeArriveWhileTheUserTypesElsewhere) {
    RecordingBrowser browser;
    ASSERT_TRUE(browser.ok()) << "could not stand in for the browser";
    Json::Value state;
    state["msg_count"] = 3;
    Json::Value notice;
    notice["title"] = "重要通知";
    notice["caption"] = "系统维护";
    notice["content"] = "今晚十点至十一点系统维护，请提前保存。";
    notice["more"] = "我知道了";
    state["notices"].append(notice);
    standin.SetState(state);
    // The answers come a little after the sign-in, once the user is back
    // in the other program.
    for (const char* action : {"get_new_msg_count", "get_important_notice"}) {
        Json::Value delay;
        delay["action"] = action;
        delay["kind"] = "delay";
        delay["ms"] = 3000;
        standin.Fault(delay);
    }

    StartAndSignIn();
    TypingWindow typing;
    ASSERT_TRUE(typing.Focus()) << "the test's window did not get the focus";

    // The notice comes over the message count's corner.
    ASSERT_TRUE(journey::WaitUntil([&] { return Popup(kNoticePopup) != nullptr; }, 15000)) << "no notice pop-up";
    ASSERT_TRUE(journey::WaitUntil([&] { return !standin.ReceivedAt(kApi + "get_new_msg_count").empty(); }, 5000));
    // Looked at 3.5 s after that request, its answer half a second in.
    journey::Pause(MsUntil(standin.ReceivedAt(kApi + "get_new_msg_count")[0]["time"].asDouble() + 3.5));
    EXPECT_TRUE(typing.HasFocus()) << "a pop-up took the keyboard";
    const HWND noticePopup = Popup(kNoticePopup);
    ASSERT_NE(nullptr, noticePopup);
    ExpectInTheCorner(noticePopup);
    EXPECT_EQ(nullptr, Popup(kMsgPopup)) << "the message count showed beside the notice";
    EXPECT_TRUE(In(noticePopup, L"系统维护", ROLE_SYSTEM_STATICTEXT)) << journey::Describe(journey::ReadWindow(noticePopup));
    auto gotIt = In(noticePopup, L"我知道了", ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_TRUE(gotIt) << journey::Describe(journey::ReadWindow(noticePopup));

    // Dismissed with the mouse: the message count comes back.
    journey::Click(gotIt->Centre());
    ASSERT_TRUE(journey::WaitUntil([&] { return Popup(kMsgPopup) != nullptr; }, 5000)) << "no message pop-up";
    EXPECT_EQ(nullptr, Popup(kNoticePopup));
    const HWND msgPopup = Popup(kMsgPopup);
    ExpectInTheCorner(msgPopup);
    EXPECT_TRUE(typing.HasFocus()) << "the click on the pop-up took the keyboard";
    const auto read = journey::ReadWindow(msgPopup);
    EXPECT_TRUE(In(msgPopup, L"消息中心", ROLE_SYSTEM_STATICTEXT)) << journey::Describe(read);
    EXPECT_TRUE(In(msgPopup, L"3", ROLE_SYSTEM_PUSHBUTTON) || In(msgPopup, L" 3 ", ROLE_SYSTEM_PUSHBUTTON))
        << journey::Describe(read);

    // "点击查看": the notice page, through the web site's sign-on.
    ASSERT_TRUE(journey::WaitUntil([&] { return !standin.ReceivedAt(kApi + "get_token").empty(); }, 5000))
        << "the client never asked for a sign-on token";
    journey::Pause(500);
    auto readMore = In(msgPopup, L"点击查看", ROLE_SYSTEM_LINK);
    ASSERT_TRUE(readMore) << journey::Describe(read);
    journey::Click(readMore->Centre());
    ASSERT_TRUE(journey::WaitUntil([&] { return !browser.Address().empty(); }, 10000)) << "no browser was started";
    ASSERT_TRUE(journey::WaitUntil([&] { return Popup(kMsgPopup) == nullptr; }, 5000));
    EXPECT_TRUE(typing.HasFocus());

    const std::wstring address = browser.Address();
    const std::wstring origin = L"http://127.0.0.1:" + std::to_wstring(standin.port());
    ASSERT_EQ(0u, address.find(origin + L"/alogin?sign=")) << journey::Utf8(address);
    // The browser's visit: the web site accepts the sign-on for the page.
    const auto visit =
        testing_support::HttpCall(standin.port(), L"GET", journey::Utf8(address.substr(origin.size())));
    EXPECT_TRUE(visit.status == 200 || visit.status == 302) << visit.status;
    const Json::Value check = standin.State()["alogin"];
    EXPECT_TRUE(check["ok"].asBool()) << check.toStyledString();
    EXPECT_EQ("http://127.0.0.1:" + std::to_string(standin.port()) + "/notice", check["defaulturl"].asString());
    EXPECT_EQ("12345", check["uid"].asString());
}

}  // namespace
