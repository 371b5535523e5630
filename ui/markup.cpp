#include "ui/markup.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace ui {
namespace {

// Layouts nest a few levels; a bound keeps hostile input off the stack.
constexpr int kMaxDepth = 200;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

void AppendCodePoint(std::wstring* out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        out->push_back(0xFFFD);
    } else if (cp >= 0x10000) {
        cp -= 0x10000;
        out->push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        out->push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out->push_back(static_cast<wchar_t>(cp));
    }
}

}  // namespace

std::wstring Utf8ToUtf16(std::string_view text) {
    if (text.empty() || text.size() > 0x7FFFFFFF) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string Utf16ToUtf8(std::wstring_view text) {
    if (text.empty() || text.size() > 0x7FFFFFFF) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                  nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

const std::wstring* MarkupNode::Attribute(std::wstring_view key) const {
    for (const auto& a : attributes) {
        if (a.first == key) return &a.second;
    }
    return nullptr;
}

bool MarkupReader::Fail(const char* what) {
    char buf[96];
    std::snprintf(buf, sizeof(buf), "%s at byte %zu", what, pos_);
    error_ = buf;
    return false;
}

void MarkupReader::SkipSpace() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
}

// Skips white space, comments, processing instructions and DOCTYPE.
bool MarkupReader::SkipMisc() {
    for (;;) {
        SkipSpace();
        std::string_view rest = text_.substr(pos_);
        size_t close = std::string_view::npos;
        if (rest.substr(0, 4) == "<!--") {
            close = rest.find("-->", 4);
            if (close == std::string_view::npos) return Fail("unterminated comment");
            pos_ += close + 3;
        } else if (rest.substr(0, 2) == "<?") {
            close = rest.find("?>", 2);
            if (close == std::string_view::npos) return Fail("unterminated declaration");
            pos_ += close + 2;
        } else if (rest.substr(0, 9) == "<!DOCTYPE") {
            close = rest.find('>');
            if (close == std::string_view::npos) return Fail("unterminated DOCTYPE");
            pos_ += close + 1;
        } else {
            return true;
        }
    }
}

bool MarkupReader::ReadName(std::wstring* out) {
    size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
    if (pos_ == start) return Fail("name expected");
    *out = Utf8ToUtf16(text_.substr(start, pos_ - start));
    return true;
}

bool MarkupReader::ReadAttributeValue(std::wstring* out) {
    if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\'')) return Fail("quote expected");
    const char quote = text_[pos_++];
    size_t end = text_.find(quote, pos_);
    if (end == std::string_view::npos) return Fail("unterminated value");
    std::string_view raw = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    out->clear();
    size_t i = 0;
    while (i < raw.size()) {
        size_t amp = raw.find('&', i);
        *out += Utf8ToUtf16(raw.substr(i, amp == std::string_view::npos ? raw.size() - i : amp - i));
        if (amp == std::string_view::npos) break;
        size_t semi = raw.find(';', amp);
        if (semi == std::string_view::npos || semi - amp > 10) {
            out->push_back(L'&');
            i = amp + 1;
            continue;
        }
        std::string_view ent = raw.substr(amp + 1, semi - amp - 1);
        if (ent == "lt") out->push_back(L'<');
        else if (ent == "gt") out->push_back(L'>');
        else if (ent == "amp") out->push_back(L'&');
        else if (ent == "quot") out->push_back(L'"');
        else if (ent == "apos") out->push_back(L'\'');
        else if (ent.size() > 1 && ent[0] == '#') {
            std::string digits(ent.substr(ent[1] == 'x' || ent[1] == 'X' ? 2 : 1));
            char* endp = nullptr;
            unsigned long cp = std::strtoul(digits.c_str(), &endp, ent[1] == 'x' || ent[1] == 'X' ? 16 : 10);
            if (digits.empty() || *endp != '\0') return Fail("bad character reference");
            AppendCodePoint(out, cp);
        } else {
            return Fail("unknown entity");
        }
        i = semi + 1;
    }
    return true;
}

bool MarkupReader::ParseElement(MarkupNode* node, int depth) {
    if (depth > kMaxDepth) return Fail("nesting too deep");
    if (pos_ >= text_.size() || text_[pos_] != '<') return Fail("element expected");
    ++pos_;
    if (!ReadName(&node->name)) return false;
    for (;;) {
        SkipSpace();
        if (pos_ >= text_.size()) return Fail("unterminated tag");
        if (text_.substr(pos_, 2) == "/>") {
            pos_ += 2;
            return true;
        }
        if (text_[pos_] == '>') {
            ++pos_;
            break;
        }
        std::wstring key, value;
        if (!ReadName(&key)) return false;
        SkipSpace();
        if (pos_ >= text_.size() || text_[pos_] != '=') return Fail("'=' expected");
        ++pos_;
        SkipSpace();
        if (!ReadAttributeValue(&value)) return false;
        node->attributes.emplace_back(std::move(key), std::move(value));
    }
    // Content: child elements, ignorable text, comments, CDATA.
    for (;;) {
        size_t lt = text_.find('<', pos_);
        if (lt == std::string_view::npos) return Fail("unterminated element");
        pos_ = lt;
        std::string_view rest = text_.substr(pos_);
        if (rest.substr(0, 2) == "</") {
            pos_ += 2;
            std::wstring closing;
            if (!ReadName(&closing)) return false;
            if (closing != node->name) return Fail("mismatched closing tag");
            SkipSpace();
            if (pos_ >= text_.size() || text_[pos_] != '>') return Fail("'>' expected");
            ++pos_;
            return true;
        }
        if (rest.substr(0, 9) == "<![CDATA[") {
            size_t end = rest.find("]]>");
            if (end == std::string_view::npos) return Fail("unterminated CDATA");
            pos_ += end + 3;
            continue;
        }
        if (rest.substr(0, 4) == "<!--" || rest.substr(0, 2) == "<?") {
            if (!SkipMisc()) return false;
            continue;
        }
        node->children.emplace_back();
        if (!ParseElement(&node->children.back(), depth + 1)) return false;
    }
}

bool MarkupReader::Parse(std::string_view utf8) {
    root_ = MarkupNode{};
    error_.clear();
    text_ = utf8;
    pos_ = 0;
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
    if (!SkipMisc()) return false;
    if (!ParseElement(&root_, 0)) return false;
    if (!SkipMisc()) return false;
    if (pos_ != text_.size()) return Fail("content after the root element");
    return true;
}

}  // namespace ui
