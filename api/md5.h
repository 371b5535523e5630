// MD5 message digest, for the single sign-on digest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct MD5_CTX {
    uint32_t state[4];
    uint64_t bitCount;
    unsigned char buffer[64];
};

void MD5Init(MD5_CTX* ctx);
void MD5Update(MD5_CTX* ctx, const void* data, size_t size);
void MD5Final(unsigned char digest[16], MD5_CTX* ctx);

// Writes the digest as 32 lower-case hex digits (cut to outSize - 1 and
// always terminated).
void Md5Hex(const std::string& text, char* out, size_t outSize);
std::string Md5Hex(const std::string& text);
