#include "ui/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace ui {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndSize = 22;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
bool Inside(size_t size, uint64_t offset, uint64_t length) { return offset <= size && length <= size - offset; }

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x < 0x80 && y < 0x80) {
            if (std::tolower(x) != std::tolower(y)) return false;
        } else if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ZipReader::Open(const uint8_t* data, size_t size) {
    Close();
    if (data == nullptr || size < kEndSize) return false;
    // The end record sits in the last 22 bytes plus at most a 64 KiB comment.
    size_t lowest = size > kEndSize + 0xFFFF ? size - kEndSize - 0xFFFF : 0;
    size_t end = SIZE_MAX;
    for (size_t pos = size - kEndSize + 1; pos-- > lowest;) {
        if (Read32(data + pos) == kEndSignature && pos + kEndSize + Read16(data + pos + 20) <= size) {
            end = pos;
            break;
        }
    }
    if (end == SIZE_MAX) return false;
    const uint8_t* rec = data + end;
    uint16_t count = Read16(rec + 10);
    uint32_t dirSize = Read32(rec + 12);
    uint32_t dirOffset = Read32(rec + 16);
    if (!Inside(end, dirOffset, dirSize)) return false;
    // Each central record needs at least 46 bytes, which bounds the count.
    if (static_cast<uint64_t>(count) * kCentralSize > dirSize) return false;

    std::vector<Entry> entries;
    entries.reserve(count);
    size_t pos = dirOffset;
    const size_t dirEnd = static_cast<size_t>(dirOffset) + dirSize;
    for (uint16_t i = 0; i < count; ++i) {
        if (!Inside(dirEnd, pos, kCentralSize)) return false;
        const uint8_t* c = data + pos;
        if (Read32(c) != kCentralSignature) return false;
        uint16_t nameLen = Read16(c + 28), extraLen = Read16(c + 30), commentLen = Read16(c + 32);
        uint64_t recordLen = kCentralSize + static_cast<uint64_t>(nameLen) + extraLen + commentLen;
        if (!Inside(dirEnd, pos, recordLen)) return false;
        Entry e;
        e.flags = Read16(c + 8);
        e.method = Read16(c + 10);
        e.crc = Read32(c + 16);
        e.compressedSize = Read32(c + 20);
        e.size = Read32(c + 24);
        e.localOffset = Read32(c + 42);
        e.name.assign(reinterpret_cast<const char*>(c + kCentralSize), nameLen);
        entries.push_back(std::move(e));
        pos += static_cast<size_t>(recordLen);
    }
    data_ = data;
    size_ = size;
    entries_ = std::move(entries);
    return true;
}

void ZipReader::Close() {
    data_ = nullptr;
    size_ = 0;
    entries_.clear();
}

const ZipReader::Entry* ZipReader::FindEntry(const std::string& name) const {
    for (const auto& e : entries_) {
        if (SameName(e.name, name)) return &e;
    }
    return nullptr;
}

ZipReader::Result ZipReader::Extract(const std::string& name, std::string* out, size_t maxSize) const {
    out->clear();
    const Entry* e = FindEntry(name);
    if (e == nullptr) return Result::NotFound;
    if (e->size > maxSize) return Result::TooLarge;
    // Encrypted entries and sizes kept only in a data descriptor or in Zip64
    // records are not something the packer writes.
    if ((e->flags & 0x0001) != 0 || e->size == 0xFFFFFFFFu || e->compressedSize == 0xFFFFFFFFu) {
        return Result::Damaged;
    }
    if (!Inside(size_, e->localOffset, kLocalSize)) return Result::Damaged;
    const uint8_t* local = data_ + e->localOffset;
    if (Read32(local) != kLocalSignature) return Result::Damaged;
    uint64_t dataOffset = static_cast<uint64_t>(e->localOffset) + kLocalSize + Read16(local + 26) + Read16(local + 28);
    if (!Inside(size_, dataOffset, e->compressedSize)) return Result::Damaged;
    const uint8_t* packed = data_ + dataOffset;

    std::string bytes;
    if (e->method == 0) {
        if (e->compressedSize != e->size) return Result::Damaged;
        bytes.assign(reinterpret_cast<const char*>(packed), e->size);
    } else if (e->method == 8) {
        bytes.resize(e->size);
        z_stream zs = {};
        if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return Result::Damaged;
        zs.next_in = const_cast<Bytef*>(packed);
        zs.avail_in = e->compressedSize;
        // One spare byte shows an entry that inflates to more than it claims.
        std::string spare(1, '\0');
        zs.next_out = reinterpret_cast<Bytef*>(bytes.empty() ? &spare[0] : &bytes[0]);
        zs.avail_out = static_cast<uInt>(bytes.size());
        int rc = bytes.empty() ? Z_OK : inflate(&zs, Z_FINISH);
        if (rc != Z_STREAM_END) {
            zs.next_out = reinterpret_cast<Bytef*>(&spare[0]);
            zs.avail_out = 1;
            rc = inflate(&zs, Z_FINISH);
        }
        const uLong produced = zs.total_out;
        inflateEnd(&zs);
        if (rc != Z_STREAM_END || produced != e->size) return Result::Damaged;
    } else {
        return Result::Damaged;
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    if (crc != e->crc) return Result::Damaged;
    *out = std::move(bytes);
    return Result::Ok;
}

}  // namespace ui
