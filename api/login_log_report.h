// A login-log report (logout, exit) that goes out on a worker of its own, so
// that neither signing out nor closing waits on the network: the caller
// waits for it as long as it can afford, or not at all.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "shell/unique_handle.h"

class LoginLogReport {
public:
    LoginLogReport();
    LoginLogReport(const LoginLogReport&) = delete;
    LoginLogReport& operator=(const LoginLogReport&) = delete;

    // True when the report went out; waits until the tick count `deadline`
    // (GetTickCount64) at most.
    bool WaitUntil(ULONGLONG deadline) const;
    // The worker has finished, the report sent or not.
    bool Done() const;

    // The worker's word.
    void Finish(bool sent);

private:
    shell::UniqueHandleKernel done_;
    std::atomic<bool> sent_{false};
};

using LoginLogReportPtr = std::shared_ptr<const LoginLogReport>;
