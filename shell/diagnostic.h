// Diagnostic lines for a developer: written to the debugger's output, never
// shown to the user. One way for every folder.
#pragma once

#include <windows.h>

#include <string>

namespace shell {

// Writes one line (the line break is added). Allocates nothing, so it is
// safe in a handler of any exception.
void Diagnostic(const wchar_t* line) noexcept;
void Diagnostic(const std::wstring& line) noexcept;
// "<what> failed (<error>): <system's text for the error>".
void DiagnosticError(const wchar_t* what, DWORD error);
// The system's text for an error code, without the closing line break;
// empty when the system has none.
std::wstring SystemErrorText(DWORD error);

}  // namespace shell
