// The server clock: the local clock re-based on the last "get_time" reply.
#pragma once

#include <cstdint>

int64_t ServerNow();
void SetServerTime(int64_t serverTime);

// Seconds since 1970 from the local clock; tests substitute their own.
using LocalClockFn = int64_t (*)();
void SetLocalClock(LocalClockFn clock);  // null restores the real clock
int64_t LocalNow();
