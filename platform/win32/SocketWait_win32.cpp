#include "platform/win32/SocketWait.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/WakeSignal.h"
#include "platform/win32/Win32Util.h"

namespace vexal::platform::win32 {

namespace {
// The socket's state is asked again at least this often, so a network event
// the system records only once is never waited past.
constexpr uint32_t kRecheckMs = 250;
}  // namespace

int StartWinsock() {
    static const int s_nError = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return s_nError;
}

int SelectNow(SOCKET s, bool bRead, bool bWrite, bool& bReadable, bool& bWritable, bool& bException) {
    fd_set readSet, writeSet, exceptSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_ZERO(&exceptSet);
    if (bRead) FD_SET(s, &readSet);
    if (bWrite) FD_SET(s, &writeSet);
    FD_SET(s, &exceptSet);
    timeval zero{0, 0};
    if (select(0, &readSet, &writeSet, &exceptSet, &zero) == SOCKET_ERROR) return WSAGetLastError();
    bReadable = FD_ISSET(s, &readSet) != 0;
    bWritable = FD_ISSET(s, &writeSet) != 0;
    bException = FD_ISSET(s, &exceptSet) != 0;
    return 0;
}

int PendingError(SOCKET s) {
    int nErr = 0;
    int nLen = sizeof nErr;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&nErr), &nLen) != 0) return WSAGetLastError();
    return nErr;
}

ESocketWait WaitForSocket(SOCKET s, long lEvents, uint32_t ms, const CWakeSignal* pWake, int& nErr,
                          const SocketReadyCheck& check) {
    WSAEVENT hEvent = WSACreateEvent();
    if (hEvent == WSA_INVALID_EVENT) {
        nErr = WSAGetLastError();
        return ESocketWait::Failed;
    }
    if (WSAEventSelect(s, hEvent, lEvents) != 0) {
        nErr = WSAGetLastError();
        WSACloseEvent(hEvent);
        return ESocketWait::Failed;
    }
    ESocketWait result = ESocketWait::TimedOut;
    const uint64_t nStart = TickMs();
    for (;;) {
        if (pWake != nullptr && pWake->IsSet()) {
            result = ESocketWait::Woken;
            break;
        }
        const int nReady = check(s, nErr);
        if (nReady != 0) {
            result = nReady > 0            ? ESocketWait::Ready
                     : nErr == WSAENOTSOCK ? ESocketWait::Failed
                                           : ESocketWait::Exception;
            break;
        }
        const uint64_t nElapsed = TickMs() - nStart;
        if (nElapsed >= ms) break;
        const auto dwSlice = static_cast<DWORD>(std::min<uint64_t>(ms - nElapsed, kRecheckMs));
        const EHandleWait wait = WaitWithWake(hEvent, dwSlice, pWake);
        if (wait == EHandleWait::Signalled) WSAResetEvent(hEvent);
        if (wait == EHandleWait::Woken) {
            result = ESocketWait::Woken;
            break;
        }
        if (wait == EHandleWait::Failed) {
            nErr = static_cast<int>(GetLastError());
            result = ESocketWait::Failed;
            break;
        }
    }
    // The socket stays non-blocking; only its binding to this wait's event ends.
    WSAEventSelect(s, nullptr, 0);
    WSACloseEvent(hEvent);
    return result;
}

}  // namespace vexal::platform::win32
