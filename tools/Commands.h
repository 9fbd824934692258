// The tool's commands, each a thin layer over the library's entry points.
#pragma once
#include <string>
#include <vector>

namespace vexal::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct SOptions {
    // Where and how
    std::string strEthernet, strSerial;
    bool bUsb = false;
    int nTimeout = 0;  // seconds; 0 keeps the library's wait
    bool bJson = false;
    std::string strHosts;
    int nJobs = 8;
    std::string strLibrary = "ZamoCfg";
    // What
    std::string strCommand;            // info, show, get, set, custom, backup, restore, scan, ports,
                                       // status, watch, send, recv
    std::vector<std::string> vecArgs;  // the command's positional arguments
    std::vector<std::string> vecOnly, vecInclude;
    bool bDryRun = false, bClone = false;
    int nConnectTimeoutMs = 300;
    int nParallel = 64;
    int nScanPort = 9100;
    std::string strPrometheusSd;  // scan: the Prometheus file_sd target file to write
    double dForSeconds = 0;       // watch, recv: end after this long; 0: until interrupted
    bool bHex = false;            // recv: hexadecimal lines instead of the bytes
};

// A command against one hub (info ... restore), scan and ports.
int RunCommand(const SOptions& options);
// The same command against every hub of --hosts, each in a worker process
// started with vecWorkerArgs plus --ethernet ADDR; {host} in arguments is
// replaced by the hub's address.
int RunFleet(const SOptions& options, const std::vector<std::string>& vecWorkerArgs);

}  // namespace vexal::tools
