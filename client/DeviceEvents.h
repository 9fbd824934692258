// What a watch over one hub knows and reports: the devices present with
// their USB identifiers, the printers' latest status records, the link, and
// the events that change them. Plain values, copied out to any thread.
#pragma once
#include "model/DeviceStatus.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vexal::client {

enum class ELinkState { Online, Offline };
// "on-line" or "off-line".
const char* LinkStateName(ELinkState eState);

struct SDeviceInfo {
    int nId = 0;
    std::string strVid, strPid;  // four lower-case hexadecimal digits; empty when the hub did not tell
    std::string strCustomType;   // the custom device type listing its pair ("pos-printer"); empty if none
    bool operator==(const SDeviceInfo&) const = default;
};

struct SPrinterState {
    int nId = 0;
    std::optional<model::CStatusRecord> record;  // the latest of the first kind; none before one came
    // The record's reasons; {} before a record came.
    std::vector<std::string> Reasons() const;
};

struct SHubStatus {
    std::string strHub, strModel, strFirmware;
    // The port the watch shares: the address, the serial port's name, or on
    // USB the interface path of the hub the session took.
    std::string strPortName;
    ELinkState eLink = ELinkState::Online;
    std::vector<SDeviceInfo> vecDevices;     // rising by id
    std::vector<SPrinterState> vecPrinters;  // the present devices 10-19, rising
};

enum class EDeviceEvent { DeviceAdded, DeviceRemoved, Status, Alarm, Link };
// "device-added", "device-removed", "status", "alarm", "link".
const char* DeviceEventName(EDeviceEvent eKind);

struct SDeviceEvent {
    EDeviceEvent eKind = EDeviceEvent::Link;
    std::string strTime;                    // UTC, ISO 8601 with milliseconds: "2026-03-01T08:30:00.125Z"
    int nId = 0;                            // the device (all but Link)
    SDeviceInfo device;                     // DeviceAdded: what the hub told of it
    model::CStatusRecord record{};          // Status, exactly as received
    uint32_t nAlarmCode = 0;                // Alarm: 1200-1204 (model::AlarmName)
    ELinkState eLink = ELinkState::Online;  // Link
};

// The current UTC time in the events' form.
std::string EventTimestamp();

// One subscriber's events, in order. Filled by the watch's threads, taken by
// the subscriber on any thread. Bounded: a subscriber that stops taking
// loses the oldest events beyond kCapacity (Dropped() counts them), never
// the watch's memory.
class CDeviceEventQueue {
public:
    static constexpr size_t kCapacity = 4096;

    void Push(SDeviceEvent event);
    // Ends the queue: waiters wake, Wait returns what is left and then nothing.
    void Close();
    // The next event, waiting up to nTimeoutMs (0: only look); nullopt when
    // none came in time or the queue is closed and empty.
    std::optional<SDeviceEvent> Wait(uint32_t nTimeoutMs);
    bool IsClosed() const;
    uint64_t Dropped() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<SDeviceEvent> m_events;  // guarded by m_mutex
    bool m_bClosed = false;             // guarded by m_mutex
    uint64_t m_nDropped = 0;            // guarded by m_mutex
};

}  // namespace vexal::client
