#include "shell/saved_password.h"

#include <windows.h>

#include "shell/app_settings.h"
#include "shell/text_cipher.h"
#include "shell/unique_handle.h"

namespace {

// Every fourth byte of the file, from the first, is combined with this.
constexpr unsigned char kScrambleMask = 0x5A;
// Readers take no more than this; a real file is far smaller.
constexpr DWORD kMaxFileBytes = 10192;

void Scramble(std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); i += 4) bytes[i] = static_cast<char>(bytes[i] ^ kScrambleMask);
}

}  // namespace

std::string ScramblePassword(const std::wstring& password) {
    std::wstring twice = EncryptTextW(EncryptTextW(password));
    std::string bytes;
    bytes.reserve(twice.size() * 2);
    for (wchar_t c : twice) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    Scramble(bytes);
    return bytes;
}

std::wstring UnscramblePassword(std::string bytes) {
    Scramble(bytes);
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                            static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return DecryptTextW(DecryptTextW(text));
}

bool SavePassword(const AppSettings& settings, const std::wstring& password) {
    shell::UniqueFile file(::CreateFileW(settings.passwordPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (password.empty()) return false;
    std::string bytes = ScramblePassword(password);
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool LoadSavedPassword(const AppSettings& settings, std::wstring& password) {
    shell::UniqueFile file(::CreateFileW(settings.passwordPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::string bytes(kMaxFileBytes, '\0');
    DWORD got = 0;
    if (!::ReadFile(file.get(), &bytes[0], kMaxFileBytes, &got, nullptr)) return false;
    bytes.resize(got);
    if (bytes.size() < 2) return false;
    // A damaged file (it does not decipher) holds no password.
    std::wstring read = UnscramblePassword(std::move(bytes));
    if (read.empty()) return false;
    password = std::move(read);
    return true;
}

bool SavePassword(const std::wstring& password) { return SavePassword(Settings(), password); }
bool LoadSavedPassword(std::wstring& password) { return LoadSavedPassword(Settings(), password); }
