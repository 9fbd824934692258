#include "utility/pages/LanBlock.h"

#include <algorithm>
#include <cstdio>

namespace vexal::utility {

namespace {

constexpr size_t kMac = 0, kIp = 6, kMask = 10, kGateway = 14, kDns = 18, kDhcp = 22;

template <size_t N>
std::array<uint8_t, N> Take(std::span<const uint8_t, kLanBlockSize> block, size_t nAt) {
    std::array<uint8_t, N> out{};
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(nAt), N, out.begin());
    return out;
}

template <size_t N>
void Put(std::array<uint8_t, kLanBlockSize>& block, size_t nAt, const std::array<uint8_t, N>& value) {
    std::copy(value.begin(), value.end(), block.begin() + static_cast<std::ptrdiff_t>(nAt));
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

SLanSettings DecodeLanBlock(std::span<const uint8_t, kLanBlockSize> block) {
    SLanSettings s;
    s.mac = Take<6>(block, kMac);
    s.ip = Take<4>(block, kIp);
    s.mask = Take<4>(block, kMask);
    s.gateway = Take<4>(block, kGateway);
    s.dns = Take<4>(block, kDns);
    s.nDhcp = block[kDhcp];
    return s;
}

std::array<uint8_t, kLanBlockSize> EncodeLanBlock(const SLanSettings& s) {
    std::array<uint8_t, kLanBlockSize> block{};
    Put(block, kMac, s.mac);
    Put(block, kIp, s.ip);
    Put(block, kMask, s.mask);
    Put(block, kGateway, s.gateway);
    Put(block, kDns, s.dns);
    block[kDhcp] = s.nDhcp;
    return block;
}

std::string FormatMac(const CMac& mac) {
    char text[18];
    std::snprintf(text, sizeof(text), "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::optional<CMac> ParseMac(std::string_view text) {
    std::string digits;
    std::copy_if(text.begin(), text.end(), std::back_inserter(digits), [](char c) { return c != ':'; });
    if (digits.size() != 12)
        return std::nullopt;
    CMac mac{};
    for (size_t i = 0; i < mac.size(); ++i) {
        int nHigh = HexValue(digits[2 * i]);
        int nLow = HexValue(digits[2 * i + 1]);
        if (nHigh < 0 || nLow < 0)
            return std::nullopt;
        mac[i] = static_cast<uint8_t>(nHigh * 16 + nLow);
    }
    return mac;
}

}  // namespace vexal::utility
