#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace vexal::platform {

uint64_t TickMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void SleepMs(uint32_t ms) {
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    // A signal must not cut a specified pause short.
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
}

std::string UtcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tmUtc{};
    ::gmtime_r(&now, &tmUtc);
    char sz[32];
    std::strftime(sz, sizeof sz, "%Y-%m-%dT%H:%M:%SZ", &tmUtc);
    return sz;
}

LocalTime GetLocalTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm parts{};
    localtime_r(&ts.tv_sec, &parts);
    LocalTime t;
    t.nYear = parts.tm_year + 1900;
    t.nMonth = parts.tm_mon + 1;
    t.nDay = parts.tm_mday;
    t.nHour = parts.tm_hour;
    t.nMinute = parts.tm_min;
    t.nSecond = parts.tm_sec;
    t.nMillisecond = static_cast<int>(ts.tv_nsec / 1000000L);
    return t;
}

}  // namespace vexal::platform
