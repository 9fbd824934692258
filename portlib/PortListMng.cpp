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

template <typename TFn, typename TResult>
TResult CPortListMng::OnPort(const SPortCall& call, std::initializer_list<CLogArg> entryArgs, uint32_t dwPortId,
                             TFn&& fn, uint32_t nUnknown) {
    auto log = [&](std::string_view format, std::initializer_list<CLogArg> args) {
        if (call.bSwitchA)
            LogA(kLogInfo, format, args);
        else
            LogB(kLogInfo, format, args);
    };
    log(call.entry, entryArgs);
    auto pPort = Find(dwPortId);
    if (!pPort) {
        if (!call.unknown.empty()) LogA(kLogError, call.unknown);
        return static_cast<TResult>(nUnknown);
    }
    if constexpr (std::is_void_v<TResult>) {
        fn(*pPort);
        if (!call.exit.empty()) log(call.exit, {});
    } else {
        const TResult result = fn(*pPort);
        if (!call.exit.empty()) {
            switch (call.eExitValues) {
            case EExitValues::None: log(call.exit, {}); break;
            case EExitValues::Result: log(call.exit, {result}); break;
            case EExitValues::PortAndResult: log(call.exit, {dwPortId, result}); break;
            }
        }
        return result;
    }
}

uint32_t CPortListMng::SetDeviceOption(DeviceOption option, uint32_t dwPortId) {
    static constexpr SPortCall kCall{false, "+SetDeviceOption <DP Size : %d, dwPortId : %d>",
                                     "SetDeviceOption : pPortInterface is NULL", "-SetDeviceOption <retVal : %d>",
                                     EExitValues::Result};
    return OnPort(kCall, {static_cast<uint32_t>(sizeof(DeviceOption)), dwPortId}, dwPortId, [&](CPortInterface& port) {
        if (option.portType == ZAMO_PORT_COM) {
            const std::u16string strName = option.portName ? std::u16string(option.portName) : std::u16string();
            {
                std::lock_guard lock(m_mutex);  // CreatePort compares names under this lock
                port.m_strPortName = strName;
            }
            option.bluetoothStack = 0;
            if (option.bluetoothCheck == 1) option.bluetoothStack = GetBluetoothStackType(strName);
        }
        return port.SetDeviceOption(option);
    });
}

uint32_t CPortListMng::OpenPort(uint32_t dwPortId, uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{true, "+OpenPort <dwPortId : %d>", "OpenPort : pPortInterface is NULL", "",
                                     EExitValues::None};
    return OnPort(kCall, {dwPortId}, dwPortId, [&](CPortInterface& port) {
        std::lock_guard lock(port.m_csOpenClose);
        if (port.m_dwOpenCount >= 1) {
            port.AddDevice(dwDeviceId);
            const uint32_t dwCount = ++port.m_dwOpenCount;
            LogA(kLogInfo, "-OpenPort : already port open=%d", {dwCount});
            return dwCount;
        }
        port.m_bOpenCancelled = false;
        port.m_bOpening = true;
        const uint32_t dwResult = port.OpenPort();
        port.m_bOpening = false;
        if (dwResult != 0) {
            ++port.m_dwOpenCount;
            port.m_nOpenResult = static_cast<int32_t>(dwResult);
        }
        LogA(kLogInfo, "-OpenPort <retVal : %d>", {dwResult});
        return dwResult;
    });
}

void CPortListMng::ClosePort(uint32_t dwPortId, uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{true, "+ClosePort <dwPortId : %d>", "ClosePort : pPortInterface is NULL", "",
                                     EExitValues::None};
    OnPort(kCall, {dwPortId}, dwPortId, [&](CPortInterface& port) {
        if (port.m_bOpening) port.CancelOpen();
        std::lock_guard lock(port.m_csOpenClose);
        port.RemoveListData(dwDeviceId);
        if (port.m_dwOpenCount > 1) {
            const uint32_t dwLeft = --port.m_dwOpenCount;
            LogA(kLogInfo, "-ClosePort : another device using port=%d.", {dwLeft});
            return;
        }
        port.RemoveListData(0);
        port.ClosePort();
        port.m_nOpenResult = 0;
        port.m_dwOpenCount = 0;
        LogA(kLogInfo, "-ClosePort");
    });
}

uint32_t CPortListMng::Read(uint8_t* pDest, uint32_t dwWanted, uint32_t dwTimeout, uint32_t dwPortId,
                            uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{false, "+Read <dwRead : %d, dwPortId : %d>", "Read : pPortInterface is NULL",
                                     "-Read <retVal : %d>", EExitValues::Result};
    return OnPort(kCall, {dwWanted, dwPortId}, dwPortId,
                  [&](CPortInterface& port) { return port.Read(dwDeviceId, pDest, dwWanted, dwTimeout); });
}

uint32_t CPortListMng::ReadAvailable(uint32_t dwPortId, uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{false, "+ReadAvailable <dwPortId : %d>", "ReadAvailable : pPortInterface is NULL",
                                     "-ReadAvailable <dwPortId : %d, Available : %d>", EExitValues::PortAndResult};
    return OnPort(kCall, {dwPortId}, dwPortId, [&](CPortInterface& port) { return port.AvailableCount(dwDeviceId); });
}

int32_t CPortListMng::Write(const uint8_t* pData, uint32_t dwLength, uint32_t dwPortId) {
    static constexpr SPortCall kCall{false, "+Write <dwWritten : %d, dwPortId : %d>", "Write : pPortInterface is NULL",
                                     "-Write <retVal : %d>", EExitValues::Result};
    return OnPort(kCall, {dwLength, dwPortId}, dwPortId,
                  [&](CPortInterface& port) { return port.WritePort(pData, dwLength); });
}

void CPortListMng::SetWrite(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{false, "+SetWrite <isWrite : %d, dwPortId : %d, dwDeviceId : %d>",
                                     "SetWrite : pPortInterface is NULL", "-SetWrite", EExitValues::None};
    OnPort(kCall, {dwFlag, dwPortId, dwDeviceId}, dwPortId, [&](CPortInterface& port) { port.SetWrite(dwFlag); });
}

void CPortListMng::Clear(uint32_t dwPortId, uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{false, "+Clear <dwPortId : %d>", "Clear : pPortInterface is NULL", "-Clear",
                                     EExitValues::None};
    OnPort(kCall, {dwPortId}, dwPortId, [&](CPortInterface& port) { port.Clear(dwDeviceId); });
}

uint32_t CPortListMng::IsPowerState(uint32_t dwPortId, uint32_t dwDeviceId) {
    // An unknown port writes no line of its own here.
    static constexpr SPortCall kCall{false, "+IsPowerState <dwPortId : %d>", "",
                                     "-IsPowerState <dwPortId : %d, PowerState : %d>", EExitValues::PortAndResult};
    return OnPort(kCall, {dwPortId}, dwPortId, [&](CPortInterface& port) {
        return port.m_dwLinkState == kOffline ? 0u : port.IsPresent(dwDeviceId);
    });
}

uint32_t CPortListMng::GetASBState(uint8_t* pDest, uint32_t dwPortId, uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{false, "+GetASBState <dwPortId : %d, dwDeviceId : %d>",
                                     "GetASBState : pPortInterface is NULL",
                                     "-GetASBState <dwPortId : %d, Success : %d>", EExitValues::PortAndResult};
    return OnPort(kCall, {dwPortId, dwDeviceId}, dwPortId,
                  [&](CPortInterface& port) { return port.GetASBState(pDest, dwDeviceId); });
}

uint32_t CPortListMng::AvailableDevId(uint32_t dwPortId, uint32_t dwLowest, uint32_t dwHighest) {
    static constexpr SPortCall kCall{false, "+GetAvailableDevId <dwPortId : %d, dwMinDevId : %d, MaxDevId : %d>",
                                     "GetAvailableDevId : pPortInterface is NULL", "-GetAvailableDevId",
                                     EExitValues::None};
    return OnPort(kCall, {dwPortId, dwLowest, dwHighest}, dwPortId, [&](CPortInterface& port) {
        const uint32_t dwDevice = port.FindPresentDevice(dwLowest, dwHighest);
        port.AddDevice(dwDevice);
        return dwDevice;
    });
}

uint32_t CPortListMng::SetAsbMode(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{false, "+SetAsbMode <bAsbEnable : %d, dwPortId : %d, dwDeviceId : %d>",
                                     "SetAsbMode : pPortInterface is NULL", "-SetAsbMode", EExitValues::None};
    return OnPort(
        kCall, {dwFlag, dwPortId, dwDeviceId}, dwPortId,
        [&](CPortInterface& port) {
            port.m_nAsbMode = dwFlag;
            if (dwFlag != 0 && port.m_nRawMode == 1) port.AppendStatusQueue(dwDeviceId);
            return 0u;
        },
        kUnknownPortMode);
}

uint32_t CPortListMng::GetAsbMode(uint32_t dwPortId, uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{false, "+GetAsbMode <dwPortId : %d, dwDeviceId : %d>",
                                     "GetAsbMode : pPortInterface is NULL", "-GetAsbMode", EExitValues::None};
    return OnPort(
        kCall, {dwPortId, dwDeviceId}, dwPortId, [](CPortInterface& port) { return port.m_nAsbMode.load(); },
        kUnknownPortMode);
}

uint32_t CPortListMng::SetPnPMode(uint32_t dwFlag, uint32_t dwPortId, uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{false, "+SetPnPMode <bPnPEnable : %d, dwPortId : %d, dwDeviceId : %d>",
                                     "SetPnPMode : pPortInterface is NULL", "-SetPnPMode", EExitValues::None};
    return OnPort(
        kCall, {dwFlag, dwPortId, dwDeviceId}, dwPortId,
        [&](CPortInterface& port) {
            port.m_nPnPMode = dwFlag;
            return 0u;
        },
        kUnknownPortMode);
}

uint32_t CPortListMng::GetPnPMode(uint32_t dwPortId, uint32_t dwDeviceId) {
    static constexpr SPortCall kCall{false, "+GetPnPMode <dwPortId : %d, dwDeviceId : %d>",
                                     "GetPnPMode : pPortInterface is NULL", "-GetPnPMode", EExitValues::None};
    return OnPort(
        kCall, {dwPortId, dwDeviceId}, dwPortId, [](CPortInterface& port) { return port.m_nPnPMode.load(); },
        kUnknownPortMode);
}

void CPortListMng::SetAlarmCallback(uint32_t dwPortId, uint32_t dwDeviceId, ZamoAlarmCallback pfnCallback) {
    static constexpr SPortCall kCall{false, "+setAlarmEvent <dwPortId : %d, dwDeviceId : %d>",
                                     "setAlarmEvent : pPortInterface is NULL", "-setAlarmEvent", EExitValues::None};
    OnPort(kCall, {dwPortId, dwDeviceId}, dwPortId,
           [&](CPortInterface& port) { port.SetAlarmCallback(dwDeviceId, pfnCallback); });
}

}  // namespace vexal
