// Opening and closing a session, its power state, transactions, and the
// alarm callback that reports to the library's current session.
#include <mutex>

#include "cfglib/CurrentSession.h"
#include "cfglib/State.h"
#include "cfglib/ZamoCtrl.h"
#include "common/RegistUsb.h"
#include "common/VQTLog.h"
#include "platform/Clock.h"

namespace vexal::cfg {

namespace {

CVQTLoger& Log() { return CVQTLoger::Instance(); }

constexpr uint32_t kEthernetRetryMs = 3000;
constexpr uint32_t kEthernetRetryPauseMs = 100;
constexpr uint32_t kPnpSettleMs = 200;
constexpr uint32_t kDeviceSearchPauseMs = 100;

// Created on first use, never destroyed: a reader thread may deliver an
// alarm while the process exits.
struct CCurrentSession {
    std::mutex m_lock;
    CZamoCtrl* m_pSession = nullptr;  // guarded by m_lock
};

CCurrentSession& Current() {
    static CCurrentSession* s_pCurrent = new CCurrentSession();  // intentionally leaked
    return *s_pCurrent;
}

}  // namespace

void SetCurrentSession(CZamoCtrl* pSession) {
    std::lock_guard lock(Current().m_lock);
    Current().m_pSession = pSession;
}

void ForgetCurrentSession(CZamoCtrl* pSession) {
    std::lock_guard lock(Current().m_lock);
    if (Current().m_pSession == pSession) Current().m_pSession = nullptr;
}

ZamoStatusCallback CurrentStatusCallback() {
    std::lock_guard lock(Current().m_lock);
    return Current().m_pSession != nullptr ? Current().m_pSession->m_pfnStatusUpdateEvent.load() : nullptr;
}

void ZAMO_CALL CZamoCtrl::processAlarmCallback(uint32_t /*dwKind*/, uint32_t /*dwZero*/, uint32_t dwCode) {
    try {
        Log().WriteLog(kLogInfo, "processAlarmCallback=%d", {dwCode});
        // The callback is copied under the lock and called outside it, so a
        // session destroyed meanwhile is never touched.
        if (ZamoStatusCallback pfn = CurrentStatusCallback()) pfn(static_cast<int32_t>(dwCode));
    } catch (...) {
        // Runs on the port library's reader thread: nothing may escape.
    }
}

int32_t CZamoCtrl::FindUsbHub() {
    if (m_nInterface != ZAMO_IF_USB) return ZAMO_E_PORT;
    bool bToldOnce = false;
    CRegistUsb list(platform::SystemUsbBus(), [&](const std::u16string& strLine) {
        // A user without access to a hub is told why it was not found.
        Log().WriteLog(bToldOnce ? kLogError : kLogForced, "%s", {strLine});
        bToldOnce = true;
    });
    list.EnumDevices();
    for (const UsbDeviceRecord& record : list.Devices()) {
        for (const std::u16string& strProductId : m_arrProductIds) {
            if (record.m_strProductId == strProductId) {
                SetPortName(record.m_strDevicePath);
                return 0;
            }
        }
    }
    SetPortName(u"");
    return ZAMO_E_NO_USB_HUB;
}

int32_t CZamoCtrl::openService() { return m_nResult; }

int32_t CZamoCtrl::openServiceById(int32_t nDeviceId) { return Open(static_cast<uint32_t>(nDeviceId)); }

int32_t CZamoCtrl::Open(uint32_t dwDeviceId) {
    m_nResult = ZAMO_SUCCESS;
    CState& state = *m_pState;
    // Without the port library there is nothing to open.
    if (!state.m_hPortLibrary.IsLoaded()) {
        m_nResult = ZAMO_E_FAIL;
        return m_nResult;
    }
    if (m_nInterface == ZAMO_IF_USB) {
        const int32_t nCode = FindUsbHub();
        if (nCode != 0) {
            Log().WriteLog(kLogError, "-OpenService : can't found usb device.");
            return nCode;
        }
    }
    m_dwPortId = state.CallCreatePort(m_strPortName, m_dwDeviceType);
    if (m_dwPortId == 0) {
        Log().WriteLog(kLogError, "-OpenService : Port Create Error!");
        return ZAMO_E_PORT;
    }
    int32_t nCount = state.OpenPort(m_DeviceOption, m_dwPortId, dwDeviceId);
    if (nCount == 0 && m_nInterface == ZAMO_IF_ETHERNET) {
        const uint64_t qwStart = platform::TickMs();
        while (nCount == 0 && platform::TickMs() - qwStart < kEthernetRetryMs) {
            Log().WriteLog(kLogInfo, "OpenService: re-try connect ethernetPort");
            // A refused connection fails at once: do not hammer the hub.
            platform::SleepMs(kEthernetRetryPauseMs);
            nCount = state.OpenPort(m_DeviceOption, m_dwPortId, 10);
        }
    }
    if (nCount == 0) {
        m_nResult = ZAMO_E_PORT;
        Log().WriteLog(kLogError, "-OpenService: Failed OpenPort");
        return m_nResult;
    }
    m_bOpened = 1;

    if (m_nCommandMode == 0) {
        if (nCount == 1) {
            if (CheckModelName() != 0) {
                m_nResult = ZAMO_E_PORT;
                return m_nResult;
            }
            GetVexalFWVersion(m_strVexalFWVersion);
            enablePNP(0);
            platform::SleepMs(kPnpSettleMs);
            m_nResult = ZAMO_SUCCESS;  // the version and PnP outcomes do not count
        }
        const uint64_t qwStart = platform::TickMs();
        const uint64_t qwLimit = static_cast<uint64_t>(m_nTimeout) * kMsPerSecond;
        for (;;) {
            if (m_bConvertHID == 1) {
                m_dwDeviceId = state.CallAvailableDevId(m_dwPortId, m_dwDeviceType, 20, 29);
                if (m_dwDeviceId > 0) break;
            }
            m_dwDeviceId = state.CallAvailableDevId(m_dwPortId, m_dwDeviceType, dwDeviceId, m_dwMaxDeviceId);
            if (m_dwDeviceId > 0) break;
            if (platform::TickMs() - qwStart > qwLimit) break;
            platform::SleepMs(kDeviceSearchPauseMs);
            if (nCount > 1) {
                enablePNP(1);
                platform::SleepMs(kPnpSettleMs);
                m_nResult = ZAMO_SUCCESS;
            }
        }
        if (m_dwDeviceId == 0) m_nResult = ZAMO_E_DEVICE_ID;
    } else {
        m_dwDeviceId = 0;
    }

    m_nTransaction = 0;
    m_pTransactionData = std::make_unique<CZamoData>();
    if (IsPortOpen()) state.CallSetAlarmCallback(m_dwPortId, m_dwDeviceId, &CZamoCtrl::processAlarmCallback);
    return m_nResult;
}

int32_t CZamoCtrl::closeService(int32_t n) {
    Log().WriteLog(kLogInfo, "closeService(%d)", {n});
    m_nResult = ZAMO_SUCCESS;
    if (!m_pState) return ZAMO_E_PORT;
    CState& state = *m_pState;
    Log().WriteLog(kLogInfo, "Call ClosePort in closeService");
    if (IsPortOpen()) state.CallSetAlarmCallback(m_dwPortId, m_dwDeviceId, nullptr);
    state.ClosePort(m_dwPortId, m_dwDeviceId);
    state.SetSession(nullptr);
    const int32_t nLeft = static_cast<int32_t>(state.CallRemovePort(m_dwPortId));
    m_dwPortId = 0;
    m_bOpened = 0;
    m_pTransactionData.reset();
    m_nResult = ZAMO_SUCCESS;
    return nLeft;
}

int32_t CZamoConfigurationCtrl::openService() { return openServiceById(static_cast<int32_t>(m_dwDeviceType)); }

int32_t CZamoConfigurationCtrl::openServiceById(int32_t nDeviceId) {
    m_nResult = ZAMO_SUCCESS;
    if (m_bOpened) {
        if (m_dwDeviceId == static_cast<uint32_t>(nDeviceId)) return 1;
        // Opening again would register the port a second time and leak it.
        m_nResult = ZAMO_E_OPENED;
        return m_nResult;
    }
    m_nResult = CZamoCtrl::openServiceById(nDeviceId);
    if (m_nResult != 0) {
        CState& state = *m_pState;
        if (m_dwPortId != 0) {
            if (IsPortOpen()) state.CallSetPnPMode(0, m_dwPortId, m_dwDeviceId);
            // Device 0 carries the hub's replies for every user of the port:
            // detach the device this open asked for, not the hub.
            const uint32_t dwCloseId = m_dwDeviceId != 0 ? m_dwDeviceId : static_cast<uint32_t>(nDeviceId);
            state.ClosePort(m_dwPortId, dwCloseId);
            // Release the registration this open made, or the port's user
            // count stays raised and the last close never reaches 0.
            state.CallRemovePort(m_dwPortId);
        }
        m_dwPortId = 0;
        m_bOpened = 0;
        return m_nResult;
    }
    m_pState->SetSession(this);
    return static_cast<int32_t>(m_dwDeviceId);
}

int32_t CZamoConfigurationCtrl::closeService(int32_t n) {
    if (IsPortOpen()) m_pState->CallSetPnPMode(0, m_dwPortId, m_dwDeviceId);
    return CZamoCtrl::closeService(n);
}

int32_t CZamoCtrl::isOpen() {
    Log().WriteLog(kLogInfo, "isOpen()");
    if (!m_bOpened) {
        Log().WriteLog(kLogError, "[isOpen] FALSE");
        return 0;
    }
    return static_cast<int32_t>(m_pState->CallIsPowerState(m_dwPortId, m_dwDeviceId));
}

int32_t CZamoCtrl::setTransaction(int32_t nMode) {
    Log().WriteLog(kLogInfo, "setTransaction(%d)", {nMode});
    m_nResult = ZAMO_SUCCESS;
    if (nMode != 0 && nMode != 1) {
        m_nResult = ZAMO_E_ARGUMENT;
        return m_nResult;
    }
    if (nMode == m_nTransaction) return 0;
    std::vector<uint8_t> held;
    if (m_pTransactionData && m_pTransactionData->Length() > 0) {
        held.assign(m_pTransactionData->Data(), m_pTransactionData->Data() + m_pTransactionData->Length());
        m_pTransactionData->Reset();
    }
    m_nTransaction = nMode;
    if (nMode == 0 && !held.empty()) {
        const int32_t nHeld = static_cast<int32_t>(held.size());
        const int32_t nSent = ZamoDataWrite(held.data(), nHeld, m_dwDeviceId);
        if (m_bSolvaneMode == 1) {
            if (nSent < nHeld) {
                Log().WriteLog(kLogError, "failed transaction in SOLVANE_MODE");
                m_nResult = ZAMO_E_FAIL;
            } else {
                uint8_t byModel = 0;
                if (getDeviceInfoByGSI(0x01, byModel) == 0) {
                    switch (byModel) {
                    case 0x0D:
                    case 0x20:
                    case 0x2E:
                    case 0x30:
                    case 0x40:
                    case 0x41: break;
                    default:
                        Log().WriteLog(kLogError, "failed check printing transaction in SOLVANE_MODE");
                        m_nResult = ZAMO_E_FAIL;
                        break;
                    }
                }
            }
        }
    }
    return m_nResult;
}

}  // namespace vexal::cfg
