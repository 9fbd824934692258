// Waiting for one asynchronous libusb transfer to complete, bounded.
//
// A transfer ends through its callback, which runs inside libusb's event
// handling. Should event handling keep failing, or a cancelled transfer never
// come back, the waiter gives the transfer up after its own time-out plus a
// grace period instead of spinning for ever while it holds the device.
#pragma once
#include <cstdint>
#include <functional>

namespace vexal::platform {

// How long a transfer may outlast its own time-out before it is given up.
inline constexpr uint32_t kUsbTransferGraceMs = 1000;

struct SUsbTransferWait {
    // Runs event handling for at most dwWaitMs; a libusb result code.
    std::function<int(uint32_t dwWaitMs)> pfnHandleEvents;
    // Asks for the transfer's cancellation (it still completes through its callback).
    std::function<void()> pfnCancel;
    // Whether the transfer's callback has run.
    std::function<bool()> pfnCompleted;
};

// True once the transfer completed. False when it was given up: it may still
// be in flight, so its transfer record and buffer must outlive the device's
// handle (closing the handle ends every transfer of it).
bool AwaitUsbTransfer(const SUsbTransferWait& wait, uint32_t dwTimeoutMs);

}  // namespace vexal::platform
