// The hub's wireless LAN settings: the 592-byte WLAN block. Only bytes
// 18-591 ever go back to the hub. Texts are code-page bytes, NUL-terminated
// when shorter than their field.
//
//    18  33  device name (never edited)     99 104  WEP key
//    51   1  network mode                   203  64  pre-shared key
//    52   1  DHCP                           267   1  0x06
//    53   4  IP address                     268   1  EAP method
//    57   4  subnet mask                    269  32  EAP identity
//    61   4  gateway                        301  96  EAP password
//    65  32  SSID                           397   2  9100, most significant byte first
//    97   1  authentication                 587   2  inactivity time (s), most significant first
//    98   1  cipher                         590   2  "VQ"
#pragma once
#include "model/Address.h"
#include "model/KeyValues.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vexal::model {

inline constexpr size_t kWlanBlockSize = 592;
inline constexpr size_t kWlanWriteOffset = 18;
inline constexpr size_t kWlanWriteSize = kWlanBlockSize - kWlanWriteOffset;
inline constexpr size_t kWlanAnswerSize = 20;
inline constexpr size_t kWlanDeviceNameSize = 33;
using CWlanBlock = std::array<uint8_t, kWlanBlockSize>;
using CWlanAnswer = std::array<uint8_t, kWlanAnswerSize>;

enum EWlanMode : uint8_t { kWlanInfrastructure = 0, kWlanAdhoc = 1 };
enum EWlanAuth : uint8_t {
    kAuthOpenSystem = 0,
    kAuthSharedKey = 1,
    kAuthWpaPsk = 2,
    kAuthWpa2Psk = 3,
    kAuthWpaEap = 4,
    kAuthWpa2Eap = 5,
};
enum EWlanCipher : uint8_t { kCipherNone = 0, kCipherWep = 1, kCipherTkip = 2, kCipherAes = 3, kCipherAesTkip = 4 };
inline constexpr int kEapMethodCount = 5;  // PEAP, TTLS, TLS, LEAP, FAST

// The values as the hub holds them; a byte that names nothing is kept as it
// came. Only the keys of the authentication are read: the others are empty.
struct SWlan {
    std::array<uint8_t, kWlanDeviceNameSize> deviceName{};  // goes back byte for byte
    uint8_t nMode = kWlanInfrastructure;
    uint8_t nDhcp = 0;  // counts only in infrastructure mode
    CIpv4 ip{};
    CIpv4 mask{};
    CIpv4 gateway{};
    std::string strSsid;  // UTF-8
    uint8_t nAuth = kAuthOpenSystem;
    uint8_t nCipher = kCipherNone;
    std::string strWepKey;
    std::string strPsk;
    std::optional<uint8_t> nEapMethod;  // with an EAP authentication
    std::string strEapIdentity;
    std::string strEapPassword;
    uint16_t nInactivity = 0;
    // DHCP as the hub applies it: never in ad hoc mode.
    bool Dhcp() const { return nMode == kWlanInfrastructure && nDhcp != 0; }
    std::string DeviceName() const;
    bool operator==(const SWlan&) const = default;
};

SWlan DecodeWlan(std::span<const uint8_t, kWlanBlockSize> block);
// Built from zeros: the WEP key only with WEP in use, the EAP method only
// with an EAP authentication, the other texts whatever the authentication,
// each cut to its field; the constants at 267, 397 and 590.
CWlanBlock EncodeWlan(const SWlan& value);

// The hub took a write when its 20-byte answer has "_", "S", "U", "C" at 4, 14, 15, 16.
bool IsWlanWriteAcknowledged(std::span<const uint8_t, kWlanAnswerSize> answer);

bool IsEapAuth(int nAuth);
bool IsPskAuth(int nAuth);
// The authentications a mode offers: all six in infrastructure mode, open
// system and shared key in ad hoc mode (any mode but 0 counts as ad hoc).
int AuthCount(int nMode);
// The ciphers an authentication goes with, in list order: none and WEP with
// open system, WEP with shared key, TKIP, AES, AES + TKIP with the others.
std::vector<uint8_t> CiphersFor(int nAuth);
// The cipher at a list position, and the position of a cipher (-1: none).
int CipherAt(int nAuth, int nPosition);
int CipherPosition(int nAuth, int nCipher);

enum class EWlanKey { None, Wep, Psk, Eap };
// The key an authentication uses: WEP for open system with WEP and for
// shared key, EAP for the EAP ones, nothing for open system without WEP,
// the pre-shared key otherwise.
EWlanKey KeyInUse(int nAuth, int nCipher);

// Key values: device_name (read-only), mode, dhcp, ip, mask, gateway, ssid,
// auth, cipher, wep_key, psk, eap, eap_identity, eap_password, inactivity.
const SGroupDef& WlanGroup();
GroupValues ToKeyValues(const SWlan& value);
void ApplyKeyValues(SWlan& value, const GroupValues& values);

}  // namespace vexal::model
