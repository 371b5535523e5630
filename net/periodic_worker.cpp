#include "net/periodic_worker.h"

#include <process.h>

#include <atomic>
#include <map>

#include "shell/unique_handle.h"

struct PeriodicWorker::Run {
    Job job;
    shell::UniqueHandleKernel stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> busy{false};
    UINT_PTR timer = 0;
};

// The workers whose timers belong to this thread, by timer id.
struct PeriodicWorker::Timers {
    std::map<UINT_PTR, std::shared_ptr<Run>> runs;
};

PeriodicWorker::Timers& PeriodicWorker::ThreadTimers() {
    thread_local Timers timers;
    return timers;
}

bool PeriodicWorker::Start(DWORD intervalMs, Job job) {
    Stop();
    auto run = std::make_shared<Run>();
    run->job = std::move(job);
    if (!run->stop || !Launch(run)) return false;
    run->timer = ::SetTimer(nullptr, 0, intervalMs, &PeriodicWorker::OnTimer);
    if (run->timer == 0) {
        ::SetEvent(run->stop.get());
        return false;
    }
    ThreadTimers().runs[run->timer] = run;
    run_ = std::move(run);
    return true;
}

void PeriodicWorker::Stop() {
    if (!run_) return;
    ::SetEvent(run_->stop.get());
    if (run_->timer != 0) {
        ::KillTimer(nullptr, run_->timer);
        ThreadTimers().runs.erase(run_->timer);
    }
    run_.reset();
}

bool PeriodicWorker::Launch(const std::shared_ptr<Run>& run) {
    if (run->busy.exchange(true)) return true;  // the last run is still going
    auto* param = new std::shared_ptr<Run>(run);
    uintptr_t thread = _beginthreadex(nullptr, 0, &PeriodicWorker::ThreadMain, param, 0, nullptr);
    if (thread == 0) {
        delete param;
        run->busy = false;
        return false;
    }
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

void CALLBACK PeriodicWorker::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    auto& runs = ThreadTimers().runs;
    auto it = runs.find(id);
    // A worker stopped from another thread could not end its timer there.
    if (it == runs.end() || Stopped(it->second->stop.get())) {
        ::KillTimer(nullptr, id);
        if (it != runs.end()) runs.erase(it);
        return;
    }
    Launch(it->second);
}

unsigned __stdcall PeriodicWorker::ThreadMain(void* param) {
    // The thread's own reference keeps its state alive after Stop.
    std::unique_ptr<std::shared_ptr<Run>> holder(static_cast<std::shared_ptr<Run>*>(param));
    Run& run = **holder;
    if (!Stopped(run.stop.get())) run.job(run.stop.get());
    run.busy = false;
    return 0;
}
