// What the Winsock backends (TCP and ICMP) share: the one start-up of the
// socket library, a zero-time select, and a wait on a socket's network
// events that a wake signal ends.
#pragma once
#include <winsock2.h>

#include <cstdint>
#include <functional>

#include "platform/Socket.h"

namespace vexal::platform {

class CWakeSignal;

namespace win32 {

// Starts Winsock 2.2 once per process (never cleaned up: a late thread may
// still hold a socket at exit). 0 or the error code.
int StartWinsock();

// Asks select without waiting. 0 or the error code.
int SelectNow(SOCKET s, bool bRead, bool bWrite, bool& bReadable, bool& bWritable, bool& bException);

// The socket's pending error (SO_ERROR), or the error of asking for it.
int PendingError(SOCKET s);

// 0: not ready yet; 1: ready; -1: an exception (error in nErr).
using SocketReadyCheck = std::function<int(SOCKET, int&)>;

// Waits up to ms until the check holds: asks first, then sleeps on the
// socket's network events lEvents (bound to an event of this wait only) and
// on the wake signal, and asks again, at least every 250 ms.
ESocketWait WaitForSocket(SOCKET s, long lEvents, uint32_t ms, const CWakeSignal* pWake, int& nErr,
                          const SocketReadyCheck& check);

}  // namespace win32
}  // namespace vexal::platform
