#include "platform/posix/UsbTransferWait.h"

#include <libusb.h>

#include "platform/Clock.h"

namespace vexal::platform {

namespace {
// libusb ends a transfer at its time-out itself; a cancel of ours comes only
// this much later, so it never turns an ordinary time-out into a cancel.
constexpr uint32_t kCancelMarginMs = 250;
// After event handling failed at once, before it is tried again.
constexpr uint32_t kFailedEventsPauseMs = 1;
}  // namespace

bool AwaitUsbTransfer(const SUsbTransferWait& wait, uint32_t dwTimeoutMs) {
    const uint64_t nCancelAt = TickMs() + dwTimeoutMs + kCancelMarginMs;
    const uint64_t nGiveUpAt = nCancelAt - kCancelMarginMs + kUsbTransferGraceMs;
    bool bCancelled = false;
    auto cancel = [&] {
        if (!bCancelled) wait.pfnCancel();  // it still completes through its callback
        bCancelled = true;
    };
    while (!wait.pfnCompleted()) {
        const uint64_t nNow = TickMs();
        if (nNow >= nGiveUpAt) return false;
        if (nNow >= nCancelAt) cancel();
        const uint64_t nUntil = bCancelled ? nGiveUpAt : nCancelAt;
        const int nErr = wait.pfnHandleEvents(static_cast<uint32_t>(nUntil - nNow));
        if (nErr < 0 && nErr != LIBUSB_ERROR_INTERRUPTED) {
            cancel();
            SleepMs(kFailedEventsPauseMs);  // a failure that repeats at once must not spin
        }
    }
    return true;
}

}  // namespace vexal::platform
