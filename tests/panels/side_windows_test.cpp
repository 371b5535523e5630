// The settings and subscription windows: on their own with a window that
// records what they tell their owner, and beside the real main window
// against the stand-in service. Auto-start writes into a Run key of the
// test's own, never the profile's.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "panels/config_panel.h"
#include "panels/custom_subscribe_panel.h"
#include "panels/side_windows.h"
#include "shell/messages.h"
#include "shell/text.h"
#include "tests/panels/main_panel_fixture.h"
#include "tests/support/inspect.h"
#include "ui/controls.h"
#include "ui/notice_banner.h"
#include "ui/platform.h"

namespace {

using testing_support::MainPanelTest;
using testing_support::ReadIni;
using testing_support::ThreadWindows;


// The visible tip banner owned by a window, and what it reads.
HWND BannerOf(HWND owner) {
    for (HWND banner : ThreadWindows(L"NoticeBanner")) {
        if (::GetWindow(banner, GW_OWNER) == owner && ::IsWindowVisible(banner)) return banner;
    }
    return nullptr;
}
std::wstring BannerText(HWND banner) {
    auto* window = dynamic_cast<ui::NoticeBanner*>(
        reinterpret_cast<ui::NativeWindow*>(::GetWindowLongPtrW(banner, GWLP_USERDATA)));
    if (window == nullptr) return L"<no banner>";
    std::wstring text;
    window->GetPaintManager().GetRoot()->ForEach([&](ui::Control* c) {
        if (c->GetClass() == L"Label" && c->IsVisible()) text += c->GetText();
    });
    return text;
}

// A Run key of the test's own, removed afterwards.
class OwnRunKey {
public:
    OwnRunKey() : path_(L"Software\\zudedo-tests\\Run-" + std::to_wstring(::GetCurrentProcessId())) {
        HKEY key = nullptr;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        if (key) ::RegCloseKey(key);
    }
    ~OwnRunKey() { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\zudedo-tests"); }
    const std::wstring& path() const { return path_; }
    std::wstring Value() const { return testing_support::RegistryString(path_.c_str(), L"tavo"); }

private:
    std::wstring path_;
};

// A window that stands for the main window: it counts the closing messages.
class RecordingOwner {
public:
    RecordingOwner() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"zudedo_test_owner";
        ::RegisterClassW(&wc);
        hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"owner", WS_OVERLAPPEDWINDOW, 100, 100, 426, 600, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        Counts() = {};
    }
    ~RecordingOwner() { ::DestroyWindow(hwnd); }
    static std::vector<UINT>& Counts() {
        static std::vector<UINT> received;
        return received;
    }
    size_t Received(UINT message) const {
        size_t n = 0;
        for (UINT m : Counts()) n += m == message ? 1 : 0;
        return n;
    }
    HWND hwnd = nullptr;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg >= 2049 && msg <= 2248) Counts().push_back(msg);
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
};

bool Pump(const std::function<bool()>& pred, DWORD ms = 4000) { return ui::PaintManager::PumpUntil(pred, ms); }
void PumpFor(DWORD ms) { Pump([] { return false; }, ms); }

template <typename W>
ui::Option* OptionIn(W* window, const wchar_t* name) {
    return dynamic_cast<ui::Option*>(window->GetPaintManager().FindControl(name));
}

template <typename W>
bool Ticked(W* window, const wchar_t* name) {
    ui::Option* o = OptionIn(window, name);
    return o != nullptr && o->IsSelected();
}

void Key(HWND window, WPARAM key) {
    ::PostMessageW(window, WM_KEYDOWN, key, 1);
    ::PostMessageW(window, WM_KEYUP, key, 0xC0000001);
    PumpFor(40);
}

// A click with the mouse at the centre of a control.
template <typename W>
void ClickIn(W* window, const wchar_t* name) {
    ui::Control* c = window->GetPaintManager().FindControl(name);
    ASSERT_NE(nullptr, c);
    window->GetPaintManager().UpdateLayout();
    const RECT& rc = c->GetPos();
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    const HWND hwnd = *window;
    ::PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
    PumpFor(60);
}

// ------------------------------------------------------------ subscription

class SubscribeWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::PaintManager::SetInstance(::GetModuleHandleW(nullptr));
        Settings().Load();
        Settings().signedIn = true;
        Settings().uid = 12345;
    }
    void TearDown() override {
        if (HWND w = Window()) ::DestroyWindow(w);
        PumpFor(30);
        ui::NoticeBanner::SetTimeScalePercent(100);
    }
    CustomSubscribePanel* OpenWith(const std::wstring& list) {
        Settings().provinceList = list;
        window = ui::SecondaryWindow::Open<CustomSubscribePanel>(owner.hwnd);
        ref = window;
        PumpFor(50);
        return window;
    }
    HWND Window() const { return ref ? static_cast<HWND>(*ref.Get()) : nullptr; }
    bool Closed() { return Pump([&] { return !ref; }); }
    // The ticked options, in the order of the list.
    std::vector<std::wstring> TickedRegions() {
        std::vector<std::wstring> out;
        for (const auto& r : CustomSubscribePanel::kRegions) {
            if (Ticked(window, r.option)) out.push_back(r.option);
        }
        return out;
    }

    RecordingOwner owner;
    CustomSubscribePanel* window = nullptr;
    ui::WindowRef<CustomSubscribePanel> ref;
};

TEST_F(SubscribeWindowTest, StoredListsOpenTickedAndSaveBackTheSame) {
    // The whole country: every region but abroad.
    ASSERT_NE(nullptr, OpenWith(L"0"));
    EXPECT_TRUE(Ticked(window, L"OpAll"));
    EXPECT_EQ(33u, TickedRegions().size());
    EXPECT_FALSE(Ticked(window, L"OpAbroad"));
    EXPECT_EQ(L"0", window->BuildProvinceList());
    EXPECT_EQ(L"OpAll", window->GetPaintManager().GetFocus()->GetName());
    ClickIn(window, L"BtnOK");
    ASSERT_TRUE(Closed());
    EXPECT_EQ(L"0", Settings().provinceList);
    EXPECT_TRUE(Pump([&] { return owner.Received(msg::kSubscribePanelClosed) == 1; }));

    // Beijing and abroad, with codes the table does not know and empty pieces among them.
    ASSERT_NE(nullptr, OpenWith(L"11,,7,abc,99,"));
    EXPECT_EQ((std::vector<std::wstring>{L"OpBeijing", L"OpAbroad"}), TickedRegions());
    EXPECT_FALSE(Ticked(window, L"OpAll"));
    EXPECT_EQ(L"11,99,", window->BuildProvinceList());

    // In the order of the table, not of the layout nor of the stored text.
    ::DestroyWindow(Window());
    ASSERT_NE(nullptr, OpenWith(L"101,100,99,65,"));
    EXPECT_EQ(L"65,99,100,101,", window->BuildProvinceList());

    for (const wchar_t* none : {L"-1", L""}) {
        ::DestroyWindow(Window());
        ASSERT_NE(nullptr, OpenWith(none));
        EXPECT_TRUE(TickedRegions().empty());
        EXPECT_EQ(L"-1", window->BuildProvinceList()) << "nothing ticked saves as none";
    }
}

TEST_F(SubscribeWindowTest, TheWholeCountryAndItsRegions) {
    ASSERT_NE(nullptr, OpenWith(L"-1"));
    // Ticked by keyboard: the focus starts on the whole country; Space ticks it.
    Key(Window(), VK_SPACE);
    EXPECT_TRUE(Ticked(window, L"OpAll"));
    EXPECT_EQ(33u, TickedRegions().size());
    // Abroad comes and goes without touching the whole country.
    ClickIn(window, L"OpAbroad");
    EXPECT_TRUE(Ticked(window, L"OpAbroad"));
    EXPECT_EQ(L"0", window->BuildProvinceList()) << "the whole country with abroad is still \"0\"";
    ClickIn(window, L"OpAbroad");
    EXPECT_TRUE(Ticked(window, L"OpAll"));

    // One province out: no longer the whole country, the others stay ticked.
    ClickIn(window, L"OpBeijing");
    EXPECT_FALSE(Ticked(window, L"OpAll"));
    EXPECT_EQ(32u, TickedRegions().size());
    const std::wstring list = window->BuildProvinceList();
    EXPECT_EQ(0u, list.find(L"12,13,14,15,21,")) << shell::WideToUtf8(list);
    EXPECT_EQ(list.size() - 8, list.find(L"100,101,")) << shell::WideToUtf8(list);
    EXPECT_EQ(std::wstring::npos, list.find(L"99,"));

    // Ticking Beijing again by hand does not make it the whole country.
    ClickIn(window, L"OpBeijing");
    EXPECT_FALSE(Ticked(window, L"OpAll"));
    EXPECT_EQ(33u, TickedRegions().size());

    // The whole country off clears its regions; abroad keeps its own state.
    ClickIn(window, L"OpAbroad");
    ClickIn(window, L"OpAll");
    ClickIn(window, L"OpAll");
    EXPECT_EQ((std::vector<std::wstring>{L"OpAbroad"}), TickedRegions());
    EXPECT_EQ(L"99,", window->BuildProvinceList());
}

TEST_F(SubscribeWindowTest, KeysSaveOrLeaveTheListAndTheOwnerHearsEachClose) {
    ASSERT_NE(nullptr, OpenWith(L"11,99,"));
    ClickIn(window, L"OpShanghai");
    Key(Window(), VK_ESCAPE);
    ASSERT_TRUE(Closed());
    EXPECT_EQ(L"11,99,", Settings().provinceList) << "Escape changes nothing";
    EXPECT_TRUE(Pump([&] { return owner.Received(msg::kSubscribePanelClosed) == 1; }));

    ASSERT_NE(nullptr, OpenWith(L"11,99,"));
    ClickIn(window, L"OpShanghai");
    Key(Window(), VK_RETURN);
    ASSERT_TRUE(Closed());
    EXPECT_EQ(L"11,31,99,", Settings().provinceList) << "Return saves while signed in";

    // Return on the focused cancel button cancels.
    ASSERT_NE(nullptr, OpenWith(L"11,"));
    ClickIn(window, L"OpShanghai");
    window->GetPaintManager().SetFocus(window->GetPaintManager().FindControl(L"BtnCancel"));
    Key(Window(), VK_RETURN);
    ASSERT_TRUE(Closed());
    EXPECT_EQ(L"11,", Settings().provinceList);

    // The close button closes without saving.
    ASSERT_NE(nullptr, OpenWith(L"11,"));
    ClickIn(window, L"OpShanghai");
    ClickIn(window, L"BtnExit");
    ASSERT_TRUE(Closed());
    EXPECT_EQ(L"11,", Settings().provinceList);
    EXPECT_TRUE(Pump([&] { return owner.Received(msg::kSubscribePanelClosed) == 4; }));
    PumpFor(100);
    EXPECT_EQ(4u, owner.Received(msg::kSubscribePanelClosed)) << "once per window";
}

TEST_F(SubscribeWindowTest, SignedOutNothingIsTickedAndOnlyTheSaveButtonSaves) {
    Settings().signedIn = false;
    ASSERT_NE(nullptr, OpenWith(L"0"));
    EXPECT_TRUE(TickedRegions().empty());
    EXPECT_FALSE(Ticked(window, L"OpAll"));
    ClickIn(window, L"OpHainan");
    Key(Window(), VK_RETURN);
    ASSERT_TRUE(Closed());
    EXPECT_EQ(L"0", Settings().provinceList) << "Return does not save while signed out";

    ASSERT_NE(nullptr, OpenWith(L"0"));
    ClickIn(window, L"OpHainan");
    ClickIn(window, L"BtnOK");
    ASSERT_TRUE(Closed());
    EXPECT_EQ(L"46,", Settings().provinceList);
}

TEST_F(SubscribeWindowTest, TheTipShowsHalfASecondLaterInsideTheWindowAndGoesWithIt) {
    ASSERT_NE(nullptr, OpenWith(L"-1"));
    // The banner's own time runs at a fifth (3 s as 600 ms); the window's
    // half-second delay runs as it is.
    ui::NoticeBanner::SetTimeScalePercent(20);
    const DWORD asked = ::GetTickCount();
    window->ShowTip(SideWindows::kSignedOutHint, 0xFE7819, 3000);
    PumpFor(250);
    EXPECT_EQ(nullptr, BannerOf(Window())) << "not yet";
    ASSERT_TRUE(Pump([&] { return BannerOf(Window()) != nullptr; }, 3000));
    EXPECT_GE(::GetTickCount() - asked, 450u);
    const HWND banner = BannerOf(Window());
    EXPECT_EQ(SideWindows::kSignedOutHint, BannerText(banner));
    RECT tip, win;
    ::GetWindowRect(banner, &tip);
    ::GetWindowRect(Window(), &win);
    EXPECT_NEAR((tip.left + tip.right) / 2, (win.left + win.right) / 2 + 18, 2);
    EXPECT_NEAR((tip.top + tip.bottom) / 2, win.top + 38, 2);
    // It stays its time, then goes by itself.
    PumpFor(300);
    EXPECT_TRUE(::IsWindowVisible(banner));
    EXPECT_TRUE(Pump([&] { return !::IsWindow(banner) || !::IsWindowVisible(banner); }, 2800));

    // Without a time limit it stays until the window closes.
    window->ShowTip(SideWindows::kNothingSubscribedHint, 0xFE7819, 0);
    ASSERT_TRUE(Pump([&] { return BannerOf(Window()) != nullptr; }, 3000));
    const HWND lasting = BannerOf(Window());
    PumpFor(1500);
    EXPECT_TRUE(::IsWindowVisible(lasting));
    Key(Window(), VK_ESCAPE);
    ASSERT_TRUE(Closed());
    EXPECT_FALSE(::IsWindow(lasting));
}

// ---------------------------------------------------------------- settings

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::PaintManager::SetInstance(::GetModuleHandleW(nullptr));
        Settings().runKeyOverride = runKey.path();
        Settings().Load();
    }
    void TearDown() override {
        if (HWND w = Window()) ::DestroyWindow(w);
        PumpFor(30);
    }
    ConfigPanel* Open() {
        window = ui::SecondaryWindow::Open<ConfigPanel>(owner.hwnd);
        ref = window;
        PumpFor(50);
        return window;
    }
    HWND Window() const { return ref ? static_cast<HWND>(*ref.Get()) : nullptr; }
    bool Closed() { return Pump([&] { return !ref; }); }
    std::wstring Ini(const wchar_t* key) const { return ReadIni(Settings().configPath, L"Main", key); }
    bool OwnerOnTop() const { return (::GetWindowLongW(owner.hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

    OwnRunKey runKey;
    RecordingOwner owner;
    ConfigPanel* window = nullptr;
    ui::WindowRef<ConfigPanel> ref;
};

TEST_F(SettingsWindowTest, ShowsTheSettingsAndEscapeStoresWhatWasChanged) {
    AppSettings& s = Settings();
    ASSERT_EQ(L"1", Ini(L"AutoRun")) << "the first start registered auto-start";
    s.exitButtonHides = true;
    s.autoLogin = true;
    ASSERT_NE(nullptr, Open());
    EXPECT_TRUE(Ticked(window, L"OpRunStartUp"));
    EXPECT_TRUE(Ticked(window, L"OpAutoLogin"));
    EXPECT_FALSE(Ticked(window, L"OpTopmost"));
    EXPECT_FALSE(Ticked(window, L"OpInquiryInVoice"));
    EXPECT_TRUE(Ticked(window, L"OpExitBtnDoHide"));
    EXPECT_FALSE(Ticked(window, L"OpExitBtnDoExit"));
    EXPECT_EQ(L"OpRunStartUp", window->GetPaintManager().GetFocus()->GetName());

    // By keyboard: Tab to keep-on-top, Space ticks it, and the owner is on top at once.
    EXPECT_FALSE(OwnerOnTop());
    Key(Window(), VK_TAB);
    Key(Window(), VK_TAB);
    ASSERT_EQ(L"OpTopmost", window->GetPaintManager().GetFocus()->GetName());
    Key(Window(), VK_SPACE);
    EXPECT_TRUE(Ticked(window, L"OpTopmost"));
    EXPECT_TRUE(OwnerOnTop()) << "keep-on-top applies before the window closes";
    EXPECT_EQ(L"0", Ini(L"MainPanelTopmost")) << "stored only on closing";
    // Space on the run-at-start-up box, "退出程序" chosen, the sound ticked.
    window->GetPaintManager().SetFocus(window->GetPaintManager().FindControl(L"OpRunStartUp"));
    Key(Window(), VK_SPACE);
    ClickIn(window, L"OpExitBtnDoExit");
    ClickIn(window, L"OpInquiryInVoice");
    EXPECT_FALSE(Ticked(window, L"OpExitBtnDoHide"));

    Key(Window(), VK_ESCAPE);
    ASSERT_TRUE(Closed());
    EXPECT_TRUE(s.mainPanelTopmost);
    EXPECT_FALSE(s.exitButtonHides);
    EXPECT_TRUE(s.autoLogin);
    EXPECT_TRUE(s.playVoiceOnInquiry);
    EXPECT_FALSE(s.autoRun);
    EXPECT_EQ(L"1", Ini(L"MainPanelTopmost"));
    EXPECT_EQ(L"0", Ini(L"ExitBtnDoHide"));
    EXPECT_EQ(L"1", Ini(L"AutoLogin"));
    EXPECT_EQ(L"1", Ini(L"PlayVoiceWhenInquiryIn"));
    EXPECT_EQ(L"0", Ini(L"AutoRun"));
    EXPECT_EQ(L"<absent>", runKey.Value()) << "the run entry is deleted";
    EXPECT_TRUE(Pump([&] { return owner.Received(msg::kConfigPanelClosed) == 1; }));

    // Unticking keep-on-top takes the owner out of the top-most layer at once.
    ASSERT_NE(nullptr, Open());
    EXPECT_TRUE(Ticked(window, L"OpTopmost"));
    EXPECT_FALSE(Ticked(window, L"OpRunStartUp"));
    ClickIn(window, L"OpTopmost");
    EXPECT_FALSE(OwnerOnTop());
    // Run at start-up again; closed with Return this time.
    ClickIn(window, L"OpRunStartUp");
    EXPECT_EQ(L"OpRunStartUp", window->GetPaintManager().GetFocus()->GetName());
    Key(Window(), VK_RETURN);
    ASSERT_TRUE(Closed());
    EXPECT_EQ(L"0", Ini(L"MainPanelTopmost"));
    EXPECT_EQ(L"1", Ini(L"AutoRun"));
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    EXPECT_EQ(exe, runKey.Value());
    EXPECT_TRUE(Pump([&] { return owner.Received(msg::kConfigPanelClosed) == 2; }));
}

TEST_F(SettingsWindowTest, EveryWayOfClosingStores) {
    AppSettings& s = Settings();
    // Unticking run-at-start-up stores 0 even with no run entry to delete.
    s.DisableAutoRun();
    s.autoRun = true;
    ASSERT_NE(nullptr, Open());
    ClickIn(window, L"OpRunStartUp");
    ClickIn(window, L"BtnExit");
    ASSERT_TRUE(Closed());
    EXPECT_EQ(L"0", Ini(L"AutoRun"));
    EXPECT_FALSE(s.autoRun);

    // Closed by the system (the main window's end sends a close).
    ASSERT_NE(nullptr, Open());
    ClickIn(window, L"OpExitBtnDoHide");
    ::SendMessageW(Window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(ref);
    EXPECT_EQ(L"1", Ini(L"ExitBtnDoHide"));
    EXPECT_TRUE(s.exitButtonHides);
    EXPECT_TRUE(Pump([&] { return owner.Received(msg::kConfigPanelClosed) == 2; }));
}

// ------------------------------------------------- beside the main window

TEST(SideWindowPlace, RightOfTheMainWindowElseLeftAndAlwaysInsideTheWorkArea) {
    const RECT work{0, 0, 1280, 800};
    const SIZE size{270, 245};
    // Room on the right.
    POINT at = SideWindows::BesidePosition(RECT{100, 50, 526, 650}, work, size, 1);
    EXPECT_EQ(527, at.x);
    EXPECT_EQ(51, at.y);
    // The work area ends first: the left side.
    at = SideWindows::BesidePosition(RECT{900, 50, 1326 - 300, 650}, work, size, 1);
    EXPECT_EQ(900 - 270 - 1, at.x);
    // Room on neither side (a wide main window): on the left, at the work area's edge.
    at = SideWindows::BesidePosition(RECT{100, 50, 1200, 650}, work, size, 250);
    EXPECT_EQ(0, at.x);
    // Low on the screen: lifted to end at the work area's bottom; a work
    // area away from the origin is kept to as well.
    at = SideWindows::BesidePosition(RECT{100, 700, 526, 1300}, work, size, 250);
    EXPECT_EQ(800 - 245, at.y);
    const RECT second{1280, 100, 2560, 900};
    at = SideWindows::BesidePosition(RECT{1200, 40, 1626, 640}, second, size, 1);
    EXPECT_EQ(1627, at.x);
    EXPECT_EQ(100, at.y) << "not above the work area's top";
}

class SideWindowsTest : public MainPanelTest {
protected:
    void SetUp() override {
        MainPanelTest::SetUp();
        Settings().runKeyOverride = runKey.path();
    }
    void TearDown() override {
        MainPanelTest::TearDown();
        EXPECT_TRUE(ThreadWindows(ConfigPanel::kClassName).empty()) << "closed with the main window";
        EXPECT_TRUE(ThreadWindows(CustomSubscribePanel::kClassName).empty()) << "closed with the main window";
    }
    void Menu(const wchar_t* item) {
        ui::Notification n;
        n.type = item;
        n.sender = panel->GetPaintManager().GetRoot();
        panel->Notify(n);
        PumpFor(80);
    }
    static RECT Rect(HWND w) {
        RECT rc{};
        ::GetWindowRect(w, &rc);
        return rc;
    }
    SideWindows& Sides() { return panel->Sides(); }

    OwnRunKey runKey;
};

TEST_F(SideWindowsTest, OpenedOnceBesideTheMainWindowAndMovedAlongWithIt) {
    Open();
    const RECT work = ui::WorkAreaAt(POINT{0, 0});
    ::SetWindowPos(*panel, nullptr, work.left + 20, work.top + 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Menu(L"menu_config");
    ConfigPanel* config = Sides().SettingsWindow();
    ASSERT_NE(nullptr, config);
    Menu(L"menu_config");
    EXPECT_EQ(config, Sides().SettingsWindow()) << "asked again: the same window";
    EXPECT_EQ(1u, ThreadWindows(ConfigPanel::kClassName).size());
    RECT main = Rect(*panel), side = Rect(*config);
    EXPECT_EQ(main.right + 1, side.left);
    EXPECT_EQ(main.top + 1, side.top);
    EXPECT_EQ(270, side.right - side.left);
    EXPECT_EQ(245, side.bottom - side.top);

    ::SendMessageW(*panel, msg::kPageRssConfig, 0, 0);
    CustomSubscribePanel* subscribe = Sides().SubscriptionWindow();
    ASSERT_NE(nullptr, subscribe) << "a page's subscription button opens the window";
    side = Rect(*subscribe);
    EXPECT_EQ(main.right + 1, side.left);
    EXPECT_EQ(main.top + 250, side.top);
    EXPECT_EQ(404, side.right - side.left);

    // Moved along; at the right edge of the work area they go to the left.
    ::SetWindowPos(*panel, nullptr, work.left + 60, work.top + 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    main = Rect(*panel);
    EXPECT_EQ(main.right + 1, Rect(*config).left);
    EXPECT_EQ(main.top + 1, Rect(*config).top);
    EXPECT_EQ(main.top + 250, Rect(*subscribe).top);
    const int width = main.right - main.left;
    ::SetWindowPos(*panel, nullptr, work.right - width - 100, work.top + 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    main = Rect(*panel);
    EXPECT_EQ(main.left - 270 - 1, Rect(*config).left);
    EXPECT_EQ(main.left - 404 - 1, Rect(*subscribe).left);

    // Low on the screen, the subscription window stays inside the work area.
    ::SetWindowPos(*panel, nullptr, work.left + 60, work.bottom - 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_LE(Rect(*subscribe).bottom, work.bottom);
    EXPECT_GE(Rect(*subscribe).left, work.left);

    // Hidden and shown with the main window.
    panel->HideAllWindows();
    EXPECT_FALSE(::IsWindowVisible(*config));
    EXPECT_FALSE(::IsWindowVisible(*subscribe));
    panel->ShowMainWindow();
    EXPECT_TRUE(::IsWindowVisible(*config));
    EXPECT_TRUE(::IsWindowVisible(*subscribe));

    // Closed, it is forgotten and made anew when asked for again.
    ::PostMessageW(*config, WM_KEYDOWN, VK_ESCAPE, 1);
    ASSERT_TRUE(PumpUntil([&] { return Sides().SettingsWindow() == nullptr; }));
    Menu(L"menu_config");
    EXPECT_NE(nullptr, Sides().SettingsWindow());
    // Closing the main window closes both (checked as the test ends).
}

TEST_F(SideWindowsTest, KeepOnTopAppliesToTheMainWindowAtOnceAndToTheSideWindows) {
    Open();
    Menu(L"menu_config");
    ConfigPanel* config = Sides().SettingsWindow();
    ASSERT_NE(nullptr, config);
    auto onTop = [](HWND w) { return (::GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    EXPECT_FALSE(onTop(*panel));
    ui::Option* topmost = OptionIn(config, L"OpTopmost");
    ASSERT_NE(nullptr, topmost);
    topmost->Activate();
    EXPECT_TRUE(onTop(*panel));
    ::PostMessageW(*config, WM_KEYDOWN, VK_ESCAPE, 1);
    ASSERT_TRUE(PumpUntil([&] { return Sides().SettingsWindow() == nullptr; }));
    EXPECT_EQ(L"1", ReadIni(Settings().configPath, L"Main", L"MainPanelTopmost"));
    Menu(L"menu_modify_subscribe");
    ASSERT_NE(nullptr, Sides().SubscriptionWindow());
    EXPECT_TRUE(onTop(*Sides().SubscriptionWindow())) << "side windows join the top-most layer";

    // Quitting with the settings window open stores what it shows.
    Menu(L"menu_config");
    ASSERT_NE(nullptr, Sides().SettingsWindow());
    OptionIn(Sides().SettingsWindow(), L"OpInquiryInVoice")->Activate();
    Menu(L"menu_exit");
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 10000));
    EXPECT_EQ(L"1", ReadIni(Settings().configPath, L"Main", L"PlayVoiceWhenInquiryIn"));
}

TEST_F(SideWindowsTest, SignedOutTheSubscriptionWindowAsksToSignInFirst) {
    Open();
    panel->HideAllWindows();
    Menu(L"menu_modify_subscribe");
    CustomSubscribePanel* subscribe = Sides().SubscriptionWindow();
    ASSERT_NE(nullptr, subscribe);
    EXPECT_TRUE(::IsWindowVisible(*panel)) << "the main window is shown first";
    EXPECT_TRUE(Control(L"LoginLayer")->IsVisible());
    ASSERT_TRUE(PumpUntil([&] { return BannerOf(*subscribe) != nullptr; }, 3000));
    EXPECT_EQ(SideWindows::kSignedOutHint, BannerText(BannerOf(*subscribe)));
    ::PostMessageW(*subscribe, WM_KEYDOWN, VK_ESCAPE, 1);
    ASSERT_TRUE(PumpUntil([&] { return Sides().SubscriptionWindow() == nullptr; }));
}

TEST_F(SideWindowsTest, SavingTheSubscriptionSendsTheNewListToTheService) {
    Open();
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PumpUntil([] { return Settings().provinceList == L"11,35,"; })) << "the service's list arrives";
    Menu(L"menu_modify_subscribe");
    CustomSubscribePanel* subscribe = Sides().SubscriptionWindow();
    ASSERT_NE(nullptr, subscribe);
    EXPECT_TRUE(Ticked(subscribe, L"OpBeijing"));
    EXPECT_TRUE(Ticked(subscribe, L"OpFujian"));
    ClickIn(subscribe, L"OpHainan");
    ClickIn(subscribe, L"BtnOK");
    ASSERT_TRUE(PumpUntil([&] { return Received("add_sq_rss") == 1; }));
    const Json::Value sent = standin.ReceivedAt("/rovavoda.php/rovavoda/api/add_sq_rss")[0]["document"];
    EXPECT_EQ("11,35,46,", sent["prov_list"].asString());
    EXPECT_EQ("12345", sent["uid"].asString());
    EXPECT_EQ(nullptr, Sides().SubscriptionWindow());
}

TEST_F(SideWindowsTest, SubscribedInquiriesWithNothingSubscribedAskForAChoice) {
    Open();
    ASSERT_TRUE(SignIn(L"newbie", L"newbie123"));
    ASSERT_TRUE(PumpUntil([] { return Settings().provinceList == L"-1"; }));
    ui::Option* page = dynamic_cast<ui::Option*>(Control(L"OpSubscribeListPage"));
    ASSERT_NE(nullptr, page);
    page->Activate();
    CustomSubscribePanel* subscribe = Sides().SubscriptionWindow();
    ASSERT_NE(nullptr, subscribe);
    // The page is opened again and again (the web site's login reloads it
    // every 400 ms here): the hint still shows on time.
    ASSERT_TRUE(PumpUntil([&] { return BannerOf(*subscribe) != nullptr; }, 3000));
    EXPECT_EQ(L"请选择您关注的区域！保存订阅后，有任何针对该区域的新询价将及时通知您",
              BannerText(BannerOf(*subscribe)));
    ASSERT_FALSE(nav.pages.empty());
    EXPECT_NE(std::wstring::npos, nav.pages.back().find(L"/sq/my_sq_rss")) << "the page opens as well";
}

}  // namespace
