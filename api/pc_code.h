// The machine's "pccode": the first network adapter's hardware address as
// 12 upper-case hex digits. Kept once known.
#pragma once

#include <string>

std::wstring GetPcCode();
