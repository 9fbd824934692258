#include "platform/Clock.h"

namespace vexal::platform {

namespace {
class CSystemClock final : public IClock {
public:
    uint64_t TickMs() override { return platform::TickMs(); }
    LocalTime Now() override { return GetLocalTime(); }
};
}  // namespace

IClock& SystemClock() {
    // Never destroyed: threads may still log while the process exits.
    static IClock* pClock = new CSystemClock();  // NOLINT: intentional leak
    return *pClock;
}

}  // namespace vexal::platform
