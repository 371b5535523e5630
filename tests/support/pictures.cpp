#include "tests/support/pictures.h"

#include <windows.h>
#include <zlib.h>

#include <vector>

namespace testing_support {
namespace {

void PutBe32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void Chunk(std::string& out, const char* type, const std::string& data) {
    PutBe32(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    PutBe32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                             static_cast<uInt>(body.size()))));
}

std::string Ihdr(uint32_t width, uint32_t height) {
    std::string ihdr;
    PutBe32(ihdr, width);
    PutBe32(ihdr, height);
    ihdr += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit grey, no interlace
    return ihdr;
}

void PutLe16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

}  // namespace

std::string PngHeaderOnly(uint32_t width, uint32_t height) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    Chunk(png, "IHDR", Ihdr(width, height));
    return png;
}

std::string GreyPng(uint32_t width, uint32_t height, unsigned char shade) {
    std::string png = PngHeaderOnly(width, height);
    z_stream z = {};
    deflateInit(&z, 9);
    std::vector<unsigned char> row(width + 1, shade);
    row[0] = 0;  // no filter
    std::string idat;
    std::vector<unsigned char> out(1 << 16);
    for (uint32_t y = 0; y < height; ++y) {
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        const int flush = y + 1 == height ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, flush);
            idat.append(reinterpret_cast<char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_out == 0 || (flush == Z_FINISH && z.avail_in != 0));
    }
    deflateEnd(&z);
    Chunk(png, "IDAT", idat);
    Chunk(png, "IEND", "");
    return png;
}

std::string GifFrames(uint16_t screen, int frames, uint16_t frameSide) {
    std::string gif = "GIF89a";
    PutLe16(gif, screen);
    PutLe16(gif, screen);
    gif += std::string("\x80\x00\x00", 3);                   // a two-colour global table
    gif += std::string("\x00\x00\x00\xff\xff\xff", 6);
    gif += std::string("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);  // loop for ever
    for (int i = 0; i < frames; ++i) {
        gif += std::string("\x21\xf9\x04\x00\x01\x00\x00\x00", 8);  // 10 ms
        gif += ",";
        PutLe16(gif, 0);
        PutLe16(gif, 0);
        PutLe16(gif, frameSide);
        PutLe16(gif, frameSide);
        gif.push_back('\0');
        // Minimum code size 2: clear, pixel 0, end, in 3-bit codes.
        gif += std::string("\x02\x02\x44\x01\x00", 5);
    }
    gif += ";";
    return gif;
}

std::string HexOf(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex.push_back(digits[c >> 4]);
        hex.push_back(digits[c & 15]);
    }
    return hex;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    ::CloseHandle(f);
    return ok;
}

}  // namespace testing_support
