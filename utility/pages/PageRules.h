// Validation and value mappings of the settings pages, kept free of widgets
// so that they can be checked on their own.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexal::utility {

// ---- Limits, counted in the bytes the hub stores -------------------------
inline constexpr size_t kBluetoothNameMax = 30;
inline constexpr size_t kBluetoothPinMax = 16;
inline constexpr size_t kBluetoothPinMin = 4;
inline constexpr size_t kSsidMax = 32;
inline constexpr size_t kPskMin = 8;
inline constexpr size_t kPskMax = 63;     // a passphrase
inline constexpr size_t kPskHexSize = 64;  // or the raw key as hexadecimal digits
inline constexpr size_t kEapIdentityMax = 32;
inline constexpr size_t kEapPasswordMax = 96;

// "Maximum length is N" when the text is over nMax bytes, else nothing.
std::optional<std::string> LengthLimitMessage(std::u16string_view text, size_t nMax);
// The pre-shared key while typing: up to 63 bytes, or exactly 64 hex digits.
std::optional<std::string> PskLimitMessage(std::u16string_view text);
// A WEP key has 5 or 13 bytes.
bool IsValidWepKey(std::u16string_view text);
// At SET: 8..63 bytes or 64 hex digits; the message of the first rule broken.
std::optional<std::string> PskSetMessage(std::u16string_view text);

bool IsHexDigits(std::u16string_view text);
// A custom-device identifier: exactly four hexadecimal digits.
bool IsDeviceIdentifier(std::u16string_view text);

// ---- Bluetooth list positions (-1: the hub's value has no entry) ----------
int EncryptionPosition(int32_t nCharacter);      // '0' Disable, '1' Enable
int ConnectionModePosition(int32_t nCharacter);  // '1'..'3' Mode 1..3
int AutoConnectionPosition(uint8_t nValue);      // 0 Disable, 1 Enable

// ---- Interface usage rows ------------------------------------------------
// A value of 2 (not reported, or anything but 0 and 1) leaves its row
// disabled and unchecked.
struct SUsageRow {
    bool bEnabled = false;
    bool bDisableChecked = false;
    bool bEnableChecked = false;
};
SUsageRow UsageRow(int32_t nValue);
// The value SET sends for a row: 2 stays 2, else 1 when "Enable" is checked.
int32_t TakeUsageRow(int32_t nValue, bool bEnableChecked);
// The message for the hub's error byte of a refused change.
std::string InterfaceUsageErrorText(int32_t nError);

}  // namespace vexal::utility
