// The devices behind a hub as the port library shows them to a second user
// of an open configuration session's port: which are present, the printers'
// status records, the hub's write alarms, the bytes a device sends, and
// frames written to a device. It shares the session's port object (the
// same name in the same port registry) and never touches what the session
// owns:
//  - the session's device (10) keeps its queues: this never closes it (a
//    ClosePort removes a device's first queues, whoever added them) and
//    never reads its receive queue (the session's poll thread does);
//  - devices it adds (OpenPort) it closes again (ClosePort) when it leaves;
//  - every write of a frame is whole before another frame may follow, so a
//    caller that also lets the session write holds WireLock() around those
//    session calls.
// No thread of its own; every function may be called from any thread except
// where it says otherwise. CHubDevices drives it.
#pragma once
#include "client/AlarmSlots.h"
#include "client/PortApiTable.h"
#include "model/DeviceStatus.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vexal::client {

// How a link takes writes: each Write call of the port library should carry
// as much as it can without making a stop wait long (the network port pauses
// 50 ms after every send; a serial Write lasts as long as the line needs).
enum class ELinkKind { Network, Serial, Usb, Parallel };
// Wire bytes per Write call for a link (nBaud for serial links).
size_t WriteChunkFor(ELinkKind eKind, uint32_t nBaud);

struct SDeviceAlarm {
    int nDevice = 0;
    uint32_t nKind = 0;  // 0x74, a write alarm
    uint32_t nCode = 0;  // 1200-1204
};

// What a send of data to a device did.
enum class ESendEnd {
    Done,       // every byte went out
    Cancelled,  // the cancel flag was set
    Deadline,   // the deadline passed
    Alarm,      // a write alarm for the device arrived (nAlarmCode)
    LinkLost,   // the port reported the link broken, or took no write at all
    Stalled,    // the link took nothing for the stall time
};
const char* SendEndText(ESendEnd eEnd);

struct SSendControl {
    // Set from any thread (or a signal handler: a lock-free atomic) to stop
    // before the next write. The write in progress ends first: up to about
    // 50 ms on a network link, the chunk's line time on a serial one.
    const std::atomic<bool>* pCancel = nullptr;
    uint64_t nDeadlineMs = 0;   // platform::TickMs() at which to stop; 0: none
    uint32_t nStallMs = 10000;  // no progress that long ends the send
    size_t nChunk = 0;          // wire bytes per Write; 0: WriteChunkFor the link
    // Polled between writes: a non-zero alarm code ends the send (Alarm).
    std::function<uint32_t()> fnAlarm;
};

struct SSendResult {
    ESendEnd eEnd = ESendEnd::Done;
    size_t nWireWritten = 0;     // bytes the port library reported written, headers included
    size_t nPayloadWritten = 0;  // of them, the device's data
    uint32_t nAlarmCode = 0;     // with Alarm
};

// Why a send ended, for people: SendEndText, with an alarm named
// ("the hub raised write alarm 1202 (device-offline)").
std::string SendEndReason(const SSendResult& result);

class CDevicePort : private IAlarmReceiver {
public:
    explicit CDevicePort(const CPortApiTable& api);
    ~CDevicePort() override;  // Leave()
    CDevicePort(const CDevicePort&) = delete;
    CDevicePort& operator=(const CDevicePort&) = delete;

    // Shares the port named strPortName, which an open session on device
    // nSessionDevice holds. False (nothing kept) with strError when no such
    // port is open in this process's port registry: another port library
    // than the session's, or a session that is not open. Not thread-safe:
    // call before any other use, with the session open.
    bool Join(const std::u16string& strPortName, uint32_t nSessionDevice, ELinkKind eKind, uint32_t nBaud,
              std::string& strError);
    // Gives back what Join and later calls took: alarm callbacks, the queues
    // of the devices it added, the status-back mode as it found it, its port
    // reference. Call before the session closes, with no other call running.
    void Leave();
    bool IsJoined() const { return m_nPort != 0; }
    uint32_t PortId() const { return m_nPort; }
    uint32_t SessionDevice() const { return m_nSessionDevice; }

    // Devices 1-254 the port reports present, rising (none while the port
    // reports its link off-line).
    std::vector<int> PresentDevices() const;
    bool IsPresent(int nDevice) const;
    // True when the port reports its link off-line: its presence table
    // holds the session's device, yet the power state denies it (the one
    // way the two differ). nullopt when the table does not hold it.
    std::optional<bool> ReportsOffline() const;

    // Gives the device queues of its own on this port (a receive queue; a
    // status queue for 10-19); the session's device has its own already.
    // Idempotent. False when the port refused.
    bool AddDevice(int nDevice);
    // Empties the receive queue of a device added only for its status
    // records, so its other bytes do not pile up.
    void DiscardData(int nDevice);

    // Status-back mode of the port (for every printer 10-19 on it).
    void SetStatusBack(bool bOn);
    // The oldest status record of a printer, if one waits.
    bool TakeRecord(int nDevice, model::CStatusRecord& record);

    // Write alarms of the device are queued from now on (until Leave);
    // fnWake (set once, before) is called on the reader thread for each one.
    // False when no callback slot is left.
    bool WatchAlarms(int nDevice);
    void SetAlarmWake(std::function<void()> fnWake);
    std::vector<SDeviceAlarm> TakeAlarms();

    // Takes what waits in the receive queue of a device it added (at most
    // nSize bytes), without waiting.
    size_t ReadData(int nDevice, uint8_t* pBuffer, size_t nSize);

    // Writes nData bytes to a device in frames, in order, under the wire
    // lock; see SSendControl and SSendResult. Blocks until it ends.
    SSendResult SendData(int nDevice, const uint8_t* pData, size_t nData, const SSendControl& control);
    // One small frame (a command the client sends itself); true when the
    // port took all of it.
    bool WriteFrame(int nDevice, const std::vector<uint8_t>& payload);
    // Held by every frame write; hold it around a session call that writes.
    std::mutex& WireLock() { return m_wireMutex; }

private:
    void OnAlarm(int nDevice, uint32_t nKind, uint32_t nCode) override;
    // Writes wire bytes under the wire lock until all went, or control ends it.
    SSendResult WriteWire(const std::vector<uint8_t>& wire, size_t nPayload, const SSendControl& control);

    const CPortApiTable& m_api;
    uint32_t m_nPort = 0;
    uint32_t m_nSessionDevice = 0;
    ELinkKind m_eKind = ELinkKind::Network;
    uint32_t m_nBaud = 9600;
    uint32_t m_nStatusBackBefore = 0;
    bool m_bStatusBackSet = false;

    std::mutex m_wireMutex;
    mutable std::mutex m_mutex;
    std::vector<int> m_vecAdded;                       // guarded by m_mutex
    std::map<int, ZamoAlarmCallback> m_mapAlarmSlots;  // guarded by m_mutex
    std::vector<SDeviceAlarm> m_vecAlarms;             // guarded by m_alarmMutex
    std::mutex m_alarmMutex;
    std::function<void()> m_fnWake;
};

}  // namespace vexal::client
