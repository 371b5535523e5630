#include "net/periodic_worker.h"

#include <process.h>

#include "shell/unique_handle.h"

struct PeriodicWorker::Run {
    DWORD interval = 0;
    Job job;
    shell::UniqueHandleKernel stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

bool PeriodicWorker::Start(DWORD intervalMs, Job job) {
    Stop();
    auto run = std::make_shared<Run>();
    run->interval = intervalMs;
    run->job = std::move(job);
    if (!run->stop) return false;
    auto* param = new std::shared_ptr<Run>(run);
    uintptr_t thread = _beginthreadex(nullptr, 0, &PeriodicWorker::ThreadMain, param, 0, nullptr);
    if (thread == 0) {
        delete param;
        return false;
    }
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
    run_ = std::move(run);
    return true;
}

void PeriodicWorker::Stop() {
    if (run_) ::SetEvent(run_->stop.get());
    run_.reset();
}

unsigned __stdcall PeriodicWorker::ThreadMain(void* param) {
    // The thread's own reference keeps its state alive after Stop.
    std::unique_ptr<std::shared_ptr<Run>> holder(static_cast<std::shared_ptr<Run>*>(param));
    const Run& run = **holder;
    while (!Stopped(run.stop.get())) {
        run.job(run.stop.get());
        if (::WaitForSingleObject(run.stop.get(), run.interval) != WAIT_TIMEOUT) break;
    }
    return 0;
}
