#include "net/background_work.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace net {
namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
CONDITION_VARIABLE g_idle = CONDITION_VARIABLE_INIT;
size_t g_running = 0;
ULONGLONG g_sharedDeadline = 0;  // of the shutdown wait, once one began

struct PoolItem {
    WorkerTicket ticket;
    std::function<void()> work;
};

DWORD WINAPI RunPoolItem(void* param) {
    std::unique_ptr<PoolItem> item(static_cast<PoolItem*>(param));
    item->work();
    return 0;
}

}  // namespace

WorkerTicket::WorkerTicket() {
    ::AcquireSRWLockExclusive(&g_lock);
    ++g_running;
    ::ReleaseSRWLockExclusive(&g_lock);
}

WorkerTicket::~WorkerTicket() {
    ::AcquireSRWLockExclusive(&g_lock);
    if (--g_running == 0) ::WakeAllConditionVariable(&g_idle);
    ::ReleaseSRWLockExclusive(&g_lock);
}

bool RunInBackground(std::function<void()> work) {
    auto item = std::make_unique<PoolItem>();
    item->work = std::move(work);
    // Long: a close may drain a big body for seconds.
    if (!::QueueUserWorkItem(&RunPoolItem, item.get(), WT_EXECUTELONGFUNCTION)) return false;
    item.release();
    return true;
}

void CloseInBackground(shell::UniqueInternet first, shell::UniqueInternet second, shell::UniqueInternet third) {
    if (!first && !second && !third) return;
    struct Handles {
        shell::UniqueInternet h[3];
        void Close() {
            for (auto& one : h) one.reset();
        }
    };
    auto handles = std::make_shared<Handles>();
    handles->h[0] = std::move(first);
    handles->h[1] = std::move(second);
    handles->h[2] = std::move(third);
    if (!RunInBackground([handles] { handles->Close(); })) handles->Close();
}

ULONGLONG SharedDeadline() {
    ::AcquireSRWLockShared(&g_lock);
    ULONGLONG d = g_sharedDeadline;
    ::ReleaseSRWLockShared(&g_lock);
    return d;
}

size_t RunningWorkers() {
    ::AcquireSRWLockShared(&g_lock);
    size_t n = g_running;
    ::ReleaseSRWLockShared(&g_lock);
    return n;
}

bool WaitForAllWorkers(ULONGLONG deadline) {
    ::AcquireSRWLockExclusive(&g_lock);
    g_sharedDeadline = deadline;
    while (g_running > 0) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) break;
        ::SleepConditionVariableSRW(&g_idle, &g_lock, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1)), 0);
    }
    const bool idle = g_running == 0;
    ::ReleaseSRWLockExclusive(&g_lock);
    return idle;
}

}  // namespace net
