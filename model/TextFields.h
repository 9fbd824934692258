// The hub's text settings and the rules their texts must meet: lengths in
// the code page's bytes, no control characters, nothing the code page lacks.
// Each front end words the problem its own way; the rule is here only.
#pragma once
#include <cstddef>
#include <string_view>

namespace vexal::model {

enum class EHubText {
    BluetoothName,  // 1 to 30 bytes
    BluetoothPin,   // 4 to 16 bytes
    Ssid,           // 1 to 32 bytes
    WepKey,         // 5 or 13 bytes
    Psk,            // a passphrase of 8 to 63 bytes, or the raw key as 64 hexadecimal digits
    EapIdentity,    // up to 32 bytes
    EapPassword,    // up to 96 bytes
    Community,      // up to 4095 bytes
};

enum class ETextProblem { None, ControlCharacter, NotInCodePage, TooShort, TooLong, WepKeyLength };

size_t MinHubBytes(EHubText eText);
// For the pre-shared key the passphrase's limit, 63.
size_t MaxHubBytes(EHubText eText);

// The first rule the text breaks: control characters, then the code page,
// then its length (an empty WEP key or PSK breaks its length rule too).
ETextProblem CheckHubText(EHubText eText, std::string_view strUtf8);
ETextProblem CheckHubText(EHubText eText, std::u16string_view text);

// Only the upper limit, as a field applies it while the user types.
bool IsOverLong(EHubText eText, std::u16string_view text);

// A USB vendor or product identifier as the hub's table takes it: exactly
// four hexadecimal digits (either case).
bool IsUsbIdText(std::string_view strText);
bool IsUsbIdText(std::u16string_view text);

}  // namespace vexal::model
