#include "tests/panels/main_panel_fixture.h"

#include <new>

#include "shell/text.h"

namespace testing_support {

std::vector<HWND> ThreadWindows(const wchar_t* className, bool visibleOnly) {
    struct Search {
        const wchar_t* cls;
        bool visibleOnly;
        std::vector<HWND> found;
    } search{className, visibleOnly, {}};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            wchar_t cls[64] = {};
            ::GetClassNameW(hwnd, cls, 64);
            if (wcscmp(cls, s->cls) == 0 && (!s->visibleOnly || ::IsWindowVisible(hwnd))) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::wstring>& Opened() {
    static std::vector<std::wstring> opened;
    return opened;
}

HINSTANCE RecordOpen(const std::wstring& file, const std::wstring&) {
    Opened().push_back(file);
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

namespace {

// A fresh settings-and-session record, as a new process starts with: a
// test that signed in must not leave the next one signed in.
void ResetSettings() {
    AppSettings& s = Settings();
    s.configPath.clear();  // its destructor would write into the last test's file
    s.~AppSettings();
    new (&s) AppSettings();
}

}  // namespace

void MainPanelTest::SetUp() {
    ASSERT_TRUE(standin.ok()) << "stand-in service not reachable (YF_STANDIN_PORT)";
    // Quiet pop-up sources: these tests look at the main window.
    Json::Value state;
    state["msg_count"] = 0;
    state["notices"] = Json::Value(Json::arrayValue);
    standin.SetState(state);
    HostDown() = false;
    ReachabilityMonitor::SetResolver(&SwitchableResolver);
    ui::PaintManager::SetInstance(::GetModuleHandleW(nullptr));
    ResetSettings();
    AppSettings& s = Settings();
    ::DeleteFileW(s.DataFilePath(L"config.ini").c_str());
    ::DeleteFileW(s.DataFilePath(L"info.db").c_str());
}

void MainPanelTest::TearDown() {
    if (panel && ::IsWindow(*panel)) {
        // As the window really goes: its close handling signs out, reports
        // and stops the services before the window is destroyed.
        ::PostMessageW(*panel, WM_CLOSE, 0, 0);
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 10000)) << "the main window did not close";
    }
    // Menus and tip banners of this thread the test left open.
    for (const wchar_t* cls : {L"MenuWnd", L"NoticeBanner"}) {
        for (HWND hwnd : ThreadWindows(cls)) ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    PumpFor(50);
    panel.reset();
    ReachabilityMonitor::SetResolver(nullptr);
}

MainPanel::Periods MainPanelTest::ShortPeriods() {
    MainPanel::Periods p;
    p.counts = 400;
    p.webLogin = 400;
    p.messages = 400;
    p.slowMessages = 400;
    p.token = 400;
    p.noticeCheck = 400;
    p.reachability = 150;
    return p;
}

void MainPanelTest::PrepareSettings(bool autoLogin, const std::wstring& user, const std::wstring& password) {
    AppSettings& s = Settings();
    s.Load();
    s.WriteInt(L"Main", L"AutoLogin", autoLogin ? 1 : 0);
    s.WriteInt(L"Main", L"KeepPSW", password.empty() ? 0 : 1);
    s.WriteString(L"Main", L"UserName", user);
    SavePassword(s, password);
    s.Load();
}

void MainPanelTest::Open(const MainPanel::Periods& periods) {
    if (Settings().configPath.empty()) Settings().Load();
    panel = std::make_unique<MainPanel>();
    panel->SetPeriods(periods);
    if (!realBrowser) panel->SetNavigator(std::make_unique<RecordingNavigator>(&nav));
    ASSERT_NE(nullptr, panel->Create(nullptr, MainPanel::kTitle, MainPanel::kStyle, 0));
    panel->ShowWindow(true, true);
    PumpFor(50);
}

bool MainPanelTest::PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    return ui::PaintManager::PumpUntil(pred, timeoutMs);
}

void MainPanelTest::PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

ui::Control* MainPanelTest::Control(const wchar_t* name) const {
    return panel ? panel->GetPaintManager().FindControl(name) : nullptr;
}

void MainPanelTest::Click(const wchar_t* name) {
    ui::Control* c = Control(name);
    ASSERT_NE(nullptr, c) << shell::WideToUtf8(name);
    panel->GetPaintManager().UpdateLayout();
    const RECT& rc = c->GetPos();
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    ::PostMessageW(*panel, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(*panel, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(*panel, WM_LBUTTONUP, 0, at);
    PumpFor(60);
}

void MainPanelTest::ClickThrough(const wchar_t* name) {
    ui::Control* c = Control(name);
    ASSERT_NE(nullptr, c) << shell::WideToUtf8(name);
    panel->GetPaintManager().UpdateLayout();
    const RECT& rc = c->GetPos();
    POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    HWND target = ::ChildWindowFromPointEx(*panel, pt, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT);
    if (target == nullptr) target = *panel;
    if (target != *panel) {
        // The system tells the window of a press in a child before the child.
        ::PostMessageW(*panel, WM_PARENTNOTIFY, WM_LBUTTONDOWN, MAKELPARAM(pt.x, pt.y));
    }
    ::MapWindowPoints(*panel, target, &pt, 1);
    const LPARAM at = MAKELPARAM(pt.x, pt.y);
    ::PostMessageW(target, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(target, WM_LBUTTONUP, 0, at);
    PumpFor(60);
}

void MainPanelTest::CaptionPress(const wchar_t* name) {
    ui::Control* c = Control(name);
    ASSERT_NE(nullptr, c) << shell::WideToUtf8(name);
    panel->GetPaintManager().UpdateLayout();
    const RECT& rc = c->GetPos();
    POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ::ClientToScreen(*panel, &pt);
    const LPARAM at = MAKELPARAM(pt.x, pt.y);
    ASSERT_EQ(HTCAPTION, ::SendMessageW(*panel, WM_NCHITTEST, 0, at)) << shell::WideToUtf8(name);
    // The release ends the move that the press starts.
    ::PostMessageW(*panel, WM_NCLBUTTONDOWN, HTCAPTION, at);
    ::PostMessageW(*panel, WM_LBUTTONUP, 0, at);
    PumpFor(60);
}

HWND MainPanelTest::KeyTarget() const {
    ui::Control* focus = Focused();
    HWND native = focus ? focus->NativeHandle() : nullptr;
    return native ? native : static_cast<HWND>(*panel);
}

void MainPanelTest::TypeKeys(const std::wstring& text) {
    for (wchar_t ch : text) {
        ::PostMessageW(KeyTarget(), WM_CHAR, ch, 1);
        PumpFor(10);
    }
    PumpFor(30);
}

void MainPanelTest::PressKey(WPARAM key) {
    const HWND target = KeyTarget();
    ::PostMessageW(target, WM_KEYDOWN, key, 1);
    ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    PumpFor(40);
}

void MainPanelTest::Type(const wchar_t* name, const std::wstring& text) {
    ui::Control* c = Control(name);
    ASSERT_NE(nullptr, c) << shell::WideToUtf8(name);
    c->SetText(text);
}

bool MainPanelTest::SignIn(const wchar_t* user, const wchar_t* password) {
    if (!PumpUntil([&] { return panel->Reachability() == 1; })) return false;
    panel->ShowLoginLayer();
    PumpFor(50);
    Type(L"EditUsername", user);
    Type(L"EditPassword", password);
    Click(L"BtnLogin");
    return PumpUntil([] { return Settings().signedIn; });
}

size_t MainPanelTest::Received(const char* action) {
    return standin.ReceivedAt(std::string("/rovavoda.php/rovavoda/api/") + action).size();
}

bool MainPanelTest::WaitForTip(const std::wstring& text) {
    return PumpUntil([&] { return panel->LastTip().text == text; }, 4000);
}

}  // namespace testing_support
