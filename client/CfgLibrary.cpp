#include "client/CfgLibrary.h"

#include "client/CfgEntryPoints.h"

#include "platform/DynLib.h"

#include <memory>
#include <utility>

namespace vexal::client {

CCfgLibrary::CCfgLibrary() : m_pFn(std::make_unique<SCfgEntryPoints>()) {}
CCfgLibrary::~CCfgLibrary() = default;

bool CCfgLibrary::Load(const std::string& strLibrary) {
    Unload();
    auto lib = std::make_unique<platform::CDynLib>();
    // Any address inside this program: the library is looked for next to it first.
    static const int s_anchor = 0;
    if (!lib->Load(strLibrary, &s_anchor)) {
        m_strError = "Cannot load " + platform::PlatformLibraryName(strLibrary) + ": " + lib->LastError();
        return false;
    }
    SCfgEntryPoints bound;
#define VEXAL_CFG_BIND(name)                                                                             \
    bound.m_pfn_##name = reinterpret_cast<decltype(&::name)>(lib->Symbol(#name));                        \
    if (bound.m_pfn_##name == nullptr) {                                                                 \
        m_strError = "Entry point " #name " is missing in " + platform::PlatformLibraryName(strLibrary); \
        lib->Unload();                                                                                   \
        return false;                                                                                    \
    }
    VEXAL_CFG_ENTRY_POINTS(VEXAL_CFG_BIND)
#undef VEXAL_CFG_BIND
    *m_pFn = bound;
    m_pLibrary = std::move(lib);
    m_bBound = true;
    m_strError.clear();
    return true;
}

void CCfgLibrary::Unload() {
    *m_pFn = SCfgEntryPoints{};
    m_bBound = false;
    if (m_pLibrary) {
        m_pLibrary->Unload();
        m_pLibrary.reset();
    }
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
