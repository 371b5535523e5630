// The server clock: the local clock re-based on the last "get_time" reply.
#pragma once

#include <cstdint>

// Server times outside these bounds (2000 to 2100) are not a clock.
constexpr int64_t kEarliestServerTime = 946684800;
constexpr int64_t kLatestServerTime = 4102444800;
bool IsPlausibleServerTime(int64_t serverTime);

int64_t ServerNow();
// False, and the clock unchanged, for an implausible time.
bool SetServerTime(int64_t serverTime);

// Seconds since 1970 from the local clock; tests substitute their own.
using LocalClockFn = int64_t (*)();
void SetLocalClock(LocalClockFn clock);  // null restores the real clock
int64_t LocalNow();
