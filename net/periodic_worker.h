// A background thread that runs one job at once and then every interval
// until stopped. Each start gets a thread and a stop event of its own, so
// a quick stop-and-start never leaves two workers running; nobody waits for
// a stopped thread, which ends at its next check.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

class PeriodicWorker {
public:
    // The job; it may look at `stop` to give up early.
    using Job = std::function<void(HANDLE stop)>;

    PeriodicWorker() = default;
    ~PeriodicWorker() { Stop(); }
    PeriodicWorker(const PeriodicWorker&) = delete;
    PeriodicWorker& operator=(const PeriodicWorker&) = delete;

    // Stops a running worker first. False when no thread could be started.
    bool Start(DWORD intervalMs, Job job);
    void Stop();
    bool Running() const { return static_cast<bool>(run_); }

    static bool Stopped(HANDLE stop) { return ::WaitForSingleObject(stop, 0) != WAIT_TIMEOUT; }

private:
    struct Run;
    static unsigned __stdcall ThreadMain(void* param);
    std::shared_ptr<Run> run_;
};
