#include "api/server_clock.h"

#include <ctime>

#include "shell/app_settings.h"

namespace {

int64_t RealClock() { return static_cast<int64_t>(std::time(nullptr)); }
LocalClockFn g_clock = &RealClock;

}  // namespace

void SetLocalClock(LocalClockFn clock) { g_clock = clock ? clock : &RealClock; }

int64_t LocalNow() { return g_clock(); }

int64_t ServerNow() {
    const AppSettings& s = Settings();
    return s.serverTimeAtSync + (LocalNow() - s.localTimeAtSync);
}

bool IsPlausibleServerTime(int64_t serverTime) {
    return serverTime >= kEarliestServerTime && serverTime <= kLatestServerTime;
}

bool SetServerTime(int64_t serverTime) {
    if (!IsPlausibleServerTime(serverTime)) return false;
    AppSettings& s = Settings();
    s.serverTimeAtSync = serverTime;
    s.localTimeAtSync = LocalNow();
    if (s.lastReadTime == 0) s.lastReadTime = serverTime;
    return true;
}
