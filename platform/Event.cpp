#include "platform/Event.h"

#include <chrono>

namespace vexal::platform {

void CEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_bSignalled = true;
    }
    if (m_bManualReset)
        m_cond.notify_all();
    else
        m_cond.notify_one();
}

void CEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_bSignalled = false;
}

bool CEvent::IsSet() const {
    std::lock_guard lock(m_mutex);
    return m_bSignalled;
}

bool CEvent::Wait(uint32_t ms) {
    std::unique_lock lock(m_mutex);
    auto signalled = [this] { return m_bSignalled; };
    bool bSet;
    if (ms == kInfinite) {
        m_cond.wait(lock, signalled);
        bSet = true;
    } else {
        bSet = m_cond.wait_for(lock, std::chrono::milliseconds(ms), signalled);
    }
    if (bSet && !m_bManualReset) m_bSignalled = false;
    return bSet;
}

}  // namespace vexal::platform
