// A job run once at once and then every interval until stopped, each run on
// a short thread of its own. Between runs no thread is kept: every idle thread holds
// about a megabyte of stack in memory. A timer of the thread
// that starts the worker paces the runs, so that thread must dispatch its
// messages. A run that is still going when the next is due is not doubled.
// Each start gets a stop event of its own, so a quick stop-and-start never
// leaves two workers running; nobody waits for a stopped run, which ends at
// its next check.
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

    // Stops a running worker first. False when the first run or the timer
    // could not be started.
    bool Start(DWORD intervalMs, Job job);
    // On the thread that started the worker.
    void Stop();
    bool Running() const { return static_cast<bool>(run_); }

    static bool Stopped(HANDLE stop) { return ::WaitForSingleObject(stop, 0) != WAIT_TIMEOUT; }

private:
    struct Run;
    struct Timers;
    static Timers& ThreadTimers();
    static bool Launch(const std::shared_ptr<Run>& run);
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD);
    static unsigned __stdcall ThreadMain(void* param);
    std::shared_ptr<Run> run_;
};
