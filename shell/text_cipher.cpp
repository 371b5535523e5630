#include "shell/text_cipher.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <vector>

#include "shell/diagnostic.h"
#include "shell/text.h"
#include "shell/unique_handle.h"

namespace {

const char kKey[8] = {'7', '4', '6', '0', '#', 'R', 'd', 'w'};

// Largest text the cipher takes; nothing the client enciphers comes close.
constexpr size_t kMaxInput = 64u * 1024 * 1024;

struct DesKeyBlob {
    BLOBHEADER header;
    DWORD keySize;
    BYTE key[8];
};

class DesKey {
public:
    bool Open() {
        provider_ = shell::OpenCryptoProvider();
        if (!provider_) return false;
        DesKeyBlob blob = {};
        blob.header.bType = PLAINTEXTKEYBLOB;
        blob.header.bVersion = CUR_BLOB_VERSION;
        blob.header.aiKeyAlg = CALG_DES;
        blob.keySize = sizeof(blob.key);
        std::memcpy(blob.key, kKey, sizeof(blob.key));
        if (!::CryptImportKey(provider_.get(), reinterpret_cast<BYTE*>(&blob), sizeof(blob), 0, 0, key_.put())) {
            shell::DiagnosticError(L"CryptImportKey", ::GetLastError());
            return false;
        }
        // The provider's defaults already are CBC with a zero IV; say so anyway.
        DWORD mode = CRYPT_MODE_CBC;
        ::CryptSetKeyParam(key_.get(), KP_MODE, reinterpret_cast<BYTE*>(&mode), 0);
        BYTE iv[8] = {};
        ::CryptSetKeyParam(key_.get(), KP_IV, iv, 0);
        return true;
    }
    HCRYPTKEY get() const { return key_.get(); }

private:
    // Declared first so the key is destroyed before its provider is released.
    shell::UniqueCryptProv provider_;
    shell::UniqueCryptKey key_;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

shell::UniqueCryptProv shell::OpenCryptoProvider() {
    UniqueCryptProv provider;
    if (!::CryptAcquireContextW(provider.put(), nullptr, MS_DEF_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        shell::DiagnosticError(L"CryptAcquireContext", ::GetLastError());
        provider.reset();
    }
    return provider;
}

std::string EncryptText(const std::string& plain) {
    if (plain.empty() || plain.size() > kMaxInput) return {};
    DesKey key;
    if (!key.Open()) return {};
    std::vector<BYTE> data(plain.size() + 8);
    std::memcpy(data.data(), plain.data(), plain.size());
    DWORD length = static_cast<DWORD>(plain.size());
    if (!::CryptEncrypt(key.get(), 0, TRUE, 0, data.data(), &length, static_cast<DWORD>(data.size()))) {
        shell::DiagnosticError(L"CryptEncrypt", ::GetLastError());
        return {};
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(length * 2);
    for (DWORD i = 0; i < length; ++i) {
        hex.push_back(digits[data[i] >> 4]);
        hex.push_back(digits[data[i] & 0x0F]);
    }
    return hex;
}

std::string DecryptText(const std::string& hex) {
    if (hex.empty() || hex.size() % 2 != 0 || hex.size() / 2 > kMaxInput) return {};
    std::vector<BYTE> data(hex.size() / 2);
    for (size_t i = 0; i < data.size(); ++i) {
        int hi = HexValue(hex[2 * i]), lo = HexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return {};
        data[i] = static_cast<BYTE>(hi << 4 | lo);
    }
    if (data.size() % 8 != 0) return {};
    DesKey key;
    if (!key.Open()) return {};
    DWORD length = static_cast<DWORD>(data.size());
    if (!::CryptDecrypt(key.get(), 0, TRUE, 0, data.data(), &length)) {
        shell::DiagnosticError(L"CryptDecrypt", ::GetLastError());
        return {};
    }
    const char* text = reinterpret_cast<const char*>(data.data());
    return std::string(text, strnlen(text, length));
}

std::wstring EncryptTextW(const std::wstring& plain) {
    return shell::AnsiToWide(EncryptText(shell::WideToAnsi(plain)));
}

std::wstring DecryptTextW(const std::wstring& hex) {
    return shell::AnsiToWide(DecryptText(shell::WideToAnsi(hex)));
}
