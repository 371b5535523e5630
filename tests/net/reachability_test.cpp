#include "net/reachability.h"

#include <gtest/gtest.h>

#include "shell/messages.h"
#include "tests/support/message_pump.h"

namespace {

bool Down(const std::wstring&) { return false; }

class ReachabilityTest : public ::testing::Test {
protected:
    void TearDown() override { ReachabilityMonitor::SetResolver(nullptr); }
    testing_support::MessageRecorder owner;
    ReachabilityMonitor monitor;
};

TEST_F(ReachabilityTest, ResolvesLocalNames) {
    EXPECT_TRUE(ReachabilityMonitor::Resolves(L"127.0.0.1"));
    EXPECT_TRUE(ReachabilityMonitor::Resolves(L"localhost"));
    EXPECT_FALSE(ReachabilityMonitor::Resolves(L""));
}

TEST_F(ReachabilityTest, MonitorReportsEveryInterval) {
    monitor.SetHost(L"127.0.0.1");
    monitor.SetInterval(100);
    monitor.StartMonitor(owner.hwnd());
    ASSERT_TRUE(owner.WaitFor(msg::kReachability, 3, 3000));
    monitor.StopMonitor();
    for (const auto& m : owner.Of(msg::kReachability)) {
        EXPECT_EQ(1u, m.wParam);
        EXPECT_EQ(0, m.lParam);
    }
    testing_support::PumpFor(150);
    size_t count = owner.Count(msg::kReachability);
    testing_support::PumpFor(400);
    EXPECT_EQ(count, owner.Count(msg::kReachability));
}

TEST_F(ReachabilityTest, UnreachableHostAndOneShotCheck) {
    ReachabilityMonitor::SetResolver(&Down);
    monitor.SetHost(L"service.example");
    monitor.SetInterval(100);
    monitor.StartMonitor(owner.hwnd());
    ASSERT_TRUE(owner.WaitFor(msg::kReachability, 2, 3000));
    monitor.StopMonitor();
    EXPECT_EQ(0u, owner.Of(msg::kReachability)[0].wParam);

    owner.Clear();
    ReachabilityMonitor::SetResolver(nullptr);
    ReachabilityMonitor probe;
    probe.SetHost(L"127.0.0.1");
    probe.CheckNow(owner.hwnd());
    ASSERT_TRUE(owner.WaitFor(msg::kReachability));
    EXPECT_EQ(1u, owner.Of(msg::kReachability)[0].wParam);
    EXPECT_EQ(1, owner.Of(msg::kReachability)[0].lParam);
}

TEST_F(ReachabilityTest, RestartLeavesOneMonitor) {
    monitor.SetHost(L"127.0.0.1");
    monitor.SetInterval(300);
    monitor.StartMonitor(owner.hwnd());
    monitor.StartMonitor(owner.hwnd());
    testing_support::PumpFor(1000);
    monitor.StopMonitor();
    EXPECT_LE(owner.Count(msg::kReachability), 5u);
}

}  // namespace
