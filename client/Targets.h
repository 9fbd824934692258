// Where a front end connects, as the tool's options and Python's arguments
// name it: the connection options and hosts files for many hubs. Pure
// parsing with messages naming the place, over HubTargets.h. (Address
// ranges for scan: ScanRanges.h.)
#pragma once
#include "client/HubTargets.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::client {

// The interface code, the text selectInterface takes ("10.0.0.5:9100",
// "COM3:115200:8:0:0:0") and how messages name the hub.
using SConnection = SHubAddress;

// --ethernet ADDR[:PORT]
std::optional<SConnection> ParseEthernet(std::string_view strText, std::string& strError);
// --serial COM<n>[:BAUD | :BAUD:DATA:PARITY:STOP:FLOW], or a device path
// (/dev/ttyUSB0, any text that begins with '/') in place of COM<n>.
std::optional<SConnection> ParseSerial(std::string_view strText, std::string& strError);

// One address (ADDR or ADDR:PORT) per line; '#' starts a comment; blank lines
// are skipped. The message names the file and line of the first bad entry.
std::optional<std::vector<std::string>> ParseHostsText(std::string_view strText, const std::string& strFile,
                                                       std::string& strError);

}  // namespace vexal::client
