// IPv4 addresses as the hub's blocks hold them: four octets, most
// significant first (192.168.0.10 is C0 A8 00 0A).
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexal::model {

using CIpv4 = std::array<uint8_t, 4>;

// "192.168.0.10"
std::string FormatIpv4(const CIpv4& address);
// Dotted decimal, each part 0 to 255 in at most three digits ("010" is 10).
std::optional<CIpv4> ParseIpv4(std::string_view strText);

}  // namespace vexal::model
