#include "ui/skin_store.h"

#include <memory>

#include "shell/module_path.h"
#include "shell/resource_ids.h"
#include "shell/unique_handle.h"
#include "ui/markup.h"
#include "ui/zip_reader.h"

namespace ui {
namespace {

// A skin archive file of any reasonable size; its entries are bounded again.
constexpr DWORD kMaxArchiveFile = 64u * 1024u * 1024u;

struct Store {
    HINSTANCE instance = nullptr;
    std::wstring resourcePath;
    std::wstring zipName;
    std::string fileArchive;  // bytes of an archive read from a file
    bool cached = false;
    ZipReader zip;
    bool zipSet = false;
    std::string_view packed;  // the resource, see LoadPackedSkin
};

Store& S() {
    static Store store;
    return store;
}

bool IsAbsolute(const std::wstring& name) {
    return (name.size() > 2 && name[1] == L':') || (name.size() > 1 && name[0] == L'\\' && name[1] == L'\\');
}

bool ReadDiskFile(const std::wstring& path, DWORD limit, std::string* bytes, std::wstring* error) {
    shell::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        *error = L"Error opening file";
        return false;
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size)) {
        *error = L"Could not read file";
        return false;
    }
    if (size.QuadPart == 0) {
        *error = L"File is empty";
        return false;
    }
    if (size.QuadPart > limit) {
        *error = L"File too large";
        return false;
    }
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!::ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &got, nullptr) ||
        got != bytes->size()) {
        bytes->clear();
        *error = L"Could not read file";
        return false;
    }
    return true;
}

}  // namespace

void SkinStore::SetInstance(HINSTANCE instance) { S().instance = instance; }

HINSTANCE SkinStore::GetInstance() { return S().instance ? S().instance : ::GetModuleHandleW(nullptr); }

std::wstring SkinStore::GetInstancePath() {
    std::wstring out = shell::ModulePath(GetInstance());
    size_t slash = out.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : out.substr(0, slash + 1);
}

void SkinStore::SetResourcePath(const std::wstring& path) {
    std::wstring p = path;
    if (!p.empty() && p.back() != L'\\' && p.back() != L'/') p.push_back(L'\\');
    S().resourcePath = p;
}

const std::wstring& SkinStore::GetResourcePath() { return S().resourcePath; }

void SkinStore::SetResourceZip(const std::wstring& fileName) {
    Store& s = S();
    s.zip.Close();
    s.zipSet = true;  // a set but unreadable archive still takes the place of loose files
    s.zipName = fileName;
    s.cached = false;
    std::wstring error;
    if (ReadDiskFile(s.resourcePath + fileName, kMaxArchiveFile, &s.fileArchive, &error)) {
        s.zip.Open(reinterpret_cast<const uint8_t*>(s.fileArchive.data()), s.fileArchive.size());
    }
}

void SkinStore::SetResourceZip(const void* data, size_t size) {
    Store& s = S();
    s.zip.Close();
    s.fileArchive.clear();
    s.zipSet = true;
    s.zipName = L"membuffer";
    s.cached = true;
    s.zip.Open(static_cast<const uint8_t*>(data), size);
}

const std::wstring& SkinStore::GetResourceZip() { return S().zipName; }
bool SkinStore::IsCachedResourceZip() { return S().cached; }
bool SkinStore::HasArchive() { return S().zipSet; }

std::vector<std::wstring> SkinStore::ArchiveEntries() {
    std::vector<std::wstring> names;
    const ZipReader& zip = S().zip;
    for (size_t i = 0; i < zip.EntryCount(); ++i) names.push_back(Utf8ToUtf16(zip.EntryName(i)));
    return names;
}

void SkinStore::ResetArchive() {
    Store& s = S();
    s.zip.Close();
    s.fileArchive.clear();
    s.zipSet = false;
    s.cached = false;
    s.zipName.clear();
}

bool SkinStore::ReadFile(const std::wstring& name, std::string* bytes, std::wstring* error) {
    bytes->clear();
    Store& s = S();
    if (name.empty()) {
        *error = L"Error opening file";
        return false;
    }
    if (IsAbsolute(name) || !s.zipSet) {
        return ReadDiskFile(IsAbsolute(name) ? name : s.resourcePath + name, kMaxSkinFileSize, bytes, error);
    }
    if (!s.zip.IsOpen()) {
        *error = L"Error opening zip file";
        return false;
    }
    std::string entry = Utf16ToUtf8(name);
    for (char& c : entry) {
        if (c == '\\') c = '/';
    }
    switch (s.zip.Extract(entry, bytes, kMaxSkinFileSize)) {
        case ZipReader::Result::Ok:
            break;
        case ZipReader::Result::NotFound:
            *error = L"Could not find ziped file";
            return false;
        case ZipReader::Result::TooLarge:
            *error = L"File too large";
            return false;
        case ZipReader::Result::Damaged:
            *error = L"Could not unzip file";
            return false;
    }
    if (bytes->empty()) {
        *error = L"File is empty";
        return false;
    }
    return true;
}

const std::string_view* SkinStore::LoadPackedSkin(HINSTANCE instance, std::wstring* error) {
    Store& s = S();
    if (!s.packed.empty()) return &s.packed;
    HRSRC res = ::FindResourceW(instance, MAKEINTRESOURCEW(IDR_SKIN_ARCHIVE), L"ZIPRES");
    HGLOBAL block = res ? ::LoadResource(instance, res) : nullptr;
    const void* data = block ? ::LockResource(block) : nullptr;
    DWORD size = res ? ::SizeofResource(instance, res) : 0;
    if (data == nullptr || size == 0) {
        *error = L"Error opening zip file";
        return nullptr;
    }
    s.packed = std::string_view(static_cast<const char*>(data), size);
    return &s.packed;
}

}  // namespace ui
