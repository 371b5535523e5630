#include "shell/diagnostic.h"

namespace shell {

void Diagnostic(const wchar_t* line) noexcept {
    ::OutputDebugStringW(line);
    ::OutputDebugStringW(L"\n");
}

void Diagnostic(const std::wstring& line) noexcept { Diagnostic(line.c_str()); }

void DiagnosticError(const wchar_t* what, DWORD error) {
    Diagnostic(std::wstring(what) + L" failed (" + std::to_wstring(error) + L"): " + SystemErrorText(error));
}

std::wstring SystemErrorText(DWORD error) {
    wchar_t text[512] = {};
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                               static_cast<DWORD>(sizeof(text) / sizeof(text[0])), nullptr);
    std::wstring out(text, n);
    while (!out.empty() && (out.back() == L'\r' || out.back() == L'\n' || out.back() == L' ')) out.pop_back();
    return out;
}

}  // namespace shell
