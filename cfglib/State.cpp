// Port binding: loading the port library, guarded calls of its entries, and
// opening and closing the port for a session.
#include "cfglib/State.h"

#include "cfglib/ZamoCtrl.h"
#include "common/VQTLog.h"
#include "platform/Clock.h"

namespace vexal::cfg {

namespace {

template <typename TFn>
void Bind(const platform::CDynLib& lib, const char* pszName, TFn& pfn) {
    pfn = reinterpret_cast<TFn>(lib.Symbol(pszName));
}

// Any address inside this library, so the port library is looked for next
// to it first.
const void* ThisModuleAnchor() { return reinterpret_cast<const void*>(&ThisModuleAnchor); }

}  // namespace

CStateCommon::CStateCommon() = default;

CStateCommon::~CStateCommon() {
    // A poll thread still running owns a reference to its state, so only a
    // thread that ended (or this very thread) can be left here.
    if (m_pPollThread.joinable()) {
        if (m_pPollThread.get_id() == std::this_thread::get_id())
            m_pPollThread.detach();
        else
            m_pPollThread.join();
    }
}

bool CStateCommon::LoadPortLibrary(const std::string& strFileName) {
    if (!m_hPortLibrary.Load(strFileName, ThisModuleAnchor())) return false;
    const platform::CDynLib& lib = m_hPortLibrary;
    Bind(lib, "SetDeviceOption", m_pfnSetDeviceOption);
    Bind(lib, "OpenPort", m_pfnOpenPort);
    Bind(lib, "ClosePort", m_pfnClosePort);
    Bind(lib, "Read", m_pfnRead);
    Bind(lib, "ReadAvailable", m_pfnReadAvailable);
    Bind(lib, "Write", m_pfnWrite);
    Bind(lib, "Clear", m_pfnClear);
    Bind(lib, "IsPowerState", m_pfnIsPowerState);
    Bind(lib, "GetASBState", m_pfnGetASBState);
    Bind(lib, "CreatePort", m_pfnCreatePort);
    Bind(lib, "RemovePort", m_pfnRemovePort);
    Bind(lib, "SetWrite", m_pfnSetWrite);
    Bind(lib, "AvailableDevId", m_pfnAvailableDevId);
    Bind(lib, "SetAsbMode", m_pfnSetAsbMode);
    Bind(lib, "GetAsbMode", m_pfnGetAsbMode);
    Bind(lib, "SetPnPMode", m_pfnSetPnPMode);
    Bind(lib, "GetPnPMode", m_pfnGetPnPMode);
    Bind(lib, "SetAlarmCallback", m_pfnSetAlarmCallback);
    m_bPortLibraryBound = m_pfnSetDeviceOption && m_pfnOpenPort && m_pfnClosePort && m_pfnRead && m_pfnReadAvailable &&
                          m_pfnWrite && m_pfnClear && m_pfnIsPowerState && m_pfnGetASBState && m_pfnAvailableDevId &&
                          m_pfnSetAsbMode && m_pfnGetAsbMode && m_pfnSetPnPMode && m_pfnGetPnPMode &&
                          m_pfnSetAlarmCallback;
    return m_bPortLibraryBound;
}

int32_t CStateCommon::OpenPort(const DeviceOption& option, uint32_t dwPortId, uint32_t dwDeviceId) {
    if (m_pfnSetDeviceOption == nullptr || m_pfnSetDeviceOption(option, dwPortId, dwDeviceId) == 0) {
        m_nOpenCount = 0;
        return 0;
    }
    const uint32_t dwCount = m_pfnOpenPort != nullptr ? m_pfnOpenPort(dwPortId, dwDeviceId) : 0;
    m_nOpenCount = static_cast<int32_t>(dwCount);
    return m_nOpenCount;
}

int32_t CStateCommon::ClosePort(uint32_t dwPortId, uint32_t dwDeviceId) {
    --m_nOpenCount;
    m_bStopPolling = true;
    if (m_pPollRun) m_pPollRun->m_bStop = true;
    m_StopEvent.Set();
    if (!m_bPollEnded.load() && m_pPollRun) {
        const uint64_t qwStart = platform::TickMs();
        while (!m_pPollRun->m_bEnded.load() && platform::TickMs() - qwStart < kPollStopWaitMs) platform::SleepMs(10);
    }
    if (m_pPollThread.joinable()) {
        if (m_pPollRun && m_pPollRun->m_bEnded.load()) {
            m_pPollThread.join();
        } else {
            // Never kill a thread: the late one keeps its own reference to
            // this state and ends at its next wake-up.
            CVQTLoger::Instance().WriteLog(kLogError, "poll thread did not end in %d ms", {kPollStopWaitMs});
            m_pPollThread.detach();
        }
    }
    m_bPollEnded = true;
    m_nOpenCount = 0;
    if (m_pfnClosePort != nullptr) m_pfnClosePort(dwPortId, dwDeviceId);
    return 0;
}

uint32_t CStateCommon::CallCreatePort(const std::u16string& strName, uint32_t dwDeviceType) {
    return m_pfnCreatePort != nullptr ? m_pfnCreatePort(strName.c_str(), dwDeviceType) : 0;
}

uint32_t CStateCommon::CallRemovePort(uint32_t dwPortId) {
    return m_pfnRemovePort != nullptr ? m_pfnRemovePort(dwPortId) : 0;
}

uint32_t CStateCommon::CallReadAvailable(uint32_t dwPortId, uint32_t dwDeviceId) {
    return IsInUse() && m_pfnReadAvailable != nullptr ? m_pfnReadAvailable(dwPortId, dwDeviceId) : 0;
}

uint32_t CStateCommon::CallRead(uint8_t* pBuffer, uint32_t dwLength, uint32_t dwTimeoutMs, uint32_t dwPortId,
                                uint32_t dwDeviceId) {
    return IsInUse() && m_pfnRead != nullptr ? m_pfnRead(pBuffer, dwLength, dwTimeoutMs, dwPortId, dwDeviceId) : 0;
}

int32_t CStateCommon::CallWrite(const uint8_t* pData, uint32_t dwLength, uint32_t dwPortId) {
    return IsInUse() && m_pfnWrite != nullptr ? m_pfnWrite(pData, dwLength, dwPortId) : 0;
}

void CStateCommon::CallSetWrite(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId) {
    if (IsInUse() && m_pfnSetWrite != nullptr) m_pfnSetWrite(dwFlag, dwPortId, dwDeviceId);
}

void CStateCommon::CallClear(uint32_t dwPortId, uint32_t dwDeviceId) {
    if (IsInUse() && m_pfnClear != nullptr) m_pfnClear(dwPortId, dwDeviceId);
}

uint32_t CStateCommon::CallIsPowerState(uint32_t dwPortId, uint32_t dwDeviceId) {
    return IsInUse() && m_pfnIsPowerState != nullptr ? m_pfnIsPowerState(dwPortId, dwDeviceId) : 0;
}

uint32_t CStateCommon::CallAvailableDevId(uint32_t dwPortId, uint32_t dwDeviceType, uint32_t dwLowest,
                                          uint32_t dwHighest) {
    return IsInUse() && m_pfnAvailableDevId != nullptr
               ? m_pfnAvailableDevId(dwPortId, dwDeviceType, dwLowest, dwHighest)
               : 0;
}

uint32_t CStateCommon::CallSetPnPMode(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId) {
    return IsInUse() && m_pfnSetPnPMode != nullptr ? m_pfnSetPnPMode(dwFlag, dwPortId, dwDeviceId) : ZAMO_E_FAIL;
}

uint32_t CStateCommon::CallGetPnPMode(uint32_t dwPortId, uint32_t dwDeviceId) {
    return IsInUse() && m_pfnGetPnPMode != nullptr ? m_pfnGetPnPMode(dwPortId, dwDeviceId) : 0;
}

void CStateCommon::CallSetAlarmCallback(uint32_t dwPortId, uint32_t dwDeviceId, ZamoAlarmCallback pfn) {
    if (IsInUse() && m_pfnSetAlarmCallback != nullptr) m_pfnSetAlarmCallback(dwPortId, dwDeviceId, pfn);
}

}  // namespace vexal::cfg
