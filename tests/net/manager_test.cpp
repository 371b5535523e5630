// The request manager: ids, delivery on the user-interface thread, event
// order, time limits, housekeeping and a bounded shutdown.
#include "net/request_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include "net/background_work.h"

#include "shell/text.h"
#include "tests/support/recording_manager.h"
#include "tests/support/standin.h"

using testing_support::PumpUntil;
using testing_support::RecordingManager;
using testing_support::StandIn;

namespace {

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(standin.ok()) << "stand-in service not reachable (YF_STANDIN_PORT)"; }
    HttpRequestHeader Get(const std::string& path) {
        HttpRequestHeader h(0, standin.port());
        h.url = shell::FormatW(L"http://127.0.0.1:%u", standin.port()) + shell::AnsiToWide(path);
        return h;
    }
    void Fault(const std::string& path, const char* kind, const char* key = nullptr, int value = 0) {
        Json::Value rule;
        rule["path"] = path;
        rule["kind"] = kind;
        if (key) rule[key] = value;
        standin.Fault(rule);
    }
    StandIn standin;
};

TEST_F(ManagerTest, IdsStartAt100PerManager) {
    RecordingManager a, b;
    EXPECT_EQ(100, a.StartRequest(Get("/t/a")));
    EXPECT_EQ(101, a.StartRequest(Get("/t/a")));
    EXPECT_EQ(100, b.StartRequest(Get("/t/b")));
    ASSERT_TRUE(a.WaitFinished(2));
    ASSERT_TRUE(b.WaitFinished(1));
    EXPECT_NE(nullptr, a.Find(100));
    EXPECT_NE(nullptr, a.Find(101));
    EXPECT_EQ(100, b.finished[0].id);
}

// Records the event numbers the event window receives, then lets the
// manager handle them as usual.
WNDPROC g_original = nullptr;
std::vector<LPARAM>* g_events = nullptr;
LRESULT CALLBACK SpyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kHttpEventMessage && g_events) g_events->push_back(lp);
    return ::CallWindowProcW(g_original, hwnd, msg, wp, lp);
}

TEST_F(ManagerTest, EventsArriveInOrderOnTheUserInterfaceThread) {
    RecordingManager m;
    std::vector<LPARAM> events;
    g_events = &events;
    g_original = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(m.EventWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SpyProc)));
    m.StartRequest(Get("/t/order"));
    ASSERT_TRUE(m.WaitFinished(1));
    g_events = nullptr;
    EXPECT_EQ((std::vector<LPARAM>{0, 1, 2}), events);
    EXPECT_EQ(std::vector<int>{100}, m.headers);
    EXPECT_EQ(::GetCurrentThreadId(), m.finished[0].thread);
}

TEST_F(ManagerTest, ManyRequestsAtOnceAllComplete) {
    RecordingManager m;
    for (int i = 0; i < 20; ++i) m.StartRequest(Get("/t/many"));
    ASSERT_TRUE(m.WaitFinished(20, 30000));
    for (int id = 100; id < 120; ++id) EXPECT_NE(nullptr, m.Find(id)) << id;
    // Finished requests are destroyed by housekeeping, which then stops.
    EXPECT_TRUE(PumpUntil([&] { return m.RunningCount() == 0 && m.ClosingCount() == 0; }, 5000));
}

TEST_F(ManagerTest, FinishedRequestsAreSweptWhileRequestsKeepStarting) {
    // Each request starts as the one before finishes, well within one
    // housekeeping period of it: the sweep must come on schedule anyway.
    RecordingManager m;
    const DWORD handlesBefore = [] {
        DWORD n = 0;
        ::GetProcessHandleCount(::GetCurrentProcess(), &n);
        return n;
    }();
    size_t mostClosing = 0;
    DWORD mostHandles = handlesBefore;
    for (size_t i = 0; i < 1000; ++i) {
        m.StartRequest(Get("/t/stream"));
        ASSERT_TRUE(m.WaitFinished(i + 1)) << i;
        mostClosing = std::max(mostClosing, m.ClosingCount());
        DWORD handles = 0;
        ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
        mostHandles = std::max(mostHandles, handles);
    }
    std::printf("[ figures  ] 1000 requests back to back: at most %zu closing, %lu handles more\n", mostClosing,
                static_cast<unsigned long>(mostHandles - handlesBefore));
    EXPECT_LT(mostClosing, 200u);
    EXPECT_LT(mostHandles - handlesBefore, 600u);
    EXPECT_TRUE(PumpUntil([&] { return m.RunningCount() == 0 && m.ClosingCount() == 0; }, 5000));
}

// Whether a timer of the event window is due: an idle client must not wake
// for one.
bool TimerDue(HWND window) {
    MSG msg;
    return ::PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_NOREMOVE) != FALSE;
}

TEST_F(ManagerTest, EndedRequestsLeaveNoTimerRunning) {
    // A finished request is gone at once, its time limit with it, and no
    // sweep is left ticking.
    RecordingManager m;
    HttpRequestHeader h = Get("/t/idle");
    h.timeout = 300;
    m.StartRequest(h);
    ASSERT_TRUE(m.WaitFinished(1));
    EXPECT_EQ(0u, m.RunningCount());
    EXPECT_EQ(0u, m.ClosingCount());
    ::Sleep(450);  // past the time limit and several sweep periods
    EXPECT_FALSE(TimerDue(m.EventWindow()));
    testing_support::PumpFor(100);
    EXPECT_TRUE(m.timeouts.empty());

    // One closed while its worker still waits for the answer is swept once
    // the worker has ended; then the sweep stops as well.
    Fault("/t/late", "delay", "ms", 600);
    const int id = m.StartRequest(Get("/t/late"));
    testing_support::PumpFor(100);
    m.CloseRequest(id);
    EXPECT_EQ(1u, m.ClosingCount());
    ASSERT_TRUE(PumpUntil([&] { return m.ClosingCount() == 0; }, 5000));
    ::Sleep(250);
    EXPECT_FALSE(TimerDue(m.EventWindow()));
    EXPECT_EQ(1u, m.finished.size());
}

TEST_F(ManagerTest, TimeLimitEndsTheRequestWithoutCompletion) {
    Fault("/t/slow", "delay", "ms", 2500);
    RecordingManager m;
    HttpRequestHeader h = Get("/t/slow");
    h.timeout = 300;
    int id = m.StartRequest(h);
    ASSERT_TRUE(PumpUntil([&] { return !m.timeouts.empty(); }, 5000));
    EXPECT_EQ(id, m.timeouts[0]);
    EXPECT_EQ(0u, m.RunningCount());
    testing_support::PumpFor(3000);  // the late reply is ignored
    EXPECT_TRUE(m.finished.empty());
}

TEST_F(ManagerTest, TimeLimitAlsoEndsTheWorkersOfAHungRequest) {
    Fault("/t/hang", "hang");
    RecordingManager m;
    HttpRequestHeader h = Get("/t/hang");
    h.timeout = 500;
    m.StartRequest(h);
    ASSERT_TRUE(PumpUntil([&] { return !m.timeouts.empty(); }, 5000));
    // The workers give up too, so the request does not linger until shutdown.
    EXPECT_TRUE(PumpUntil([&] { return m.ClosingCount() == 0; }, 8000));
    EXPECT_TRUE(m.finished.empty());
}

TEST_F(ManagerTest, ShutdownWithAServerThatNeverAnswersIsBounded) {
    Fault("/t/hang", "hang");
    auto m = std::make_unique<RecordingManager>();
    m->StartRequest(Get("/t/hang"));
    m->StartRequest(Get("/t/hang"));
    // Let both get as far as waiting for the answer.
    testing_support::PumpFor(500);
    ASSERT_TRUE(m->finished.empty());
    ULONGLONG start = ::GetTickCount64();
    m.reset();
    ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_LT(elapsed, 4000u);
}

TEST_F(ManagerTest, ClosedRequestReportsNothingFurther) {
    Fault("/t/late", "delay", "ms", 800);
    RecordingManager m;
    int id = m.StartRequest(Get("/t/late"));
    testing_support::PumpFor(100);
    m.CloseRequest(id);
    m.CloseRequest(999);  // unknown ids are ignored
    testing_support::PumpFor(1500);
    EXPECT_TRUE(m.finished.empty());
    EXPECT_TRUE(PumpUntil([&] { return m.ClosingCount() == 0; }, 5000));
}

TEST_F(ManagerTest, ARequestClosedBeforeItsGoAheadEndsItsWorkerAtOnce) {
    RecordingManager m;
    const int id = m.StartRequest(Get("/t/waiting"));
    // Its worker has connected once its first report waits in this thread's
    // queue; not handling it leaves the worker waiting for the go-ahead.
    const ULONGLONG end = ::GetTickCount64() + 5000;
    while ((HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) == 0 && ::GetTickCount64() < end) ::Sleep(5);
    ASSERT_NE(0u, HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) << "the worker never connected";
    ASSERT_LE(1u, net::RunningWorkers());
    m.CloseRequest(id);
    // Ended by the close, not by the wait's own limit of many seconds.
    const ULONGLONG closed = ::GetTickCount64();
    while (net::RunningWorkers() != 0 && ::GetTickCount64() - closed < 2000) ::Sleep(5);
    EXPECT_EQ(0u, net::RunningWorkers());
    testing_support::PumpFor(300);
    EXPECT_TRUE(m.headers.empty());
    EXPECT_TRUE(m.finished.empty());
    EXPECT_EQ(0u, m.RunningCount());
    EXPECT_TRUE(PumpUntil([&] { return m.ClosingCount() == 0; }, 2000));
}

// Pumps like the main window does and records the longest time one message
// kept this thread busy.
struct BusyMeter {
    DWORD longest = 0;
    bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        for (;;) {
            // The requests' reports are sent messages: PeekMessage handles
            // them itself, so it is timed too.
            MSG msg;
            for (;;) {
                const ULONGLONG start = ::GetTickCount64();
                const bool got = ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
                if (got) {
                    ::TranslateMessage(&msg);
                    ::DispatchMessageW(&msg);
                }
                longest = std::max(longest, static_cast<DWORD>(::GetTickCount64() - start));
                if (!got) break;
            }
            if (pred()) return true;
            if (::GetTickCount64() >= end) return false;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
    void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }
};

void HugeFault(StandIn& standin, const std::string& path, double bytes, double length) {
    Json::Value rule;
    rule["path"] = path;
    rule["kind"] = "huge";
    rule["bytes"] = bytes;
    rule["length"] = length;
    standin.Fault(rule);
}

TEST_F(ManagerTest, OverLongBodiesAreClosedOffTheUserInterfaceThread) {
    // A reply far over the request's limit: reading stops at the limit, and
    // what is left is drained by whoever closes the handle; that must not
    // be the user-interface thread. Both an honest length and 2^40.
    for (double length : {150.0 * 1024 * 1024, 1099511627776.0}) {
        SCOPED_TRACE(length);
        HugeFault(standin, "/t/huge", 150.0 * 1024 * 1024, length);
        RecordingManager m;
        HttpRequestHeader h = Get("/t/huge");
        h.maxBody = 1024 * 1024;
        m.StartRequest(h);
        BusyMeter meter;
        ASSERT_TRUE(meter.PumpUntil([&] { return !m.finished.empty(); }, 20000));
        EXPECT_TRUE(m.finished[0].overflowed);
        EXPECT_FALSE(m.finished[0].readComplete);
        // Housekeeping destroys the request meanwhile.
        meter.PumpUntil([&] { return m.RunningCount() == 0 && m.ClosingCount() == 0; }, 3000);
        meter.PumpFor(300);
        std::printf("[ figures  ] over-long body (length %.0f): longest busy message %lu ms\n", length,
                    static_cast<unsigned long>(meter.longest));
        EXPECT_LT(meter.longest, 1000u);
    }
}

TEST_F(ManagerTest, ClosingDuringAnEndlessBodyReturnsAtOnce) {
    HugeFault(standin, "/t/endless", 1000.0 * 1024 * 1024, 1099511627776.0);
    RecordingManager m;
    HttpRequestHeader h = Get("/t/endless");
    h.maxBody = 0x7FFFFFFF;
    const int id = m.StartRequest(h);
    BusyMeter meter;
    ASSERT_TRUE(meter.PumpUntil([&] { return !m.headers.empty(); }, 10000));
    meter.PumpFor(500);  // well into the body
    const ULONGLONG start = ::GetTickCount64();
    m.CloseRequest(id);
    const DWORD closeMs = static_cast<DWORD>(::GetTickCount64() - start);
    meter.PumpFor(1000);
    std::printf("[ figures  ] endless body: close %lu ms, longest busy message %lu ms\n",
                static_cast<unsigned long>(closeMs), static_cast<unsigned long>(meter.longest));
    EXPECT_LT(closeMs, 1000u);
    EXPECT_LT(meter.longest, 1000u);
    EXPECT_TRUE(m.finished.empty());
}

TEST_F(ManagerTest, SeveralManagersShareOneShutdownBudget) {
    // Workers that end once unblocked: all aborted first, then one wait.
    Fault("/t/slow", "delay", "ms", 600);
    HugeFault(standin, "/t/huge", 8.0 * 1024 * 1024, 1099511627776.0);
    auto a = std::make_unique<RecordingManager>();
    auto b = std::make_unique<RecordingManager>();
    a->StartRequest(Get("/t/slow"));
    b->StartRequest(Get("/t/slow"));
    HttpRequestHeader h = Get("/t/huge");
    h.maxBody = 0x7FFFFFFF;
    b->StartRequest(h);
    testing_support::PumpFor(300);
    ASSERT_TRUE(a->finished.empty());
    EXPECT_GT(net::RunningWorkers(), 0u);
    ULONGLONG start = ::GetTickCount64();
    a->AbortAll();
    b->AbortAll();
    const DWORD abortMs = static_cast<DWORD>(::GetTickCount64() - start);
    EXPECT_EQ(0u, a->RunningCount());
    EXPECT_EQ(0u, b->RunningCount());
    EXPECT_TRUE(FCHttpRequestManager::WaitForWorkers(start + 8000));
    const DWORD waitMs = static_cast<DWORD>(::GetTickCount64() - start);
    EXPECT_EQ(0u, net::RunningWorkers());
    std::printf("[ figures  ] shutdown: abort %lu ms, every worker ended after %lu ms\n",
                static_cast<unsigned long>(abortMs), static_cast<unsigned long>(waitMs));
    EXPECT_LT(abortMs, 1000u);
    testing_support::PumpFor(100);
    EXPECT_TRUE(a->finished.empty());
    ULONGLONG before = ::GetTickCount64();
    a.reset();
    b.reset();
    EXPECT_LT(::GetTickCount64() - before, 1000u);

    // Workers that never end (a server that never answers): the one budget
    // bounds the whole shutdown, the destructors' waits included.
    Fault("/t/hang", "hang");
    a = std::make_unique<RecordingManager>();
    b = std::make_unique<RecordingManager>();
    a->StartRequest(Get("/t/hang"));
    b->StartRequest(Get("/t/hang"));
    b->StartRequest(Get("/t/hang"));
    testing_support::PumpFor(500);
    start = ::GetTickCount64();
    a->AbortAll();
    b->AbortAll();
    EXPECT_FALSE(FCHttpRequestManager::WaitForWorkers(start + 1500));
    a.reset();
    b.reset();
    const DWORD totalMs = static_cast<DWORD>(::GetTickCount64() - start);
    std::printf("[ figures  ] shutdown with hung workers: %lu ms for a 1500 ms budget\n",
                static_cast<unsigned long>(totalMs));
    EXPECT_GE(totalMs, 1400u);
    EXPECT_LT(totalMs, 2500u);
}

}  // namespace
