// The configuration library, loaded by name at run time. A front end loads it
// once and hands it to the hub client (its sessions, the scan, the device
// reads); only the client calls its entry points (CfgEntryPoints.h), so a
// missing or older library is told apart from a failing hub.
#pragma once
#include "zamocfg.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vexal::platform {
class CDynLib;
}

namespace vexal::client {

struct SCfgEntryPoints;

// One per program run; not thread-safe: Load and Unload on one thread, with
// no session of the library open.
class CCfgLibrary {
public:
    CCfgLibrary();
    // Leaves the library loaded: its process-wide objects and any late thread
    // of it must outlive this object. Unload() is the owner's explicit choice.
    ~CCfgLibrary();
    CCfgLibrary(const CCfgLibrary&) = delete;
    CCfgLibrary& operator=(const CCfgLibrary&) = delete;

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

    // The bound entry points, all null before Load. The type is complete
    // only where CfgEntryPoints.h is included: the hub client and the tests.
    const SCfgEntryPoints& Fn() const { return *m_pFn; }
    SCfgEntryPoints& Fn() { return *m_pFn; }

private:
    std::unique_ptr<platform::CDynLib> m_pLibrary;
    std::unique_ptr<SCfgEntryPoints> m_pFn;
    bool m_bBound = false;
    std::string m_strError;
};

// A short meaning of a library result code, for messages ("no reply from the
// hub in time" for 1011); "unknown result" for codes the library never gives.
const char* ResultMeaning(int32_t nCode);

}  // namespace vexal::client
