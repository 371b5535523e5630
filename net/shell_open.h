// Opens a web address with the system shell, or in the default browser.
#pragma once

#include <windows.h>

#include <string>

// An http or https address naming a host, with nothing (blanks, quotes,
// control characters) that would end it on a command line and start
// arguments of its own: the only kind of address from the network that is
// handed to the user's browser, never a file or a program.
bool IsWebAddress(const std::wstring& address);

// Returns the shell's result (greater than 32 on success).
HINSTANCE ShellOpenUrl(const std::wstring& address, bool useDefaultBrowser);

// The program part of the default browser's command line.
std::wstring BrowserProgramFromCommand(const std::wstring& command);

// The shell call, replaceable so tests capture what would be opened.
using ShellExecuteFn = HINSTANCE (*)(const std::wstring& file, const std::wstring& parameters);
void SetShellExecute(ShellExecuteFn fn);  // null restores the real one
