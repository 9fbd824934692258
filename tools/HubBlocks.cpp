#include "tools/HubBlocks.h"

#include "platform/TextCodec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vexal::tools {
namespace {

std::string Address(const uint8_t* p) {
    return std::to_string(p[0]) + "." + std::to_string(p[1]) + "." + std::to_string(p[2]) + "." + std::to_string(p[3]);
}

void PutAddress(uint8_t* p, const std::string& strAddress) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(strAddress.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) == 4) {
        p[0] = static_cast<uint8_t>(a);
        p[1] = static_cast<uint8_t>(b);
        p[2] = static_cast<uint8_t>(c);
        p[3] = static_cast<uint8_t>(d);
    }
}

// Writes the text in the hub's code page into a field of nSize bytes; the
// rules have checked the length, a longer text is cut rather than spilled.
void PutText(uint8_t* pField, size_t nSize, const std::string& strUtf8) {
    const std::string bytes = platform::AnsiFromUtf16(platform::Utf16FromUtf8(strUtf8));
    std::memcpy(pField, bytes.data(), std::min(bytes.size(), nSize));
}

std::string Get(const GroupValues& values, const char* pszKey) {
    auto it = values.find(pszKey);
    return it == values.end() ? std::string() : it->second;
}

template <size_t N>
int IndexOf(const std::array<const char*, N>& names, const std::string& strValue) {
    for (size_t i = 0; i < N; ++i)
        if (strValue == names[i]) return static_cast<int>(i);
    return -1;
}

template <size_t N>
std::string NameAt(const std::array<const char*, N>& names, unsigned nIndex) {
    // An unknown value shows as its number, marked: a bare "7" would read as
    // the data-bits choice "7" and be written back as that.
    return nIndex < N ? names[nIndex] : "unknown " + std::to_string(nIndex);
}

constexpr std::array<const char*, 2> kModes = {"infra", "adhoc"};
constexpr std::array<const char*, 6> kAuths = {"open", "shared", "wpa-psk", "wpa2-psk", "wpa-eap", "wpa2-eap"};
constexpr std::array<const char*, 5> kCiphers = {"none", "wep", "tkip", "aes", "aes+tkip"};
constexpr std::array<const char*, 5> kEaps = {"peap", "ttls", "tls", "leap", "fast"};
constexpr std::array<const char*, 8> kBauds = {"2400", "4800", "9600", "19200", "38400", "57600", "115200", "230400"};
constexpr std::array<const char*, 2> kDataBits = {"7", "8"};
constexpr std::array<const char*, 2> kStopBits = {"1", "2"};
constexpr std::array<const char*, 3> kParities = {"none", "even", "odd"};

}  // namespace

std::string FieldText(const uint8_t* pField, size_t nSize) {
    const size_t nLength = static_cast<size_t>(std::find(pField, pField + nSize, 0) - pField);
    return platform::Utf8FromUtf16(
        platform::Utf16FromAnsi(std::string_view(reinterpret_cast<const char*>(pField), nLength)));
}

GroupValues DecodeLan(const LanBlock& b) {
    char szMac[18];
    std::snprintf(szMac, sizeof szMac, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
    return {{"mac", szMac},
            {"ip", Address(&b[6])},
            {"mask", Address(&b[10])},
            {"gateway", Address(&b[14])},
            {"dns", Address(&b[18])},
            {"dhcp", b[22] == 1 ? "on" : "off"}};
}

LanBlock EncodeLan(const GroupValues& values, const LanBlock& read) {
    LanBlock block{};
    std::copy(read.begin(), read.begin() + 6, block.begin());
    PutAddress(&block[6], Get(values, "ip"));
    PutAddress(&block[10], Get(values, "mask"));
    PutAddress(&block[14], Get(values, "gateway"));
    PutAddress(&block[18], Get(values, "dns"));
    block[22] = Get(values, "dhcp") == "on" ? 1 : 0;
    return block;
}

GroupValues DecodeWlan(const WlanBlock& b) {
    GroupValues v;
    const unsigned nAuth = b[97];
    v["device_name"] = FieldText(&b[18], 33);
    v["mode"] = NameAt(kModes, b[51]);
    v["dhcp"] = (b[51] == 0 && b[52] != 0) ? "on" : "off";
    v["ip"] = Address(&b[53]);
    v["mask"] = Address(&b[57]);
    v["gateway"] = Address(&b[61]);
    v["ssid"] = FieldText(&b[65], 32);
    v["auth"] = NameAt(kAuths, nAuth);
    // A shared-key network always uses WEP, whatever the byte says.
    v["cipher"] = nAuth == 1 ? "wep" : NameAt(kCiphers, b[98]);
    const bool bWep = (nAuth == 0 && b[98] == 1) || nAuth == 1;
    const bool bEap = nAuth == 4 || nAuth == 5;
    const bool bPsk = !bWep && !bEap && nAuth != 0;
    v["wep_key"] = bWep ? FieldText(&b[99], 104) : "";
    v["psk"] = bPsk ? FieldText(&b[203], 64) : "";
    v["eap"] = bEap ? NameAt(kEaps, b[268]) : "";
    v["eap_identity"] = bEap ? FieldText(&b[269], 32) : "";
    v["eap_password"] = bEap ? FieldText(&b[301], 96) : "";
    v["inactivity"] = std::to_string((b[587] << 8) | b[588]);
    return v;
}

WlanBlock EncodeWlan(const GroupValues& v, const WlanBlock& read) {
    WlanBlock b{};
    b[590] = 'V';
    b[591] = 'Q';
    std::copy(read.begin() + 18, read.begin() + 51, b.begin() + 18);
    const int nMode = std::max(0, IndexOf(kModes, Get(v, "mode")));
    const int nAuth = std::max(0, IndexOf(kAuths, Get(v, "auth")));
    const int nCipher = std::max(0, IndexOf(kCiphers, Get(v, "cipher")));
    b[51] = static_cast<uint8_t>(nMode);
    b[52] = Get(v, "dhcp") == "on" && nMode == 0 ? 1 : 0;
    PutText(&b[65], 32, Get(v, "ssid"));
    const unsigned long nInactivity = std::strtoul(Get(v, "inactivity").c_str(), nullptr, 10);
    b[587] = static_cast<uint8_t>((nInactivity >> 8) & 0xFF);
    b[588] = static_cast<uint8_t>(nInactivity & 0xFF);
    PutAddress(&b[53], Get(v, "ip"));
    PutAddress(&b[57], Get(v, "mask"));
    PutAddress(&b[61], Get(v, "gateway"));
    b[97] = static_cast<uint8_t>(nAuth);
    b[98] = static_cast<uint8_t>(nCipher);
    if (nAuth == 4 || nAuth == 5) b[268] = static_cast<uint8_t>(std::max(0, IndexOf(kEaps, Get(v, "eap"))));
    if ((nAuth == 0 || nAuth == 1) && nCipher == 1) PutText(&b[99], 104, Get(v, "wep_key"));
    PutText(&b[203], 64, Get(v, "psk"));  // a 64-digit raw key fills the field, without a NUL
    PutText(&b[269], 32, Get(v, "eap_identity"));
    PutText(&b[301], 96, Get(v, "eap_password"));
    b[267] = 0x06;
    b[397] = 0x23;
    b[398] = 0x8C;
    return b;
}

bool WlanWriteAccepted(const std::array<uint8_t, 20>& a) {
    return a[4] == '_' && a[14] == 'S' && a[15] == 'U' && a[16] == 'C';
}

GroupValues DecodeSerial(uint8_t nBaud, uint8_t nData, uint8_t nStop, uint8_t nParity) {
    return {{"baud", NameAt(kBauds, nBaud)},
            {"data", NameAt(kDataBits, nData)},
            {"stop", NameAt(kStopBits, nStop)},
            {"parity", NameAt(kParities, nParity)}};
}

std::optional<std::array<uint8_t, 4>> EncodeSerial(const GroupValues& v) {
    const int nBaud = IndexOf(kBauds, Get(v, "baud"));
    const int nData = IndexOf(kDataBits, Get(v, "data"));
    const int nStop = IndexOf(kStopBits, Get(v, "stop"));
    const int nParity = IndexOf(kParities, Get(v, "parity"));
    if (nBaud < 0 || nData < 0 || nStop < 0 || nParity < 0) return std::nullopt;
    return std::array<uint8_t, 4>{static_cast<uint8_t>(nBaud), static_cast<uint8_t>(nData),
                                  static_cast<uint8_t>(nStop), static_cast<uint8_t>(nParity)};
}

std::string DecodeBtEncryption(int32_t nChar) { return nChar == 0x30 ? "off" : "on"; }
std::string DecodeBtMode(int32_t nChar) { return nChar == 0x32 ? "2" : nChar == 0x33 ? "3" : "1"; }

const char* CustomStatusText(int32_t nStatus) {
    switch (nStatus) {
    case 0: return "success";
    case 1: return "Fail-UnknownReason";
    case 2: return "Fail-ErrorAPI";
    case 3: return "Fail-UnknownDevType";
    case 4: return "Fail-OverlapID";
    case 5: return "Fail-NoSearchID";
    case 6: return "Fail-ListFull";
    default: return "unknown status";
    }
}

const char* UsageErrorText(int32_t nError) {
    switch (nError) {
    case 1: return "unknown error";
    case 2: return "API error";
    case 3: return "value out of range";
    case 4: return "interface not available";
    case 5: return "the change would block every interface";
    default: return "refused";
    }
}

}  // namespace vexal::tools
