// Time facilities of the platform layer: monotonic ticks, sleeps, local time.
#pragma once
#include <cstdint>
#include <string>

namespace vexal::platform {

// Milliseconds from a monotonic clock; never goes backwards.
uint64_t TickMs();

// Sleeps the calling thread for at least ms milliseconds.
void SleepMs(uint32_t ms);

struct LocalTime {
    int nYear = 0;
    int nMonth = 0;  // 1..12
    int nDay = 0;    // 1..31
    int nHour = 0;
    int nMinute = 0;
    int nSecond = 0;
    int nMillisecond = 0;
};

// The current wall-clock time in the local time zone.
LocalTime GetLocalTime();

// The current time in UTC as "2026-12-08T08:30:00Z".
std::string UtcTimestamp();

// A clock that log objects and tests can swap: the system one by default.
class IClock {
public:
    virtual ~IClock() = default;
    virtual uint64_t TickMs() = 0;
    virtual LocalTime Now() = 0;
};

// Process-wide system clock (never destroyed).
IClock& SystemClock();

}  // namespace vexal::platform
