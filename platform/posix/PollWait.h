// One poll wait on a descriptor that a CWakeSignal can end, retried after a
// signal with the time left. Shared by the socket and ICMP backends.
#pragma once
#include <cstdint>

namespace vexal::platform {

class CWakeSignal;

enum class EPollOutcome { Ready, TimedOut, Failed, Woken };

// Waits up to ms for `events` on hFd (hFd may be -1: only the wake counts).
// Ready sets nRevents; Failed sets nErr.
EPollOutcome PollWithWake(int hFd, short events, uint32_t ms, const CWakeSignal* pWake, short& nRevents, int& nErr);

}  // namespace vexal::platform
