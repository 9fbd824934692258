// Where the tool connects: the connection options and hosts files for many
// hubs. Pure parsing with messages naming the place. (Address ranges for
// scan are the hub client's: client/ScanRanges.h.)
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::tools {

inline constexpr uint16_t kDefaultHubPort = 9100;

struct SConnection {
    int32_t nInterface = 0;   // 2 Ethernet, 4 serial, 32 serial with line settings, 16 USB
    std::string strPortText;  // the text selectInterface takes ("10.0.0.5:9100", "COM3:115200:8:0:0:0")
    std::string strLabel;     // how messages name the hub
};

// --ethernet ADDR[:PORT]; strWhat begins the messages (the exporter's
// target names its query parameter).
std::optional<SConnection> ParseEthernet(std::string_view strText, std::string& strError,
                                         std::string_view strWhat = "--ethernet");
// --serial COM<n>[:BAUD | :BAUD:DATA:PARITY:STOP:FLOW], or a device path
// (/dev/ttyUSB0, any text that begins with '/') in place of COM<n>.
std::optional<SConnection> ParseSerial(std::string_view strText, std::string& strError);

// One address (ADDR or ADDR:PORT) per line; '#' starts a comment; blank lines
// are skipped. The message names the file and line of the first bad entry.
std::optional<std::vector<std::string>> ParseHostsText(std::string_view strText, const std::string& strFile,
                                                       std::string& strError);

}  // namespace vexal::tools
