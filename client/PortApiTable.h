// The port library's entry points, bound by name at run time next to the
// configuration library, so that this process has one port library loaded
// and one port registry: a port the configuration session created is the
// port a CreatePort of the same name here shares (reference counted).
//
// A second user of a session's port reaches its devices through these
// (CDevicePort); it never replaces the session for what the configuration
// library offers.
#pragma once
#include "zamoport.h"

#include <memory>
#include <string>

namespace vexal::platform {
class CDynLib;
}

namespace vexal::client {

class CCfgLibrary;

#define VEXAL_PORT_ENTRY_POINTS(X) \
    X(CreatePort)                  \
    X(RemovePort)                  \
    X(SetDeviceOption)             \
    X(OpenPort)                    \
    X(ClosePort)                   \
    X(Read)                        \
    X(ReadAvailable)               \
    X(Write)                       \
    X(SetWrite)                    \
    X(Clear)                       \
    X(IsPowerState)                \
    X(GetASBState)                 \
    X(AvailableDevId)              \
    X(SetAsbMode)                  \
    X(GetAsbMode)                  \
    X(SetPnPMode)                  \
    X(GetPnPMode)                  \
    X(SetAlarmCallback)

inline constexpr int kPortEntryPointCount = 18;

// Bound once and then only read: the entry points may be called from any
// thread (the port library guards its registry and each port).
class CPortApiTable {
public:
    CPortApiTable();
    // Leaves the library loaded (its reader threads may outlive the table).
    ~CPortApiTable();
    CPortApiTable(const CPortApiTable&) = delete;
    CPortApiTable& operator=(const CPortApiTable&) = delete;

    // Loads "zamoport" from the folder the bound configuration library was
    // loaded from (the file it loads itself), and binds all 18 entry points.
    // All or nothing: on failure LastError() names the file or the first
    // missing entry point. Call on one thread, before any other use.
    bool Load(const CCfgLibrary& cfg);
    // The same from the folder of the module that holds pAnchor (tests).
    bool Load(const std::string& strLibrary, const void* pAnchor);
    bool IsBound() const { return m_bBound; }
    const std::string& LastError() const { return m_strError; }

#define VEXAL_PORT_DECLARE(name) decltype(&::name) m_pfn_##name = nullptr;
    VEXAL_PORT_ENTRY_POINTS(VEXAL_PORT_DECLARE)
#undef VEXAL_PORT_DECLARE

private:
    void ClearEntryPoints();

    std::unique_ptr<platform::CDynLib> m_pLibrary;
    bool m_bBound = false;
    std::string m_strError;
};

}  // namespace vexal::client
