// The request manager: ids, delivery on the user-interface thread, event
// order, time limits, housekeeping and a bounded shutdown.
#include "net/request_manager.h"

#include <gtest/gtest.h>

#include <memory>

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

}  // namespace
