#include "platform/posix/PollWait.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

#include "platform/Clock.h"
#include "platform/WakeSignal.h"

namespace vexal::platform {

namespace {
// Without a wake descriptor the flag is looked at this often.
constexpr uint32_t kWakeSliceMs = 20;
}  // namespace

EPollOutcome PollWithWake(int hFd, short events, uint32_t ms, const CWakeSignal* pWake, short& nRevents, int& nErr) {
    nRevents = 0;
    nErr = 0;
    const uint64_t nStart = TickMs();
    const bool bSliced = pWake != nullptr && pWake->Handle() < 0;
    for (;;) {
        if (pWake != nullptr && pWake->IsSet()) return EPollOutcome::Woken;
        const uint64_t nElapsed = TickMs() - nStart;
        const uint32_t nLeft = nElapsed >= ms ? 0 : static_cast<uint32_t>(ms - nElapsed);
        uint32_t nSlice = bSliced ? std::min(nLeft, kWakeSliceMs) : nLeft;

        pollfd fds[2] = {};
        nfds_t nCount = 0;
        if (hFd >= 0) {
            fds[nCount].fd = hFd;
            fds[nCount].events = events;
            ++nCount;
        }
        const nfds_t nWakeIndex = nCount;
        if (pWake != nullptr && pWake->Handle() >= 0) {
            fds[nCount].fd = pWake->Handle();
            fds[nCount].events = POLLIN;
            ++nCount;
        }
        const int rc = poll(fds, nCount, static_cast<int>(nSlice));
        if (rc < 0) {
            if (errno == EINTR) continue;  // retried with the time left
            nErr = errno;
            return EPollOutcome::Failed;
        }
        if (nWakeIndex < nCount && fds[nWakeIndex].revents != 0) return EPollOutcome::Woken;
        if (hFd >= 0 && fds[0].revents != 0) {
            nRevents = fds[0].revents;
            return EPollOutcome::Ready;
        }
        if (rc == 0 && nSlice >= nLeft)
            return pWake != nullptr && pWake->IsSet() ? EPollOutcome::Woken : EPollOutcome::TimedOut;
    }
}

}  // namespace vexal::platform
