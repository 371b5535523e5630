#include "api/pc_code.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <vector>

#include "shell/diagnostic.h"
#include "shell/system_api.h"
#include "shell/text.h"

std::wstring GetPcCode() {
    static std::wstring cached;
    if (!cached.empty()) return cached;

    ULONG size = 16 * sizeof(IP_ADAPTER_INFO);
    std::vector<unsigned char> buffer(size);
    DWORD err = shell::AdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
    if (err == ERROR_BUFFER_OVERFLOW && size <= 1024 * 1024) {
        buffer.resize(size);
        err = shell::AdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
    }
    if (err != ERROR_SUCCESS) {
        shell::DiagnosticError(L"GetAdaptersInfo", err);
        return {};
    }
    const auto* first = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
    std::wstring code;
    for (int i = 0; i < 6; ++i) code += shell::FormatW(L"%02X", static_cast<unsigned>(first->Address[i]));
    cached = code;
    return cached;
}
