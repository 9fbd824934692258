#include <gtest/gtest.h>

#include <thread>

#include "platform/Clock.h"
#include "platform/Event.h"

using namespace vexal::platform;

TEST(Event, TimedWaitTimesOutWithinBounds) {
    CEvent ev(true);
    uint64_t t0 = TickMs();
    EXPECT_FALSE(ev.Wait(120));
    uint64_t elapsed = TickMs() - t0;
    EXPECT_GE(elapsed, 115u);
    EXPECT_LT(elapsed, 2000u);
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
    CEvent ev(true);
    ev.Set();
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_TRUE(ev.Wait(0));
    ev.Reset();
    EXPECT_FALSE(ev.Wait(0));
}

TEST(Event, AutoResetReleasesOneWait) {
    CEvent ev(false);
    ev.Set();
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_FALSE(ev.Wait(0));
}

TEST(Event, SetFromAnotherThreadWakesWaiterEarly) {
    CEvent ev(true);
    std::thread t([&] {
        SleepMs(50);
        ev.Set();
    });
    uint64_t t0 = TickMs();
    EXPECT_TRUE(ev.Wait(kInfinite));
    EXPECT_LT(TickMs() - t0, 3000u);
    t.join();
}
