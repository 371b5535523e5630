// A local clock the test moves by hand; restored when the test ends.
#pragma once

#include <cstdint>

#include "api/server_clock.h"

namespace testing_support {

class FakeClock {
public:
    explicit FakeClock(int64_t start) {
        now_ = start;
        SetLocalClock(&Now);
    }
    ~FakeClock() { SetLocalClock(nullptr); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    void Advance(int64_t seconds) { now_ += seconds; }
    static int64_t Now() { return now_; }

private:
    static inline int64_t now_ = 0;
};

}  // namespace testing_support
