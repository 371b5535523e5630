#include "shell/crash_dump.h"

#include <dbghelp.h>

#include <exception>

#include "shell/unique_handle.h"

namespace shell {

namespace {

constexpr size_t kPathChars = 1024;
// Copied at installation: the filter must not build strings on a broken heap.
wchar_t g_folder[kPathChars] = {};

// Appends `text` to `out` (capacity kPathChars); false when it does not fit.
bool Append(wchar_t* out, size_t& used, const wchar_t* text) noexcept {
    for (; *text; ++text) {
        if (used + 1 >= kPathChars) return false;
        out[used++] = *text;
    }
    out[used] = L'\0';
    return true;
}

bool AppendNumber(wchar_t* out, size_t& used, unsigned long value, int digits) noexcept {
    wchar_t text[16] = {};
    int n = 0;
    do {
        text[n++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while ((value != 0 || n < digits) && n < 15);
    wchar_t reversed[16] = {};
    for (int i = 0; i < n; ++i) reversed[i] = text[n - 1 - i];
    return Append(out, used, reversed);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
    WriteCrashDump(g_folder, exception);
    // Ends the process without the system's error report.
    return EXCEPTION_EXECUTE_HANDLER;
}

[[noreturn]] void OnTerminate() {
    WriteCrashDump(g_folder, nullptr);
    ::TerminateProcess(::GetCurrentProcess(), 3);
    ::ExitProcess(3);  // not reached
}

}  // namespace

void InstallCrashDumps(const std::wstring& folder) {
    if (folder.empty() || folder.size() + 64 >= kPathChars) return;
    size_t used = 0;
    Append(g_folder, used, folder.c_str());
    ::SetUnhandledExceptionFilter(OnUnhandledException);
    std::set_terminate(OnTerminate);
}

bool WriteCrashDump(const wchar_t* folder, EXCEPTION_POINTERS* exception) noexcept {
    if (folder == nullptr || *folder == L'\0') return false;
    ::CreateDirectoryW(folder, nullptr);
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    wchar_t path[kPathChars] = {};
    size_t used = 0;
    const bool named = Append(path, used, folder) && Append(path, used, L"\\zudedo-") &&
                       AppendNumber(path, used, now.wYear, 4) && AppendNumber(path, used, now.wMonth, 2) &&
                       AppendNumber(path, used, now.wDay, 2) && Append(path, used, L"-") &&
                       AppendNumber(path, used, now.wHour, 2) && AppendNumber(path, used, now.wMinute, 2) &&
                       AppendNumber(path, used, now.wSecond, 2) && Append(path, used, L"-") &&
                       AppendNumber(path, used, ::GetCurrentProcessId(), 1) && Append(path, used, L".dmp");
    if (!named) return false;

    bool written = false;
    {
        UniqueFile file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        // Loaded only now, so that no run but a crashing one pays for the library.
        HMODULE dbghelp = ::LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        using WriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
        auto writeDump = dbghelp ? reinterpret_cast<WriteDumpFn>(
                                       reinterpret_cast<void*>(::GetProcAddress(dbghelp, "MiniDumpWriteDump")))
                                 : nullptr;
        MINIDUMP_EXCEPTION_INFORMATION info = {};
        info.ThreadId = ::GetCurrentThreadId();
        info.ExceptionPointers = exception;
        info.ClientPointers = FALSE;
        // Stacks, modules and the exception only: no heap, no user's data.
        written = writeDump && writeDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file.get(), MiniDumpNormal,
                                         exception ? &info : nullptr, nullptr, nullptr) != FALSE;
        // Left loaded: the process is ending, or may crash again.
    }
    if (!written) ::DeleteFileW(path);
    KeepNewestDumps(folder, kKeptCrashDumps);
    return written;
}

void KeepNewestDumps(const wchar_t* folder, size_t keep) noexcept {
    wchar_t pattern[kPathChars] = {};
    size_t used = 0;
    if (folder == nullptr || !Append(pattern, used, folder) || !Append(pattern, used, L"\\*.dmp")) return;
    // A handful of files: one pass per deletion needs no list.
    for (;;) {
        WIN32_FIND_DATAW found = {};
        HANDLE search = ::FindFirstFileW(pattern, &found);
        if (search == INVALID_HANDLE_VALUE) return;
        size_t count = 0;
        WIN32_FIND_DATAW oldest = {};
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            if (count == 0 || ::CompareFileTime(&found.ftLastWriteTime, &oldest.ftLastWriteTime) < 0) oldest = found;
            ++count;
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
        if (count <= keep) return;
        wchar_t victim[kPathChars] = {};
        size_t n = 0;
        if (!Append(victim, n, folder) || !Append(victim, n, L"\\") || !Append(victim, n, oldest.cFileName) ||
            !::DeleteFileW(victim)) {
            return;
        }
    }
}

}  // namespace shell
