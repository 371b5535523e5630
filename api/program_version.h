// The running executable's file version, as "a.b.c.d" and as two halves.
#pragma once

#include <cstdint>
#include <string>

struct VersionInfo {
    uint32_t ms = 0;  // a << 16 | b
    uint32_t ls = 0;  // c << 16 | d
    std::wstring text;

    // "a.b.c.d" split at "." into at most four decimal fields (missing = 0).
    // The update files count consecutive dots as one.
    static VersionInfo Parse(const std::wstring& text, bool collapseDots = false);
    // The file version of the executable at that path (empty when it has none).
    static VersionInfo FromFile(const std::wstring& path);

    uint64_t Number() const { return uint64_t(ms) << 32 | ls; }
    bool operator<(const VersionInfo& other) const { return Number() < other.Number(); }
    bool operator==(const VersionInfo& other) const { return Number() == other.Number(); }
};

// The process-wide record, read once from the running module.
const VersionInfo& ProgramVersion();
