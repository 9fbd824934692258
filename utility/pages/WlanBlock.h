// The hub's 592-byte WLAN settings block, and the authentication and cipher
// choices the WLAN page offers for it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "utility/pages/LanBlock.h"

namespace vexal::utility {

inline constexpr size_t kWlanBlockSize = 592;
// Only bytes 18..591 ever go back to the hub.
inline constexpr size_t kWlanWriteOffset = 18;
inline constexpr size_t kWlanWriteSize = kWlanBlockSize - kWlanWriteOffset;
inline constexpr size_t kWlanAnswerSize = 20;

// Field sizes in bytes (texts: NUL only when shorter).
inline constexpr size_t kWlanDeviceNameSize = 33;
inline constexpr size_t kWlanSsidSize = 32;
inline constexpr size_t kWlanWepKeySize = 104;
inline constexpr size_t kWlanPskSize = 64;
inline constexpr size_t kWlanEapIdentitySize = 32;
inline constexpr size_t kWlanEapPasswordSize = 96;

enum EAuthentication : uint8_t {
    kAuthOpenSystem = 0,
    kAuthSharedKey = 1,
    kAuthWpaPsk = 2,
    kAuthWpa2Psk = 3,
    kAuthWpaEap = 4,
    kAuthWpa2Eap = 5,
};
enum ECipher : uint8_t { kCipherNone = 0, kCipherWep = 1, kCipherTkip = 2, kCipherAes = 3, kCipherAesTkip = 4 };

struct SWlanSettings {
    // The name cannot be edited; it goes back byte for byte as read.
    std::array<uint8_t, kWlanDeviceNameSize> deviceName{};
    uint8_t nNetworkMode = 0;  // 0 infrastructure, 1 ad hoc
    uint8_t nDhcp = 0;
    CIpv4 ip{};
    CIpv4 mask{};
    CIpv4 gateway{};
    std::u16string strSsid;
    uint8_t nAuthentication = 0;
    uint8_t nCipher = 0;
    std::u16string strWepKey;
    std::u16string strPsk;
    uint8_t nEapMethod = 0;
    std::u16string strEapIdentity;
    std::u16string strEapPassword;
    uint16_t nInactivity = 0;
};

// As the page reads it: only the keys of the block's authentication are
// taken (WEP key for open system with WEP and shared key, identity and
// password for the EAP ones, no key for open system without WEP, otherwise
// the pre-shared key).
SWlanSettings DecodeWlanBlock(std::span<const uint8_t, kWlanBlockSize> block);
// As the page writes it: the WEP key only with WEP in use, the EAP method
// only for an EAP authentication, the constants at 267, 397 and 590.
std::array<uint8_t, kWlanBlockSize> EncodeWlanBlock(const SWlanSettings& settings);

// The hub's acknowledgement of a write: "_", "S", "U", "C" at 4, 14, 15, 16.
bool IsWlanWriteAcknowledged(std::span<const uint8_t, kWlanAnswerSize> answer);

bool IsEapAuthentication(int nAuthentication);
bool IsPskAuthentication(int nAuthentication);

// List entries; a position in the authentication list is the block's value.
std::vector<std::string> AuthenticationEntries(bool bAdhoc);
std::vector<std::string> CipherEntries(int nAuthentication);
extern const std::array<const char*, 5> kEapMethodEntries;
// Cipher value of a position in the list for the authentication, and back
// (-1: the value has no entry in that list).
int CipherValue(int nAuthentication, int nPosition);
int CipherPosition(int nAuthentication, int nCipher);

enum class EWlanKeyField { None, Wep, Psk, Eap };
EWlanKeyField KeyFieldInUse(int nAuthentication, int nCipher);

}  // namespace vexal::utility
