#include "portlib/PortListMng.h"

#include "portlib/PortCom.h"
#include "portlib/PortLpt.h"
#include "portlib/PortNet.h"
#include "portlib/PortUsb.h"

#include "platform/DeviceNames.h"

namespace vexal {

namespace {
constexpr uint32_t kOffline = ZAMO_LINK_OFFLINE;

std::shared_ptr<CPortInterface> MakeTransport(uint32_t dwType) {
    switch (dwType) {
    case ZAMO_PORT_COM: return std::make_shared<CPortCom>();
    case ZAMO_PORT_USB: return std::make_shared<CPortUsb>();
    case ZAMO_PORT_LPT: return std::make_shared<CPortLpt>();
    default: return std::make_shared<CPortNet>();
    }
}
}  // namespace

uint32_t PortTypeFromName(std::u16string_view strName) {
    // First: the letters of a device path ("/dev/ttyUSB0") say nothing of its transport.
    if (platform::DevicePathOf(strName)) return ZAMO_PORT_COM;
    if (strName.find(u"COM") != std::u16string_view::npos) return ZAMO_PORT_COM;
    if (strName.find(u"USB") != std::u16string_view::npos) return ZAMO_PORT_USB;
    if (strName.find(u"LPT") != std::u16string_view::npos) return ZAMO_PORT_LPT;
    if (strName.empty()) return 0;
    return ZAMO_PORT_NET;
}

CPortListMng& CPortListMng::Instance() {
    // Never destroyed: at exit other threads may still call in.
    static CPortListMng* pInstance = std::make_unique<CPortListMng>(MakeTransport).release();
    return *pInstance;
}

CPortListMng::CPortListMng(PortFactory factory) : m_factory(std::move(factory)) {
    // The development switch turns every registry and port line on.
    if (IsDevelopmentLogOn()) SetLogSwitches(1, 1);
}

void CPortListMng::LogA(int nLevel, std::string_view format, std::initializer_list<CLogArg> args) {
    if (m_nLogSwitchA == 1 || nLevel == kLogForced) m_log.WriteRegistryLog(nLevel, format, args);
}

void CPortListMng::LogB(int nLevel, std::string_view format, std::initializer_list<CLogArg> args) {
    if (m_nLogSwitchB != 0 || nLevel == kLogForced) m_log.WriteRegistryLog(nLevel, format, args);
}

void CPortListMng::SetNextPortId(uint32_t dwNext) {
    std::lock_guard lock(m_mutex);
    m_dwNextPortId = dwNext;
}

void CPortListMng::SetLogSwitches(uint32_t nSwitchA, uint32_t nSwitchB) {
    m_nLogSwitchA = nSwitchA;
    m_nLogSwitchB = nSwitchB;
    // The registry's own file is named "Port" once its switch is on.
    if (nSwitchA == 1 || nSwitchB != 0) m_log.Initialise(true, u"", u"Port");
}

std::shared_ptr<CPortInterface> CPortListMng::Find(uint32_t dwPortId) {
    std::lock_guard lock(m_mutex);
    for (const auto& pPort : m_ports)
        if (pPort->m_dwPortId == dwPortId) return pPort;
    return nullptr;
}

size_t CPortListMng::PortCount() {
    std::lock_guard lock(m_mutex);
    return m_ports.size();
}

uint32_t CPortListMng::CreatePort(std::u16string_view strPort, uint32_t dwDeviceType) {
    const uint32_t dwType = PortTypeFromName(strPort);
    if (dwType == 0) {
        LogA(kLogError, "strPort is empty string.");
        return 0;
    }
    LogA(kLogInfo, "+CreatePort <strPort : %s, dwDeviceType : %d>", {strPort, dwDeviceType});
    std::shared_ptr<CPortInterface> pPort;
    uint32_t dwId = 0;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& pExisting : m_ports) {
            if (pExisting->m_strPortName == strPort) {
                ++pExisting->m_dwRefCount;
                dwId = pExisting->m_dwPortId;
                break;
            }
        }
        if (dwId == 0) {
            if (m_dwNextPortId == 0) {
                dwId = UINT32_MAX;  // marks the wrapped counter, handled below
            } else {
                pPort = m_factory(dwType);
                pPort->m_dwRefCount = 1;
                pPort->m_strPortName = std::u16string(strPort);
                pPort->PortLog().Initialise(false, u"", u"");
                pPort->m_bCapture = false;
                pPort->m_bPortLog = IsDevelopmentLogOn();
                pPort->m_bPortTrace = IsDevelopmentLogOn();
                pPort->m_strCaptureDir.clear();
                if (dwType != ZAMO_PORT_LPT) pPort->m_dwReaderPause = kDefaultReaderPauseMs;
                pPort->m_dwPortId = m_dwNextPortId++;
                pPort->m_dwOpenCount = 0;
                pPort->m_nOpenResult = 0;
                m_ports.push_front(pPort);
            }
        } else {
            LogA(kLogInfo, "-CreatePort: existing id used <%d>", {dwId});
            return dwId;
        }
    }
    if (dwId == UINT32_MAX) {
        LogA(kLogForced, "-CreatePort : fail to create port id : %d", {0u});
        return 0;
    }
    LogA(kLogInfo, "-CreatePort : new created id : %d", {pPort->m_dwPortId});
    return pPort->m_dwPortId;
}

uint32_t CPortListMng::RemovePort(uint32_t dwPortId) {
    LogA(kLogInfo, "+RemovePort <dwPortId : %d,  dwPortId : %d>", {dwPortId, dwPortId});
    std::shared_ptr<CPortInterface> pPort;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_ports.begin();
        while (it != m_ports.end() && (*it)->m_dwPortId != dwPortId) ++it;
        if (it == m_ports.end()) return 0;
        const uint32_t dwLeft = --(*it)->m_dwRefCount;
        if (dwLeft > 0) {
            LogA(kLogInfo, "-RemovePort : partial remove. remain port count:%d", {dwLeft});
            return dwLeft;
        }
        pPort = *it;
        m_ports.erase(it);
    }
    LogA(kLogInfo, "RemovePort : All Remove. delete port.");
    pPort->ReleaseLog();
    LogA(kLogInfo, "-RemovePort : close port");
    // The object goes with its last owner: here, or a caller or reader thread still using it.
    return 0;
}

uint32_t CPortListMng::SetDeviceOption(DeviceOption option, uint32_t dwPortId) {
    LogB(kLogInfo, "+SetDeviceOption <DP Size : %d, dwPortId : %d>",
         {static_cast<uint32_t>(sizeof(DeviceOption)), dwPortId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "SetDeviceOption : pPortInterface is NULL");
        return 0;
    }
    if (option.portType == ZAMO_PORT_COM) {
        const std::u16string strName = option.portName ? std::u16string(option.portName) : std::u16string();
        {
            std::lock_guard lock(m_mutex);  // CreatePort compares names under this lock
            pPort->m_strPortName = strName;
        }
        option.bluetoothStack = 0;
        if (option.bluetoothCheck == 1) option.bluetoothStack = GetBluetoothStackType(strName);
    }
    const uint32_t dwResult = pPort->SetDeviceOption(option);
    LogB(kLogInfo, "-SetDeviceOption <retVal : %d>", {dwResult});
    return dwResult;
}

uint32_t CPortListMng::OpenPort(uint32_t dwPortId, uint32_t dwDeviceId) {
    LogA(kLogInfo, "+OpenPort <dwPortId : %d>", {dwPortId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "OpenPort : pPortInterface is NULL");
        return 0;
    }
    std::lock_guard lock(pPort->m_csOpenClose);
    if (pPort->m_dwOpenCount >= 1) {
        pPort->AddDevice(dwDeviceId);
        const uint32_t dwCount = ++pPort->m_dwOpenCount;
        LogA(kLogInfo, "-OpenPort : already port open=%d", {dwCount});
        return dwCount;
    }
    pPort->m_bOpenCancelled = false;
    pPort->m_bOpening = true;
    const uint32_t dwResult = pPort->OpenPort();
    pPort->m_bOpening = false;
    if (dwResult != 0) {
        ++pPort->m_dwOpenCount;
        pPort->m_nOpenResult = static_cast<int32_t>(dwResult);
    }
    LogA(kLogInfo, "-OpenPort <retVal : %d>", {dwResult});
    return dwResult;
}

void CPortListMng::ClosePort(uint32_t dwPortId, uint32_t dwDeviceId) {
    LogA(kLogInfo, "+ClosePort <dwPortId : %d>", {dwPortId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "ClosePort : pPortInterface is NULL");
        return;
    }
    if (pPort->m_bOpening) pPort->CancelOpen();
    std::lock_guard lock(pPort->m_csOpenClose);
    pPort->RemoveListData(dwDeviceId);
    if (pPort->m_dwOpenCount > 1) {
        const uint32_t dwLeft = --pPort->m_dwOpenCount;
        LogA(kLogInfo, "-ClosePort : another device using port=%d.", {dwLeft});
        return;
    }
    pPort->RemoveListData(0);
    pPort->ClosePort();
    pPort->m_nOpenResult = 0;
    pPort->m_dwOpenCount = 0;
    LogA(kLogInfo, "-ClosePort");
}

uint32_t CPortListMng::Read(uint8_t* pDest, uint32_t dwWanted, uint32_t dwTimeout, uint32_t dwPortId,
                            uint32_t dwDeviceId) {
    LogB(kLogInfo, "+Read <dwRead : %d, dwPortId : %d>", {dwWanted, dwPortId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "Read : pPortInterface is NULL");
        return 0;
    }
    const uint32_t dwResult = pPort->Read(dwDeviceId, pDest, dwWanted, dwTimeout);
    LogB(kLogInfo, "-Read <retVal : %d>", {dwResult});
    return dwResult;
}

uint32_t CPortListMng::ReadAvailable(uint32_t dwPortId, uint32_t dwDeviceId) {
    LogB(kLogInfo, "+ReadAvailable <dwPortId : %d>", {dwPortId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "ReadAvailable : pPortInterface is NULL");
        return 0;
    }
    const uint32_t dwAvailable = pPort->AvailableCount(dwDeviceId);
    LogB(kLogInfo, "-ReadAvailable <dwPortId : %d, Available : %d>", {dwPortId, dwAvailable});
    return dwAvailable;
}

int32_t CPortListMng::Write(const uint8_t* pData, uint32_t dwLength, uint32_t dwPortId) {
    LogB(kLogInfo, "+Write <dwWritten : %d, dwPortId : %d>", {dwLength, dwPortId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "Write : pPortInterface is NULL");
        return 0;
    }
    const int32_t nResult = pPort->WritePort(pData, dwLength);
    LogB(kLogInfo, "-Write <retVal : %d>", {nResult});
    return nResult;
}

void CPortListMng::SetWrite(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId) {
    LogB(kLogInfo, "+SetWrite <isWrite : %d, dwPortId : %d, dwDeviceId : %d>", {dwFlag, dwPortId, dwDeviceId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "SetWrite : pPortInterface is NULL");
        return;
    }
    pPort->SetWrite(dwFlag);
    LogB(kLogInfo, "-SetWrite");
}

void CPortListMng::Clear(uint32_t dwPortId, uint32_t dwDeviceId) {
    LogB(kLogInfo, "+Clear <dwPortId : %d>", {dwPortId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "Clear : pPortInterface is NULL");
        return;
    }
    pPort->Clear(dwDeviceId);
    LogB(kLogInfo, "-Clear");
}

uint32_t CPortListMng::IsPowerState(uint32_t dwPortId, uint32_t dwDeviceId) {
    LogB(kLogInfo, "+IsPowerState <dwPortId : %d>", {dwPortId});
    auto pPort = Find(dwPortId);
    if (!pPort) return 0;
    const uint32_t dwState = pPort->m_dwLinkState == kOffline ? 0 : pPort->IsPresent(dwDeviceId);
    LogB(kLogInfo, "-IsPowerState <dwPortId : %d, PowerState : %d>", {dwPortId, dwState});
    return dwState;
}

uint32_t CPortListMng::GetASBState(uint8_t* pDest, uint32_t dwPortId, uint32_t dwDeviceId) {
    LogB(kLogInfo, "+GetASBState <dwPortId : %d, dwDeviceId : %d>", {dwPortId, dwDeviceId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "GetASBState : pPortInterface is NULL");
        return 0;
    }
    const uint32_t dwResult = pPort->GetASBState(pDest, dwDeviceId);
    LogB(kLogInfo, "-GetASBState <dwPortId : %d, Success : %d>", {dwPortId, dwResult});
    return dwResult;
}

uint32_t CPortListMng::AvailableDevId(uint32_t dwPortId, uint32_t dwLowest, uint32_t dwHighest) {
    LogB(kLogInfo, "+GetAvailableDevId <dwPortId : %d, dwMinDevId : %d, MaxDevId : %d>",
         {dwPortId, dwLowest, dwHighest});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "GetAvailableDevId : pPortInterface is NULL");
        return 0;
    }
    const uint32_t dwDevice = pPort->FindPresentDevice(dwLowest, dwHighest);
    pPort->AddDevice(dwDevice);
    LogB(kLogInfo, "-GetAvailableDevId");
    return dwDevice;
}

uint32_t CPortListMng::SetAsbMode(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId) {
    LogB(kLogInfo, "+SetAsbMode <bAsbEnable : %d, dwPortId : %d, dwDeviceId : %d>", {dwFlag, dwPortId, dwDeviceId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "SetAsbMode : pPortInterface is NULL");
        return kUnknownPortMode;
    }
    pPort->m_nAsbMode = dwFlag;
    if (dwFlag != 0 && pPort->m_nRawMode == 1) pPort->AppendStatusQueue(dwDeviceId);
    LogB(kLogInfo, "-SetAsbMode");
    return 0;
}

uint32_t CPortListMng::GetAsbMode(uint32_t dwPortId, uint32_t dwDeviceId) {
    LogB(kLogInfo, "+GetAsbMode <dwPortId : %d, dwDeviceId : %d>", {dwPortId, dwDeviceId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "GetAsbMode : pPortInterface is NULL");
        return kUnknownPortMode;
    }
    LogB(kLogInfo, "-GetAsbMode");
    return pPort->m_nAsbMode;
}

uint32_t CPortListMng::SetPnPMode(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId) {
    LogB(kLogInfo, "+SetPnPMode <bPnPEnable : %d, dwPortId : %d, dwDeviceId : %d>", {dwFlag, dwPortId, dwDeviceId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "SetPnPMode : pPortInterface is NULL");
        return kUnknownPortMode;
    }
    pPort->m_nPnPMode = dwFlag;
    LogB(kLogInfo, "-SetPnPMode");
    return 0;
}

uint32_t CPortListMng::GetPnPMode(uint32_t dwPortId, uint32_t dwDeviceId) {
    LogB(kLogInfo, "+GetPnPMode <dwPortId : %d, dwDeviceId : %d>", {dwPortId, dwDeviceId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "GetPnPMode : pPortInterface is NULL");
        return kUnknownPortMode;
    }
    LogB(kLogInfo, "-GetPnPMode");
    return pPort->m_nPnPMode;
}

void CPortListMng::SetAlarmCallback(uint32_t dwPortId, uint32_t dwDeviceId, ZamoAlarmCallback pfnCallback) {
    LogB(kLogInfo, "+setAlarmEvent <dwPortId : %d, dwDeviceId : %d>", {dwPortId, dwDeviceId});
    auto pPort = Find(dwPortId);
    if (!pPort) {
        LogA(kLogError, "setAlarmEvent : pPortInterface is NULL");
        return;
    }
    pPort->SetAlarmCallback(dwDeviceId, pfnCallback);
    LogB(kLogInfo, "-setAlarmEvent");
}

}  // namespace vexal
