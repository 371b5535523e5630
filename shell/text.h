// Text conversions between UTF-16 (inside the program), the thread's ANSI
// code page (cipher input, forms, reply texts) and UTF-8 (typed JSON members).
#pragma once

#include <cstdint>
#include <string>

namespace shell {

std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// printf-style formatting into a std::string / std::wstring.
std::string Format(const char* fmt, ...);
std::wstring FormatW(const wchar_t* fmt, ...);

// Reads a decimal integer the lenient way the service's texts need: optional
// leading white space and sign, then the leading digits; anything after is
// ignored and a text without digits reads 0. Saturates instead of overflowing.
int64_t ReadDecimal64(const std::string& text);
int32_t ReadDecimal(const std::string& text);

}  // namespace shell
