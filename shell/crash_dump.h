// Crash dumps: when the client dies of an exception nobody handled, a small
// minidump (threads' stacks, the module list and the exception; no heap)
// is left in the "crash" folder of the data folder for a developer to read
// against the debug file kept beside the release. Nothing is shown or sent;
// only the newest few dumps are kept.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace shell {

constexpr size_t kKeptCrashDumps = 5;

// Takes the process's unhandled exceptions (and C++ terminations) from now
// on; the dumps go into `folder`, created when the first one is written.
void InstallCrashDumps(const std::wstring& folder);

// Writes "zudedo-<date>-<time>-<pid>.dmp" into `folder` (`exception` may be
// null), then keeps the newest kKeptCrashDumps dumps there. Allocates
// nothing, as the heap may be what broke. False when no dump was written.
bool WriteCrashDump(const wchar_t* folder, EXCEPTION_POINTERS* exception) noexcept;

// Deletes the oldest "*.dmp" files of `folder` (by time written) until at
// most `keep` are left.
void KeepNewestDumps(const wchar_t* folder, size_t keep) noexcept;

}  // namespace shell
