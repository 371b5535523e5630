#include "shell/system_api.h"

namespace shell {
namespace {

// Loads once and keeps the library for the life of the process.
FARPROC Lookup(const wchar_t* library, const char* function) {
    HMODULE module = ::LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) module = ::LoadLibraryW(library);
    return module ? ::GetProcAddress(module, function) : nullptr;
}

template <typename Fn>
Fn Resolve(const wchar_t* library, const char* function) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(Lookup(library, function)));
}

}  // namespace

bool SystemUserAgent(std::string& agent) {
    using Fn = HRESULT(WINAPI*)(DWORD, LPSTR, DWORD*);
    static const Fn fn = Resolve<Fn>(L"urlmon.dll", "ObtainUserAgentString");
    if (fn == nullptr) return false;
    char buffer[1024] = {};
    DWORD size = sizeof(buffer);
    if (FAILED(fn(0, buffer, &size))) return false;
    buffer[sizeof(buffer) - 1] = '\0';
    agent = buffer;
    return true;
}

bool PlaySoundResource(int resource, HMODULE module, DWORD flags) {
    using Fn = BOOL(WINAPI*)(LPCWSTR, HMODULE, DWORD);
    static const Fn fn = Resolve<Fn>(L"winmm.dll", "PlaySoundW");
    return fn != nullptr && fn(MAKEINTRESOURCEW(resource), module, flags) != FALSE;
}

DWORD AdaptersInfo(IP_ADAPTER_INFO* info, ULONG* size) {
    using Fn = DWORD(WINAPI*)(IP_ADAPTER_INFO*, ULONG*);
    static const Fn fn = Resolve<Fn>(L"iphlpapi.dll", "GetAdaptersInfo");
    return fn ? fn(info, size) : ERROR_NOT_SUPPORTED;
}

}  // namespace shell
