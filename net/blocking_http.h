// Small transfers that run to completion on the calling thread: used where
// a pause is acceptable (closing, update notices).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace net {
// The most any blocking helper reads into memory.
constexpr DWORD kMaxBlockingText = 1024 * 1024;
// How long each helper may take in all before it gives up.
constexpr DWORD kDownloadTimeoutMs = 60000;
constexpr DWORD kFetchTimeoutMs = 30000;
constexpr DWORD kFormPostTimeoutMs = 5000;
}  // namespace net

// Each helper returns failure once its limit has passed, whatever the
// network does; the transfer is then cut short behind the caller's back.

// Fetches http://host:port/path into a local file. 0 when the whole body was
// written, E_FAIL when nothing could be fetched (no file is created), 1 when
// the body ended short or the limit passed after the file was created (the
// partial file stays).
HRESULT DownloadToFile(const std::wstring& host, const std::wstring& path, const std::wstring& localFile,
                       DWORD creationDisposition, uint16_t port, DWORD limitMs = net::kDownloadTimeoutMs);

// A small text document (ANSI code page) by URL; empty for a status other
// than 200, without Content-Length or when it announces more than the bound.
std::wstring FetchText(const std::wstring& url, DWORD limitMs = net::kFetchTimeoutMs);

// A form POST; true when it was sent. With `reply`, the answer's text is
// stored there (expectedLength 0 = take it from the reply).
bool PostFormSync(const std::wstring& url, const std::wstring& body, std::wstring* reply, uint16_t port,
                  DWORD expectedLength = 0, DWORD limitMs = net::kFormPostTimeoutMs);
