// MD5 message digest (CryptoAPI's), for the single sign-on digest.
#pragma once

#include <cstddef>
#include <string>

// The digest as 32 lower-case hex digits; empty when the system's crypto
// provider is unavailable.
std::string Md5Hex(const std::string& text);
// The same into a buffer, cut to outSize - 1 and always terminated.
void Md5Hex(const std::string& text, char* out, size_t outSize);
