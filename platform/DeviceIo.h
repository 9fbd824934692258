// Outcome of one bounded read or write on a character device (serial, lp).
#pragma once

namespace vexal::platform {

enum class EDeviceIo {
    Done,      // the whole request was done
    TimedOut,  // the time-out ended it (a part may have been transferred)
    Woken,     // the wake signal ended it
    HungUp,    // the other end is gone (EIO, POLLHUP)
    Failed,    // another error: nErr
};

}  // namespace vexal::platform
