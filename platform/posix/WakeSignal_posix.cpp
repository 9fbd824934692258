#include "platform/WakeSignal.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/posix/PollWait.h"

namespace vexal::platform {

CWakeSignal::CWakeSignal() : m_hEvent(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CWakeSignal::~CWakeSignal() {
    if (m_hEvent >= 0) close(m_hEvent);
    m_hEvent = -1;
}

void CWakeSignal::Set() {
    m_bSet.store(true);
    if (m_hEvent >= 0) {
        uint64_t one = 1;
        // A full counter is still readable, which is all a waiter needs.
        while (write(m_hEvent, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

void CWakeSignal::Reset() {
    m_bSet.store(false);
    if (m_hEvent >= 0) {
        uint64_t value = 0;
        while (read(m_hEvent, &value, sizeof value) < 0 && errno == EINTR) {
        }
    }
}

bool CWakeSignal::SleepMs(uint32_t ms) const {
    short nRevents = 0;
    int nErr = 0;
    return PollWithWake(-1, 0, ms, this, nRevents, nErr) == EPollOutcome::Woken;
}

}  // namespace vexal::platform
