// The session registry and the 47 exported functions. Each export looks the
// session up by handle, forwards to it, and turns any C++ exception into the
// function's failure result: nothing crosses the C boundary.
#include <climits>
#include <cstdint>
#include <list>
#include <memory>
#include <new>

#include "cfglib/ZamoCtrl.h"
#include "cfglib/ZamoText.h"
#include "common/VQTLog.h"
#include "include/zamocfg.h"

namespace vexal::cfg {
namespace {

// The registry owns its sessions. Created on first use and never destroyed:
// at process exit a poll thread may still run.
struct CSessionRegistry {
    std::list<std::unique_ptr<CZamoConfigurationCtrl>> m_sessions;
    int32_t m_nNextHandle = 1;
};

CSessionRegistry& Registry() {
    static CSessionRegistry* s_pRegistry = new CSessionRegistry();  // intentionally leaked, see above
    return *s_pRegistry;
}

CZamoConfigurationCtrl* FindSession(int32_t nHandle) {
    for (auto& pSession : Registry().m_sessions)
        if (pSession->m_nHandle == nHandle) return pSession.get();
    return nullptr;
}

void RemoveSession(int32_t nHandle) {
    auto& sessions = Registry().m_sessions;
    for (auto it = sessions.begin(); it != sessions.end(); ++it) {
        if ((*it)->m_nHandle == nHandle) {
            sessions.erase(it);
            return;
        }
    }
}

void LogNotCreated(const char16_t* pszTag) {
    try {
        CVQTLoger::Instance().WriteLog(kLogForced, "%s Zamo object not created.", {pszTag});
    } catch (...) {
        // A log that cannot be written must not change the result.
    }
}

// The guard every export but selectInterface shares.
template <typename TFn>
int32_t Guarded(int32_t nHandle, const char16_t* pszTag, int32_t nUnknown, TFn&& fn) noexcept {
    try {
        CZamoConfigurationCtrl* pSession = FindSession(nHandle);
        if (pSession == nullptr) {
            LogNotCreated(pszTag);
            return nUnknown;
        }
        return fn(*pSession);
    } catch (...) {
        return nUnknown;
    }
}

int32_t SelectInterface(int32_t nInterface, const char16_t* pszPort) {
    auto& registry = Registry();
    // Handles are never reused: once the counter is spent, no more sessions.
    if (registry.m_nNextHandle == INT32_MAX) {
        CVQTLoger::Instance().WriteLog(kLogForced, "[SelectInterface] error=%d.", {ZAMO_E_FAIL});
        return 0;
    }
    auto pSession = std::make_unique<CZamoConfigurationCtrl>();
    const int32_t nHandle = registry.m_nNextHandle++;
    pSession->m_nHandle = nHandle;
    pSession->m_nInterface = nInterface;
    pSession->m_strPort = TextFromInput(pszPort);
    pSession->m_nCommandMode = 0;
    pSession->m_nTimeout = 3;
    registry.m_sessions.push_back(std::move(pSession));

    return Guarded(nHandle, u"[SelectInterface]", 0, [&](CZamoConfigurationCtrl& session) {
        const int32_t nCode = session.selectInterface(nInterface, session.m_strPort);
        if (nCode != 0) {
            CVQTLoger::Instance().WriteLog(kLogForced, "[SelectInterface] error=%d.", {nCode});
            return 0;
        }
        return nHandle;
    });
}

}  // namespace
}  // namespace vexal::cfg

using vexal::cfg::CZamoConfigurationCtrl;
using vexal::cfg::Guarded;
using Session = CZamoConfigurationCtrl;

extern "C" {

ZAMOCFG_API int32_t ZAMO_CALL selectInterface(int32_t interfaceCode, const char16_t* port) {
    try {
        return vexal::cfg::SelectInterface(interfaceCode, port);
    } catch (...) {
        return 0;
    }
}

ZAMOCFG_API int32_t ZAMO_CALL selectCommandMode(int32_t handle, int32_t mode) {
    return Guarded(handle, u"[selectCommandMode]", ZAMO_E_FAIL, [&](Session& s) { return s.selectCommandMode(mode); });
}

ZAMOCFG_API int32_t ZAMO_CALL setTimeout(int32_t handle, int32_t seconds) {
    return Guarded(handle, u"[setTimeout]", ZAMO_E_FAIL, [&](Session& s) { return s.setTimeout(seconds); });
}

ZAMOCFG_API int32_t ZAMO_CALL openService(int32_t handle) {
    return Guarded(handle, u"[openService]", ZAMO_E_FAIL, [&](Session& s) { return s.openService(); });
}

ZAMOCFG_API int32_t ZAMO_CALL openServiceById(int32_t handle, int32_t deviceId) {
    return Guarded(handle, u"[openServiceById]", ZAMO_E_FAIL, [&](Session& s) { return s.openServiceById(deviceId); });
}

ZAMOCFG_API int32_t ZAMO_CALL closeService(int32_t handle, int32_t n) {
    return Guarded(handle, u"[closeService]", ZAMO_E_FAIL, [&](Session& s) {
        const int32_t nLeft = s.closeService(n);
        // The last user of the port releases the session and its handle.
        if (nLeft == 0) vexal::cfg::RemoveSession(handle);
        return nLeft;
    });
}

ZAMOCFG_API int32_t ZAMO_CALL isOpen(int32_t handle) {
    return Guarded(handle, u"[isOpen]", 0, [&](Session& s) { return s.isOpen(); });
}

ZAMOCFG_API int32_t ZAMO_CALL getDeviceId(int32_t handle) {
    return Guarded(handle, u"[getDeviceId]", ZAMO_E_FAIL, [&](Session& s) { return s.getDeviceId(); });
}

ZAMOCFG_API int32_t ZAMO_CALL directIO(int32_t handle, const uint8_t* data, int32_t length) {
    return Guarded(handle, u"[directIO]", ZAMO_E_FAIL, [&](Session& s) { return s.directIO(data, length); });
}

ZAMOCFG_API int32_t ZAMO_CALL setTransaction(int32_t handle, int32_t mode) {
    return Guarded(handle, u"[setTransaction]", ZAMO_E_FAIL, [&](Session& s) { return s.setTransaction(mode); });
}

ZAMOCFG_API int32_t ZAMO_CALL setReadMode(int32_t handle, int32_t mode) {
    return Guarded(handle, u"[setReadMode]", ZAMO_E_FAIL, [&](Session& s) { return s.setReadMode(mode); });
}

ZAMOCFG_API int32_t ZAMO_CALL convertHID(int32_t handle, int32_t code) {
    return Guarded(handle, u"[convertHID]", ZAMO_E_FAIL, [&](Session& s) { return s.convertHID(code); });
}

ZAMOCFG_API int32_t ZAMO_CALL getResult(int32_t handle) {
    return Guarded(handle, u"[getResult]", ZAMO_E_FAIL, [&](Session& s) { return s.getResult(); });
}

ZAMOCFG_API int32_t ZAMO_CALL setStatusUpdateEvent(int32_t handle, ZamoStatusCallback callback) {
    return Guarded(handle, u"[setStatusUpdateEvent]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.setStatusUpdateEvent(callback); });
}

ZAMOCFG_API int32_t ZAMO_CALL setDataEvent(int32_t handle, ZamoDataCallback callback) {
    return Guarded(handle, u"[setDataEvent]", ZAMO_E_FAIL, [&](Session& s) { return s.setDataEvent(callback); });
}

ZAMOCFG_API int32_t ZAMO_CALL getVexalName(int32_t handle, ZamoText* name) {
    return Guarded(handle, u"[getVexalName]", ZAMO_E_FAIL, [&](Session& s) {
        if (name == nullptr) return s.m_nResult = ZAMO_E_ARGUMENT;
        std::u16string strName;
        const int32_t nCode = s.GetVexalModelName(strName);
        if (nCode == 0) vexal::cfg::ZamoTextAssign(name, strName);
        return nCode;
    });
}

ZAMOCFG_API int32_t ZAMO_CALL getVexalVersion(int32_t handle, ZamoText* version) {
    return Guarded(handle, u"[getVexalVersion]", ZAMO_E_FAIL, [&](Session& s) {
        if (version == nullptr) return s.m_nResult = ZAMO_E_ARGUMENT;
        std::u16string strVersion;
        const int32_t nCode = s.GetVexalFWVersion(strVersion);
        if (nCode == 0) vexal::cfg::ZamoTextAssign(version, strVersion);
        return nCode;
    });
}

ZAMOCFG_API int32_t ZAMO_CALL getUsbList(int32_t handle, ZamoText* list) {
    return Guarded(handle, u"[GetListOfUsbID]", ZAMO_E_FAIL, [&](Session& s) { return s.getUsbList(list); });
}

ZAMOCFG_API int32_t ZAMO_CALL getUsbInfo(int32_t handle, int32_t deviceId, ZamoText* vendorId, ZamoText* productId) {
    return Guarded(handle, u"[getUsbInfo]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getUsbInfoByDevId(deviceId, vendorId, productId); });
}

ZAMOCFG_API int32_t ZAMO_CALL getDevIdList(int32_t handle, uint8_t* ids, int32_t* count) {
    return Guarded(handle, u"[getDevIdList]", ZAMO_E_FAIL, [&](Session& s) { return s.getDevIdList(ids, count); });
}

ZAMOCFG_API int32_t ZAMO_CALL getBluetoothConnectionMode(int32_t handle, int32_t* mode) {
    return Guarded(handle, u"[GetBtConnectionMode]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getBluetoothConnectionMode(mode); });
}

ZAMOCFG_API int32_t ZAMO_CALL getBluetoothName(int32_t handle, ZamoText* name) {
    return Guarded(handle, u"[GetBluetoothName]", ZAMO_E_FAIL, [&](Session& s) { return s.getBluetoothName(name); });
}

ZAMOCFG_API int32_t ZAMO_CALL getBluetoothPinCode(int32_t handle, ZamoText* pinCode) {
    return Guarded(handle, u"[GetBluetoothPinCode]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getBluetoothPinCode(pinCode); });
}

ZAMOCFG_API int32_t ZAMO_CALL getBluetoothAuthentication(int32_t handle, int32_t* encryption) {
    return Guarded(handle, u"[getBluetoothAuthentication]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getBluetoothAuthentication(encryption); });
}

ZAMOCFG_API int32_t ZAMO_CALL setBluetoothInfo(int32_t handle, uint8_t mode, const char16_t* name,
                                               const char16_t* pinCode, uint8_t encryption) {
    return Guarded(handle, u"[SetBluetoothInfo]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.setBluetoothInfo(mode, name, pinCode, encryption); });
}

ZAMOCFG_API int32_t ZAMO_CALL getBluetoothAutoConnection(int32_t handle, uint8_t* autoConnection) {
    return Guarded(handle, u"[GetBluetoothAutoConnection]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getBluetoothAutoConnection(autoConnection); });
}

ZAMOCFG_API int32_t ZAMO_CALL setBluetoothAutoConnection(int32_t handle, int32_t on) {
    return Guarded(handle, u"[SetBluetoothAutoConnection]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.setBluetoothAutoConnection(on); });
}

ZAMOCFG_API int32_t ZAMO_CALL getLanInfo(int32_t handle, uint8_t* block) {
    return Guarded(handle, u"[getLanInfo]", ZAMO_E_FAIL, [&](Session& s) { return s.getLanInfo(block); });
}

ZAMOCFG_API int32_t ZAMO_CALL setLanInfo(int32_t handle, const uint8_t* data, int32_t length, uint8_t* status) {
    return Guarded(handle, u"[setLanInfo]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.setLanInfo(data, length, status); });
}

ZAMOCFG_API int32_t ZAMO_CALL getWlanInfo(int32_t handle, uint8_t* block) {
    return Guarded(handle, u"[GetWlanInfo]", ZAMO_E_FAIL, [&](Session& s) { return s.getWlanInfo(block); });
}

ZAMOCFG_API int32_t ZAMO_CALL setWlanInfo(int32_t handle, const uint8_t* data, int32_t length, uint8_t* reply) {
    return Guarded(handle, u"[SetWlanInfo]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.setWlanInfo(data, length, reply); });
}

ZAMOCFG_API int32_t ZAMO_CALL getSerialConfiguration(int32_t handle, uint8_t deviceId, uint8_t* baudRate,
                                                     uint8_t* dataBits, uint8_t* stopBits, uint8_t* parity) {
    return Guarded(handle, u"[GetSerialConfiguration]", ZAMO_E_FAIL, [&](Session& s) {
        return s.getSerialConfiguration(deviceId, baudRate, dataBits, stopBits, parity);
    });
}

ZAMOCFG_API int32_t ZAMO_CALL setSerialConfiguration(int32_t handle, uint8_t deviceId, uint8_t baudRate,
                                                     uint8_t dataBits, uint8_t stopBits, uint8_t parity) {
    return Guarded(handle, u"[SetSerialConfiguration]", ZAMO_E_FAIL, [&](Session& s) {
        return s.setSerialConfiguration(deviceId, baudRate, dataBits, stopBits, parity);
    });
}

ZAMOCFG_API int32_t ZAMO_CALL getCustomDeviceList(int32_t handle, uint8_t deviceType, ZamoText* list) {
    return Guarded(handle, u"[GetCustomDevice]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getCustomDeviceList(deviceType, list); });
}

ZAMOCFG_API int32_t ZAMO_CALL addCustomDevice(int32_t handle, uint8_t deviceType, const char16_t* vendorId,
                                              const char16_t* productId) {
    return Guarded(handle, u"[AddCustomDevice]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.addCustomDevice(deviceType, vendorId, productId); });
}

ZAMOCFG_API int32_t ZAMO_CALL deleteCustomDevice(int32_t handle, uint8_t deviceType, const char16_t* vendorId,
                                                 const char16_t* productId) {
    return Guarded(handle, u"[DeleteCustomDevice]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.deleteCustomDevice(deviceType, vendorId, productId); });
}

ZAMOCFG_API int32_t ZAMO_CALL resetCustomDeviceList(int32_t handle, uint8_t deviceType) {
    return Guarded(handle, u"[ReInitCustomDevice]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.resetCustomDeviceList(deviceType); });
}

ZAMOCFG_API int32_t ZAMO_CALL getTelnetAvailable(int32_t handle, uint8_t* available) {
    return Guarded(handle, u"[getTelnetAvailable]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getTelnetAvailable(available); });
}

ZAMOCFG_API int32_t ZAMO_CALL setTelnetAvailable(int32_t handle, int32_t on) {
    return Guarded(handle, u"[setTelnetAvailable]", ZAMO_E_FAIL, [&](Session& s) { return s.setTelnetAvailable(on); });
}

ZAMOCFG_API int32_t ZAMO_CALL getSNMPAvailable(int32_t handle, uint8_t* available) {
    return Guarded(handle, u"[getSNMPAvailable]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getSNMPAvailable(available); });
}

ZAMOCFG_API int32_t ZAMO_CALL setSNMPAvailable(int32_t handle, int32_t on) {
    return Guarded(handle, u"[setSNMPAvailable]", ZAMO_E_FAIL, [&](Session& s) { return s.setSNMPAvailable(on); });
}

ZAMOCFG_API int32_t ZAMO_CALL getSNMPROCommunity(int32_t handle, ZamoText* community) {
    return Guarded(handle, u"[getSNMPROCommunity]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getSNMPROCommunity(community); });
}

ZAMOCFG_API int32_t ZAMO_CALL setSNMPROCommunity(int32_t handle, const char16_t* community) {
    return Guarded(handle, u"[setSNMPROCommunity]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.setSNMPROCommunity(community); });
}

ZAMOCFG_API int32_t ZAMO_CALL getSNMPRWCommunity(int32_t handle, ZamoText* community) {
    return Guarded(handle, u"[getSNMPRWCommunity]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getSNMPRWCommunity(community); });
}

ZAMOCFG_API int32_t ZAMO_CALL setSNMPRWCommunity(int32_t handle, const char16_t* community) {
    return Guarded(handle, u"[setSNMPRWCommunity]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.setSNMPRWCommunity(community); });
}

ZAMOCFG_API int32_t ZAMO_CALL getInterfaceUsageStatus(int32_t handle, int32_t* usb, int32_t* bluetooth, int32_t* lan,
                                                      int32_t* wlan) {
    return Guarded(handle, u"[getInterfaceUsageStatus]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.getInterfaceUsageStatus(usb, bluetooth, lan, wlan); });
}

ZAMOCFG_API int32_t ZAMO_CALL setInterfaceUsageStatus(int32_t handle, int32_t usb, int32_t bluetooth, int32_t lan,
                                                      int32_t wlan, int32_t* error) {
    return Guarded(handle, u"[setInterfaceUsageStatus]", ZAMO_E_FAIL,
                   [&](Session& s) { return s.setInterfaceUsageStatus(usb, bluetooth, lan, wlan, error); });
}

}  // extern "C"
