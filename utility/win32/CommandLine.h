// The Windows program's command line: the same options and messages as the
// Linux program's, without a toolkit.
#pragma once
#include "utility/logic/DialogView.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexal::utility::win32 {

inline constexpr int kDefaultTcpPort = 9100;

struct SProgramOptions {
    int nInterface = 16;                // 16 USB, 2 Ethernet, 4 serial ("Bluetooth")
    std::optional<Ipv4Octets> address;  // --address
    std::optional<int> nTcpPort;        // --tcp-port
    std::optional<uint32_t> nSerial;    // --serial COM<n>
    bool bConnect = false;              // --connect
};

enum class EParsed { Run, Help, Version, Error };

struct SParsedCommandLine {
    EParsed eOutcome = EParsed::Run;
    SProgramOptions options;
    std::string strText;  // the help text, the version line or the error (UTF-8)
};

// arguments[0] is the program (UTF-8 each).
SParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& strVersion);

}  // namespace vexal::utility::win32
