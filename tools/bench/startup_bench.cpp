// Start-up and memory of a program against the minimal window program, in
// one run: the time from process creation until its user-interface thread
// first waits for input (its first window painted), the median of N starts;
// then, optionally, the private bytes of a program left running.
//   startup_bench <program> <minimal program> [runs] [settle-seconds]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

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
    DWORD wait = ::WaitForInputIdle(pi.hProcess, 30000);
    ::QueryPerformanceCounter(&b);
    double ms = wait == 0 ? 1000.0 * (b.QuadPart - a.QuadPart) / f.QuadPart : -1;
    if (keep) {
        *keep = pi;
    } else {
        ::TerminateProcess(pi.hProcess, 0);
        ::WaitForSingleObject(pi.hProcess, 5000);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        ::Sleep(300);
    }
    return ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: startup_bench <program> <minimal program> [runs] [settle-seconds]\n");
        return 2;
    }
    const int runs = argc > 3 ? _wtoi(argv[3]) : 9;
    const int settle = argc > 4 ? _wtoi(argv[4]) : 0;
    std::vector<double> client, minimal;
    for (int i = 0; i < runs; ++i) {
        minimal.push_back(TimeToIdle(argv[2]));
        client.push_back(TimeToIdle(argv[1]));
    }
    const double c = Median(client), m = Median(minimal);
    std::printf("start to first paint: client %.1f ms, minimal %.1f ms, ratio %.2f (median of %d)\n", c, m, c / m,
                runs);
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
    return 0;
}
