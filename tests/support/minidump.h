// Reads a minidump file back through the system's reader: which streams it
// has, the exception it records and the names of the modules it lists.
#pragma once

#include <windows.h>

#include <dbghelp.h>

#include <cwctype>
#include <string>
#include <vector>

#include "shell/unique_handle.h"

namespace testing_support {

struct MinidumpSummary {
    bool opened = false;        // the system's reader found a dump header and a module list
    bool hasException = false;
    DWORD exceptionCode = 0;
    std::vector<std::wstring> modules;  // file names, lower case, without folders
    ULONGLONG bytes = 0;
};

inline MinidumpSummary ReadMinidump(const std::wstring& path) {
    MinidumpSummary out;
    shell::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                         nullptr));
    if (!file) return out;
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(file.get(), &size);
    out.bytes = static_cast<ULONGLONG>(size.QuadPart);
    shell::UniqueHandleKernel mapping(
        ::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return out;
    void* base = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
    if (base == nullptr) return out;
    if (static_cast<const MINIDUMP_HEADER*>(base)->Signature != 0x504D444Du) {  // "MDMP"
        ::UnmapViewOfFile(base);
        return out;
    }

    void* stream = nullptr;
    ULONG streamSize = 0;
    MINIDUMP_DIRECTORY* dir = nullptr;
    if (::MiniDumpReadDumpStream(base, ModuleListStream, &dir, &stream, &streamSize) && stream &&
        streamSize >= sizeof(ULONG32)) {
        out.opened = true;
        auto* list = static_cast<const MINIDUMP_MODULE_LIST*>(stream);
        for (ULONG32 i = 0; i < list->NumberOfModules; ++i) {
            const RVA nameAt = list->Modules[i].ModuleNameRva;
            if (nameAt + sizeof(ULONG32) > out.bytes) continue;
            auto* name = reinterpret_cast<const MINIDUMP_STRING*>(static_cast<const char*>(base) + nameAt);
            std::wstring text(name->Buffer, name->Length / sizeof(WCHAR));
            text = text.substr(text.find_last_of(L"\\/") == std::wstring::npos ? 0 : text.find_last_of(L"\\/") + 1);
            for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
            out.modules.push_back(text);
        }
    }
    if (::MiniDumpReadDumpStream(base, ExceptionStream, &dir, &stream, &streamSize) && stream) {
        out.hasException = true;
        out.exceptionCode = static_cast<const MINIDUMP_EXCEPTION_STREAM*>(stream)->ExceptionRecord.ExceptionCode;
    }
    ::UnmapViewOfFile(base);
    return out;
}

}  // namespace testing_support
