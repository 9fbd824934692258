#include "platform/posix/SerialOutput.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <poll.h>

#include "platform/Clock.h"
#include "platform/WakeSignal.h"

namespace vexal::platform {

namespace {
// A queue's drain cannot be waited for, only asked about, this often.
constexpr uint32_t kDrainPollMs = 2;
}  // namespace

size_t CSerialOutput::Unsent(size_t nWritten) {
    size_t nQueued = 0;
    int nErr = 0;
    if (m_ops.Queued(nQueued, nErr)) return nQueued;
    return nErr == ENOTTY || nErr == EINVAL ? 0 : nWritten;
}

int CSerialOutput::Purge() {
    std::lock_guard lock(m_csPut);
    m_nPurgedUnsent = Unsent(std::numeric_limits<size_t>::max());
    ++m_nPurges;
    return m_ops.Flush();
}

EDeviceIo CSerialOutput::Write(const uint8_t* pData, size_t nLength, uint64_t nLimitMs, const CWakeSignal* pWake,
                               size_t& nSent, int& nErr) {
    nSent = 0;
    nErr = 0;
    size_t nWritten = 0;
    // Every way out counts what is still queued as not sent.
    auto finish = [&](EDeviceIo result, size_t nUnsent) {
        nSent = nWritten - std::min(nUnsent, nWritten);
        return result;
    };
    uint64_t nPurges = 0;
    {
        std::lock_guard lock(m_csPut);
        nPurges = m_nPurges;  // a purge before the write does not end it
    }
    const uint64_t nStart = TickMs();
    for (;;) {
        ssize_t n = 0;
        int nPutErr = 0;
        {
            std::lock_guard lock(m_csPut);
            if (m_nPurges != nPurges) return finish(EDeviceIo::Woken, m_nPurgedUnsent);
            if (nWritten < nLength) n = m_ops.Put(pData + nWritten, nLength - nWritten, nPutErr);
        }
        if (n > 0) {
            nWritten += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && nPutErr == EINTR) continue;
        if (n < 0 && nPutErr == EIO) return finish(EDeviceIo::HungUp, Unsent(nWritten));
        if (n < 0 && nPutErr != EAGAIN) {
            nErr = nPutErr;
            return finish(EDeviceIo::Failed, Unsent(nWritten));
        }
        const uint64_t nSpent = TickMs() - nStart;
        const uint64_t nLeft = nSpent >= nLimitMs ? 0 : nLimitMs - nSpent;
        if (nWritten < nLength && nLeft > 0) {
            short nRevents = 0;
            switch (m_ops.WaitRoom(static_cast<uint32_t>(nLeft), pWake, nRevents, nErr)) {
            case EPollOutcome::Ready:
                if ((nRevents & POLLOUT) == 0 && (nRevents & (POLLHUP | POLLERR)) != 0)
                    return finish(EDeviceIo::HungUp, Unsent(nWritten));
                continue;
            case EPollOutcome::TimedOut: continue;  // the time-out is handled below
            case EPollOutcome::Woken: return finish(EDeviceIo::Woken, Unsent(nWritten));
            case EPollOutcome::Failed: return finish(EDeviceIo::Failed, Unsent(nWritten));
            }
        }
        // All taken (or out of time): wait for the queue to drain.
        const size_t nUnsent = Unsent(nWritten);
        if (nWritten == nLength && nUnsent == 0) return finish(EDeviceIo::Done, 0);
        if (nLeft == 0) {
            // What did not leave in time must never leave later, as if the
            // write had stopped there.
            std::lock_guard lock(m_csPut);
            const size_t nDiscarded = Unsent(nWritten);
            m_ops.Flush();
            return finish(EDeviceIo::TimedOut, nDiscarded);
        }
        const uint32_t nPause = static_cast<uint32_t>(std::min<uint64_t>(kDrainPollMs, nLeft));
        if (pWake == nullptr)
            SleepMs(nPause);
        else if (pWake->SleepMs(nPause))
            return finish(EDeviceIo::Woken, Unsent(nWritten));
    }
}

}  // namespace vexal::platform
