// Work of the request machinery that must not run on the user-interface
// thread (closing a request handle drains what is left of its body), and
// the count of every worker still running, so that shutdown can wait for
// all of them against one deadline.
#pragma once

#include <windows.h>

#include <functional>

#include "shell/unique_handle.h"

namespace net {

// Counts one worker for as long as it lives (request threads, closers,
// decoders). Taken by the thread that starts the worker, before it starts.
class WorkerTicket {
public:
    WorkerTicket();
    ~WorkerTicket();
    WorkerTicket(const WorkerTicket&) = delete;
    WorkerTicket& operator=(const WorkerTicket&) = delete;
};

// Runs the work on a short thread of its own, counted as a worker. False
// when no thread could be started (the work has not run).
bool RunInBackground(std::function<void()> work);

// Closes the handles in this order on such a thread; inline only when
// none could be started.
void CloseInBackground(shell::UniqueInternet first, shell::UniqueInternet second = {},
                       shell::UniqueInternet third = {});

// Workers running now, in every manager of the process.
size_t RunningWorkers();

// Waits until no worker runs or the deadline (GetTickCount64) passes; true
// when none runs. The deadline is kept as the process's shutdown deadline.
bool WaitForAllWorkers(ULONGLONG deadline);
// That deadline; 0 before any such wait.
ULONGLONG SharedDeadline();

}  // namespace net
