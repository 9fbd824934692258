#include "utility/pages/WlanBlock.h"

#include <algorithm>

#include "utility/pages/TextField.h"

namespace vexal::utility {

namespace {

constexpr size_t kDeviceName = 18, kNetworkMode = 51, kDhcp = 52, kIp = 53, kMask = 57, kGateway = 61, kSsid = 65,
                 kAuthentication = 97, kCipher = 98, kWepKey = 99, kPsk = 203, kConstant06 = 267, kEapMethod = 268,
                 kEapIdentity = 269, kEapPassword = 301, kPort = 397, kInactivity = 587, kSignature = 590;

using CBlock = std::array<uint8_t, kWlanBlockSize>;

std::span<const uint8_t> Field(std::span<const uint8_t, kWlanBlockSize> block, size_t nAt, size_t nSize) {
    return block.subspan(nAt, nSize);
}

std::span<uint8_t> Field(CBlock& block, size_t nAt, size_t nSize) { return std::span<uint8_t>(block).subspan(nAt, nSize); }

CIpv4 TakeAddress(std::span<const uint8_t, kWlanBlockSize> block, size_t nAt) {
    CIpv4 out{};
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(nAt), out.size(), out.begin());
    return out;
}

void PutAddress(CBlock& block, size_t nAt, const CIpv4& value) {
    std::copy(value.begin(), value.end(), block.begin() + static_cast<std::ptrdiff_t>(nAt));
}

}  // namespace

const std::array<const char*, 5> kEapMethodEntries = {"EAP-PEAP", "EAP-TTLS", "EAP-TLS", "EAP-LEAP", "EAP-FAST"};

bool IsEapAuthentication(int nAuthentication) {
    return nAuthentication == kAuthWpaEap || nAuthentication == kAuthWpa2Eap;
}

bool IsPskAuthentication(int nAuthentication) {
    return nAuthentication == kAuthWpaPsk || nAuthentication == kAuthWpa2Psk;
}

SWlanSettings DecodeWlanBlock(std::span<const uint8_t, kWlanBlockSize> block) {
    SWlanSettings s;
    std::copy_n(block.begin() + kDeviceName, kWlanDeviceNameSize, s.deviceName.begin());
    s.nNetworkMode = block[kNetworkMode];
    s.nDhcp = block[kDhcp];
    s.ip = TakeAddress(block, kIp);
    s.mask = TakeAddress(block, kMask);
    s.gateway = TakeAddress(block, kGateway);
    s.strSsid = ReadTextField(Field(block, kSsid, kWlanSsidSize));
    s.nAuthentication = block[kAuthentication];
    s.nCipher = block[kCipher];
    s.nEapMethod = block[kEapMethod];
    s.nInactivity = static_cast<uint16_t>(block[kInactivity] << 8 | block[kInactivity + 1]);
    switch (KeyFieldInUse(s.nAuthentication, s.nCipher)) {
    case EWlanKeyField::Wep:
        s.strWepKey = ReadTextField(Field(block, kWepKey, kWlanWepKeySize));
        break;
    case EWlanKeyField::Eap:
        s.strEapIdentity = ReadTextField(Field(block, kEapIdentity, kWlanEapIdentitySize));
        s.strEapPassword = ReadTextField(Field(block, kEapPassword, kWlanEapPasswordSize));
        break;
    case EWlanKeyField::None:
        break;
    case EWlanKeyField::Psk:
        s.strPsk = ReadTextField(Field(block, kPsk, kWlanPskSize));
        break;
    }
    return s;
}

std::array<uint8_t, kWlanBlockSize> EncodeWlanBlock(const SWlanSettings& s) {
    CBlock block{};
    block[kSignature] = 'V';
    block[kSignature + 1] = 'Q';
    std::copy(s.deviceName.begin(), s.deviceName.end(), block.begin() + kDeviceName);
    block[kNetworkMode] = s.nNetworkMode;
    block[kDhcp] = s.nDhcp;
    WriteTextField(s.strSsid, Field(block, kSsid, kWlanSsidSize));
    block[kInactivity] = static_cast<uint8_t>(s.nInactivity >> 8);
    block[kInactivity + 1] = static_cast<uint8_t>(s.nInactivity & 0xFF);
    PutAddress(block, kIp, s.ip);
    PutAddress(block, kMask, s.mask);
    PutAddress(block, kGateway, s.gateway);
    block[kAuthentication] = s.nAuthentication;
    block[kCipher] = s.nCipher;
    block[kEapMethod] = IsEapAuthentication(s.nAuthentication) ? s.nEapMethod : 0;
    if ((s.nAuthentication == kAuthOpenSystem || s.nAuthentication == kAuthSharedKey) && s.nCipher == kCipherWep)
        WriteTextField(s.strWepKey, Field(block, kWepKey, kWlanWepKeySize));
    WriteTextField(s.strPsk, Field(block, kPsk, kWlanPskSize));
    WriteTextField(s.strEapIdentity, Field(block, kEapIdentity, kWlanEapIdentitySize));
    WriteTextField(s.strEapPassword, Field(block, kEapPassword, kWlanEapPasswordSize));
    block[kConstant06] = 0x06;
    // 9100, most significant byte first.
    block[kPort] = 0x23;
    block[kPort + 1] = 0x8C;
    return block;
}

bool IsWlanWriteAcknowledged(std::span<const uint8_t, kWlanAnswerSize> answer) {
    return answer[4] == '_' && answer[14] == 'S' && answer[15] == 'U' && answer[16] == 'C';
}

std::vector<std::string> AuthenticationEntries(bool bAdhoc) {
    if (bAdhoc)
        return {"Open System", "Shared Key"};
    return {"Open System", "Shared Key", "WPA-PSK", "WPA2-PSK", "WPA-EAP", "WPA2-EAP"};
}

std::vector<std::string> CipherEntries(int nAuthentication) {
    switch (nAuthentication) {
    case kAuthOpenSystem:
        return {"NONE", "WEP64/128"};
    case kAuthSharedKey:
        return {"WEP64/128"};
    default:
        return {"TKIP", "AES", "AES + TKIP"};
    }
}

namespace {
int CipherBase(int nAuthentication) {
    return nAuthentication == kAuthOpenSystem ? 0 : nAuthentication == kAuthSharedKey ? 1 : 2;
}
}  // namespace

int CipherValue(int nAuthentication, int nPosition) { return CipherBase(nAuthentication) + nPosition; }

int CipherPosition(int nAuthentication, int nCipher) {
    int nPosition = nCipher - CipherBase(nAuthentication);
    int nEntries = static_cast<int>(CipherEntries(nAuthentication).size());
    return nPosition >= 0 && nPosition < nEntries ? nPosition : -1;
}

EWlanKeyField KeyFieldInUse(int nAuthentication, int nCipher) {
    if (nAuthentication == kAuthOpenSystem)
        return nCipher == kCipherWep ? EWlanKeyField::Wep : EWlanKeyField::None;
    if (nAuthentication == kAuthSharedKey)
        return EWlanKeyField::Wep;
    if (IsEapAuthentication(nAuthentication))
        return EWlanKeyField::Eap;
    return EWlanKeyField::Psk;
}

}  // namespace vexal::utility
