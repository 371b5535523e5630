#include "shell/saved_password.h"

#include <windows.h>

#include "shell/app_settings.h"
#include "shell/file_replace.h"
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

bool CanKeepPassword(const std::wstring& password) {
    if (password.empty()) return true;
    // The cipher works on the ANSI code page's bytes: a character without
    // one there would come back as another.
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, password.data(),
                                        static_cast<int>(password.size()), nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    return UnscramblePassword(ScramblePassword(password)) == password;
}

bool SavePassword(const AppSettings& settings, const std::wstring& password) {
    if (!CanKeepPassword(password)) {
        // A damaged password would fail the next automatic login; keeping
        // none makes the next start ask for it.
        ::DeleteFileW(settings.passwordPath.c_str());
        return false;
    }
    const std::string bytes = password.empty() ? std::string() : ScramblePassword(password);
    if (!password.empty() && bytes.empty()) return false;
    // Written only when it changes, and never truncated in place: a process
    // killed right after a sign-in must not leave an empty file.
    return shell::ReplaceFileContent(settings.passwordPath, bytes) && !password.empty();
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
