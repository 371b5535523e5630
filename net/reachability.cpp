#include "net/reachability.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>

#include "shell/messages.h"
#include "shell/service_config.h"
#include "shell/text.h"

namespace {
std::atomic<ReachabilityMonitor::ResolveFn> g_resolve{&ReachabilityMonitor::Resolves};
bool Lookup(const std::wstring& host) { return g_resolve.load()(host); }
}  // namespace

void ReachabilityMonitor::SetResolver(ResolveFn fn) { g_resolve = fn ? fn : &ReachabilityMonitor::Resolves; }

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
    const std::wstring host = Host();
    worker_.Start(interval_, [target, host](HANDLE stop) {
        bool reachable = Lookup(host);
        // A lookup can take long: a monitor stopped meanwhile reports nothing.
        if (!PeriodicWorker::Stopped(stop)) ::PostMessageW(target, msg::kReachability, reachable ? 1 : 0, 0);
    });
}

void ReachabilityMonitor::StopMonitor() { worker_.Stop(); }

void ReachabilityMonitor::CheckNow(HWND target) const {
    ::PostMessageW(target, msg::kReachability, Lookup(Host()) ? 1 : 0, 1);
}
