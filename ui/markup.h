// The layout files' XML reader: elements and attributes only (text between
// tags carries nothing in a layout). Input is UTF-8; names and values come
// out as UTF-16 with the five predefined entities and character references
// resolved.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ui {

struct MarkupNode {
    std::wstring name;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    std::vector<MarkupNode> children;

    const std::wstring* Attribute(std::wstring_view key) const;
};

class MarkupReader {
public:
    // Parses a whole document; false (with Error()) on malformed input.
    bool Parse(std::string_view utf8);
    const MarkupNode& Root() const { return root_; }
    const std::string& Error() const { return error_; }

private:
    bool ParseElement(MarkupNode* node, int depth);
    bool SkipMisc();
    bool ReadName(std::wstring* out);
    bool ReadAttributeValue(std::wstring* out);
    void SkipSpace();
    bool Fail(const char* what);

    std::string_view text_;
    size_t pos_ = 0;
    MarkupNode root_;
    std::string error_;
};

std::wstring Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::wstring_view text);

}  // namespace ui
