// Manual- and auto-reset events with timed waits, as the port threads use them.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vexal::platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class CEvent {
public:
    explicit CEvent(bool bManualReset, bool bInitiallySet = false)
        : m_bManualReset(bManualReset), m_bSignalled(bInitiallySet) {}
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    // Waits until the event is signalled or ms have passed (kInfinite: no limit).
    // Returns true when signalled; an auto-reset event is then reset.
    bool Wait(uint32_t ms);
    bool IsSet() const;

private:
    const bool m_bManualReset;
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_bSignalled;  // guarded by m_mutex
};

}  // namespace vexal::platform
