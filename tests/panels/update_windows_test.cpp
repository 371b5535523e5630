// The update windows, real windows under the test's pump: each is built
// from the layout the updater or the notice check left in the update
// folder and consumes it; a layout that cannot be used makes no window;
// addresses from those layouts open only when they are web addresses; the
// notice records when it was seen, the two that end a cycle clear
// "UpdateCompleteNotice"; installing now hands over to the updater and asks
// the main window to end. Then the main window's side: 2198, 2199 and the
// update-complete check of its start.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "net/shell_open.h"
#include "panels/update_windows.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/module_path.h"
#include "shell/text.h"
#include "shell/unique_handle.h"
#include "tests/panels/main_panel_fixture.h"
#include "tests/support/inspect.h"
#include "tests/support/message_pump.h"
#include "tests/support/paths.h"
#include "ui/controls.h"
#include "ui/platform.h"
#include "update/check_update.h"

namespace {

using update_layout::Refusal;

using testing_support::Opened;
using testing_support::RecordOpen;

const wchar_t kNoticeClass[] = L"zudedo_update_available_panel";
const wchar_t kDownloadedClass[] = L"zudedo_update_avaiable_panel";
const wchar_t kCompleteClass[] = L"zudedo_update_complete_panel";


// Readers of a file cut while it is read (or not readable at all).
BOOL WINAPI ReadHalf(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    return ::ReadFile(file, buffer, size / 2, got, overlapped);
}
BOOL WINAPI ReadFailing(HANDLE, LPVOID, DWORD, LPDWORD got, LPOVERLAPPED) {
    *got = 0;
    ::SetLastError(ERROR_LOCK_VIOLATION);
    return FALSE;
}

std::string Fixture(const char* name) {
    return testing_support::ReadFileBytes(testing_support::SourcePath((std::string("tests/update/fixtures/") + name).c_str()));
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    shell::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD put = 0;
    return file && (bytes.empty() || (::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put,
                                                  nullptr) &&
                                      put == bytes.size()));
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The visible windows of this thread with a class name.
std::vector<HWND> WindowsOf(const wchar_t* className) { return testing_support::ThreadWindows(className, true); }

void CloseAll() {
    for (const wchar_t* cls : {kNoticeClass, kDownloadedClass, kCompleteClass}) {
        for (HWND w : WindowsOf(cls)) ::DestroyWindow(w);
    }
}

// A layout with the given controls inside, in the skin markup.
std::string Layout(const std::string& inner) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Window size=\"300,160\"><VerticalLayout>" + inner +
           "</VerticalLayout></Window>";
}

const std::string kNoticeButtons = Layout(
    "<Label name='LabelContent' text='云帆商务台 1.0.1.0 已发布' height='40'/>"
    "<Button name='BtnExit' height='20'/><Button name='BtnOK' height='20'/>"
    "<Button name='CloseNotice' height='20'/><Button name='LinkMore' height='20'/>");

class UpdateWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::PaintManager::SetInstance(::GetModuleHandleW(nullptr));
        folder = CheckUpdate::UpdateFolder();
        ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
        Clean();
        SetShellExecute(&RecordOpen);
        Opened().clear();
        shell::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\tavo", 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
            ::RegDeleteValueW(key.get(), L"lastUpdNotice");
        }
    }
    void TearDown() override {
        CloseAll();
        testing_support::PumpFor(30);
        SetShellExecute(nullptr);
        update_layout::SetFileReader(nullptr);
        Clean();
    }
    void Clean() {
        for (const wchar_t* f : {update_layout::kNotice, update_layout::kDownloaded, update_layout::kComplete}) {
            ::DeleteFileW(update_layout::PathOf(f).c_str());
        }
        ::DeleteFileW(CheckUpdate::UpdateInfoPath().c_str());
        ::DeleteFileW((folder + L"\\update.exe").c_str());
        ::DeleteFileW((folder + L"\\updater-cmdline.txt").c_str());
    }

    void Put(const wchar_t* file, const std::string& bytes) { ASSERT_TRUE(WriteBytes(update_layout::PathOf(file), bytes)); }

    template <typename W>
    W* OpenWith(const wchar_t* file, const std::string& bytes) {
        Put(file, bytes);
        W* window = ui::SecondaryWindow::Open<W>(owner.hwnd());
        testing_support::PumpFor(30);
        return window;
    }

    static ui::Control* Find(ui::SecondaryWindow* w, const wchar_t* name) {
        return w->GetPaintManager().FindControl(name);
    }
    // A click as the control's own action: a "click" notification.
    static void Press(ui::SecondaryWindow* w, const wchar_t* name) {
        ui::Control* c = Find(w, name);
        ASSERT_NE(nullptr, c) << shell::WideToUtf8(name);
        c->Activate();
        testing_support::PumpFor(30);
    }
    static void Key(HWND w, WPARAM key) {
        ::PostMessageW(w, WM_KEYDOWN, key, 1);
        ::PostMessageW(w, WM_KEYUP, key, 0xC0000001);
        ui::PaintManager::PumpUntil([] { return false; }, 60);
    }
    static bool Gone(HWND w) {
        return ui::PaintManager::PumpUntil([&] { return !::IsWindow(w); }, 3000);
    }
    std::wstring CompleteNotice() const {
        return testing_support::ReadIni(CheckUpdate::UpdateInfoPath(), L"UpdateInfo", L"UpdateCompleteNotice");
    }
    static std::wstring LastNotice() { return testing_support::RegistryString(L"Software\\tavo", L"lastUpdNotice"); }
    // No notice recorded: the value is missing, or its key is (a profile
    // in which nothing was ever recorded).
    static bool NoNoticeRecorded() {
        const std::wstring last = LastNotice();
        return last == L"<absent>" || last == L"<no key>";
    }

    std::wstring folder;
    testing_support::MessageRecorder owner;
};

// --- reading a layout ------------------------------------------------------

TEST_F(UpdateWindowsTest, LayoutWithOrWithoutByteOrderMarkReadsTheSameAndIsConsumed) {
    const std::string text = Fixture("update_complete_panel.xml");
    ASSERT_FALSE(text.empty());
    const std::wstring path = update_layout::PathOf(update_layout::kComplete);
    std::wstring plain, marked;
    Put(update_layout::kComplete, text);
    EXPECT_EQ(Refusal::kNone, update_layout::Consume(path, &plain));
    EXPECT_FALSE(Exists(path));
    Put(update_layout::kComplete, "\xEF\xBB\xBF" + text);
    EXPECT_EQ(Refusal::kNone, update_layout::Consume(path, &marked));
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(plain, marked);
    EXPECT_NE(std::wstring::npos, plain.find(L"云帆商务台已更新到最新版本。"));
    // A mark and nothing after it is no layout.
    Put(update_layout::kComplete, "\xEF\xBB\xBF");
    EXPECT_EQ(Refusal::kNotText, update_layout::Consume(path, &plain));
}

TEST_F(UpdateWindowsTest, LayoutSizeBoundsAndUnusableFiles) {
    const std::wstring path = update_layout::PathOf(update_layout::kNotice);
    std::wstring xml;
    EXPECT_EQ(Refusal::kMissing, update_layout::Consume(path, &xml));

    Put(update_layout::kNotice, "");
    EXPECT_EQ(Refusal::kEmpty, update_layout::Consume(path, &xml));
    EXPECT_TRUE(Exists(path));

    // Exactly 4 MiB is a layout; one byte more is refused and left in place.
    std::string big = Layout("<Button name='BtnOK'/>");
    big += "<!--" + std::string(update_layout::kMaxBytes - big.size() - 7, 'x') + "-->";
    ASSERT_EQ(update_layout::kMaxBytes, big.size());
    Put(update_layout::kNotice, big + "\n");
    EXPECT_EQ(Refusal::kTooLarge, update_layout::Consume(path, &xml));
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(4194305u, testing_support::ReadFileBytes(path).size());
    Put(update_layout::kNotice, big);
    EXPECT_EQ(Refusal::kNone, update_layout::Consume(path, &xml));
    EXPECT_FALSE(Exists(path));

    // Text that is no markup at all.
    Put(update_layout::kNotice, "lastVersion=1.0.1.0\r\n");
    EXPECT_EQ(Refusal::kNotText, update_layout::Consume(path, &xml));
}

TEST_F(UpdateWindowsTest, LayoutReadShortIsRefusedAndKept) {
    const std::wstring path = update_layout::PathOf(update_layout::kDownloaded);
    Put(update_layout::kDownloaded, Fixture("updatepackage_downloaded_panel.xml"));
    std::wstring xml;
    for (auto reader : {&ReadHalf, &ReadFailing}) {
        update_layout::SetFileReader(reader);
        EXPECT_EQ(Refusal::kReadShort, update_layout::Consume(path, &xml));
        EXPECT_TRUE(xml.empty());
        EXPECT_TRUE(Exists(path));
        // The panel it was for does not show.
        EXPECT_EQ(nullptr, ui::SecondaryWindow::Open<UpdatePackageDownloadedPanel>(owner.hwnd()));
        EXPECT_TRUE(WindowsOf(kDownloadedClass).empty());
    }
    update_layout::SetFileReader(nullptr);
    EXPECT_EQ(Refusal::kNone, update_layout::Consume(path, &xml));
}

// --- windows that cannot be built --------------------------------------------

TEST_F(UpdateWindowsTest, UnusableLayoutMakesNoWindow) {
    struct Case {
        const char* what;
        std::string bytes;
        bool put;
    };
    const Case cases[] = {
        {"missing", "", false},
        {"empty", "", true},
        {"not well-formed", "<Window size='300,160'><VerticalLayout><Button name='BtnOK'></Window>", true},
        {"no controls", "<Window size='300,160'></Window>", true},
        {"over 4 MiB", std::string(update_layout::kMaxBytes + 1, ' '), true},
    };
    ::WritePrivateProfileStringW(L"UpdateInfo", L"UpdateCompleteNotice", L"1", CheckUpdate::UpdateInfoPath().c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::DeleteFileW(update_layout::PathOf(update_layout::kNotice).c_str());
        ::DeleteFileW(update_layout::PathOf(update_layout::kComplete).c_str());
        if (c.put) Put(update_layout::kNotice, c.bytes);
        if (c.put) Put(update_layout::kComplete, c.bytes);
        EXPECT_EQ(nullptr, ui::SecondaryWindow::Open<UpdateAvailabelNotice>(owner.hwnd()));
        EXPECT_EQ(nullptr, ui::SecondaryWindow::Open<UpdateCompletePanel>(owner.hwnd()));
        testing_support::PumpFor(30);
        EXPECT_TRUE(WindowsOf(kNoticeClass).empty());
        EXPECT_TRUE(WindowsOf(kCompleteClass).empty());
        // Nothing was shown, so nothing says it was seen or answered.
        EXPECT_TRUE(NoNoticeRecorded()) << shell::WideToUtf8(LastNotice());
        EXPECT_EQ(L"1", CompleteNotice());
    }
    EXPECT_TRUE(Exists(update_layout::PathOf(update_layout::kNotice))) << "the oversized layout stays";
}

TEST_F(UpdateWindowsTest, ControlsUnknownToTheFrameworkLeaveTheRestShowing) {
    auto* w = OpenWith<UpdateCompletePanel>(
        update_layout::kComplete,
        "<Window size='300,160'><FancyPanel glow='1'><Sparkle/><Label name='LabelContent' text='已更新'/>"
        "<Button name='BtnOK' text='我知道了' height='30'/></FancyPanel></Window>");
    ASSERT_NE(nullptr, w);
    EXPECT_NE(nullptr, Find(w, L"LabelContent"));
    ASSERT_NE(nullptr, Find(w, L"BtnOK"));
    const HWND hwnd = w->GetHWND();
    Press(w, L"BtnOK");
    EXPECT_TRUE(Gone(hwnd));
}

// --- the update-available notice ---------------------------------------------

TEST_F(UpdateWindowsTest, NoticeShowsAtTheBottomRightAndEscapeRecordsIt) {
    Put(update_layout::kNotice, kNoticeButtons);
    ::WritePrivateProfileStringW(L"UpdateInfo", L"UpdateCompleteNotice", L"1", CheckUpdate::UpdateInfoPath().c_str());
    auto* w = ui::SecondaryWindow::Open<UpdateAvailabelNotice>(owner.hwnd());
    ASSERT_NE(nullptr, w);
    const HWND hwnd = w->GetHWND();
    testing_support::PumpFor(50);
    EXPECT_FALSE(Exists(update_layout::PathOf(update_layout::kNotice))) << "the layout is consumed once shown";

    wchar_t title[32] = {};
    ::GetWindowTextW(hwnd, title, 32);
    EXPECT_STREQ(L"更新提示", title);
    const LONG_PTR ex = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    EXPECT_EQ(static_cast<LONG_PTR>(UpdateAvailabelNotice::kExStyle), ex & UpdateAvailabelNotice::kExStyle);
    EXPECT_EQ(0, ::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CAPTION);
    const UINT dpi = ui::DpiForWindow(hwnd);
    RECT rc;
    ::GetWindowRect(hwnd, &rc);
    EXPECT_EQ(ui::ScaleBy(300, dpi), rc.right - rc.left);
    const RECT work = ui::FindTrayPlace().work;
    EXPECT_EQ(work.right - ui::ScaleBy(8, dpi), rc.right);
    EXPECT_EQ(work.bottom - ui::ScaleBy(2, dpi), rc.bottom);
    EXPECT_NE(hwnd, ::GetForegroundWindow()) << "the notice does not take the focus";

    const long long before = std::time(nullptr);
    Key(hwnd, VK_ESCAPE);
    ASSERT_TRUE(Gone(hwnd));
    const long long seen = std::stoll(LastNotice());
    EXPECT_LE(before, seen);
    EXPECT_GE(std::time(nullptr), seen);
    EXPECT_EQ(L"0", CompleteNotice());
    EXPECT_EQ(0u, owner.messages().size()) << "the main window hears nothing from the notice";
}

TEST_F(UpdateWindowsTest, NoticeClosesOnEachOfItsButtonsAndReturnRecordingEachTime) {
    for (const wchar_t* name : {L"BtnExit", L"BtnOK", L"CloseNotice", L"Return"}) {
        SCOPED_TRACE(shell::WideToUtf8(name));
        shell::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\tavo", 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
            ::RegDeleteValueW(key.get(), L"lastUpdNotice");
        }
        auto* w = OpenWith<UpdateAvailabelNotice>(update_layout::kNotice, kNoticeButtons);
        ASSERT_NE(nullptr, w);
        const HWND hwnd = w->GetHWND();
        if (std::wstring(name) == L"Return") {
            Key(hwnd, VK_RETURN);
        } else {
            Press(w, name);
        }
        EXPECT_TRUE(Gone(hwnd));
        EXPECT_FALSE(NoNoticeRecorded());
        EXPECT_TRUE(Opened().empty());
    }
}

TEST_F(UpdateWindowsTest, NoticeLinkMoreOpensOnlyWebAddresses) {
    struct Case {
        const char* userData;
        std::wstring opened;  // empty: nothing opens and the notice stays
    };
    const Case cases[] = {
        {"http://127.0.0.1/soft/sq/v1010", L"http://127.0.0.1/soft/sq/v1010"},
        {"HTTPS://example.com/notes", L"HTTPS://example.com/notes"},
        {"", MainWindowHost::WebPage(L"/soft/sq?soft")},
        {"file:///C:/windows/system32/calc.exe", L""},
        {"C:\\windows\\system32\\calc.exe", L""},
        {"http://x.com/ \" C:\\evil.exe", L""},
        {"http:///nohost", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.userData);
        Opened().clear();
        auto* w = OpenWith<UpdateAvailabelNotice>(
            update_layout::kNotice, Layout(std::string("<Button name='LinkMore' text='了解详情' userdata='") +
                                           c.userData + "'/>"));
        ASSERT_NE(nullptr, w);
        const HWND hwnd = w->GetHWND();
        Press(w, L"LinkMore");
        if (c.opened.empty()) {
            EXPECT_TRUE(Opened().empty());
            EXPECT_TRUE(::IsWindow(hwnd));
            ::DestroyWindow(hwnd);
        } else {
            ASSERT_EQ(1u, Opened().size());
            EXPECT_EQ(c.opened, Opened()[0]);
            EXPECT_TRUE(Gone(hwnd));
        }
    }
}

// A keyboard user reaches a button with Tab and presses it with Return:
// Return then is the button's click, not the window's close.
TEST_F(UpdateWindowsTest, ReturnOnAFocusedButtonPressesIt) {
    auto* w = OpenWith<UpdateAvailabelNotice>(
        update_layout::kNotice, Layout("<Button name='LinkMore' text='了解详情' userdata='http://127.0.0.1/notes'/>"));
    ASSERT_NE(nullptr, w);
    const HWND hwnd = w->GetHWND();
    w->GetPaintManager().SetFocus(Find(w, L"LinkMore"));
    Key(hwnd, VK_RETURN);
    ASSERT_EQ(1u, Opened().size());
    EXPECT_EQ(L"http://127.0.0.1/notes", Opened()[0]);
    EXPECT_TRUE(Gone(hwnd));
}

TEST_F(UpdateWindowsTest, NoticeTextLinksOpenOnlyWebTargets) {
    auto* w = OpenWith<UpdateAvailabelNotice>(
        update_layout::kNotice,
        Layout("<FormattedText name='LabelContent' height='60' text='&lt;a file:///C:/windows/notepad.exe&gt;本地&lt;/a&gt; "
               "&lt;a&gt;无目标&lt;/a&gt; &lt;a https://127.0.0.1/soft/sq/notes&gt;更新说明&lt;/a&gt;'/>"));
    ASSERT_NE(nullptr, w);
    const HWND hwnd = w->GetHWND();
    auto* text = dynamic_cast<ui::FormattedText*>(Find(w, L"LabelContent"));
    ASSERT_NE(nullptr, text);
    ASSERT_EQ(3, text->GetLinkCount());
    text->ActivateLink(0);
    text->ActivateLink(1);
    testing_support::PumpFor(30);
    EXPECT_TRUE(Opened().empty());
    EXPECT_TRUE(::IsWindow(hwnd));
    text->ActivateLink(2);
    EXPECT_TRUE(Gone(hwnd));
    ASSERT_EQ(1u, Opened().size());
    EXPECT_EQ(L"https://127.0.0.1/soft/sq/notes", Opened()[0]);
}

// --- the package-downloaded and update-complete panels -----------------------

TEST_F(UpdateWindowsTest, PanelsLinkMoreOpensItsWebAddressAndStaysOpen) {
    for (const char* data : {"http://127.0.0.1/soft/sq", "", "file:///C:/windows/system32/calc.exe"}) {
        SCOPED_TRACE(data);
        const std::string layout =
            Layout(std::string("<Button name='LinkMore' text='查看' userdata='") + data + "'/><Button name='BtnOK'/>");
        Opened().clear();
        auto* downloaded = OpenWith<UpdatePackageDownloadedPanel>(update_layout::kDownloaded, layout);
        auto* complete = OpenWith<UpdateCompletePanel>(update_layout::kComplete, layout);
        ASSERT_NE(nullptr, downloaded);
        ASSERT_NE(nullptr, complete);
        Press(downloaded, L"LinkMore");
        Press(complete, L"LinkMore");
        if (std::string(data).rfind("http", 0) == 0) {
            EXPECT_EQ(std::vector<std::wstring>(2, L"http://127.0.0.1/soft/sq"), Opened());
        } else {
            EXPECT_TRUE(Opened().empty());
        }
        EXPECT_TRUE(::IsWindow(downloaded->GetHWND()));
        EXPECT_TRUE(::IsWindow(complete->GetHWND()));
        CloseAll();
    }
}

TEST_F(UpdateWindowsTest, CompletePanelShowsCentredAndClearsTheNoticeWhenClosed) {
    ::WritePrivateProfileStringW(L"UpdateInfo", L"UpdateCompleteNotice", L"1", CheckUpdate::UpdateInfoPath().c_str());
    auto* w = OpenWith<UpdateCompletePanel>(update_layout::kComplete, Fixture("update_complete_panel.xml"));
    ASSERT_NE(nullptr, w);
    const HWND hwnd = w->GetHWND();
    wchar_t title[32] = {};
    ::GetWindowTextW(hwnd, title, 32);
    EXPECT_STREQ(L"更新完成", title);
    EXPECT_NE(0, ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT rc;
    ::GetWindowRect(hwnd, &rc);
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi);
    EXPECT_NEAR((mi.rcWork.left + mi.rcWork.right) / 2, (rc.left + rc.right) / 2, 1);
    EXPECT_NEAR((mi.rcWork.top + mi.rcWork.bottom) / 2, (rc.top + rc.bottom) / 2, 1);
    EXPECT_EQ(L"1", CompleteNotice()) << "cleared when the panel goes, not before";
    Press(w, L"BtnOK");
    ASSERT_TRUE(Gone(hwnd));
    EXPECT_EQ(L"0", CompleteNotice());
    EXPECT_TRUE(NoNoticeRecorded()) << shell::WideToUtf8(LastNotice());
}

TEST_F(UpdateWindowsTest, DownloadedPanelNextTimeChangesNothingElse) {
    ::WritePrivateProfileStringW(L"UpdateInfo", L"NeedUpdate", L"1", CheckUpdate::UpdateInfoPath().c_str());
    ::WritePrivateProfileStringW(L"UpdateInfo", L"UpdateCompleteNotice", L"1", CheckUpdate::UpdateInfoPath().c_str());
    ASSERT_TRUE(::CopyFileW(testing_support::BinaryPath("tests/stub_updater_1005.exe").c_str(),
                            (folder + L"\\update.exe").c_str(), FALSE));
    auto* w = OpenWith<UpdatePackageDownloadedPanel>(update_layout::kDownloaded,
                                                     Fixture("updatepackage_downloaded_panel.xml"));
    ASSERT_NE(nullptr, w);
    const HWND hwnd = w->GetHWND();
    Press(w, L"BtnUpdateNexttime");
    ASSERT_TRUE(Gone(hwnd));
    testing_support::PumpFor(300);
    EXPECT_FALSE(Exists(folder + L"\\updater-cmdline.txt")) << "no updater started";
    EXPECT_EQ(0u, owner.messages().size());
    EXPECT_EQ(L"1", CompleteNotice());
    EXPECT_TRUE(NoNoticeRecorded()) << shell::WideToUtf8(LastNotice());
    // Its layout is gone with it: no second panel until the updater brings one.
    EXPECT_EQ(nullptr, ui::SecondaryWindow::Open<UpdatePackageDownloadedPanel>(owner.hwnd()));
}

TEST_F(UpdateWindowsTest, UpdateNowStartsTheUpdaterToInstallAndAsksTheMainWindowToEnd) {
    ::WritePrivateProfileStringW(L"UpdateInfo", L"NeedUpdate", L"1", CheckUpdate::UpdateInfoPath().c_str());
    ASSERT_TRUE(::CopyFileW(testing_support::BinaryPath("tests/stub_updater_1005.exe").c_str(),
                            (folder + L"\\update.exe").c_str(), FALSE));
    auto* w = OpenWith<UpdatePackageDownloadedPanel>(update_layout::kDownloaded,
                                                     Fixture("updatepackage_downloaded_panel.xml"));
    ASSERT_NE(nullptr, w);
    const HWND hwnd = w->GetHWND();
    Press(w, L"BtnUpdateNow");
    EXPECT_TRUE(Gone(hwnd));
    EXPECT_TRUE(owner.WaitFor(msg::kQuitForUpdate));
    const std::wstring cmdline = folder + L"\\updater-cmdline.txt";
    ASSERT_TRUE(testing_support::PumpUntil([&] { return Exists(cmdline); }, 10000));
    const std::string line = testing_support::ReadFileBytes(cmdline);
    const std::wstring recorded(reinterpret_cast<const wchar_t*>(line.data()), line.size() / sizeof(wchar_t));
    EXPECT_NE(std::wstring::npos, recorded.find(L" -u \"" + shell::ModulePath() + L"\"")) << shell::WideToUtf8(recorded);
}

TEST_F(UpdateWindowsTest, UpdateNowWithoutAnUpdaterKeepsTheClientRunning) {
    ::WritePrivateProfileStringW(L"UpdateInfo", L"NeedUpdate", L"1", CheckUpdate::UpdateInfoPath().c_str());
    auto* w = OpenWith<UpdatePackageDownloadedPanel>(update_layout::kDownloaded,
                                                     Fixture("updatepackage_downloaded_panel.xml"));
    ASSERT_NE(nullptr, w);
    const HWND hwnd = w->GetHWND();
    Press(w, L"BtnUpdateNow");
    EXPECT_TRUE(Gone(hwnd));
    testing_support::PumpFor(200);
    EXPECT_EQ(0u, owner.Count(msg::kQuitForUpdate));
}

// --- the main window's side ------------------------------------------------

class MainWindowUpdateTest : public testing_support::MainPanelTest {
protected:
    void SetUp() override {
        MainPanelTest::SetUp();
        SetShellExecute(&RecordOpen);
        Clean();
    }
    void TearDown() override {
        CloseAll();
        MainPanelTest::TearDown();
        SetShellExecute(nullptr);
        Clean();
    }
    static void Clean() {
        for (const wchar_t* f : {update_layout::kNotice, update_layout::kDownloaded, update_layout::kComplete}) {
            ::DeleteFileW(update_layout::PathOf(f).c_str());
        }
        ::DeleteFileW(CheckUpdate::UpdateInfoPath().c_str());
    }
    static void Put(const wchar_t* file, const std::string& bytes) {
        ::SHCreateDirectoryExW(nullptr, CheckUpdate::UpdateFolder().c_str(), nullptr);
        ASSERT_TRUE(WriteBytes(update_layout::PathOf(file), bytes));
    }
};

TEST_F(MainWindowUpdateTest, EachPackageMessageOpensAPanelWhileItsLayoutLasts) {
    Open();
    Put(update_layout::kDownloaded, Fixture("updatepackage_downloaded_panel.xml"));
    ::PostMessageW(*panel, msg::kUpdatePackageReady, 0, 0);
    ASSERT_TRUE(PumpUntil([] { return WindowsOf(kDownloadedClass).size() == 1; }));
    // The second finds the layout consumed: no second (empty) panel.
    ::PostMessageW(*panel, msg::kUpdatePackageReady, 0, 0);
    PumpFor(200);
    EXPECT_EQ(1u, WindowsOf(kDownloadedClass).size());
    // A new layout from the updater brings a second one.
    Put(update_layout::kDownloaded, Fixture("updatepackage_downloaded_panel.xml"));
    ::PostMessageW(*panel, msg::kUpdatePackageReady, 0, 0);
    EXPECT_TRUE(PumpUntil([] { return WindowsOf(kDownloadedClass).size() == 2; }));
    EXPECT_EQ(0, panel->RouteClashes());
}

TEST_F(MainWindowUpdateTest, NoticeMessageShowsTheNoticeFromItsLayout) {
    Open();
    Put(update_layout::kNotice, kNoticeButtons);
    ::PostMessageW(*panel, msg::kUpdateNoticeReady, 0, 0);
    ASSERT_TRUE(PumpUntil([] { return WindowsOf(kNoticeClass).size() == 1; }));
    EXPECT_FALSE(Exists(update_layout::PathOf(update_layout::kNotice)));
    EXPECT_TRUE(::IsWindowVisible(*panel)) << "the main window stays as it was";
}

TEST_F(MainWindowUpdateTest, StartShowsTheCompletePanelOnlyWhenTheUpdaterAskedAndLeftItsLayout) {
    // Asked, but no layout: no panel, and the request stays for a later start.
    ::SHCreateDirectoryExW(nullptr, CheckUpdate::UpdateFolder().c_str(), nullptr);
    ::WritePrivateProfileStringW(L"UpdateInfo", L"UpdateCompleteNotice", L"1", CheckUpdate::UpdateInfoPath().c_str());
    Open();
    PumpFor(200);
    EXPECT_TRUE(WindowsOf(kCompleteClass).empty());
    EXPECT_EQ(L"1", testing_support::ReadIni(CheckUpdate::UpdateInfoPath(), L"UpdateInfo", L"UpdateCompleteNotice"));
    ::PostMessageW(*panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 10000));
    panel.reset();

    // A layout but no request (2 is not 1): no panel, the layout stays.
    Put(update_layout::kComplete, Fixture("update_complete_panel.xml"));
    ::WritePrivateProfileStringW(L"UpdateInfo", L"UpdateCompleteNotice", L"2", CheckUpdate::UpdateInfoPath().c_str());
    Open();
    PumpFor(200);
    EXPECT_TRUE(WindowsOf(kCompleteClass).empty());
    EXPECT_TRUE(Exists(update_layout::PathOf(update_layout::kComplete)));
    ::PostMessageW(*panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 10000));
    panel.reset();

    // Both: the panel, once.
    ::WritePrivateProfileStringW(L"UpdateInfo", L"UpdateCompleteNotice", L"1", CheckUpdate::UpdateInfoPath().c_str());
    Open();
    ASSERT_TRUE(PumpUntil([] { return WindowsOf(kCompleteClass).size() == 1; }));
    EXPECT_FALSE(Exists(update_layout::PathOf(update_layout::kComplete)));
}

}  // namespace
