// Shutting down against the minimal program with a tray icon: the time from
// the close message until the process has ended, the median of N runs, with
// the service up, gone, never answering, and answering one byte every three
// seconds. Each client run signs in first (automatic login with the demo
// account), then the service is put into its state, each service of the
// window is given a request to hang on, and the window is closed.
//   shutdown_bench <client> <minimal tray program> <stand-in hub port> [runs]
// The client's data folder (Documents\TAVO_zudedo) is rewritten; the
// "service.ini" beside the client names a fresh stand-in instance each run.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/saved_password.h"

namespace {

constexpr DWORD kGiveUpMs = 120000;

// One control call to the stand-in; the answer's text, empty on failure.
std::string Control(unsigned port, const char* verb, const std::string& what, const std::string& body = {}) {
    std::string out;
    HINTERNET session = ::InternetOpenW(L"shutdown_bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (session == nullptr) return out;
    HINTERNET connection =
        ::InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                           INTERNET_SERVICE_HTTP, 0, 0);
    const std::string path = "/__control/" + what;
    HINTERNET request = connection ? ::HttpOpenRequestA(connection, verb, path.c_str(), nullptr, nullptr, nullptr,
                                                        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                                   : nullptr;
    const char headers[] = "Content-Type: application/json\r\n";
    std::string payload = body;
    if (request != nullptr &&
        ::HttpSendRequestA(request, headers, static_cast<DWORD>(sizeof(headers) - 1),
                           payload.empty() ? nullptr : &payload[0], static_cast<DWORD>(payload.size()))) {
        char chunk[4096];
        DWORD got = 0;
        while (::InternetReadFile(request, chunk, sizeof(chunk), &got) && got > 0) out.append(chunk, got);
    }
    if (request) ::InternetCloseHandle(request);
    if (connection) ::InternetCloseHandle(connection);
    ::InternetCloseHandle(session);
    return out;
}

unsigned SpawnInstance(unsigned hub) {
    const std::string reply = Control(hub, "POST", "spawn", "{}");
    const size_t at = reply.find("\"port\"");
    return at == std::string::npos ? 0 : static_cast<unsigned>(atoi(reply.c_str() + reply.find(':', at) + 1));
}

void PointClientAt(const std::wstring& client, unsigned port) {
    const std::wstring ini = client.substr(0, client.find_last_of(L"\\/") + 1) + L"service.ini";
    for (const wchar_t* key : {L"ServiceHost", L"WebHost", L"FeedbackHost"}) {
        ::WritePrivateProfileStringW(L"Service", key, L"127.0.0.1", ini.c_str());
    }
    ::WritePrivateProfileStringW(L"Service", L"Port", std::to_wstring(port).c_str(), ini.c_str());
}

// The demo account signs in by itself at the next start.
void PrepareAutoLogin() {
    AppSettings& s = Settings();
    s.Load();
    s.WriteInt(L"Main", L"AutoLogin", 1);
    s.WriteInt(L"Main", L"KeepPSW", 1);
    s.WriteInt(L"Main", L"ExitBtnDoHide", 0);
    s.WriteString(L"Main", L"UserName", L"demo");
    SavePassword(s, L"demo123");
}

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !::IsWindowVisible(hwnd)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

template <typename Done>
bool WaitFor(DWORD ms, const Done& done) {
    const ULONGLONG deadline = ::GetTickCount64() + ms;
    while (!done()) {
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(20);
    }
    return true;
}

struct Run {
    PROCESS_INFORMATION pi = {};
    HWND window = nullptr;
};

bool Start(const std::wstring& program, Run& run) {
    std::wstring line = L"\"" + program + L"\"";
    const std::wstring folder = program.substr(0, program.find_last_of(L"\\/"));
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &run.pi)) {
        return false;
    }
    Search search{run.pi.dwProcessId, nullptr};
    WaitFor(30000, [&] {
        ::EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    run.window = search.found;
    return run.window != nullptr;
}

// Milliseconds from the close message to the end of the process; -1 when
// it had not ended after kGiveUpMs (it is then killed).
double CloseAndTime(Run& run) {
    LARGE_INTEGER f, a, b;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&a);
    ::PostMessageW(run.window, WM_CLOSE, 0, 0);
    const bool ended = ::WaitForSingleObject(run.pi.hProcess, kGiveUpMs) == WAIT_OBJECT_0;
    ::QueryPerformanceCounter(&b);
    if (!ended) {
        ::TerminateProcess(run.pi.hProcess, 1);
        ::WaitForSingleObject(run.pi.hProcess, 5000);
    }
    ::CloseHandle(run.pi.hThread);
    ::CloseHandle(run.pi.hProcess);
    return ended ? 1000.0 * (b.QuadPart - a.QuadPart) / f.QuadPart : -1;
}

double Minimal(const std::wstring& program) {
    Run run;
    if (!Start(program, run)) return -1;
    ::Sleep(1000);  // its icon is in place
    return CloseAndTime(run);
}

enum class Service { kUp, kDown, kSilent, kDrip };

double Client(const std::wstring& program, unsigned hub, Service service) {
    const unsigned port = SpawnInstance(hub);
    if (port == 0) return -1;
    PointClientAt(program, port);
    PrepareAutoLogin();
    Run run;
    if (!Start(program, run)) return -1;
    // Signed in: the login report has arrived.
    WaitFor(30000, [&] {
        return Control(port, "GET", "received?action=login_log").find("\"action\": \"login\"") != std::string::npos;
    });
    switch (service) {
        case Service::kUp: break;
        case Service::kDown: Control(port, "POST", "close", "{}"); break;
        case Service::kSilent: Control(port, "POST", "fault", R"({"path": "*", "kind": "hang"})"); break;
        case Service::kDrip: Control(port, "POST", "fault", R"({"path": "*", "kind": "drip", "ms": 3000})"); break;
    }
    // A request in flight for each service of the window.
    ::PostMessageW(run.window, msg::kRequestMessageCount, 0, 0);
    ::PostMessageW(run.window, msg::kRequestNotices, 0, 0);
    ::PostMessageW(run.window, msg::kPollNewInquiries, 0, 0);
    ::PostMessageW(run.window, WM_TIMER, 101, 0);  // the post counters
    ::Sleep(800);
    const double ms = CloseAndTime(run);
    if (service != Service::kDown) Control(port, "POST", "close", "{}");
    return ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return -1;
    return v.front() < 0 ? -1 : v[v.size() / 2];  // any run that never ended spoils the figure
}

void Print(const char* what, const std::vector<double>& runs, double minimal) {
    const double m = Median(runs);
    std::printf("%-16s", what);
    if (m < 0) {
        std::printf(" did not end within %lu s", kGiveUpMs / 1000);
    } else {
        std::printf(" %7.0f ms  (%+6.0f ms against the minimal program)", m, m - minimal);
    }
    std::printf("   runs:");
    for (double r : runs) std::printf(" %.0f", r);
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::printf("usage: shutdown_bench <client> <minimal tray program> <stand-in hub port> [runs]\n");
        return 2;
    }
    // Hold a window of our own for the whole run: Wine starts its desktop
    // process for the first window of a session and ends it with the last.
    HWND keeper = ::CreateWindowExW(0, L"STATIC", L"shutdown_bench", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    nullptr, nullptr);
    const std::wstring client = argv[1], minimal = argv[2];
    const unsigned hub = static_cast<unsigned>(_wtoi(argv[3]));
    const int runs = argc > 4 ? std::max(1, _wtoi(argv[4])) : 3;

    std::vector<double> floor;
    for (int i = 0; i < runs; ++i) floor.push_back(Minimal(minimal));
    const double m = Median(floor);
    std::printf("close to end of process, median of %d:\n", runs);
    Print("minimal + tray", floor, m);
    const struct {
        const char* name;
        Service service;
    } cases[] = {{"service up", Service::kUp},
                 {"service down", Service::kDown},
                 {"never answering", Service::kSilent},
                 {"dripping", Service::kDrip}};
    for (const auto& c : cases) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) times.push_back(Client(client, hub, c.service));
        Print(c.name, times, m);
    }
    ::DestroyWindow(keeper);
    return 0;
}
