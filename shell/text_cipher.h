// The client's text cipher: DES-CBC, zero IV, PKCS#5 padding, fixed key,
// carried as upper-case hex. Used by the API envelope and the saved password.
#pragma once

#include <string>

#include "shell/unique_handle.h"

namespace shell {
// The system's crypto provider as the cipher and the MD5 digest use it (no
// key container); empty on failure.
UniqueCryptProv OpenCryptoProvider();
}  // namespace shell

// Upper-case hex of the ciphertext; empty for empty input or on failure.
std::string EncryptText(const std::string& plain);
// Plaintext up to its first zero byte; empty on failure, and for hex text of
// odd length or with non-hex characters.
std::string DecryptText(const std::string& hex);

// The same through the thread's ANSI code page.
std::wstring EncryptTextW(const std::wstring& plain);
std::wstring DecryptTextW(const std::wstring& hex);
