// A small reader for the skin archive: a ZIP held in memory, entries stored
// or deflated. Every size and offset read from the archive is checked against
// the buffer, so damaged bytes give a refusal, never a read out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ui {

class ZipReader {
public:
    enum class Result { Ok, NotFound, TooLarge, Damaged };

    // Indexes the central directory. The bytes are not copied and must
    // outlive the reader. False when they are not a readable archive.
    bool Open(const uint8_t* data, size_t size);
    void Close();
    bool IsOpen() const { return data_ != nullptr; }

    size_t EntryCount() const { return entries_.size(); }
    const std::string& EntryName(size_t index) const { return entries_[index].name; }
    bool Contains(const std::string& name) const { return FindEntry(name) != nullptr; }

    // Unpacks one entry by exact name (case-insensitive for ASCII, as file
    // names are on Windows). Entries larger than maxSize are refused.
    Result Extract(const std::string& name, std::string* out, size_t maxSize) const;

private:
    struct Entry {
        std::string name;
        uint16_t method = 0;
        uint16_t flags = 0;
        uint32_t crc = 0;
        uint32_t compressedSize = 0;
        uint32_t size = 0;
        uint32_t localOffset = 0;
    };
    const Entry* FindEntry(const std::string& name) const;

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    std::vector<Entry> entries_;
};

}  // namespace ui
