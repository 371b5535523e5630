#include "api/unescape.h"

#include <windows.h>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The code unit of "\uXXXX" at pos, or -1 when the escape is cut short or not hex.
int EscapeAt(const std::string& s, size_t pos) {
    if (pos + 6 > s.size() || s[pos] != '\\' || s[pos + 1] != 'u') return -1;
    int value = 0;
    for (size_t i = pos + 2; i < pos + 6; ++i) {
        int d = HexDigit(s[i]);
        if (d < 0) return -1;
        value = value << 4 | d;
    }
    return value;
}

}  // namespace

std::string UnescapeUnicode(const std::string& json) {
    if (json.find("\\u") == std::string::npos) return json;
    std::string out;
    out.reserve(json.size());
    size_t pos = 0;
    while (pos < json.size()) {
        size_t found = json.find("\\u", pos);
        if (found == std::string::npos) break;
        // An escaped backslash before "u" is not an escape of ours.
        size_t slashes = 0;
        for (size_t i = found; i > pos && json[i - 1] == '\\'; --i) ++slashes;
        out.append(json, pos, found - pos);
        int unit = slashes % 2 == 0 ? EscapeAt(json, found) : -1;
        // ASCII stays escaped: the parser decodes it, and a raw quote or
        // control character would break the document.
        if (unit < 0x80) {
            out.append(json, found, 2);
            pos = found + 2;
            continue;
        }
        wchar_t units[2] = {static_cast<wchar_t>(unit), 0};
        int count = 1;
        size_t used = 6;
        int low = unit >= 0xD800 && unit <= 0xDBFF ? EscapeAt(json, found + 6) : -1;
        if (low >= 0xDC00 && low <= 0xDFFF) {
            units[1] = static_cast<wchar_t>(low);
            count = 2;
            used = 12;
        }
        char bytes[16] = {};
        int n = ::WideCharToMultiByte(CP_ACP, 0, units, count, bytes, sizeof(bytes), nullptr, nullptr);
        for (int i = 0; i < n; ++i) {
            // A trail byte that reads as a quote or backslash would end or
            // escape the JSON string; escape it for the parser.
            if (bytes[i] == '"' || bytes[i] == '\\') out.push_back('\\');
            out.push_back(bytes[i]);
        }
        pos = found + used;
    }
    out.append(json, pos, std::string::npos);
    return out;
}
