// CState: the session's poll thread (data and power-state callbacks) and the
// queue waits that the exchange shares with it.
#include <algorithm>
#include <optional>
#include <vector>

#include "cfglib/IdentificationReplies.h"
#include "cfglib/State.h"
#include "cfglib/ZamoCtrl.h"
#include "common/VQTLog.h"
#include "platform/Clock.h"
#include "platform/TextCodec.h"

namespace vexal::cfg {

CState::~CState() {
    std::lock_guard lock(m_SessionLock);
    m_pSession = nullptr;
}

int32_t CState::OpenPort(const DeviceOption& option, uint32_t dwPortId, uint32_t dwDeviceId) {
    const int32_t nCount = CStateCommon::OpenPort(option, dwPortId, dwDeviceId);
    if (nCount != 0) StartPollThread();
    return nCount;
}

int32_t CState::ClosePort(uint32_t dwPortId, uint32_t dwDeviceId) {
    return CStateCommon::ClosePort(dwPortId, dwDeviceId) != 0 ? 1 : 0;
}

void CState::StartPollThread() {
    // A retried open may start again while an earlier run is being stopped.
    if (m_pPollThread.joinable()) {
        m_pPollRun->m_bStop = true;
        m_StopEvent.Set();
        m_pPollThread.join();
    }
    m_bStopPolling = false;
    m_StopEvent.Reset();
    m_bPollEnded = false;
    m_pPollRun = std::make_shared<CPollRun>();
    // The thread shares ownership of this state and of its run's flags, so a
    // thread that outlives the close wait still finds everything it touches.
    m_pPollThread = std::thread([pSelf = shared_from_this(), pRun = m_pPollRun] { pSelf->ThreadBody(pRun); });
}

void CState::SetSession(CZamoCtrl* pSession) {
    std::lock_guard lock(m_SessionLock);
    m_pSession = pSession;
}

bool CState::SnapshotSession(CPollTarget& target) {
    std::lock_guard lock(m_SessionLock);
    if (m_pSession == nullptr) return false;
    target.dwPortId = m_pSession->m_dwPortId;
    target.dwDeviceId = m_pSession->m_dwDeviceId;
    target.pfnStatus = m_pSession->m_pfnStatusUpdateEvent.load();
    target.pfnData = m_pSession->m_pfnDataEvent.load();
    return true;
}

// PollDevice.
void CState::ThreadBody(const std::shared_ptr<CPollRun>& pRun) {
    uint32_t dwPowerState = 0;
    while (!pRun->m_bStop.load()) {
        uint32_t dwWaitMs = kPollIdleMs;
        CPollTarget target;
        if (m_nOpenCount.load() > 0 && SnapshotSession(target)) {
            dwWaitMs = kPollActiveMs;
            if (CallReadAvailable(target.dwPortId, target.dwDeviceId) > 0) {
                std::optional<std::u16string> text;
                {
                    std::unique_lock readLock(m_DeviceReadLock, std::try_to_lock);
                    if (readLock.owns_lock()) text = ReadReceivedData(target);
                }
                // Outside the lock: a client may query this device from its
                // callback (or wait there for a thread that does).
                if (text && target.pfnData != nullptr) target.pfnData(text->c_str());
            }
            const uint32_t dwState = CallIsPowerState(target.dwPortId, target.dwDeviceId);
            if (dwState != dwPowerState) {
                dwPowerState = dwState;
                if (target.pfnStatus != nullptr) target.pfnStatus(dwState == 0 ? 1 : 0);
            }
        }
        if (pRun->m_bStop.load()) break;
        if (m_StopEvent.Wait(dwWaitMs) && pRun->m_bStop.load()) break;
    }
    pRun->m_bEnded = true;
}

std::optional<std::u16string> CState::ReadReceivedData(const CPollTarget& target) {
    const uint32_t dwWaiting = WaitAnswer(kPollActiveMs, target.dwPortId, target.dwDeviceId);
    if (dwWaiting == 0) return std::nullopt;
    std::vector<uint8_t> buffer(static_cast<size_t>(dwWaiting) + 1, 0);
    const int32_t nRead =
        ReadAnswer(buffer.data(), static_cast<int32_t>(dwWaiting), target.dwPortId, target.dwDeviceId);
    if (nRead <= 0 || target.pfnData == nullptr) return std::nullopt;
    // The device's text up to its first zero byte, as a GS I text is read.
    return platform::Utf16FromAnsi(ReplyTextFrom(ReplySpan(buffer.data(), static_cast<size_t>(nRead)), 0));
}

uint32_t CState::WaitReadAvailable(uint32_t dwLimitMs, uint32_t dwPortId, uint32_t dwDeviceId) {
    if (!IsInUse() || m_pfnReadAvailable == nullptr) return 0;
    const uint32_t dwPauseMs = std::max<uint32_t>(dwLimitMs / 10, 1);
    const uint64_t qwStart = platform::TickMs();
    for (;;) {
        const uint32_t dwCount = CallReadAvailable(dwPortId, dwDeviceId);
        if (dwCount > 0 || platform::TickMs() - qwStart >= dwLimitMs) return dwCount;
        platform::SleepMs(dwPauseMs);
    }
}

uint32_t CState::WaitAnswer(uint32_t dwLimitMs, uint32_t dwPortId, uint32_t dwDeviceId) {
    for (int i = 0; i < 5; ++i) {
        const uint32_t dwCount = WaitReadAvailable(dwLimitMs / 5, dwPortId, dwDeviceId);
        platform::SleepMs(10);
        if (dwCount != 0) return dwCount;
    }
    return 0;
}

int32_t CState::ReadAnswer(uint8_t* pBuffer, int32_t nLength, uint32_t dwPortId, uint32_t dwDeviceId) {
    if (pBuffer == nullptr || nLength <= 0) return 0;
    const uint64_t qwStart = platform::TickMs();
    uint32_t dwWaiting = 0;
    do {
        dwWaiting = WaitReadAvailable(300, dwPortId, dwDeviceId);
        platform::SleepMs(10);
    } while (platform::TickMs() - qwStart <= 100 && dwWaiting < static_cast<uint32_t>(nLength));
    if (dwWaiting == 0) return 0;
    return ReadDeviceData(pBuffer, nLength, dwPortId, dwDeviceId);
}

int32_t CState::ReadDeviceData(uint8_t* pBuffer, int32_t nLength, uint32_t dwPortId, uint32_t dwDeviceId) {
    if (!IsInUse() || m_pfnRead == nullptr || m_pfnReadAvailable == nullptr || pBuffer == nullptr || nLength <= 0)
        return 0;
    const uint64_t qwStart = platform::TickMs();
    while (CallReadAvailable(dwPortId, dwDeviceId) == 0 && platform::TickMs() - qwStart < 100) platform::SleepMs(30);
    if (!IsInUse()) return 0;
    // Never more than the caller's buffer, whatever the port library says.
    const uint32_t dwRead = CallRead(pBuffer, static_cast<uint32_t>(nLength), 100, dwPortId, dwDeviceId);
    return static_cast<int32_t>(std::min<uint32_t>(dwRead, static_cast<uint32_t>(nLength)));
}

}  // namespace vexal::cfg
