// Start-up and memory of a program against the minimal window program, in
// one run: the time from process creation until a visible top-level window
// of the process has nothing left to paint (its first paint done), the
// median and spread of N starts each, interleaved; then, optionally, the
// private bytes of a program left running.
//   startup_bench <program> <minimal program> [runs] [settle-seconds]
// Or, before the runs, the client's profile for the demo account, signing
// in by itself at start or not (the data folder is rewritten):
//   startup_bench --profile <auto-login 0|1>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "shell/app_settings.h"
#include "shell/saved_password.h"

namespace {

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindPainted(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !::IsWindowVisible(hwnd)) return TRUE;
    DWORD_PTR ignored = 0;
    // The window's thread answered and left no invalid area: painted.
    if (::SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored) &&
        !::GetUpdateRect(hwnd, nullptr, FALSE)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds to input-idle, or -1; the process is closed afterwards
// unless `keep` receives it.
double TimeToIdle(const std::wstring& program, PROCESS_INFORMATION* keep = nullptr) {
    std::wstring line = L"\"" + program + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    LARGE_INTEGER f, a, b;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&a);
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    Search search{pi.dwProcessId, nullptr};
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    while (search.found == nullptr && ::GetTickCount64() < deadline) {
        ::EnumWindows(&FindPainted, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) ::Sleep(2);
    }
    ::QueryPerformanceCounter(&b);
    double ms = search.found ? 1000.0 * (b.QuadPart - a.QuadPart) / f.QuadPart : -1;
    if (keep) {
        *keep = pi;
    } else {
        ::TerminateProcess(pi.hProcess, 0);
        ::WaitForSingleObject(pi.hProcess, 5000);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        // Let Wine tidy up after the killed process (its tray icon among it)
        // so that the next start is not charged for it.
        ::Sleep(2500);
    }
    return ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

// "median ms (min-max)"; a start that never painted spoils the figure.
void PrintRuns(const char* name, const std::vector<double>& runs) {
    const auto [lo, hi] = std::minmax_element(runs.begin(), runs.end());
    if (*lo < 0) {
        std::printf("  %-8s a start did not paint within 30 s\n", name);
        return;
    }
    std::printf("  %-8s %7.1f ms  (%.1f-%.1f)   runs:", name, Median(runs), *lo, *hi);
    for (double r : runs) std::printf(" %.0f", r);
    std::printf("\n");
}

int PrepareProfile(bool autoLogin) {
    AppSettings& s = Settings();
    s.Load();
    if (s.configPath.empty()) return 1;
    s.WriteInt(L"Main", L"AutoLogin", autoLogin ? 1 : 0);
    s.WriteInt(L"Main", L"KeepPSW", 1);
    s.WriteInt(L"Main", L"ExitBtnDoHide", 0);
    s.WriteString(L"Main", L"UserName", L"demo");
    SavePassword(s, L"demo123");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--profile") return PrepareProfile(_wtoi(argv[2]) != 0);
    if (argc < 3) {
        std::printf("usage: startup_bench <program> <minimal program> [runs] [settle-seconds]\n"
                    "       startup_bench --profile <auto-login 0|1>\n");
        return 2;
    }
    // Hold a window of our own for the whole run: Wine starts its desktop
    // process for the first window of a session and ends it with the last,
    // and neither program should be charged for that.
    HWND keeper = ::CreateWindowExW(0, L"STATIC", L"startup_bench", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    nullptr, nullptr);
    const int runs = argc > 3 ? _wtoi(argv[3]) : 9;
    const int settle = argc > 4 ? _wtoi(argv[4]) : 0;
    std::vector<double> client, minimal;
    for (int i = 0; i < runs; ++i) {
        minimal.push_back(TimeToIdle(argv[2]));
        client.push_back(TimeToIdle(argv[1]));
    }
    const double c = Median(client), m = Median(minimal);
    std::printf("start to first paint, median (min-max) of %d starts each, interleaved:\n", runs);
    PrintRuns("minimal", minimal);
    PrintRuns("client", client);
    std::printf("  ratio    %.2f\n", c / m);
    if (settle > 0) {
        PROCESS_INFORMATION pi = {};
        if (TimeToIdle(argv[1], &pi) >= 0) {
            ::Sleep(static_cast<DWORD>(settle) * 1000);
            PROCESS_MEMORY_COUNTERS_EX pmc = {};
            pmc.cb = sizeof(pmc);
            ::GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc));
            std::printf("after %d s: private bytes %.1f MB, working set %.1f MB\n", settle,
                        pmc.PrivateUsage / 1048576.0, pmc.WorkingSetSize / 1048576.0);
            ::TerminateProcess(pi.hProcess, 0);
            ::CloseHandle(pi.hThread);
            ::CloseHandle(pi.hProcess);
        }
    }
    ::DestroyWindow(keeper);
    return 0;
}
