#include "net/reachability.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <process.h>

#include <atomic>

#include "shell/messages.h"
#include "shell/service_config.h"
#include "shell/text.h"
#include "shell/unique_handle.h"

// One monitor thread's own state: stopping signals its event, so a quick
// restart never leaves an earlier thread reporting beside the new one.
struct ReachabilityMonitor::Run {
    HWND target = nullptr;
    DWORD interval = kInterval;
    std::wstring host;
    shell::UniqueHandleKernel stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

namespace {
std::atomic<ReachabilityMonitor::ResolveFn> g_resolve{&ReachabilityMonitor::Resolves};
bool Lookup(const std::wstring& host) { return g_resolve.load()(host); }
}  // namespace

void ReachabilityMonitor::SetResolver(ResolveFn fn) { g_resolve = fn ? fn : &ReachabilityMonitor::Resolves; }

ReachabilityMonitor::~ReachabilityMonitor() { StopMonitor(); }

std::wstring ReachabilityMonitor::Host() const { return host_.empty() ? Service().serviceHost : host_; }

bool ReachabilityMonitor::Resolves(const std::wstring& host) {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started || host.empty()) return false;
    std::string name = shell::WideToAnsi(host);
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    addrinfo* result = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return false;
    ::freeaddrinfo(result);
    return true;
}

void ReachabilityMonitor::StartMonitor(HWND target) {
    StopMonitor();
    auto run = std::make_shared<Run>();
    run->target = target;
    run->interval = interval_;
    run->host = Host();
    if (!run->stop) return;
    auto* param = new std::shared_ptr<Run>(run);
    uintptr_t thread = _beginthreadex(nullptr, 0, &ReachabilityMonitor::ThreadMain, param, 0, nullptr);
    if (thread == 0) {
        delete param;
        return;
    }
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
    run_ = std::move(run);
}

void ReachabilityMonitor::StopMonitor() {
    if (run_) ::SetEvent(run_->stop.get());
    run_.reset();
}

void ReachabilityMonitor::CheckNow(HWND target) const {
    ::PostMessageW(target, msg::kReachability, Lookup(Host()) ? 1 : 0, 1);
}

unsigned __stdcall ReachabilityMonitor::ThreadMain(void* param) {
    std::unique_ptr<std::shared_ptr<Run>> holder(static_cast<std::shared_ptr<Run>*>(param));
    const Run& run = **holder;
    while (::WaitForSingleObject(run.stop.get(), 0) == WAIT_TIMEOUT) {
        bool reachable = Lookup(run.host);
        if (::WaitForSingleObject(run.stop.get(), 0) != WAIT_TIMEOUT) break;
        ::PostMessageW(run.target, msg::kReachability, reachable ? 1 : 0, 0);
        if (::WaitForSingleObject(run.stop.get(), run.interval) != WAIT_TIMEOUT) break;
    }
    return 0;
}
