#include "api/program_version.h"

#include <windows.h>

#include <vector>

#include "shell/diagnostic.h"
#include "shell/module_path.h"
#include "shell/text.h"

VersionInfo VersionInfo::Parse(const std::wstring& text, bool collapseDots) {
    uint32_t fields[4] = {};
    size_t start = 0;
    for (int i = 0; i < 4 && start <= text.size(); ++i) {
        if (collapseDots) {
            while (start < text.size() && text[start] == L'.') ++start;
        }
        size_t dot = text.find(L'.', start);
        std::wstring field = text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
        int64_t value = shell::ReadDecimal64(shell::WideToAnsi(field));
        fields[i] = static_cast<uint32_t>(value) & 0xFFFF;
        if (dot == std::wstring::npos) break;
        start = dot + 1;
    }
    VersionInfo v;
    v.ms = fields[0] << 16 | fields[1];
    v.ls = fields[2] << 16 | fields[3];
    v.text = shell::FormatW(L"%u.%u.%u.%u", fields[0], fields[1], fields[2], fields[3]);
    return v;
}

VersionInfo VersionInfo::FromFile(const std::wstring& path) {
    VersionInfo v;
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        shell::DiagnosticError(L"GetFileVersionInfoSize", ::GetLastError());
        return v;
    }
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) {
        shell::DiagnosticError(L"GetFileVersionInfo", ::GetLastError());
        return v;
    }
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        shell::DiagnosticError(L"VerQueryValue", ::GetLastError());
        return v;
    }
    v.ms = info->dwFileVersionMS;
    v.ls = info->dwFileVersionLS;
    v.text = shell::FormatW(L"%d.%d.%d.%d", HIWORD(v.ms), LOWORD(v.ms), HIWORD(v.ls), LOWORD(v.ls));
    return v;
}

const VersionInfo& ProgramVersion() {
    static const VersionInfo version = [] {
        const std::wstring path = shell::ModulePath();
        return path.empty() ? VersionInfo() : VersionInfo::FromFile(path);
    }();
    return version;
}
