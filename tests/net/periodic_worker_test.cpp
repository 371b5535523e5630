#include "net/periodic_worker.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <atomic>

#include "tests/support/message_pump.h"

namespace {

using testing_support::PumpFor;
using testing_support::PumpUntil;

size_t ThreadsOfThisProcess() {
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    size_t count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snap, &entry); more; more = ::Thread32Next(snap, &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    }
    ::CloseHandle(snap);
    return count;
}

TEST(PeriodicWorkerTest, RunsAtOnceThenEveryIntervalAndKeepsNoThreadBetweenRuns) {
    const size_t before = ThreadsOfThisProcess();
    ASSERT_GT(before, 0u);
    std::atomic<int> runs{0};
    PeriodicWorker worker;
    ASSERT_TRUE(worker.Start(400, [&runs](HANDLE) { ++runs; }));
    ASSERT_TRUE(PumpUntil([&] { return runs >= 1; }, 200));  // the first at once
    // Between runs the process has no more threads than before the start.
    EXPECT_TRUE(PumpUntil([&] { return ThreadsOfThisProcess() <= before; }, 300));
    EXPECT_EQ(1, runs.load());
    ASSERT_TRUE(PumpUntil([&] { return runs >= 3; }, 3000));
    worker.Stop();
    EXPECT_FALSE(worker.Running());
    PumpFor(100);
    const int stopped = runs;
    PumpFor(900);
    EXPECT_EQ(stopped, runs.load());  // stopped for good
    EXPECT_TRUE(PumpUntil([&] { return ThreadsOfThisProcess() <= before; }, 1000));
}

TEST(PeriodicWorkerTest, ASlowRunIsNeverDoubledAndSeesTheStop) {
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    std::atomic<int> runs{0};
    std::atomic<bool> sawStop{false};
    PeriodicWorker worker;
    ASSERT_TRUE(worker.Start(20, [&](HANDLE stop) {
        const int now = ++running;
        if (now > most) most = now;
        ++runs;
        if (::WaitForSingleObject(stop, 150) == WAIT_OBJECT_0) sawStop = true;
        --running;
    }));
    PumpFor(700);
    EXPECT_EQ(1, most.load());
    EXPECT_GE(runs.load(), 2);
    EXPECT_LE(runs.load(), 6);
    worker.Stop();
    EXPECT_TRUE(PumpUntil([&] { return running == 0; }, 1000));
    EXPECT_TRUE(sawStop.load());
}

TEST(PeriodicWorkerTest, ARestartLeavesOneWorkerAndTheFirstStopsForGood) {
    std::atomic<int> first{0};
    std::atomic<int> second{0};
    PeriodicWorker worker;
    ASSERT_TRUE(worker.Start(50, [&first](HANDLE) { ++first; }));
    ASSERT_TRUE(worker.Start(50, [&second](HANDLE) { ++second; }));
    PumpFor(400);
    const int firstRuns = first;
    EXPECT_LE(firstRuns, 1);  // at most the run that started at once
    EXPECT_GE(second.load(), 3);
    worker.Stop();
    PumpFor(100);
    const int secondRuns = second;
    PumpFor(300);
    EXPECT_EQ(firstRuns, first.load());
    EXPECT_EQ(secondRuns, second.load());
}

}  // namespace
