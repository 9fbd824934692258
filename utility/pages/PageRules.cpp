#include "utility/pages/PageRules.h"

#include <algorithm>

#include "utility/pages/TextField.h"

namespace vexal::utility {

std::optional<std::string> LengthLimitMessage(std::u16string_view text, size_t nMax) {
    if (AnsiLength(text) <= nMax)
        return std::nullopt;
    return "Maximum length is " + std::to_string(nMax);
}

std::optional<std::string> PskLimitMessage(std::u16string_view text) {
    size_t nLength = AnsiLength(text);
    if (nLength <= kPskMax || (nLength == kPskHexSize && IsHexDigits(text)))
        return std::nullopt;
    return "Maximum length is " + std::to_string(kPskMax);
}

bool IsValidWepKey(std::u16string_view text) {
    size_t nLength = AnsiLength(text);
    return nLength == 5 || nLength == 13;
}

std::optional<std::string> PskSetMessage(std::u16string_view text) {
    if (AnsiLength(text) < kPskMin)
        return "PSK Key : Minimum length is " + std::to_string(kPskMin);
    return PskLimitMessage(text);
}

bool IsHexDigits(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    });
}

bool IsDeviceIdentifier(std::u16string_view text) { return text.size() == 4 && IsHexDigits(text); }

int EncryptionPosition(int32_t nCharacter) {
    return nCharacter == '0' ? 0 : nCharacter == '1' ? 1 : -1;
}

int ConnectionModePosition(int32_t nCharacter) {
    return nCharacter >= '1' && nCharacter <= '3' ? nCharacter - '1' : -1;
}

int AutoConnectionPosition(uint8_t nValue) { return nValue <= 1 ? nValue : -1; }

SUsageRow UsageRow(int32_t nValue) {
    SUsageRow row;
    row.bEnabled = nValue == 0 || nValue == 1;
    row.bDisableChecked = nValue == 0;
    row.bEnableChecked = nValue == 1;
    return row;
}

int32_t TakeUsageRow(int32_t nValue, bool bEnableChecked) {
    if (nValue != 0 && nValue != 1)
        return nValue;
    return bEnableChecked ? 1 : 0;
}

std::string InterfaceUsageErrorText(int32_t nError) {
    switch (nError) {
    case 1:
        return "Failed to set interface usage. Unknown error.";
    case 2:
        return "Failed to set interface usage. Error API.";
    case 3:
        return "Failed to set interface usage. Range out.";
    case 4:
        return "Failed to set interface usage. NotAvailable error.";
    case 5:
        return "Failed to set interface usage. Impossiable All Block.";
    default:
        return "Failed to set interface usage.";
    }
}

}  // namespace vexal::utility
