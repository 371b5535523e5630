#include "shell/module_path.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "shell/diagnostic.h"

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(ModulePath, TheExecutableOrAnyLoadedModule) {
    const std::wstring exe = shell::ModulePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(EndsWith(Lower(exe), L"\\shell_tests.exe")) << exe;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(exe.c_str()));
    EXPECT_EQ(exe, shell::ModulePath(::GetModuleHandleW(nullptr)));

    const std::wstring kernel = shell::ModulePath(::GetModuleHandleW(L"kernel32.dll"));
    EXPECT_TRUE(EndsWith(Lower(kernel), L"\\kernel32.dll")) << kernel;
}

TEST(ModulePath, NotAModuleGivesNothing) {
    int local = 0;
    EXPECT_EQ(L"", shell::ModulePath(reinterpret_cast<HMODULE>(&local)));
}

TEST(Diagnostic, SystemTextWithoutTheLineBreak) {
    const std::wstring text = shell::SystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(L'\n', text.back());
    EXPECT_NE(L'\r', text.back());
    EXPECT_EQ(L"", shell::SystemErrorText(0x2FFFFFFF));  // no such code
    // Written to the debugger only: no console, no failure without one.
    shell::DiagnosticError(L"CreateFile", ERROR_FILE_NOT_FOUND);
}

}  // namespace
