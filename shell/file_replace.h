// Files that must never be seen half written: the new content goes to a
// temporary file beside the target, is flushed, and replaces the target in
// one step. A file that already holds the content is left alone.
#pragma once

#include <string>

namespace shell {

// True when the file exists and holds exactly these bytes (files larger
// than `limit` are never compared and read as different).
bool FileHolds(const std::wstring& path, const std::string& bytes, size_t limit = 1u << 20);

// Makes the file hold the bytes; true when it does afterwards. Nothing is
// written when it already does. On failure the target keeps what it had.
bool ReplaceFileContent(const std::wstring& path, const std::string& bytes);

}  // namespace shell
