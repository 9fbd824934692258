// A sticky wake-up that a closing thread sets so that another thread's socket
// waits and pauses end at once (closing a descriptor does not wake a poll).
#pragma once
#include <atomic>
#include <cstdint>

namespace vexal::platform {

class CWakeSignal {
public:
    CWakeSignal();
    ~CWakeSignal();
    CWakeSignal(const CWakeSignal&) = delete;
    CWakeSignal& operator=(const CWakeSignal&) = delete;

    // Stays set until Reset: a wait that starts later also ends at once.
    void Set();
    void Reset();
    bool IsSet() const { return m_bSet.load(); }

    // Pauses up to ms. True when the signal was set before or during the pause.
    bool SleepMs(uint32_t ms) const;

    // For the platform backends only: a descriptor that polls readable while
    // set (an event handle on Windows), or -1 when none could be made (waits
    // then poll in short slices).
    std::intptr_t Handle() const { return m_hEvent; }

private:
    std::atomic<bool> m_bSet{false};
    std::intptr_t m_hEvent = -1;
};

}  // namespace vexal::platform
