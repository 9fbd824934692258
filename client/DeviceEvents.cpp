#include "client/DeviceEvents.h"

#include <chrono>
#include <cstdio>

namespace vexal::client {

const char* LinkStateName(ELinkState eState) { return eState == ELinkState::Online ? "on-line" : "off-line"; }

const char* DeviceEventName(EDeviceEvent eKind) {
    switch (eKind) {
    case EDeviceEvent::DeviceAdded: return "device-added";
    case EDeviceEvent::DeviceRemoved: return "device-removed";
    case EDeviceEvent::Status: return "status";
    case EDeviceEvent::Alarm: return "alarm";
    case EDeviceEvent::Link: return "link";
    }
    return "?";
}

std::vector<std::string> SPrinterState::Reasons() const {
    return record ? model::RecordReasons(*record) : std::vector<std::string>{};
}

std::string EventTimestamp() {
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return buf;
}

void CDeviceEventQueue::Push(SDeviceEvent event) {
    {
        std::lock_guard lock(m_mutex);
        if (m_bClosed) return;
        if (m_events.size() >= kCapacity) {
            m_events.pop_front();
            ++m_nDropped;
        }
        m_events.push_back(std::move(event));
    }
    m_cv.notify_all();
}

void CDeviceEventQueue::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_bClosed = true;
    }
    m_cv.notify_all();
}

std::optional<SDeviceEvent> CDeviceEventQueue::Wait(uint32_t nTimeoutMs) {
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), [this] { return !m_events.empty() || m_bClosed; });
    if (m_events.empty()) return std::nullopt;
    SDeviceEvent event = std::move(m_events.front());
    m_events.pop_front();
    return event;
}

bool CDeviceEventQueue::IsClosed() const {
    std::lock_guard lock(m_mutex);
    return m_bClosed && m_events.empty();
}

uint64_t CDeviceEventQueue::Dropped() const {
    std::lock_guard lock(m_mutex);
    return m_nDropped;
}

}  // namespace vexal::client
