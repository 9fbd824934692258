// The configuration library's entry points, bound by name at run time. The
// utility and the command-line tool both reach the hub only through this
// table, so a missing or older library is told apart from a failing hub.
#pragma once
#include "zamocfg.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vexal::platform {
class CDynLib;
}

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

// The library handle, the entry points and the session they work on. One per
// program run; not thread-safe: one client thread drives it.
class CfgApiTable {
public:
    CfgApiTable();
    // Leaves the library loaded: its process-wide objects and any late thread
    // of it must outlive the table. Unload() is the owner's explicit choice.
    ~CfgApiTable();
    CfgApiTable(const CfgApiTable&) = delete;
    CfgApiTable& operator=(const CfgApiTable&) = delete;

    // Loads strLibrary (default "ZamoCfg", next to the program first) and
    // binds every entry point. All or nothing: on failure no entry point is
    // set, the library is unloaded and LastError() says why, naming the file
    // or the first missing entry point.
    bool Load(const std::string& strLibrary = "ZamoCfg");
    // Unloads the library. Only call it once no session of it is open and
    // none of its threads can run.
    void Unload();
    bool IsBound() const { return m_bBound; }
    const std::string& LastError() const { return m_strError; }

#define VEXAL_CFG_DECLARE(name) decltype(&::name) m_pfn_##name = nullptr;
    VEXAL_CFG_ENTRY_POINTS(VEXAL_CFG_DECLARE)
#undef VEXAL_CFG_DECLARE

    // The session handle the pages work on (0 when none).
    int32_t m_nHandle = 0;

    // Convenience operations of the custom device page: the session's
    // addCustomDevice / deleteCustomDevice with the type and the two texts.
    int32_t AddCustomDevice(uint8_t nType, const char16_t* pszVid, const char16_t* pszPid) const;
    int32_t DeleteCustomDevice(uint8_t nType, const char16_t* pszVid, const char16_t* pszPid) const;

private:
    void ClearEntryPoints();

    std::unique_ptr<platform::CDynLib> m_pLibrary;
    bool m_bBound = false;
    std::string m_strError;
};

// A short meaning of a library result code, for messages ("no reply from the
// hub in time" for 1011); "unknown result" for codes the library never gives.
const char* ResultMeaning(int32_t nCode);

}  // namespace vexal::client
