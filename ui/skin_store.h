// Where skin files come from, process-wide: the module holding the packed
// archive, the folder relative names resolve against, and the archive itself
// (a file under that folder, or a memory block kept open for the process).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace ui {

// Files of the skin are refused above this size (and when empty).
constexpr size_t kMaxSkinFileSize = 4u * 1024u * 1024u;

class SkinStore {
public:
    static void SetInstance(HINSTANCE instance);
    static HINSTANCE GetInstance();
    static std::wstring GetInstancePath();  // with a trailing separator

    static void SetResourcePath(const std::wstring& path);
    static const std::wstring& GetResourcePath();

    // An archive file under the resource path, read once.
    static void SetResourceZip(const std::wstring& fileName);
    // A memory block that stays valid for the life of the process.
    static void SetResourceZip(const void* data, size_t size);
    static const std::wstring& GetResourceZip();  // "membuffer" for a block
    static bool IsCachedResourceZip();
    static bool HasArchive();
    // Names of the archive's entries (empty without an archive).
    static std::vector<std::wstring> ArchiveEntries();
    // Forgets the archive (tests start each case from a clean state).
    static void ResetArchive();

    // Reads a skin file: "<" text is not a file (callers handle that);
    // absolute paths are read from disk; other names from the archive when
    // one is set, else from the resource path. On refusal returns false and
    // sets `error` to the refusal's message.
    static bool ReadFile(const std::wstring& name, std::string* bytes, std::wstring* error);

    // The packed skin from resource "ZIPRES" IDR_SKIN_ARCHIVE of a module,
    // read in place: the module's image holds it for the life of the
    // process, mapped from the file rather than copied into private memory.
    // Null when missing or empty.
    static const std::string_view* LoadPackedSkin(HINSTANCE instance, std::wstring* error);
};

}  // namespace ui
