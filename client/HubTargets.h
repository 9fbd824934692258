// How a hub is reached, from the texts people give for it: an IPv4 address
// with an optional TCP port, a serial port (COM<n> or a device path) with
// optional line settings. Pure parsing; the messages name the bad part and
// leave naming the option or URI it came from to the caller.
#pragma once
#include "client/HubDevices.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexal::client {

inline constexpr uint16_t kDefaultHubPort = 9100;

// ADDR[:PORT], port 9100 unless given.
std::optional<SHubAddress> ParseEthernetTarget(std::string_view strText, std::string& strError);
// COM<n>[:BAUD | :BAUD:DATA:PARITY:STOP:FLOW], or a device path (any text
// that begins with '/') in place of COM<n>.
std::optional<SHubAddress> ParseSerialTarget(std::string_view strText, std::string& strError);

}  // namespace vexal::client
