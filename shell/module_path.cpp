#include "shell/module_path.h"

#include <vector>

namespace shell {

std::wstring ModulePath(HMODULE module) {
    // Long paths exceed MAX_PATH: grow until the name fits, up to the
    // longest path the system takes.
    constexpr size_t kLongestPath = 32768;
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(module, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return std::wstring(buf.data(), n);
        if (buf.size() >= kLongestPath) return {};
        buf.resize(buf.size() * 2);
    }
}

}  // namespace shell
