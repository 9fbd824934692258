// Hex and small text helpers shared by the control syntax, the state file and the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hubsim {

using Bytes = std::vector<uint8_t>;

// "56 51 54" or "565154" (separators ' ', ':', '-' allowed); nullopt on any non-hex digit or odd count.
std::optional<Bytes> ParseHex(std::string_view text);
// Upper-case, no separators: "565154".
std::string ToHex(const uint8_t* pData, size_t nLength);
inline std::string ToHex(const Bytes& data) { return ToHex(data.data(), data.size()); }

// Decimal or 0x-prefixed number within [nMin, nMax]; nullopt otherwise.
std::optional<long> ParseNumber(std::string_view text, long nMin, long nMax);

std::vector<std::string> SplitWords(std::string_view line);
std::string ToUpper(std::string_view text);

}  // namespace hubsim
