// System functions that a run needs late or never (the browser agent name,
// the notification sound, the adapter list), loaded on first use so their
// libraries do not weigh on the start-up. Missing ones fail like the call.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <string>

namespace shell {

// The system's browser agent name in the ANSI code page; false when unknown.
bool SystemUserAgent(std::string& agent);
// PlaySoundW with a resource of `module`.
bool PlaySoundResource(int resource, HMODULE module, DWORD flags);
// GetAdaptersInfo; ERROR_NOT_SUPPORTED when the library is missing.
DWORD AdaptersInfo(IP_ADAPTER_INFO* info, ULONG* size);

}  // namespace shell
