#include "platform/Clock.h"

#include "platform/win32/Win32Util.h"

#include <cstdio>

namespace vexal::platform {

uint64_t TickMs() {
    // The performance counter: monotonic, and finer than the 16 ms steps of
    // the tick count.
    static const uint64_t s_nFrequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return static_cast<uint64_t>(f.QuadPart > 0 ? f.QuadPart : 1);
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const uint64_t n = static_cast<uint64_t>(now.QuadPart);
    return n / s_nFrequency * 1000u + n % s_nFrequency * 1000u / s_nFrequency;
}

void SleepMs(uint32_t ms) { Sleep(ms); }

std::string UtcTimestamp() {
    SYSTEMTIME st{};
    GetSystemTime(&st);
    char sz[32];
    std::snprintf(sz, sizeof sz, "%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond);
    return sz;
}

LocalTime GetLocalTime() {
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    LocalTime t;
    t.nYear = st.wYear;
    t.nMonth = st.wMonth;
    t.nDay = st.wDay;
    t.nHour = st.wHour;
    t.nMinute = st.wMinute;
    t.nSecond = st.wSecond;
    t.nMillisecond = st.wMilliseconds;
    return t;
}

}  // namespace vexal::platform
