// Small transfers that run to completion on the calling thread: used where
// a pause is acceptable (closing, update notices).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Fetches http://host:port/path into a local file. 0 when the whole body was
// written, E_FAIL when nothing could be fetched (no file is created), 1 when
// the body ended short (the partial file stays).
HRESULT DownloadToFile(const std::wstring& host, const std::wstring& path, const std::wstring& localFile,
                       DWORD creationDisposition, uint16_t port);

// A small text document (ANSI code page) by URL; empty without Content-Length
// or when it announces more than the bound.
std::wstring FetchText(const std::wstring& url);

// A form POST; true when it was sent. With `reply`, the answer's text is
// stored there (expectedLength 0 = take it from the reply).
bool PostFormSync(const std::wstring& url, const std::wstring& body, std::wstring* reply, uint16_t port,
                  DWORD expectedLength = 0);

namespace net {
// The most any blocking helper reads into memory.
constexpr DWORD kMaxBlockingText = 1024 * 1024;
// How long a synchronous form post may take at each step.
constexpr DWORD kFormPostTimeoutMs = 5000;
}
