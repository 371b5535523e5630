// The main window's ends: signing out from the menu, closing, and the end
// of the Windows session, against a service that answers, never answers or
// drips; and where a saved window comes back.
#include <windows.h>
#include <process.h>

#include <atomic>

#include "tests/panels/main_panel_fixture.h"

#include "api/subscribe_busi.h"
#include "net/request_manager.h"
#include "shell/messages.h"
#include "tests/support/inspect.h"

using testing_support::MainPanelTest;

namespace {

const char kLoginLog[] = "/rovavoda.php/rovavoda/api/login_log";

// Asks the window from another thread whether it answers, as the system
// (or a second instance) would: the milliseconds the answer took, or -1.
class Prober {
public:
    Prober(HWND window, DWORD afterMs) : window_(window), afterMs_(afterMs) {
        thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Run, this, 0, nullptr));
    }
    ~Prober() {
        if (thread_) {
            ::WaitForSingleObject(thread_, 10000);
            ::CloseHandle(thread_);
        }
    }
    bool Finished() const { return finished_; }
    long AnswerMs() const { return answerMs_; }

private:
    static unsigned __stdcall Run(void* param) {
        auto* self = static_cast<Prober*>(param);
        ::Sleep(self->afterMs_);
        const ULONGLONG start = ::GetTickCount64();
        DWORD_PTR ignored = 0;
        if (::SendMessageTimeoutW(self->window_, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored)) {
            self->answerMs_ = static_cast<long>(::GetTickCount64() - start);
        }
        self->finished_ = true;
        return 0;
    }
    HWND window_;
    DWORD afterMs_;
    HANDLE thread_ = nullptr;
    std::atomic<bool> finished_{false};
    std::atomic<long> answerMs_{-1};
};

class MainPanelEndTest : public MainPanelTest {
protected:
    void TearDown() override {
        MainPanelTest::TearDown();
        // Workers left blocked on the service end with it, before this
        // process does: a process that ends under a worker inside the
        // network library may never finish ending.
        standin.Control("POST", "close");
        FCHttpRequestManager::WaitForWorkers(::GetTickCount64() + 5000);
        PumpFor(300);
    }

    // Every request to the service from now on meets this fault.
    void ServiceTurns(const char* kind) {
        Json::Value fault;
        fault["path"] = "*";
        fault["kind"] = kind;
        fault["ms"] = 3000;
        standin.Fault(fault);
    }
    // A request in flight for each service of the window.
    void RequestEverything() {
        ::PostMessageW(*panel, msg::kRequestMessageCount, 0, 0);
        ::PostMessageW(*panel, msg::kRequestNotices, 0, 0);
        ::PostMessageW(*panel, msg::kPollNewInquiries, 0, 0);
        ::PostMessageW(*panel, WM_TIMER, MainPanel::kCountsTimer, 0);
        PumpFor(300);
    }
    size_t Reports(const char* action) {
        size_t n = 0;
        for (const auto& r : standin.ReceivedAt(kLoginLog)) n += r["document"]["action"].asString() == action;
        return n;
    }
    // Closes the window as the system would; the milliseconds it took.
    ULONGLONG CloseWindow() {
        const ULONGLONG start = ::GetTickCount64();
        ::PostMessageW(*panel, WM_CLOSE, 0, 0);
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 30000));
        return ::GetTickCount64() - start;
    }
    std::wstring Main(const wchar_t* key) { return testing_support::ReadIni(Settings().configPath, L"Main", key); }
};

TEST_F(MainPanelEndTest, LogoutFromTheMenuKeepsTheWindowAnswering) {
    Open();
    ASSERT_TRUE(SignIn());
    Json::Value fault;
    fault["action"] = "login_log";
    fault["kind"] = "hang";
    standin.Fault(fault);

    Prober prober(*panel, 150);
    ui::Notification n;
    n.type = L"menu_log_action";
    n.sender = panel->GetPaintManager().GetRoot();
    const ULONGLONG start = ::GetTickCount64();
    panel->Notify(n);
    EXPECT_LT(::GetTickCount64() - start, 500u) << "signing out waited for the service";
    ASSERT_TRUE(PumpUntil([&] { return prober.Finished(); }, 5000));
    EXPECT_GE(prober.AnswerMs(), 0) << "the window did not answer while the logout report hung";
    EXPECT_LT(prober.AnswerMs(), 1500);

    // Signed out all the same, and the report did go out.
    EXPECT_FALSE(Settings().signedIn);
    EXPECT_TRUE(Control(L"LoginLayer")->IsVisible());
    EXPECT_TRUE(PumpUntil([&] { return Reports("logout") == 1; }, 3000));
}

TEST_F(MainPanelEndTest, ClosingDoesNotWaitForASilentService) {
    Open();
    ASSERT_TRUE(SignIn());
    ServiceTurns("hang");
    RequestEverything();
    // Each hung request used to hold its service for seconds, and each
    // report for five: a generous bound, to catch a hang only.
    EXPECT_LT(CloseWindow(), 6000u);
    // The reports were tried all the same.
    EXPECT_TRUE(PumpUntil([&] { return Reports("logout") == 1 && Reports("exit") == 1; }, 3000));
}

TEST_F(MainPanelEndTest, ClosingDoesNotWaitForADrippingService) {
    Open();
    ASSERT_TRUE(SignIn());
    ServiceTurns("drip");
    RequestEverything();
    EXPECT_LT(CloseWindow(), 6000u);
    EXPECT_TRUE(PumpUntil([&] { return Reports("logout") == 1 && Reports("exit") == 1; }, 3000));
}

TEST_F(MainPanelEndTest, QuittingFromTheMenuDoesNotWaitForASilentService) {
    Open();
    ASSERT_TRUE(SignIn());
    ServiceTurns("hang");
    RequestEverything();
    ui::Notification n;
    n.type = L"menu_exit";
    n.sender = panel->GetPaintManager().GetRoot();
    const ULONGLONG start = ::GetTickCount64();
    panel->Notify(n);
    // The services are gone at once: nothing still queued reaches them.
    EXPECT_EQ(nullptr, panel->MessageCentre());
    EXPECT_EQ(nullptr, panel->Subscriptions());
    EXPECT_FALSE(::IsWindowVisible(*panel));
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(*panel); }, 30000));
    EXPECT_LT(::GetTickCount64() - start, 6000u);
    EXPECT_TRUE(PumpUntil([&] { return Reports("logout") == 1 && Reports("exit") == 1; }, 3000));
}

TEST_F(MainPanelEndTest, SessionEndKeepsWhatClosingKeepsOnce) {
    Open();
    ASSERT_TRUE(SignIn());
    // The sign-in's first poll answered: it moves the last-read time on.
    ASSERT_TRUE(PumpUntil([&] {
        return Received("get_mysqrss_num") >= 1 && panel->Subscriptions()->RunningCount() == 0;
    }));
    ::SetWindowPos(*panel, nullptr, 120, 70, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Settings().hideToTrayNoticed = true;
    Settings().lastReadTime = 1234567;
    ASSERT_EQ(L"0", Main(L"HideToTraybarNoticed"));
    // The session goes on: nothing is kept yet.
    EXPECT_EQ(TRUE, ::SendMessageW(*panel, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    ::SendMessageW(*panel, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    PumpFor(300);
    EXPECT_EQ(0u, Reports("exit"));
    EXPECT_EQ(L"0", Main(L"HideToTraybarNoticed"));

    // The session ends. A slow service still gets the reports; a request
    // that never ends must not hold the logoff up.
    Json::Value fault;
    fault["action"] = "get_sq_num";
    fault["kind"] = "hang";
    standin.Fault(fault);
    fault["action"] = "login_log";
    fault["kind"] = "delay";
    fault["ms"] = 300;
    standin.Fault(fault);
    ::PostMessageW(*panel, WM_TIMER, MainPanel::kCountsTimer, 0);
    PumpFor(200);
    // Another account typed in: the credential rules forget the kept one.
    Type(L"EditUsername", L"zhang");
    EXPECT_EQ(TRUE, ::SendMessageW(*panel, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    const ULONGLONG start = ::GetTickCount64();
    ::SendMessageW(*panel, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_LT(::GetTickCount64() - start, 3000u);
    // Once it has answered the process may be ended at any moment: all is
    // on disk and the reports have been sent.
    EXPECT_EQ(1u, Reports("logout"));
    EXPECT_EQ(1u, Reports("exit"));
    EXPECT_EQ(L"1", Main(L"HideToTraybarNoticed"));
    RECT saved;
    ASSERT_TRUE(Settings().ReadWindowRect(saved));
    EXPECT_EQ(120, saved.left);
    EXPECT_EQ(70, saved.top);
    EXPECT_EQ(L"1234567",
              testing_support::ReadIni(Settings().userFilePath, L"User", L"LastTimeReadSubscribe"));
    EXPECT_EQ(L"", Main(L"UserName"));
    EXPECT_EQ(L"0", Main(L"KeepPSW"));

    // If the process lives on to close its window, nothing is sent or
    // written twice.
    ::SetWindowPos(*panel, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    CloseWindow();
    PumpFor(300);
    EXPECT_EQ(1u, Reports("logout"));
    EXPECT_EQ(1u, Reports("exit"));
    ASSERT_TRUE(Settings().ReadWindowRect(saved));
    EXPECT_EQ(120, saved.left);
}

TEST_F(MainPanelEndTest, ClosingKeepsTheTrayNoticeWithoutWaitingForTheProcessEnd) {
    Open();
    Settings().hideToTrayNoticed = true;
    CloseWindow();
    EXPECT_EQ(L"1", Main(L"HideToTraybarNoticed"));
    EXPECT_TRUE(PumpUntil([&] { return Reports("exit") == 1; }, 3000));
}

TEST_F(MainPanelEndTest, SavedPlaceOffEveryScreenComesBackOnOne) {
    AppSettings& s = Settings();
    s.Load();
    s.WriteWindowRect(RECT{50000, 50000, 50426, 50600});
    Open();
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(*panel, MONITOR_DEFAULTTONEAREST), &mi);
    RECT rc;
    ::GetWindowRect(*panel, &rc);
    // Into the corner nearest the old place, at its size.
    EXPECT_EQ(mi.rcWork.right, rc.right);
    EXPECT_EQ(mi.rcWork.bottom, rc.bottom);
    EXPECT_EQ(426, rc.right - rc.left);
    EXPECT_EQ(600, rc.bottom - rc.top);
}

TEST_F(MainPanelEndTest, SavedPlaceWithoutAGripComesBackWhole) {
    // Only 26 pixels of the caption are left on the 1366-pixel screen.
    AppSettings& s = Settings();
    s.Load();
    s.WriteWindowRect(RECT{1340, 100, 1766, 700});
    Open();
    RECT rc;
    ::GetWindowRect(*panel, &rc);
    EXPECT_EQ(1366, rc.right);
    EXPECT_EQ(940, rc.left);
    EXPECT_EQ(100, rc.top);
    EXPECT_EQ(600, rc.bottom - rc.top);
}

TEST_F(MainPanelEndTest, SavedPlaceThatCanBeGrabbedIsKeptExactly) {
    // Half off the right edge and below the bottom, the caption still on
    // screen: the user put it there.
    AppSettings& s = Settings();
    s.Load();
    s.WriteWindowRect(RECT{1100, 500, 1526, 1100});
    Open();
    RECT rc;
    ::GetWindowRect(*panel, &rc);
    EXPECT_EQ(1100, rc.left);
    EXPECT_EQ(500, rc.top);
    EXPECT_EQ(426, rc.right - rc.left);
    EXPECT_EQ(600, rc.bottom - rc.top);
}

}  // namespace
