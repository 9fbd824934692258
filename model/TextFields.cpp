#include "model/TextFields.h"

#include "model/HubText.h"

#include <algorithm>

namespace vexal::model {

namespace {

// A command and its text travel in one frame of at most 4096 bytes; the
// library would send a longer community in two, and the hub would take the
// second frame, the community's tail, for a command of its own.
constexpr size_t kCommunityMax = 4095;
constexpr size_t kPskHexDigits = 64;

template <class Char>
bool AllHex(std::basic_string_view<Char> text) {
    return std::all_of(text.begin(), text.end(), [](Char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

// The length rules, given the text's byte count and whether it is all hexadecimal.
ETextProblem CheckLength(EHubText eText, size_t nBytes, bool bAllHex) {
    if (eText == EHubText::WepKey) return nBytes == 5 || nBytes == 13 ? ETextProblem::None : ETextProblem::WepKeyLength;
    if (eText == EHubText::Psk && nBytes == kPskHexDigits && bAllHex) return ETextProblem::None;
    if (nBytes < MinHubBytes(eText)) return ETextProblem::TooShort;
    if (nBytes > MaxHubBytes(eText)) return ETextProblem::TooLong;
    return ETextProblem::None;
}

}  // namespace

size_t MinHubBytes(EHubText eText) {
    switch (eText) {
    case EHubText::BluetoothName: return 1;
    case EHubText::BluetoothPin: return 4;
    case EHubText::Ssid: return 1;
    case EHubText::WepKey: return 5;
    case EHubText::Psk: return 8;
    default: return 0;
    }
}

size_t MaxHubBytes(EHubText eText) {
    switch (eText) {
    case EHubText::BluetoothName: return 30;
    case EHubText::BluetoothPin: return 16;
    case EHubText::Ssid: return 32;
    case EHubText::WepKey: return 13;
    case EHubText::Psk: return 63;
    case EHubText::EapIdentity: return 32;
    case EHubText::EapPassword: return 96;
    case EHubText::Community: return kCommunityMax;
    }
    return 0;
}

ETextProblem CheckHubText(EHubText eText, std::u16string_view text) {
    if (HasControlCharacter(text)) return ETextProblem::ControlCharacter;
    if (!FitsHubCodePage(text)) return ETextProblem::NotInCodePage;
    return CheckLength(eText, HubByteLength(text), AllHex(text));
}

ETextProblem CheckHubText(EHubText eText, std::string_view strUtf8) {
    if (HasControlCharacter(strUtf8)) return ETextProblem::ControlCharacter;
    if (!FitsHubCodePage(strUtf8)) return ETextProblem::NotInCodePage;
    return CheckLength(eText, HubByteLength(strUtf8), AllHex(strUtf8));
}

bool IsOverLong(EHubText eText, std::u16string_view text) {
    const size_t nBytes = HubByteLength(text);
    if (eText == EHubText::Psk && nBytes == kPskHexDigits && AllHex(text)) return false;
    return nBytes > MaxHubBytes(eText);
}

bool IsUsbIdText(std::string_view strText) { return strText.size() == 4 && AllHex(strText); }
bool IsUsbIdText(std::u16string_view text) { return text.size() == 4 && AllHex(text); }

}  // namespace vexal::model
