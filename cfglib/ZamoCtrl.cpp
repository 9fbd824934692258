// The session: construction and port-library binding, interface selection
// with the device option record, command mode, time-out, and the write path.
#include "cfglib/ZamoCtrl.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "cfglib/CurrentSession.h"
#include "cfglib/PortText.h"
#include "cfglib/State.h"
#include "common/VQTLog.h"
#include "platform/Clock.h"
#include "platform/Process.h"

namespace vexal::cfg {

namespace {

CVQTLoger& Log() { return CVQTLoger::Instance(); }

}  // namespace

void CZamoData::Reset() {
    std::fill(m_buffer.begin(), m_buffer.end(), 0);
    m_buffer.assign(4096, 0);
    m_nLength = 0;
}

void CZamoData::Append(const uint8_t* pData, size_t nLength) {
    if (pData == nullptr || nLength == 0) return;
    if (m_nLength + nLength > m_buffer.size()) m_buffer.resize(m_nLength + nLength);  // grows to exact fit
    std::memcpy(m_buffer.data() + m_nLength, pData, nLength);
    m_nLength += nLength;
}

CZamoCtrl::CZamoCtrl() {
    const std::u16string strProgram = platform::HostProgramName();
    m_bSolvaneMode = (strProgram == u"Solvane.exe" || strProgram == u"Solvane_d.exe") ? 1 : 0;
    m_arrProductIds = {u"005D", u"0066", u"0090", u"0091", u"0092", u"0094"};
    SetPortName(u"");
    m_pState = std::make_shared<CState>();
    if (!m_pState->LoadPortLibrary("zamoport.dll")) {
        Log().WriteLog(kLogError, "LoadPortLibrary failed");
        m_nResult = ZAMO_E_FAIL;
    }
    SetCurrentSession(this);
}

CZamoCtrl::~CZamoCtrl() {
    ForgetCurrentSession(this);
    if (m_pState) m_pState->SetSession(nullptr);
}

CZamoConfigurationCtrl::CZamoConfigurationCtrl() {
    m_dwDeviceType = 10;
    m_dwMaxDeviceId = 10;
}

void CZamoCtrl::SetPortName(const std::u16string& strName) {
    m_strPortName = strName;
    m_DeviceOption.portName = m_strPortName.c_str();
}

bool CZamoCtrl::IsPortOpen() const { return m_pState && m_pState->IsInUse(); }

int32_t CZamoCtrl::selectInterface(int32_t nInterface, const std::u16string& strPort) {
    Log().WriteLog(kLogInfo, "+selectInterface(%d, %s)", {nInterface, strPort});
    if (m_bOpened) {
        m_nResult = ZAMO_E_OPENED;
        return m_nResult;
    }
    m_nResult = ZAMO_SUCCESS;
    m_nInterface = nInterface;
    m_strPort = strPort;

    const SPortSelection selection = ParsePortText(nInterface, strPort, m_nCommandMode, m_DeviceOption);
    m_DeviceOption = selection.option;
    SetPortName(selection.strPortName);
    m_nResult = selection.nResult;
    if (m_nResult != 0) Log().WriteLog(kLogError, "Invalid parameter in selectInterface");
    return m_nResult;
}

int32_t CZamoCtrl::selectCommandMode(int32_t nMode) {
    Log().WriteLog(kLogInfo, "selectCommandMode(%d)", {nMode});
    if (m_bOpened) {
        m_nResult = ZAMO_E_OPENED;
        return m_nResult;
    }
    if (nMode != 0 && nMode != 1) {
        Log().WriteLog(kLogError, "bad argument in selectCommandMode");
        m_nResult = ZAMO_E_ARGUMENT;
        return m_nResult;
    }
    m_nCommandMode = nMode;
    m_DeviceOption.rawMode = static_cast<uint32_t>(nMode);
    m_DeviceOption.bluetoothCheck = 0;
    m_nResult = ZAMO_SUCCESS;
    return m_nResult;
}

int32_t CZamoCtrl::setTimeout(int32_t nSeconds) {
    Log().WriteLog(kLogInfo, "setTimeout(%d)", {nSeconds});
    if (m_bOpened) {
        m_nResult = ZAMO_E_OPENED;
        return m_nResult;
    }
    if (nSeconds < 0) return ZAMO_E_ARGUMENT;
    // The open waits m_nTimeout * kMsPerSecond ms: keep that within 32 bits.
    m_nTimeout = std::min(nSeconds, INT32_MAX / kMsPerSecond);
    return ZAMO_SUCCESS;
}

int32_t CZamoCtrl::writeData(const uint8_t* pData, int32_t nLength) {
    if (pData == nullptr || nLength <= 0) return 0;
    CState& state = *m_pState;
    std::lock_guard lock(state.m_WriteLock);
    ++state.m_nWriters;
    // A frame that leaves in several pieces keeps the port's write flag set,
    // so the network port's keep-alive byte cannot fall between the pieces.
    const bool bHoldWriteFlag = nLength > m_nMaxWriteSize && IsPortOpen();
    if (bHoldWriteFlag) state.CallSetWrite(1, m_dwPortId, m_dwDeviceId);

    constexpr int kMaxFailures = 5;
    int nFailures = 0;
    int32_t nTotal = 0;
    while (nTotal < nLength) {
        if (!m_bOpened) break;
        const int32_t nChunk = std::min(nLength - nTotal, m_nMaxWriteSize);
        const int32_t nCount =
            IsPortOpen() ? state.CallWrite(pData + nTotal, static_cast<uint32_t>(nChunk), m_dwPortId) : 0;
        if (nCount > 0) nTotal += std::min(nCount, nChunk);
        if (nCount != nChunk) {
            Log().WriteLog(kLogError, "write Fail(Fail Count=%d, SendData=%d/%d) in writeData.",
                           {kMaxFailures, nCount, nChunk});
            if (nCount > 0) {
                nFailures = 0;
            } else {
                // Give up after a few attempts that made no progress.
                if (++nFailures >= kMaxFailures) break;
                platform::SleepMs(10);
            }
        }
        if (m_bPowerOffline) {
            Log().WriteLog(kLogError, "PowerState is OFFLINE in writeData.");
            Log().WriteLog(kLogError, "Timeout(%d/%d) in writeData.", {nTotal, nLength});
            m_nResult = ZAMO_E_TIMEOUT;
            break;
        }
    }

    if (bHoldWriteFlag) state.CallSetWrite(0, m_dwPortId, m_dwDeviceId);
    --state.m_nWriters;
    return nTotal;
}

int32_t CZamoCtrl::getDeviceId() {
    Log().WriteLog(kLogInfo, "getDeviceId()");
    return static_cast<int32_t>(m_dwDeviceId);
}

int32_t CZamoCtrl::directIO(const uint8_t* pData, int32_t nLength) {
    // Only the length: the data are bytes, not text.
    Log().WriteLog(kLogInfo, "directIO(%d)", {nLength});
    m_nResult = ZAMO_SUCCESS;
    if (nLength < 0 || (pData == nullptr && nLength != 0)) {
        m_nResult = ZAMO_E_ARGUMENT;
        return m_nResult;
    }
    if (nLength == 0) return m_nResult;
    // An open transaction holds the data back until setTransaction(0).
    if (m_nTransaction == 1 && m_pTransactionData) {
        m_pTransactionData->Append(pData, static_cast<size_t>(nLength));
        return m_nResult;
    }
    if (ZamoDataWrite(pData, nLength, m_dwDeviceId) < nLength) m_nResult = ZAMO_E_FAIL;
    return m_nResult;
}

int32_t CZamoCtrl::setReadMode(int32_t nMode) {
    Log().WriteLog(kLogInfo, "setReadMode(%d)", {nMode});
    m_nResult = ZAMO_SUCCESS;
    if (nMode < 0 || nMode > 2) {
        m_nResult = ZAMO_E_ARGUMENT;
        return m_nResult;
    }
    m_nResult = SetMultiDeviceRead(m_dwDeviceId, static_cast<uint32_t>(nMode));
    return m_nResult;
}

int32_t CZamoCtrl::convertHID(int32_t nCode) {
    Log().WriteLog(kLogInfo, "convertHID(%d)", {nCode});
    m_nResult = ZAMO_SUCCESS;
    m_bConvertHID = 1;
    m_nHIDCode = nCode;
    return 0;
}

int32_t CZamoCtrl::setStatusUpdateEvent(ZamoStatusCallback pfn) {
    Log().WriteLog(kLogInfo, "setStatusUpdateEvent()");
    m_pfnStatusUpdateEvent = pfn;
    return 0;
}

int32_t CZamoCtrl::setDataEvent(ZamoDataCallback pfn) {
    Log().WriteLog(kLogInfo, "setDataEvent()");
    m_pfnDataEvent = pfn;
    return 0;
}

}  // namespace vexal::cfg
