// The configuration library's entry points as bound by CCfgLibrary. Only the
// hub client (client/) and the tests include this: every front end reaches
// the hub through the client's sessions, never through a raw call.
#pragma once
#include "zamocfg.h"

namespace vexal::client {

// The 45 entry points a client uses, in binding order. setReadMode and
// setTransaction are left out: no client of ours calls them.
#define VEXAL_CFG_ENTRY_POINTS(X) \
    X(selectInterface)            \
    X(selectCommandMode)          \
    X(setTimeout)                 \
    X(openService)                \
    X(openServiceById)            \
    X(closeService)               \
    X(isOpen)                     \
    X(getDeviceId)                \
    X(directIO)                   \
    X(convertHID)                 \
    X(getResult)                  \
    X(setStatusUpdateEvent)       \
    X(setDataEvent)               \
    X(getBluetoothConnectionMode) \
    X(getBluetoothName)           \
    X(getBluetoothPinCode)        \
    X(getBluetoothAuthentication) \
    X(setBluetoothInfo)           \
    X(getBluetoothAutoConnection) \
    X(setBluetoothAutoConnection) \
    X(getLanInfo)                 \
    X(setLanInfo)                 \
    X(getWlanInfo)                \
    X(setWlanInfo)                \
    X(getSerialConfiguration)     \
    X(setSerialConfiguration)     \
    X(getCustomDeviceList)        \
    X(addCustomDevice)            \
    X(deleteCustomDevice)         \
    X(resetCustomDeviceList)      \
    X(getUsbList)                 \
    X(getUsbInfo)                 \
    X(getDevIdList)               \
    X(getTelnetAvailable)         \
    X(setTelnetAvailable)         \
    X(getSNMPAvailable)           \
    X(setSNMPAvailable)           \
    X(getSNMPROCommunity)         \
    X(setSNMPROCommunity)         \
    X(getSNMPRWCommunity)         \
    X(setSNMPRWCommunity)         \
    X(getVexalName)               \
    X(getVexalVersion)            \
    X(getInterfaceUsageStatus)    \
    X(setInterfaceUsageStatus)

inline constexpr int kCfgEntryPointCount = 45;

// All null until CCfgLibrary::Load bound every one of them.
struct SCfgEntryPoints {
#define VEXAL_CFG_DECLARE(name) decltype(&::name) m_pfn_##name = nullptr;
    VEXAL_CFG_ENTRY_POINTS(VEXAL_CFG_DECLARE)
#undef VEXAL_CFG_DECLARE
};

}  // namespace vexal::client
