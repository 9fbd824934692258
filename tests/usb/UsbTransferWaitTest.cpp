// The wait for one libusb transfer, driven by fake event handling: it ends in
// bounded time without a busy loop when event handling keeps failing and a
// cancel never comes back, and cancels a transfer that outlives its time-out.
#include <gtest/gtest.h>
#include <libusb.h>

#include <atomic>
#include <future>

#include "platform/Clock.h"
#include "platform/posix/UsbTransferWait.h"

using namespace vexal::platform;

namespace {

struct CFakeEvents {
    std::atomic<bool> bCompleted{false};
    std::atomic<bool> bRelease{false};  // lets a wait that never ends go (pre-fix)
    std::atomic<int> nCalls{0};
    std::atomic<int> nCancels{0};
    SUsbTransferWait Wait(int nResult, bool bCancelCompletes) {
        return {[this, nResult](uint32_t dwWaitMs) {
                    ++nCalls;
                    if (nResult == 0) SleepMs(std::min<uint32_t>(dwWaitMs, 20));  // nothing happened in time
                    return nResult;
                },
                [this, bCancelCompletes] {
                    ++nCancels;
                    if (bCancelCompletes) bCompleted = true;
                },
                [this] { return bCompleted || bRelease; }};
    }
};

// Runs the wait on a thread of its own, so a wait without an end fails the test.
bool RunBounded(CFakeEvents& events, const SUsbTransferWait& wait, uint32_t dwTimeoutMs, uint64_t& nElapsed) {
    const uint64_t t0 = TickMs();
    auto result = std::async(std::launch::async, [&] { return AwaitUsbTransfer(wait, dwTimeoutMs); });
    if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        events.bRelease = true;
        result.wait();
        ADD_FAILURE() << "the wait did not end";
        return true;
    }
    nElapsed = TickMs() - t0;
    return result.get();
}

}  // namespace

TEST(UsbTransferWait, FailingEventHandlingAndACancelThatNeverCompletesEndInBoundedTimeWithoutSpinning) {
    CFakeEvents events;
    uint64_t nElapsed = 0;
    EXPECT_FALSE(RunBounded(events, events.Wait(LIBUSB_ERROR_OTHER, false), 100, nElapsed));
    EXPECT_GE(nElapsed, 100u + kUsbTransferGraceMs - 20);
    EXPECT_LE(nElapsed, 100u + kUsbTransferGraceMs + 1500);
    EXPECT_GE(events.nCancels, 1);
    EXPECT_LT(events.nCalls, 5000) << "event handling that fails at once is not retried in a busy loop";
}

TEST(UsbTransferWait, ATransferOutlivingItsTimeOutIsCancelledAndACompletedOneIsNot) {
    CFakeEvents lost;  // libusb never times it out itself; the cancel brings it back
    uint64_t nElapsed = 0;
    EXPECT_TRUE(RunBounded(lost, lost.Wait(0, true), 200, nElapsed));
    EXPECT_GE(nElapsed, 190u);
    EXPECT_LT(nElapsed, 200u + kUsbTransferGraceMs);
    EXPECT_EQ(lost.nCancels, 1);

    CFakeEvents done;
    done.bCompleted = true;
    EXPECT_TRUE(RunBounded(done, done.Wait(0, false), 200, nElapsed));
    EXPECT_EQ(done.nCancels, 0);
}
