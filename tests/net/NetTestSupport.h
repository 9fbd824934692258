// Helpers shared by the network port tests: a configured CPortNet, a
// per-test log folder and its text.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "portlib/PortNet.h"

namespace nettest {

// A temporary folder, removed with everything in it.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// A network port for an address and TCP port, its log written to logDir
// (log switch on) so tests can look for the lines it writes.
std::shared_ptr<vexal::CPortNet> MakeNetPort(const std::string& strAddress, uint32_t dwTcpPort, const CTempDir& logDir,
                                             uint32_t dwRawMode = 0);

// Everything the port logs wrote into the folder so far (ASCII lines).
std::string LogText(const CTempDir& logDir);
// How often a text occurs in the log.
int CountInLog(const CTempDir& logDir, const std::string& strText);

}  // namespace nettest
