#include "model/Wlan.h"

#include "model/HubText.h"

#include <algorithm>
#include <charconv>

namespace vexal::model {

namespace {

constexpr size_t kDeviceName = 18, kMode = 51, kDhcp = 52, kIp = 53, kMask = 57, kGateway = 61, kSsid = 65, kAuth = 97,
                 kCipher = 98, kWepKey = 99, kPsk = 203, kConstant06 = 267, kEapMethod = 268, kEapIdentity = 269,
                 kEapPassword = 301, kPort = 397, kInactivity = 587, kSignature = 590;
constexpr size_t kSsidSize = 32, kWepKeySize = 104, kPskSize = 64, kEapIdentitySize = 32, kEapPasswordSize = 96;

// Function statics, so that no other file's static object can find them unmade.
const std::vector<std::string>& ModeNames() {
    static const std::vector<std::string> s_names = {"infra", "adhoc"};
    return s_names;
}
const std::vector<std::string>& AuthNames() {
    static const std::vector<std::string> s_names = {"open", "shared", "wpa-psk", "wpa2-psk", "wpa-eap", "wpa2-eap"};
    return s_names;
}
const std::vector<std::string>& CipherNames() {
    static const std::vector<std::string> s_names = {"none", "wep", "tkip", "aes", "aes+tkip"};
    return s_names;
}
const std::vector<std::string>& EapNames() {
    static const std::vector<std::string> s_names = {"peap", "ttls", "tls", "leap", "fast"};
    return s_names;
}

std::span<const uint8_t> Field(std::span<const uint8_t, kWlanBlockSize> block, size_t nAt, size_t nSize) {
    return block.subspan(nAt, nSize);
}
std::span<uint8_t> Field(CWlanBlock& block, size_t nAt, size_t nSize) {
    return std::span<uint8_t>(block).subspan(nAt, nSize);
}

CIpv4 TakeAddress(std::span<const uint8_t, kWlanBlockSize> block, size_t nAt) {
    CIpv4 out{};
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(nAt), out.size(), out.begin());
    return out;
}

void PutAddress(CWlanBlock& block, size_t nAt, const CIpv4& value) {
    std::copy(value.begin(), value.end(), block.begin() + static_cast<std::ptrdiff_t>(nAt));
}

// ---- The text form ---------------------------------------------------------

uint8_t IndexOr(const std::vector<std::string>& vecNames, const std::string& strName, uint8_t nOld) {
    return ByteOfName(vecNames, strName).value_or(nOld);
}

// clang-format off
#define VEXAL_WLAN_TEXT(key, field) \
    {key, [](const SWlan& v) { return v.field; }, [](SWlan& v, const std::string& s) { v.field = s; }}
// clang-format on
// clang-format off
#define VEXAL_WLAN_ADDRESS(field)                                \
    {#field, [](const SWlan& v) { return FormatIpv4(v.field); }, \
     [](SWlan& v, const std::string& s) { v.field = ParseIpv4(s).value_or(v.field); }}
// clang-format on
// clang-format off
#define VEXAL_WLAN_CHOICE(key, field, names)                                  \
    {key, [](const SWlan& v) { return NameOrUnknown(names, v.field); },        \
     [](SWlan& v, const std::string& s) { v.field = IndexOr(names, s, v.field); }}
// clang-format on

const SKeyBinding<SWlan> kBindings[] = {
    {"device_name", [](const SWlan& v) { return v.DeviceName(); }, nullptr},
    VEXAL_WLAN_CHOICE("mode", nMode, ModeNames()),
    {"dhcp", [](const SWlan& v) { return std::string(OnOff(v.Dhcp())); },
     [](SWlan& v, const std::string& s) { v.nDhcp = s == "on" ? 1 : 0; }},
    VEXAL_WLAN_ADDRESS(ip),
    VEXAL_WLAN_ADDRESS(mask),
    VEXAL_WLAN_ADDRESS(gateway),
    VEXAL_WLAN_TEXT("ssid", strSsid),
    VEXAL_WLAN_CHOICE("auth", nAuth, AuthNames()),
    VEXAL_WLAN_CHOICE("cipher", nCipher, CipherNames()),
    VEXAL_WLAN_TEXT("wep_key", strWepKey),
    VEXAL_WLAN_TEXT("psk", strPsk),
    {"eap", [](const SWlan& v) { return v.nEapMethod ? NameOrUnknown(EapNames(), *v.nEapMethod) : std::string(); },
     [](SWlan& v, const std::string& s) { v.nEapMethod = s.empty() ? std::nullopt : ByteOfName(EapNames(), s); }},
    VEXAL_WLAN_TEXT("eap_identity", strEapIdentity),
    VEXAL_WLAN_TEXT("eap_password", strEapPassword),
    {"inactivity", [](const SWlan& v) { return std::to_string(v.nInactivity); },
     [](SWlan& v, const std::string& s) {
         unsigned nValue = 0;
         const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), nValue);
         if (ec == std::errc() && p == s.data() + s.size() && nValue <= 0xFFFF)
             v.nInactivity = static_cast<uint16_t>(nValue);
     }},
};
#undef VEXAL_WLAN_TEXT
#undef VEXAL_WLAN_ADDRESS
#undef VEXAL_WLAN_CHOICE

const std::string& Get(const GroupValues& values, const char* pszKey) {
    static const std::string s_empty;
    auto it = values.find(pszKey);
    return it == values.end() ? s_empty : it->second;
}

// The typed reading of the names in a set of values, "unknown N" as N (0xFF: no such name).
int AuthOf(const GroupValues& v) { return ByteOfName(AuthNames(), Get(v, "auth")).value_or(0xFF); }
int CipherOf(const GroupValues& v) { return ByteOfName(CipherNames(), Get(v, "cipher")).value_or(0xFF); }
bool Named(const std::vector<std::string>& vecNames, int nValue) { return nValue < static_cast<int>(vecNames.size()); }
// Which keys are in use follows the hub's reading of the block (DecodeWlan), unnamed bytes included.
bool WepUsed(const GroupValues& v) { return KeyInUse(AuthOf(v), CipherOf(v)) == EWlanKey::Wep; }
bool PskUsed(const GroupValues& v) { return KeyInUse(AuthOf(v), CipherOf(v)) == EWlanKey::Psk; }
bool EapUsed(const GroupValues& v) { return KeyInUse(AuthOf(v), CipherOf(v)) == EWlanKey::Eap; }

std::vector<std::string> CipherNamesFor(int nAuth) {
    std::vector<std::string> names;
    for (uint8_t n : CiphersFor(nAuth)) names.push_back(CipherNames()[n]);
    return names;
}

// The rules between the named values; a byte without a name is the hub's
// own and is judged by no rule it is part of, so that it goes back as read.
std::string Validate(const GroupValues& v) {
    const bool bAdhoc = Get(v, "mode") == "adhoc";
    const int nAuth = AuthOf(v);
    const bool bNamedAuth = Named(AuthNames(), nAuth);
    const auto& auth = Get(v, "auth");
    if (bAdhoc && bNamedAuth && nAuth >= AuthCount(kWlanAdhoc)) return "wlan auth: only open or shared in ad hoc mode";
    if (bAdhoc && Get(v, "dhcp") == "on") return "wlan dhcp: not available in ad hoc mode";
    const auto ciphers = CipherNamesFor(nAuth);
    if (bNamedAuth && Named(CipherNames(), CipherOf(v)) &&
        std::find(ciphers.begin(), ciphers.end(), Get(v, "cipher")) == ciphers.end()) {
        std::string strList;
        for (const auto& c : ciphers) strList += (strList.empty() ? "" : "|") + c;
        return "wlan cipher: with auth " + auth + " it must be " + strList;
    }
    if (WepUsed(v) && CheckHubText(EHubText::WepKey, Get(v, "wep_key")) != ETextProblem::None)
        return "wlan wep_key: WEP key must be 5 or 13 characters";
    if (!WepUsed(v) && !Get(v, "wep_key").empty()) return "wlan wep_key: only used with cipher wep";
    if (PskUsed(v) && bNamedAuth && HubByteLength(Get(v, "psk")) < MinHubBytes(EHubText::Psk))
        return "wlan psk: minimum length is " + std::to_string(MinHubBytes(EHubText::Psk));
    if (!PskUsed(v) && !Get(v, "psk").empty()) return "wlan psk: only used with auth wpa-psk or wpa2-psk";
    if (EapUsed(v) && Get(v, "eap").empty()) return "wlan eap: an EAP method is needed with auth " + auth;
    if (!EapUsed(v) && (!Get(v, "eap").empty() || !Get(v, "eap_identity").empty() || !Get(v, "eap_password").empty()))
        return "wlan eap: eap, eap_identity and eap_password are only used with auth wpa-eap or wpa2-eap";
    return {};
}

// Keys not given follow the choices, as the page's lists do: ad hoc mode
// falls back to open system without DHCP, a cipher the authentication does
// not offer to its first one, and keys no longer used are cleared.
void Follow(GroupValues& merged, const GroupValues& wanted) {
    auto given = [&](const char* psz) { return wanted.count(psz) != 0; };
    if (Get(merged, "mode") == "adhoc") {
        if (!given("auth") && (given("mode") || Named(AuthNames(), AuthOf(merged))) &&
            AuthOf(merged) >= AuthCount(kWlanAdhoc))
            merged["auth"] = AuthNames()[kAuthOpenSystem];
        if (!given("dhcp")) merged["dhcp"] = "off";
    }
    // An unnamed byte the hub holds stays, unless the choice it follows is what changed.
    const auto ciphers = CipherNamesFor(AuthOf(merged));
    const bool bNamed = Named(AuthNames(), AuthOf(merged)) && Named(CipherNames(), CipherOf(merged));
    if (!given("cipher") && (bNamed || given("auth")) &&
        std::find(ciphers.begin(), ciphers.end(), Get(merged, "cipher")) == ciphers.end())
        merged["cipher"] = ciphers.front();
    if (!given("wep_key") && !WepUsed(merged)) merged["wep_key"].clear();
    if (!given("psk") && !PskUsed(merged)) merged["psk"].clear();
    if (!EapUsed(merged)) {
        for (const char* psz : {"eap", "eap_identity", "eap_password"})
            if (!given(psz)) merged[psz].clear();
    } else if (!given("eap") && Get(merged, "eap").empty()) {
        merged["eap"] = EapNames().front();
    }
}

SGroupDef MakeGroup() {
    SGroupDef group;
    group.strName = "wlan";
    group.strTitle = "WLAN";
    SKeyDef wepKey = Secret(TextKey("wep_key", EHubText::WepKey, "WEP key, 5 or 13 characters (with cipher wep)"));
    wepKey.bEmptyWhenUnused = true;
    SKeyDef psk = Secret(
        TextKey("psk", EHubText::Psk, "pre-shared key, 8 to 63 bytes or 64 hex digits (with wpa-psk, wpa2-psk)"));
    psk.bEmptyWhenUnused = true;
    SKeyDef eap = ByteChoiceKey("eap", EapNames(), "EAP method peap|ttls|tls|leap|fast (with wpa-eap, wpa2-eap)");
    eap.bEmptyAllowed = true;
    SKeyDef inactivity = FlagKey("inactivity", "inactivity time in seconds, 0 to 65535");
    inactivity.eKind = EKeyKind::Int;
    inactivity.nMax = 65535;
    group.vecKeys = {
        ReadOnly(TextKey("device_name", std::nullopt, "WLAN device name (read-only)")),
        ByteChoiceKey("mode", ModeNames(), "network mode infra|adhoc"),
        FlagKey("dhcp", "DHCP on|off (off in ad hoc mode)"),
        PerHub(AddressKey("ip", "IP address")),
        AddressKey("mask", "subnet mask"),
        AddressKey("gateway", "gateway"),
        TextKey("ssid", EHubText::Ssid, "SSID, 1 to 32 bytes"),
        ByteChoiceKey("auth", AuthNames(),
                      "authentication open|shared|wpa-psk|wpa2-psk|wpa-eap|wpa2-eap (open|shared in ad hoc)"),
        ByteChoiceKey("cipher", CipherNames(),
                      "cipher: none|wep with open, wep with shared, tkip|aes|aes+tkip with WPA"),
        wepKey,
        psk,
        eap,
        TextKey("eap_identity", EHubText::EapIdentity, "EAP identity, up to 32 bytes"),
        Secret(TextKey("eap_password", EHubText::EapPassword, "EAP password, up to 96 bytes")),
        inactivity};
    group.pfnValidate = Validate;
    group.pfnFollow = Follow;
    return group;
}

}  // namespace

std::string SWlan::DeviceName() const { return ReadHubField(deviceName); }

bool IsEapAuth(int nAuth) { return nAuth == kAuthWpaEap || nAuth == kAuthWpa2Eap; }
bool IsPskAuth(int nAuth) { return nAuth == kAuthWpaPsk || nAuth == kAuthWpa2Psk; }

int AuthCount(int nMode) { return nMode == kWlanInfrastructure ? 6 : 2; }

std::vector<uint8_t> CiphersFor(int nAuth) {
    switch (nAuth) {
    case kAuthOpenSystem: return {kCipherNone, kCipherWep};
    case kAuthSharedKey: return {kCipherWep};
    default: return {kCipherTkip, kCipherAes, kCipherAesTkip};
    }
}

int CipherAt(int nAuth, int nPosition) {
    const auto ciphers = CiphersFor(nAuth);
    return nPosition >= 0 && static_cast<size_t>(nPosition) < ciphers.size() ? ciphers[static_cast<size_t>(nPosition)]
                                                                             : -1;
}

int CipherPosition(int nAuth, int nCipher) {
    const auto ciphers = CiphersFor(nAuth);
    const auto it = std::find(ciphers.begin(), ciphers.end(), nCipher);
    return it == ciphers.end() ? -1 : static_cast<int>(it - ciphers.begin());
}

EWlanKey KeyInUse(int nAuth, int nCipher) {
    if (nAuth == kAuthOpenSystem) return nCipher == kCipherWep ? EWlanKey::Wep : EWlanKey::None;
    if (nAuth == kAuthSharedKey) return EWlanKey::Wep;
    if (IsEapAuth(nAuth)) return EWlanKey::Eap;
    return EWlanKey::Psk;
}

SWlan DecodeWlan(std::span<const uint8_t, kWlanBlockSize> block) {
    SWlan s;
    std::copy_n(block.begin() + kDeviceName, kWlanDeviceNameSize, s.deviceName.begin());
    s.nMode = block[kMode];
    s.nDhcp = block[kDhcp];
    s.ip = TakeAddress(block, kIp);
    s.mask = TakeAddress(block, kMask);
    s.gateway = TakeAddress(block, kGateway);
    s.strSsid = ReadHubField(Field(block, kSsid, kSsidSize));
    s.nAuth = block[kAuth];
    // A shared-key network always uses WEP, whatever the byte says.
    s.nCipher = s.nAuth == kAuthSharedKey ? uint8_t{kCipherWep} : block[kCipher];
    s.nInactivity = static_cast<uint16_t>(block[kInactivity] << 8 | block[kInactivity + 1]);
    switch (KeyInUse(s.nAuth, s.nCipher)) {
    case EWlanKey::Wep: s.strWepKey = ReadHubField(Field(block, kWepKey, kWepKeySize)); break;
    case EWlanKey::Psk: s.strPsk = ReadHubField(Field(block, kPsk, kPskSize)); break;
    case EWlanKey::Eap:
        s.nEapMethod = block[kEapMethod];
        s.strEapIdentity = ReadHubField(Field(block, kEapIdentity, kEapIdentitySize));
        s.strEapPassword = ReadHubField(Field(block, kEapPassword, kEapPasswordSize));
        break;
    case EWlanKey::None: break;
    }
    return s;
}

CWlanBlock EncodeWlan(const SWlan& s) {
    CWlanBlock block{};
    block[kSignature] = 'V';
    block[kSignature + 1] = 'Q';
    std::copy(s.deviceName.begin(), s.deviceName.end(), block.begin() + kDeviceName);
    block[kMode] = s.nMode;
    block[kDhcp] = s.Dhcp() ? 1 : 0;
    WriteHubField(s.strSsid, Field(block, kSsid, kSsidSize));
    block[kInactivity] = static_cast<uint8_t>(s.nInactivity >> 8);
    block[kInactivity + 1] = static_cast<uint8_t>(s.nInactivity & 0xFF);
    PutAddress(block, kIp, s.ip);
    PutAddress(block, kMask, s.mask);
    PutAddress(block, kGateway, s.gateway);
    block[kAuth] = s.nAuth;
    block[kCipher] = s.nCipher;
    block[kEapMethod] = IsEapAuth(s.nAuth) ? s.nEapMethod.value_or(0) : 0;
    if ((s.nAuth == kAuthOpenSystem || s.nAuth == kAuthSharedKey) && s.nCipher == kCipherWep)
        WriteHubField(s.strWepKey, Field(block, kWepKey, kWepKeySize));
    WriteHubField(s.strPsk, Field(block, kPsk, kPskSize));  // a 64-digit raw key fills the field, without a NUL
    WriteHubField(s.strEapIdentity, Field(block, kEapIdentity, kEapIdentitySize));
    WriteHubField(s.strEapPassword, Field(block, kEapPassword, kEapPasswordSize));
    block[kConstant06] = 0x06;
    block[kPort] = 0x23;  // 9100
    block[kPort + 1] = 0x8C;
    return block;
}

bool IsWlanWriteAcknowledged(std::span<const uint8_t, kWlanAnswerSize> answer) {
    return answer[4] == '_' && answer[14] == 'S' && answer[15] == 'U' && answer[16] == 'C';
}

VEXAL_MODEL_GROUP_FORM(SWlan, WlanGroup, MakeGroup, kBindings)

}  // namespace vexal::model
