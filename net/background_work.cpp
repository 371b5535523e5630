#include "net/background_work.h"

#include <process.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace net {
namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
CONDITION_VARIABLE g_idle = CONDITION_VARIABLE_INIT;
size_t g_running = 0;
ULONGLONG g_sharedDeadline = 0;  // of the shutdown wait, once one began

struct WorkItem {
    WorkerTicket ticket;
    std::function<void()> work;
};

unsigned __stdcall RunWorkItem(void* param) {
    std::unique_ptr<WorkItem> item(static_cast<WorkItem*>(param));
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
    auto item = std::make_unique<WorkItem>();
    item->work = std::move(work);
    // A thread of its own that ends with the work: the system's pool keeps
    // an idle worker, and its stack, for long after a request was closed.
    const uintptr_t thread = _beginthreadex(nullptr, 0, &RunWorkItem, item.get(), 0, nullptr);
    if (thread == 0) return false;
    item.release();
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
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
