#include "client/CfgApiTable.h"

#include "platform/DynLib.h"

#include <memory>
#include <utility>

namespace vexal::client {

CfgApiTable::CfgApiTable() = default;
CfgApiTable::~CfgApiTable() = default;

bool CfgApiTable::Load(const std::string& strLibrary) {
    Unload();
    auto lib = std::make_unique<platform::CDynLib>();
    // Any address inside this program: the library is looked for next to it first.
    static const int s_anchor = 0;
    if (!lib->Load(strLibrary, &s_anchor)) {
        m_strError = "Cannot load " + platform::PlatformLibraryName(strLibrary) + ": " + lib->LastError();
        return false;
    }
#define VEXAL_CFG_BIND(name)                                                                             \
    m_pfn_##name = reinterpret_cast<decltype(&::name)>(lib->Symbol(#name));                              \
    if (m_pfn_##name == nullptr) {                                                                       \
        m_strError = "Entry point " #name " is missing in " + platform::PlatformLibraryName(strLibrary); \
        lib->Unload();                                                                                   \
        ClearEntryPoints();                                                                              \
        return false;                                                                                    \
    }
    VEXAL_CFG_ENTRY_POINTS(VEXAL_CFG_BIND)
#undef VEXAL_CFG_BIND
    m_pLibrary = std::move(lib);
    m_bBound = true;
    m_strError.clear();
    return true;
}

void CfgApiTable::ClearEntryPoints() {
#define VEXAL_CFG_CLEAR(name) m_pfn_##name = nullptr;
    VEXAL_CFG_ENTRY_POINTS(VEXAL_CFG_CLEAR)
#undef VEXAL_CFG_CLEAR
}

void CfgApiTable::Unload() {
    ClearEntryPoints();
    m_bBound = false;
    m_nHandle = 0;
    if (m_pLibrary) {
        m_pLibrary->Unload();
        m_pLibrary.reset();
    }
}

int32_t CfgApiTable::AddCustomDevice(uint8_t nType, const char16_t* pszVid, const char16_t* pszPid) const {
    if (m_pfn_addCustomDevice == nullptr) return ZAMO_E_FAIL;
    return m_pfn_addCustomDevice(m_nHandle, nType, pszVid, pszPid);
}

int32_t CfgApiTable::DeleteCustomDevice(uint8_t nType, const char16_t* pszVid, const char16_t* pszPid) const {
    if (m_pfn_deleteCustomDevice == nullptr) return ZAMO_E_FAIL;
    return m_pfn_deleteCustomDevice(m_nHandle, nType, pszVid, pszPid);
}

const char* ResultMeaning(int32_t nCode) {
    switch (nCode) {
    case ZAMO_SUCCESS: return "success";
    case ZAMO_E_FAIL: return "the hub refused or the reply was invalid";
    case ZAMO_E_BYPASS: return "refused in pass-through mode";
    case ZAMO_E_ARGUMENT: return "bad argument";
    case ZAMO_E_PORT: return "the port could not be created or opened";
    case ZAMO_E_DEVICE_ID: return "no device ID from the hub in time";
    case ZAMO_E_OPENED: return "the session is already open";
    case ZAMO_E_TIMEOUT: return "no reply from the hub in time";
    case ZAMO_E_NO_USB_HUB: return "no hub found on USB";
    default: return "unknown result";
    }
}

}  // namespace vexal::client
