// The hub's records as the tool's key values, and back: the 30-byte LAN block,
// the 592-byte WLAN block, the serial line indices and the Bluetooth
// characters. Pure: the library moves the bytes, these give them meaning.
#pragma once
#include "tools/Settings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vexal::tools {

inline constexpr size_t kLanBlockSize = 30;
inline constexpr size_t kWlanBlockSize = 592;
inline constexpr size_t kWlanWriteOffset = 18;  // only bytes 18-591 go back to the hub
using LanBlock = std::array<uint8_t, kLanBlockSize>;
using WlanBlock = std::array<uint8_t, kWlanBlockSize>;

GroupValues DecodeLan(const LanBlock& block);
// The block to send: the MAC address as read, bytes 23-29 zero.
LanBlock EncodeLan(const GroupValues& values, const LanBlock& read);

// Decoded as the WLAN page reads it: keys the authentication does not use are empty.
GroupValues DecodeWlan(const WlanBlock& block);
// The block to send, built from zero as the WLAN page builds it; the device
// name goes back byte for byte as read.
WlanBlock EncodeWlan(const GroupValues& values, const WlanBlock& read);
// The hub took a WLAN write when its 20-byte answer carries "_" "S" "U" "C" at 4, 14, 15, 16.
bool WlanWriteAccepted(const std::array<uint8_t, 20>& answer);

GroupValues DecodeSerial(uint8_t nBaud, uint8_t nData, uint8_t nStop, uint8_t nParity);
// The four index bytes; nothing when a value is not canonical.
std::optional<std::array<uint8_t, 4>> EncodeSerial(const GroupValues& values);

// Bluetooth characters as the page maps them: encryption "0" off, anything
// else on; mode "2" and "3" as such, anything else "1".
std::string DecodeBtEncryption(int32_t nChar);
std::string DecodeBtMode(int32_t nChar);

// Texts of the hub's code page in a fixed field; bytes up to the first NUL.
std::string FieldText(const uint8_t* pField, size_t nSize);

// Meanings of the hub's status bytes.
const char* CustomStatusText(int32_t nStatus);  // add, delete, reset: "Fail-OverlapID" for 4
const char* UsageErrorText(int32_t nError);      // set interface usage: "value out of range" for 3

}  // namespace vexal::tools
