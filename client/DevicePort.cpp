#include "client/DevicePort.h"

#include "model/DeviceFrames.h"
#include "platform/Clock.h"

#include <algorithm>

namespace vexal::client {

namespace {

// A Write that comes back with nothing this fast made no attempt: every
// transport returns at once only when its link is not open (a full buffer
// costs the network port its 50 ms pause, a slice of the USB port its time).
constexpr uint64_t kNoAttemptMs = 5;
constexpr uint32_t kRetryPauseMs = 5;

}  // namespace

size_t WriteChunkFor(ELinkKind eKind, uint32_t nBaud) {
    switch (eKind) {
    // One non-blocking send takes what the socket buffer holds; the 50 ms
    // after each is what costs, so few and large.
    case ELinkKind::Network: return size_t{1} << 20;
    // About 16 ms at full speed: a stop waits no longer than that.
    case ELinkKind::Usb: return size_t{16} << 10;
    // About 100 ms of line time (ten bits a byte).
    case ELinkKind::Serial:
    case ELinkKind::Parallel: return std::max<size_t>(64, nBaud / 100);
    }
    return 4096;
}

const char* SendEndText(ESendEnd eEnd) {
    switch (eEnd) {
    case ESendEnd::Done: return "sent";
    case ESendEnd::Cancelled: return "cancelled";
    case ESendEnd::Deadline: return "the time for the send ran out";
    case ESendEnd::Alarm: return "the hub raised a write alarm";
    case ESendEnd::LinkLost: return "the link to the hub was lost";
    case ESendEnd::Stalled: return "the link took nothing for too long";
    }
    return "?";
}

std::string SendEndReason(const SSendResult& result) {
    if (result.eEnd != ESendEnd::Alarm) return SendEndText(result.eEnd);
    return "the hub raised write alarm " + std::to_string(result.nAlarmCode) + " (" +
           model::AlarmName(result.nAlarmCode) + ")";
}

CDevicePort::CDevicePort(const CPortApiTable& api) : m_api(api) {}

CDevicePort::~CDevicePort() { Leave(); }

bool CDevicePort::Join(const std::u16string& strPortName, uint32_t nSessionDevice, ELinkKind eKind, uint32_t nBaud,
                       std::string& strError) {
    Leave();
    if (!m_api.IsBound()) {
        strError = "the port library is not bound";
        return false;
    }
    const uint32_t nPort = m_api.m_pfn_CreatePort(strPortName.c_str(), nSessionDevice);
    if (nPort == 0) {
        strError = "the port library refused the port name";
        return false;
    }
    // The session switched plug-and-play on at its open, and holds its
    // device: a port made just now by this call has neither.
    if (m_api.m_pfn_GetPnPMode(nPort, nSessionDevice) != 1 ||
        m_api.m_pfn_AvailableDevId(nPort, 0, nSessionDevice, nSessionDevice) != nSessionDevice) {
        m_api.m_pfn_RemovePort(nPort);
        strError = "the session's port is not open in this process's port library";
        return false;
    }
    m_nPort = nPort;
    m_nSessionDevice = nSessionDevice;
    m_eKind = eKind;
    m_nBaud = nBaud;
    m_nStatusBackBefore = m_api.m_pfn_GetAsbMode(nPort, nSessionDevice);
    m_bStatusBackSet = false;
    return true;
}

void CDevicePort::Leave() {
    if (m_nPort == 0) return;
    std::map<int, ZamoAlarmCallback> slots;
    std::vector<int> added;
    {
        std::lock_guard lock(m_mutex);
        slots.swap(m_mapAlarmSlots);
        added.swap(m_vecAdded);
    }
    for (const auto& [nDevice, pfn] : slots) {
        m_api.m_pfn_SetAlarmCallback(m_nPort, static_cast<uint32_t>(nDevice), nullptr);
        CAlarmSlots::Release(pfn);
    }
    for (int nDevice : added) m_api.m_pfn_ClosePort(m_nPort, static_cast<uint32_t>(nDevice));
    if (m_bStatusBackSet) m_api.m_pfn_SetAsbMode(m_nStatusBackBefore, m_nPort, m_nSessionDevice);
    m_api.m_pfn_RemovePort(m_nPort);
    m_nPort = 0;
    std::lock_guard lock(m_alarmMutex);
    m_vecAlarms.clear();
}

std::vector<int> CDevicePort::PresentDevices() const {
    std::vector<int> present;
    for (int nDevice = model::kFirstDeviceId; nDevice <= model::kLastDeviceId; ++nDevice)
        if (m_api.m_pfn_IsPowerState(m_nPort, static_cast<uint32_t>(nDevice)) != 0) present.push_back(nDevice);
    return present;
}

bool CDevicePort::IsPresent(int nDevice) const {
    return m_api.m_pfn_IsPowerState(m_nPort, static_cast<uint32_t>(nDevice)) != 0;
}

std::optional<bool> CDevicePort::ReportsOffline() const {
    if (m_api.m_pfn_IsPowerState(m_nPort, m_nSessionDevice) != 0) return false;
    // The session's device has its queues already, so this adds nothing.
    if (m_api.m_pfn_AvailableDevId(m_nPort, 0, m_nSessionDevice, m_nSessionDevice) == m_nSessionDevice) return true;
    return std::nullopt;
}

bool CDevicePort::AddDevice(int nDevice) {
    if (static_cast<uint32_t>(nDevice) == m_nSessionDevice) return true;
    std::lock_guard lock(m_mutex);
    if (std::find(m_vecAdded.begin(), m_vecAdded.end(), nDevice) != m_vecAdded.end()) return true;
    // The port is open (the session holds it): this only adds the queues.
    if (m_api.m_pfn_OpenPort(m_nPort, static_cast<uint32_t>(nDevice)) == 0) return false;
    m_vecAdded.push_back(nDevice);
    return true;
}

void CDevicePort::DiscardData(int nDevice) {
    if (static_cast<uint32_t>(nDevice) == m_nSessionDevice) return;
    m_api.m_pfn_Clear(m_nPort, static_cast<uint32_t>(nDevice));
}

void CDevicePort::SetStatusBack(bool bOn) {
    m_api.m_pfn_SetAsbMode(bOn ? 1 : 0, m_nPort, m_nSessionDevice);
    m_bStatusBackSet = true;
}

bool CDevicePort::TakeRecord(int nDevice, model::CStatusRecord& record) {
    uint8_t buffer[4] = {};
    if (m_api.m_pfn_GetASBState(buffer, m_nPort, static_cast<uint32_t>(nDevice)) != 1) return false;
    std::copy(std::begin(buffer), std::end(buffer), record.begin());
    return true;
}

void CDevicePort::SetAlarmWake(std::function<void()> fnWake) { m_fnWake = std::move(fnWake); }

bool CDevicePort::WatchAlarms(int nDevice) {
    std::lock_guard lock(m_mutex);
    if (m_mapAlarmSlots.count(nDevice) != 0) return true;
    const ZamoAlarmCallback pfn = CAlarmSlots::Acquire(this, nDevice);
    if (pfn == nullptr) return false;
    m_mapAlarmSlots[nDevice] = pfn;
    m_api.m_pfn_SetAlarmCallback(m_nPort, static_cast<uint32_t>(nDevice), pfn);
    return true;
}

void CDevicePort::OnAlarm(int nDevice, uint32_t nKind, uint32_t nCode) {
    {
        std::lock_guard lock(m_alarmMutex);
        m_vecAlarms.push_back({nDevice, nKind, nCode});
    }
    if (m_fnWake) m_fnWake();
}

std::vector<SDeviceAlarm> CDevicePort::TakeAlarms() {
    std::lock_guard lock(m_alarmMutex);
    std::vector<SDeviceAlarm> alarms;
    alarms.swap(m_vecAlarms);
    return alarms;
}

size_t CDevicePort::ReadData(int nDevice, uint8_t* pBuffer, size_t nSize) {
    if (pBuffer == nullptr || nSize == 0 || static_cast<uint32_t>(nDevice) == m_nSessionDevice) return 0;
    const uint32_t nWaiting = m_api.m_pfn_ReadAvailable(m_nPort, static_cast<uint32_t>(nDevice));
    if (nWaiting == 0) return 0;
    const uint32_t nWanted = static_cast<uint32_t>(std::min<size_t>(nWaiting, nSize));
    // All of it waits already: the read takes it at once.
    const uint32_t nRead = m_api.m_pfn_Read(pBuffer, nWanted, 0, m_nPort, static_cast<uint32_t>(nDevice));
    return std::min<size_t>(nRead, nWanted);
}

bool CDevicePort::WriteFrame(int nDevice, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> wire;
    model::AppendFrames(wire, static_cast<uint8_t>(nDevice), payload.data(), payload.size());
    SSendControl control;
    control.nStallMs = 2000;
    return WriteWire(wire, payload.size(), control).eEnd == ESendEnd::Done;
}

SSendResult CDevicePort::SendData(int nDevice, const uint8_t* pData, size_t nData, const SSendControl& control) {
    std::vector<uint8_t> wire;
    model::AppendFrames(wire, static_cast<uint8_t>(nDevice), pData, nData);
    return WriteWire(wire, nData, control);
}

SSendResult CDevicePort::WriteWire(const std::vector<uint8_t>& wire, size_t nPayload, const SSendControl& control) {
    SSendResult result;
    if (wire.empty()) return result;
    const size_t nChunk = control.nChunk != 0 ? control.nChunk : WriteChunkFor(m_eKind, m_nBaud);
    std::lock_guard wireLock(m_wireMutex);
    // No keep-alive byte of the network port between the pieces of a frame.
    m_api.m_pfn_SetWrite(1, m_nPort, m_nSessionDevice);
    uint64_t nLastProgress = platform::TickMs();
    size_t nDone = 0;
    while (nDone < wire.size()) {
        if (control.pCancel != nullptr && control.pCancel->load()) {
            result.eEnd = ESendEnd::Cancelled;
            break;
        }
        if (control.fnAlarm) {
            if (const uint32_t nCode = control.fnAlarm(); nCode != 0) {
                result.eEnd = ESendEnd::Alarm;
                result.nAlarmCode = nCode;
                break;
            }
        }
        const uint64_t nNow = platform::TickMs();
        if (control.nDeadlineMs != 0 && nNow >= control.nDeadlineMs) {
            result.eEnd = ESendEnd::Deadline;
            break;
        }
        const uint32_t nLength = static_cast<uint32_t>(std::min(wire.size() - nDone, nChunk));
        const int32_t nWritten = m_api.m_pfn_Write(wire.data() + nDone, nLength, m_nPort);
        const uint64_t nAfter = platform::TickMs();
        if (nWritten < 0) {
            result.eEnd = ESendEnd::LinkLost;
            break;
        }
        if (nWritten > 0) {
            nDone += std::min<size_t>(static_cast<size_t>(nWritten), nLength);
            nLastProgress = nAfter;
            continue;
        }
        // Nothing went: a frame cut by a lost link cannot be finished on the
        // next connection, and whole frames may have been lost with it.
        if (nAfter - nNow < kNoAttemptMs) {
            result.eEnd = ESendEnd::LinkLost;
            break;
        }
        if (nAfter - nLastProgress >= control.nStallMs) {
            result.eEnd = ESendEnd::Stalled;
            break;
        }
        platform::SleepMs(kRetryPauseMs);
    }
    m_api.m_pfn_SetWrite(0, m_nPort, m_nSessionDevice);
    result.nWireWritten = nDone;
    result.nPayloadWritten = model::PayloadWithin(nPayload, nDone);
    return result;
}

}  // namespace vexal::client
