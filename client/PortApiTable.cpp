#include "client/PortApiTable.h"

#include "client/CfgEntryPoints.h"
#include "client/CfgLibrary.h"
#include "platform/DynLib.h"

#include <utility>

namespace vexal::client {

CPortApiTable::CPortApiTable() = default;
CPortApiTable::~CPortApiTable() = default;

bool CPortApiTable::Load(const CCfgLibrary& cfg) {
    if (!cfg.IsBound()) {
        m_strError = "the configuration library is not loaded";
        return false;
    }
    // Any entry point of the configuration library: the port library is the
    // one beside it, which is the one it loads.
    return Load("zamoport", reinterpret_cast<const void*>(cfg.Fn().m_pfn_selectInterface));
}

bool CPortApiTable::Load(const std::string& strLibrary, const void* pAnchor) {
    ClearEntryPoints();
    m_bBound = false;
    auto lib = std::make_unique<platform::CDynLib>();
    if (!lib->Load(strLibrary, pAnchor)) {
        m_strError = "Cannot load " + platform::PlatformLibraryName(strLibrary) + ": " + lib->LastError();
        return false;
    }
#define VEXAL_PORT_BIND(name)                                                                            \
    m_pfn_##name = reinterpret_cast<decltype(&::name)>(lib->Symbol(#name));                              \
    if (m_pfn_##name == nullptr) {                                                                       \
        m_strError = "Entry point " #name " is missing in " + platform::PlatformLibraryName(strLibrary); \
        ClearEntryPoints();                                                                              \
        return false;                                                                                    \
    }
    VEXAL_PORT_ENTRY_POINTS(VEXAL_PORT_BIND)
#undef VEXAL_PORT_BIND
    m_pLibrary = std::move(lib);
    m_bBound = true;
    m_strError.clear();
    return true;
}

void CPortApiTable::ClearEntryPoints() {
#define VEXAL_PORT_CLEAR(name) m_pfn_##name = nullptr;
    VEXAL_PORT_ENTRY_POINTS(VEXAL_PORT_CLEAR)
#undef VEXAL_PORT_CLEAR
}

}  // namespace vexal::client
