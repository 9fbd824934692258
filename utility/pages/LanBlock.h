// The hub's 30-byte LAN settings block and the MAC text the LAN page shows.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vexal::utility {

inline constexpr size_t kLanBlockSize = 30;

using CIpv4 = std::array<uint8_t, 4>;  // most significant octet first, as typed
using CMac = std::array<uint8_t, 6>;   // first octet first

struct SLanSettings {
    CMac mac{};
    CIpv4 ip{};
    CIpv4 mask{};
    CIpv4 gateway{};
    CIpv4 dns{};
    uint8_t nDhcp = 0;  // 1 enabled, 0 disabled; other values kept as read
};

SLanSettings DecodeLanBlock(std::span<const uint8_t, kLanBlockSize> block);
// Bytes 23..29 are not ours: always zeros.
std::array<uint8_t, kLanBlockSize> EncodeLanBlock(const SLanSettings& settings);

// "00:1a:2b:3c:4d:5e"
std::string FormatMac(const CMac& mac);
// Colons removed, then exactly twelve hexadecimal digits (either case).
std::optional<CMac> ParseMac(std::string_view text);

}  // namespace vexal::utility
