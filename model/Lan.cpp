#include "model/Lan.h"

#include <algorithm>
#include <cstdio>

namespace vexal::model {

namespace {

constexpr size_t kMac = 0, kIp = 6, kMask = 10, kGateway = 14, kDns = 18, kDhcp = 22;

template <size_t N>
std::array<uint8_t, N> Take(std::span<const uint8_t, kLanBlockSize> block, size_t nAt) {
    std::array<uint8_t, N> out{};
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(nAt), N, out.begin());
    return out;
}

template <size_t N>
void Put(CLanBlock& block, size_t nAt, const std::array<uint8_t, N>& value) {
    std::copy(value.begin(), value.end(), block.begin() + static_cast<std::ptrdiff_t>(nAt));
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// An address key: shown dotted, set from a canonical dotted text.
// clang-format off
#define VEXAL_LAN_ADDRESS(field)                                                   \
    {#field, [](const SLan& v) { return FormatIpv4(v.field); },                    \
     [](SLan& v, const std::string& s) { v.field = ParseIpv4(s).value_or(v.field); }}
// clang-format on

const SKeyBinding<SLan> kBindings[] = {
    {"mac", [](const SLan& v) { return FormatMac(v.mac); }, nullptr},
    {"dhcp", [](const SLan& v) { return std::string(OnOff(v.Dhcp())); },
     [](SLan& v, const std::string& s) { v.nDhcp = s == "on" ? 1 : 0; }},
    VEXAL_LAN_ADDRESS(ip),
    VEXAL_LAN_ADDRESS(mask),
    VEXAL_LAN_ADDRESS(gateway),
    VEXAL_LAN_ADDRESS(dns),
};
#undef VEXAL_LAN_ADDRESS

SGroupDef MakeGroup() {
    SGroupDef group;
    group.strName = "lan";
    group.strTitle = "LAN";
    group.vecKeys = {ReadOnly(TextKey("mac", std::nullopt, "MAC address (read-only)")),
                     FlagKey("dhcp", "DHCP on|off"),
                     PerHub(AddressKey("ip", "IP address")),
                     AddressKey("mask", "subnet mask"),
                     AddressKey("gateway", "gateway"),
                     AddressKey("dns", "DNS server")};
    return group;
}

}  // namespace

SLan DecodeLan(std::span<const uint8_t, kLanBlockSize> block) {
    SLan s;
    s.mac = Take<6>(block, kMac);
    s.ip = Take<4>(block, kIp);
    s.mask = Take<4>(block, kMask);
    s.gateway = Take<4>(block, kGateway);
    s.dns = Take<4>(block, kDns);
    s.nDhcp = block[kDhcp];
    return s;
}

CLanBlock EncodeLan(const SLan& s) {
    CLanBlock block{};
    Put(block, kMac, s.mac);
    Put(block, kIp, s.ip);
    Put(block, kMask, s.mask);
    Put(block, kGateway, s.gateway);
    Put(block, kDns, s.dns);
    block[kDhcp] = s.Dhcp() ? 1 : 0;
    return block;
}

std::string FormatMac(const CMac& mac) {
    char text[18];
    std::snprintf(text, sizeof(text), "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::optional<CMac> ParseMac(std::string_view strText) {
    std::string digits;
    std::copy_if(strText.begin(), strText.end(), std::back_inserter(digits), [](char c) { return c != ':'; });
    if (digits.size() != 12) return std::nullopt;
    CMac mac{};
    for (size_t i = 0; i < mac.size(); ++i) {
        const int nHigh = HexValue(digits[2 * i]);
        const int nLow = HexValue(digits[2 * i + 1]);
        if (nHigh < 0 || nLow < 0) return std::nullopt;
        mac[i] = static_cast<uint8_t>(nHigh * 16 + nLow);
    }
    return mac;
}

VEXAL_MODEL_GROUP_FORM(SLan, LanGroup, MakeGroup, kBindings)

}  // namespace vexal::model
