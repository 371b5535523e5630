#include "shell/md5.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "shell/text_cipher.h"
#include "shell/unique_handle.h"

namespace {

constexpr DWORD kDigestBytes = 16;

}  // namespace

std::string Md5Hex(const std::string& text) {
    shell::UniqueCryptProv provider = shell::OpenCryptoProvider();
    if (!provider) return {};
    // Declared after its provider, so destroyed before the provider is released.
    shell::UniqueCryptHash hash;
    if (!::CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.put())) return {};
    // CryptHashData takes a DWORD length: feed larger texts in pieces.
    const BYTE* data = reinterpret_cast<const BYTE*>(text.data());
    for (size_t left = text.size(); left > 0;) {
        const DWORD piece = static_cast<DWORD>(left < 0x40000000u ? left : 0x40000000u);
        if (!::CryptHashData(hash.get(), data, piece, 0)) return {};
        data += piece;
        left -= piece;
    }
    BYTE digest[kDigestBytes] = {};
    DWORD length = sizeof(digest);
    if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0) || length != kDigestBytes) return {};
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * kDigestBytes);
    for (BYTE byte : digest) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

void Md5Hex(const std::string& text, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) return;
    std::memset(out, 0, outSize);
    std::string hex = Md5Hex(text);
    std::memcpy(out, hex.data(), hex.size() < outSize - 1 ? hex.size() : outSize - 1);
}
