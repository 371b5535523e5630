#include "tests/hostile/hostile_bytes.h"

#include <zlib.h>

#include <cctype>
#include <cstdlib>
#include <vector>

#include "shell/text_cipher.h"

namespace hostile {
namespace {

const char* const kKeys[] = {"status", "data",    "uid",   "id",         "title",   "contact_name",
                             "nickname", "department", "cert_status", "posted_flag", "total", "today",
                             "caption", "content", "more",  "token",      "",        "\xD5\xC5"};

const char* const kScalars[] = {
    "\"1\"", "\"0\"", "\"-1\"", "\"-2\"", "\"12345\"", "\"4294967295\"", "\"4294967296\"",
    "\"-9223372036854775808\"", "\"99999999999999999999999999\"", "\"  7\"", "\"+3\"", "\"1e3\"",
    "\"abc\"", "\"\"", "1", "-1", "0", "1e308", "-1e308", "1e999999", "123456789012345678901234567890",
    "0.5", "-0", "true", "false", "null", "[]", "{}", "\"\\u0000\"", "\"\\ud800\"", "\"\\udc00\\ud800\"",
    "\"\\u12\"", "\"\\u\"", "\"\\uZZZZ\"", "\"\\x41\"", "\"\x81\x30\"", "\"\xFF\xFE\"", "\"\x01\x02\x1F\"",
    "\"\\\"", "\"a\\\\u0041\"", "\"\xD5\xC5\xC8\xFD\""};

void Scalar(Rng& rng, std::string& out) {
    if (rng.OneIn(4)) {
        // A number of many digits.
        out += rng.OneIn(2) ? "-" : "";
        out += std::string(1 + rng.Below(400), static_cast<char>('1' + rng.Below(9)));
        return;
    }
    if (rng.OneIn(5)) {
        // A string of raw bytes: controls, GBK lead bytes without trail.
        out += '"';
        for (uint32_t n = rng.Below(40); n > 0; --n) {
            char c = static_cast<char>(rng.Below(256));
            if (c == '"' || c == '\\') c = '?';
            out += c;
        }
        out += '"';
        return;
    }
    out += kScalars[rng.Below(sizeof(kScalars) / sizeof(kScalars[0]))];
}

void Value(Rng& rng, std::string& out, int depth) {
    const uint32_t pick = depth > 4 ? 0 : rng.Below(4);
    if (pick == 0) {
        Scalar(rng, out);
    } else if (pick == 1) {
        out += '[';
        for (uint32_t n = rng.Below(5), i = 0; i < n; ++i) {
            if (i) out += ',';
            Value(rng, out, depth + 1);
        }
        out += ']';
    } else {
        out += '{';
        for (uint32_t n = rng.Below(8), i = 0; i < n; ++i) {
            if (i) out += ',';
            out += '"';
            out += kKeys[rng.Below(sizeof(kKeys) / sizeof(kKeys[0]))];
            out += "\":";
            Value(rng, out, depth + 1);
        }
        out += '}';
    }
}

std::string Hex(const std::string& bytes, bool lower) {
    const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex.push_back(digits[c >> 4]);
        hex.push_back(digits[c & 15]);
    }
    return hex;
}

std::string Deflate(const std::string& data) {
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void Le16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Le32(std::string& out, uint32_t v) {
    Le16(out, v & 0xFFFF);
    Le16(out, v >> 16);
}

}  // namespace

std::string Rng::Bytes(size_t n) {
    std::string out(n, '\0');
    for (auto& c : out) c = static_cast<char>(engine_() & 0xFF);
    return out;
}

uint64_t RunSeed() {
    const char* text = std::getenv("YF_HOSTILE_SEED");
    if (text != nullptr && *text != '\0') return std::strtoull(text, nullptr, 0);
    return 20240607;
}

std::string HostileDocument(Rng& rng) {
    std::string doc;
    switch (rng.Below(14)) {
        case 0: {  // deep nesting (rarer: the reader's refusal is slow)
            if (!rng.OneIn(3)) break;
            const uint32_t depth = 100 + rng.Below(20000);
            const bool objects = rng.OneIn(2);
            doc = "{\"status\":\"1\",\"data\":";
            for (uint32_t i = 0; i < depth; ++i) doc += objects ? "{\"a\":" : "[";
            doc += "1";
            if (rng.OneIn(2)) {
                for (uint32_t i = 0; i < depth; ++i) doc += objects ? "}" : "]";
                doc += "}";
            }
            return doc;
        }
        case 1: {  // a string of a megabyte (rarely: it is slow to encipher)
            if (!rng.OneIn(40)) break;
            doc = "{\"status\":\"1\",\"data\":[\"";
            doc += std::string((1u << 20) + rng.Below(100), static_cast<char>('A' + rng.Below(26)));
            doc += "\"]}";
            return doc;
        }
        case 2:  // not JSON at all
            return rng.Bytes(1 + rng.Below(200));
        case 3: {  // a well-formed document cut anywhere
            Value(rng, doc, 0);
            return doc.substr(0, rng.Below(static_cast<uint32_t>(doc.size()) + 1));
        }
        case 4:
        case 5: {  // a profile, its members of any type
            doc = "{\"status\":";
            doc += rng.OneIn(2) ? "\"1\"" : kScalars[rng.Below(sizeof(kScalars) / sizeof(kScalars[0]))];
            doc += ",\"data\":{\"uid\":";
            if (rng.OneIn(2)) {
                doc += rng.OneIn(2) ? "\"12345\"" : "\"4294967295\"";
            } else {
                Scalar(rng, doc);
            }
            for (const char* key : {"id", "title", "nickname", "cert_status", "posted_flag", "total", "today"}) {
                if (rng.OneIn(2)) continue;
                doc += ",\"";
                doc += key;
                doc += "\":";
                Value(rng, doc, 3);
            }
            doc += "}}";
            return doc;
        }
        default:
            break;
    }
    // The shape the readers expect, with members of every type.
    doc = "{\"status\":";
    Scalar(rng, doc);
    doc += ",\"data\":";
    Value(rng, doc, rng.OneIn(3) ? 3 : 0);
    if (rng.OneIn(4)) {
        doc += ",\"";
        doc += kKeys[rng.Below(sizeof(kKeys) / sizeof(kKeys[0]))];
        doc += "\":";
        Value(rng, doc, 2);
    }
    doc += rng.OneIn(10) ? "" : "}";
    if (rng.OneIn(10)) doc += rng.Bytes(rng.Below(8));
    return doc;
}

std::string HostileReplyBody(Rng& rng) {
    const uint32_t pick = rng.Below(20);
    if (pick < 12) return EncryptText(HostileDocument(rng));
    std::string cipher = EncryptText(R"({"status":"1","data":["1"]})");
    switch (pick) {
        case 12:  // non-hex
            cipher[rng.Below(static_cast<uint32_t>(cipher.size()))] = "GZ g-\n\x00\xFF"[rng.Below(8)];
            return cipher;
        case 13:  // odd length
            return cipher.substr(0, cipher.size() - 1);
        case 14:  // bad padding: any 8-byte blocks
            return Hex(rng.Bytes(8 * (1 + rng.Below(8))), rng.OneIn(2));
        case 15:  // cut cipher
            return cipher.substr(0, 16 * rng.Below(static_cast<uint32_t>(cipher.size() / 16)));
        case 16:  // the plain text itself
            return HostileDocument(rng);
        case 17:
            return std::string();
        case 18:  // lower-case hex, white space around
            for (auto& c : cipher) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return (rng.OneIn(2) ? " " : "") + cipher + (rng.OneIn(2) ? "\r\n" : "");
        default:
            return rng.Bytes(rng.Below(300));
    }
}

std::string HostileVersionPage(Rng& rng) {
    std::string page = rng.OneIn(4) ? std::string() : std::string("lastVersion=");
    switch (rng.Below(5)) {
        case 0:
            page += "1.0.0." + std::to_string(rng.Below(100000));
            break;
        case 1:
            page += std::string(rng.Below(70000), '9');
            break;
        case 2:
            page += "-1.-2.99999999999.\r\n";
            break;
        default:
            page += rng.Bytes(rng.Below(100));
    }
    return page;
}

std::string Mutate(Rng& rng, const std::string& bytes, size_t keep) {
    std::string out = bytes;
    const uint32_t edits = 1 + rng.Below(6);
    for (uint32_t e = 0; e < edits && out.size() > keep; ++e) {
        const size_t at = keep + rng.Below(static_cast<uint32_t>(out.size() - keep));
        switch (rng.Below(5)) {
            case 0:
                out[at] = static_cast<char>(rng.Below(256));
                break;
            case 1:
                out.resize(at);
                break;
            case 2:
                out.insert(at, std::string(1 + rng.Below(16), '\xFF'));
                break;
            case 3:
                out.insert(at, std::string(1 + rng.Below(16), '\0'));
                break;
            default:
                out.erase(at, 1 + rng.Below(8));
                break;
        }
    }
    return out;
}

std::string SampleZip() {
    struct Entry {
        std::string name, data;
        bool deflated;
    };
    const Entry entries[] = {{"main.xml", SampleLayout(), true},
                             {"image/a.png", std::string("\x89PNG not really", 15), false},
                             {"empty.txt", "", false}};
    std::string zip, central;
    for (const Entry& e : entries) {
        const std::string stored = e.deflated ? Deflate(e.data) : e.data;
        const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
        const uint32_t offset = static_cast<uint32_t>(zip.size());
        Le32(zip, 0x04034b50);
        Le16(zip, 20);
        Le16(zip, 0);
        Le16(zip, e.deflated ? 8 : 0);
        Le32(zip, 0);
        Le32(zip, crc);
        Le32(zip, static_cast<uint32_t>(stored.size()));
        Le32(zip, static_cast<uint32_t>(e.data.size()));
        Le16(zip, static_cast<uint32_t>(e.name.size()));
        Le16(zip, 0);
        zip += e.name + stored;
        Le32(central, 0x02014b50);
        Le16(central, 20);
        Le16(central, 20);
        Le16(central, 0);
        Le16(central, e.deflated ? 8 : 0);
        Le32(central, 0);
        Le32(central, crc);
        Le32(central, static_cast<uint32_t>(stored.size()));
        Le32(central, static_cast<uint32_t>(e.data.size()));
        Le16(central, static_cast<uint32_t>(e.name.size()));
        Le16(central, 0);
        Le16(central, 0);
        Le16(central, 0);
        Le16(central, 0);
        Le32(central, 0);
        Le32(central, offset);
        central += e.name;
    }
    const uint32_t centralOffset = static_cast<uint32_t>(zip.size());
    zip += central;
    Le32(zip, 0x06054b50);
    Le16(zip, 0);
    Le16(zip, 0);
    Le16(zip, 3);
    Le16(zip, 3);
    Le32(zip, static_cast<uint32_t>(central.size()));
    Le32(zip, centralOffset);
    Le16(zip, 0);
    return zip;
}

std::string SampleLayout() {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<Window size=\"300,200\" caption=\"0,0,0,30\">\n"
           "  <VerticalLayout bkcolor=\"#FFFFFFFF\">\n"
           "    <Label name=\"title\" text=\"&lt;\xE4\xBA\x91\xE5\xB8\x86&gt; &amp; &#x4E91;&#20113;\" />\n"
           "    <Button name=\"BtnOK\" text=\"OK\" normalimage=\"file='a.png' corner='1,1,1,1'\"/>\n"
           "    <!-- a comment --><Option group=\"g\" selected=\"true\"/>\n"
           "  </VerticalLayout>\n"
           "</Window>\n";
}

std::string HostileLayout(Rng& rng) {
    switch (rng.Below(6)) {
        case 0: {
            std::string deep;
            const uint32_t depth = 100 + rng.Below(50000);
            for (uint32_t i = 0; i < depth; ++i) deep += "<a>";
            if (rng.OneIn(2)) {
                for (uint32_t i = 0; i < depth; ++i) deep += "</a>";
            }
            return deep;
        }
        case 1:
            return "<a b=\"&#x110000;&#0;&#xD800;&#99999999999;&bogus;&#;&#x;&\"/>";
        case 2:
            return "<a b=\"" + std::string(rng.Below(1u << 20), 'x') + (rng.OneIn(2) ? "\"/>" : "");
        case 3:
            return rng.Bytes(rng.Below(500));
        default:
            return Mutate(rng, SampleLayout());
    }
}

}  // namespace hostile
