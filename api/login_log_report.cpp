#include "api/login_log_report.h"

#include <algorithm>

LoginLogReport::LoginLogReport() : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

bool LoginLogReport::WaitUntil(ULONGLONG deadline) const {
    const ULONGLONG now = ::GetTickCount64();
    const DWORD left = deadline > now ? static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1)) : 0;
    return ::WaitForSingleObject(done_.get(), left) == WAIT_OBJECT_0 && sent_.load();
}

bool LoginLogReport::Done() const { return ::WaitForSingleObject(done_.get(), 0) == WAIT_OBJECT_0; }

void LoginLogReport::Finish(bool sent) {
    sent_ = sent;
    ::SetEvent(done_.get());
}
