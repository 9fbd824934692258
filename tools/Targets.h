// Where the tool connects: the connection options, address ranges for scan and
// hosts files for many hubs. Pure parsing with messages naming the place.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::tools {

inline constexpr uint16_t kDefaultHubPort = 9100;

struct SConnection {
    int32_t nInterface = 0;     // 2 Ethernet, 4 serial, 32 serial with line settings, 16 USB
    std::string strPortText;    // the text selectInterface takes ("10.0.0.5:9100", "COM3:115200:8:0:0:0")
    std::string strDevicePath;  // --serial /dev/...: the device to link as COM<n>
    std::string strLabel;       // how messages name the hub
};

// --ethernet ADDR[:PORT]
std::optional<SConnection> ParseEthernet(std::string_view strText, std::string& strError);
// --serial COM<n>[:BAUD | :BAUD:DATA:PARITY:STOP:FLOW] or /dev/PATH[...]; a
// device path is linked as strComName (COM<n>) by the caller.
std::optional<SConnection> ParseSerial(std::string_view strText, const std::string& strComName, std::string& strError);

// An IPv4 range "a.b.c.d/n" with n from 22 to 32; the host addresses in order
// (network and broadcast left out for n <= 30).
std::optional<std::vector<uint32_t>> ParseCidr(std::string_view strText, std::string& strError);
std::string FormatIPv4(uint32_t dwAddress);

// One address (ADDR or ADDR:PORT) per line; '#' starts a comment; blank lines
// are skipped. The message names the file and line of the first bad entry.
std::optional<std::vector<std::string>> ParseHostsText(std::string_view strText, const std::string& strFile,
                                                        std::string& strError);

}  // namespace vexal::tools
