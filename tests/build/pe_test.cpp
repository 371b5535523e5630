// The shipped executable is hardened and self-contained.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "shell/resource_ids.h"
#include "shell/unique_handle.h"
#include "tests/support/paths.h"

namespace {

struct PeImage {
    std::vector<char> bytes;
    const IMAGE_NT_HEADERS64* nt = nullptr;

    explicit PeImage(const std::wstring& path) {
        std::string content = testing_support::ReadFileBytes(path);
        bytes.assign(content.begin(), content.end());
        if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) return;
        auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 ||
            static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > bytes.size()) {
            return;
        }
        nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
    }

    std::vector<const IMAGE_SECTION_HEADER*> Sections() const {
        std::vector<const IMAGE_SECTION_HEADER*> out;
        auto* first = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) out.push_back(first + i);
        return out;
    }

    // File offset of a relative virtual address, or 0.
    size_t Offset(DWORD rva) const {
        for (auto* s : Sections()) {
            if (rva >= s->VirtualAddress && rva < s->VirtualAddress + std::max(s->Misc.VirtualSize, s->SizeOfRawData)) {
                return rva - s->VirtualAddress + s->PointerToRawData;
            }
        }
        return 0;
    }

    std::vector<std::string> ImportedDlls() const {
        std::vector<std::string> names;
        const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        size_t at = Offset(dir.VirtualAddress);
        for (; at && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= bytes.size(); at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(bytes.data() + at);
            if (d->Name == 0) break;
            size_t name = Offset(d->Name);
            std::string text(bytes.data() + name);
            std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
            names.push_back(text);
        }
        return names;
    }
};

TEST(Executable, HardenedAndSelfContained) {
    PeImage pe(testing_support::BinaryPath("app/zudedo.exe"));
    ASSERT_NE(nullptr, pe.nt);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR64_MAGIC, pe.nt->OptionalHeader.Magic);
    const WORD flags = pe.nt->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_FALSE(pe.nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    bool reloc = false;
    for (auto* s : pe.Sections()) reloc |= std::string(reinterpret_cast<const char*>(s->Name), 6) == ".reloc";
    EXPECT_TRUE(reloc);
    EXPECT_GT(pe.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size, 0u);
    // Sections lie on page boundaries in the file, so that they can be
    // mapped from it rather than copied.
    EXPECT_EQ(pe.nt->OptionalHeader.SectionAlignment, pe.nt->OptionalHeader.FileAlignment);
    for (auto* s : pe.Sections()) EXPECT_EQ(0u, s->PointerToRawData % 0x1000);

    // Only Windows' own libraries: the C and C++ runtimes are linked in.
    auto dlls = pe.ImportedDlls();
    ASSERT_FALSE(dlls.empty());
    for (const auto& dll : dlls) {
        EXPECT_EQ(std::string::npos, dll.find("libstdc++")) << dll;
        EXPECT_EQ(std::string::npos, dll.find("libgcc")) << dll;
        EXPECT_EQ(std::string::npos, dll.find("winpthread")) << dll;
        EXPECT_EQ(std::string::npos, dll.find("zlib")) << dll;
        EXPECT_EQ(std::string::npos, dll.find("jsoncpp")) << dll;
    }
}

TEST(Executable, CarriesTheProjectVersion) {
    std::wstring path = testing_support::BinaryPath("app/zudedo.exe");
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &len));
    char text[64];
    snprintf(text, sizeof(text), "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
             HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    EXPECT_STREQ(ZUDEDO_PROJECT_VERSION, text);
}

// What Explorer's details page and the installed-programs list show: the
// product's Chinese name read back intact (not through a Western code
// page), the maker and a copyright, and the one version in both places.
TEST(Executable, NamesTheProductInItsVersionTexts) {
    std::wstring path = testing_support::BinaryPath("app/zudedo.exe");
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
    auto text = [&](const wchar_t* name) {
        std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
        wchar_t* value = nullptr;
        UINT len = 0;
        if (!::VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &len) || !value) {
            return std::wstring();
        }
        return std::wstring(value);
    };
    EXPECT_EQ(L"\u4e91\u5e06\u5546\u52a1\u53f0", text(L"ProductName"));  // 云帆商务台
    EXPECT_EQ(L"\u4e91\u5e06\u5546\u52a1\u53f0", text(L"FileDescription"));
    EXPECT_EQ(L"TAVO", text(L"CompanyName"));
    const std::wstring copyright = text(L"LegalCopyright");
    EXPECT_NE(std::wstring::npos, copyright.find(L"\u00a9 ")) << "no copyright sign";
    EXPECT_NE(std::wstring::npos, copyright.find(L"TAVO"));
    std::wstring version;
    for (const char* p = ZUDEDO_PROJECT_VERSION; *p; ++p) version.push_back(static_cast<wchar_t>(*p));
    EXPECT_EQ(version, text(L"FileVersion"));
    EXPECT_EQ(version, text(L"ProductVersion"));
}

TEST(Executable, ManifestCarriesTheProjectVersion) {
    shell::UniqueModule exe(::LoadLibraryExW(testing_support::BinaryPath("app/zudedo.exe").c_str(), nullptr,
                                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(exe);
    HRSRC found = ::FindResourceW(exe.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(nullptr, found);
    HGLOBAL loaded = ::LoadResource(exe.get(), found);
    ASSERT_NE(nullptr, loaded);
    std::string manifest(static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(exe.get(), found));
    const size_t identity = manifest.find("<assemblyIdentity");
    ASSERT_NE(std::string::npos, identity);
    const std::string first = manifest.substr(identity, manifest.find('>', identity) - identity);
    EXPECT_NE(std::string::npos, first.find(std::string("version=\"") + ZUDEDO_PROJECT_VERSION + "\""))
        << first;
}

TEST(Executable, CarriesItsResourcesUnderTheSharedIds) {
    shell::UniqueModule exe(::LoadLibraryExW(testing_support::BinaryPath("app/zudedo.exe").c_str(), nullptr,
                                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(exe);
    const struct {
        int id;
        const wchar_t* type;
    } expected[] = {
        {IDI_APP, RT_GROUP_ICON},        {IDI_TRAY_SIGNED_OUT, RT_GROUP_ICON}, {IDI_TRAY_SIGNED_IN, RT_GROUP_ICON},
        {IDR_SKIN_ARCHIVE, L"ZIPRES"},   {IDR_OFFLINE_HTML, RT_HTML},          {IDR_OFFLINE_PNG, L"PNG"},
        {IDR_NOTIFY_SOUND, L"WAVE"},
    };
    for (const auto& r : expected) {
        HRSRC found = ::FindResourceW(exe.get(), MAKEINTRESOURCEW(r.id), r.type);
        ASSERT_NE(nullptr, found) << r.id;
        EXPECT_GT(::SizeofResource(exe.get(), found), 16u) << r.id;
    }
}

}  // namespace
