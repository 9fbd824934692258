// The hub's wired LAN settings: the 30-byte LAN block.
//
//   0  6  MAC address, first octet first     18  4  DNS server
//   6  4  IP address                          22  1  DHCP: 1 on, 0 off
//  10  4  subnet mask                         23  7  not ours: sent as zeros
//  14  4  gateway
#pragma once
#include "model/Address.h"
#include "model/KeyValues.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vexal::model {

inline constexpr size_t kLanBlockSize = 30;
using CLanBlock = std::array<uint8_t, kLanBlockSize>;
using CMac = std::array<uint8_t, 6>;

struct SLan {
    CMac mac{};  // the hub's own; shown, never changed
    CIpv4 ip{};
    CIpv4 mask{};
    CIpv4 gateway{};
    CIpv4 dns{};
    uint8_t nDhcp = 0;  // as read: 1 on; 0 and any other value read as off and go out as 0
    bool Dhcp() const { return nDhcp == 1; }
    bool operator==(const SLan&) const = default;
};

SLan DecodeLan(std::span<const uint8_t, kLanBlockSize> block);
CLanBlock EncodeLan(const SLan& value);

// "00:1a:2b:3c:4d:5e"
std::string FormatMac(const CMac& mac);
// Colons removed, then exactly twelve hexadecimal digits (either case).
std::optional<CMac> ParseMac(std::string_view strText);

// Key values: mac (read-only), dhcp, ip, mask, gateway, dns.
const SGroupDef& LanGroup();
GroupValues ToKeyValues(const SLan& value);
void ApplyKeyValues(SLan& value, const GroupValues& values);

}  // namespace vexal::model
