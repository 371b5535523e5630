// The full path of a module of this process, the executable's by default.
#pragma once

#include <windows.h>

#include <string>

namespace shell {

// Empty when the system cannot tell, or the path is longer than any path
// Windows allows.
std::wstring ModulePath(HMODULE module = nullptr);

}  // namespace shell
