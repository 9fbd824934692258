#include "tools/Settings.h"

#include "platform/TextCodec.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace vexal::tools {
namespace {

SKeyDef Key(std::string strName, EKeyKind eKind, std::string strHelp) {
    SKeyDef key;
    key.strName = std::move(strName);
    key.eKind = eKind;
    key.strHelp = std::move(strHelp);
    return key;
}
SKeyDef Choice(std::string strName, std::vector<std::string> vecChoices, std::string strHelp) {
    SKeyDef key = Key(std::move(strName), EKeyKind::Choice, std::move(strHelp));
    key.vecChoices = std::move(vecChoices);
    return key;
}
SKeyDef ReadOnly(SKeyDef key) {
    key.bReadOnly = true;
    return key;
}
SKeyDef PerHub(SKeyDef key) {
    key.bPerHub = true;
    return key;
}

std::vector<SGroupDef> MakeGroups() {
    std::vector<SGroupDef> groups;
    groups.push_back({"bluetooth", "Bluetooth",
                      {PerHub(Key("name", EKeyKind::Text, "device name, 1 to 30 bytes")),
                       Key("pin", EKeyKind::Text, "PIN code, 4 to 16 bytes"),
                       Key("encryption", EKeyKind::Bool, "encryption on|off"),
                       Choice("mode", {"1", "2", "3"}, "connection mode 1|2|3"),
                       Key("auto_connect", EKeyKind::Bool, "automatic reconnection (iOS) on|off")}});
    groups.push_back({"lan", "LAN",
                      {ReadOnly(Key("mac", EKeyKind::Text, "MAC address (read-only)")),
                       Key("dhcp", EKeyKind::Bool, "DHCP on|off"),
                       PerHub(Key("ip", EKeyKind::IPv4, "IP address")),
                       Key("mask", EKeyKind::IPv4, "subnet mask"),
                       Key("gateway", EKeyKind::IPv4, "gateway"),
                       Key("dns", EKeyKind::IPv4, "DNS server")}});
    SKeyDef inactivity = Key("inactivity", EKeyKind::Int, "inactivity time in seconds, 0 to 65535");
    inactivity.nMax = 65535;
    groups.push_back({"wlan", "WLAN",
                      {ReadOnly(Key("device_name", EKeyKind::Text, "WLAN device name (read-only)")),
                       Choice("mode", {"infra", "adhoc"}, "network mode infra|adhoc"),
                       Key("dhcp", EKeyKind::Bool, "DHCP on|off (off in ad hoc mode)"),
                       PerHub(Key("ip", EKeyKind::IPv4, "IP address")),
                       Key("mask", EKeyKind::IPv4, "subnet mask"),
                       Key("gateway", EKeyKind::IPv4, "gateway"),
                       Key("ssid", EKeyKind::Text, "SSID, 1 to 32 bytes"),
                       Choice("auth", {"open", "shared", "wpa-psk", "wpa2-psk", "wpa-eap", "wpa2-eap"},
                              "authentication open|shared|wpa-psk|wpa2-psk|wpa-eap|wpa2-eap (open|shared in ad hoc)"),
                       Choice("cipher", {"none", "wep", "tkip", "aes", "aes+tkip"},
                              "cipher: none|wep with open, wep with shared, tkip|aes|aes+tkip with WPA"),
                       Key("wep_key", EKeyKind::Text, "WEP key, 5 or 13 characters (with cipher wep)"),
                       Key("psk", EKeyKind::Text, "pre-shared key, 8 to 63 bytes or 64 hex digits (with wpa-psk, wpa2-psk)"),
                       Choice("eap", {"peap", "ttls", "tls", "leap", "fast"},
                              "EAP method peap|ttls|tls|leap|fast (with wpa-eap, wpa2-eap)"),
                       Key("eap_identity", EKeyKind::Text, "EAP identity, up to 32 bytes"),
                       Key("eap_password", EKeyKind::Text, "EAP password, up to 96 bytes"),
                       inactivity}});
    groups.push_back({"netproto", "Net protocols",
                      {Key("telnet", EKeyKind::Bool, "telnet service on|off"),
                       Key("snmp", EKeyKind::Bool, "SNMP agent on|off"),
                       Key("ro_community", EKeyKind::Text, "SNMP read-only community, up to 4095 bytes"),
                       Key("rw_community", EKeyKind::Text, "SNMP read-write community, up to 4095 bytes")}});
    groups.push_back({"usage", "Interface usage",
                      {ReadOnly(Choice("usb", {"on"}, "USB (always on, read-only)")),
                       Choice("bluetooth", {"on", "off", "n/a"}, "Bluetooth on|off (n/a: not reported)"),
                       Choice("lan", {"on", "off", "n/a"}, "wired LAN on|off"),
                       Choice("wlan", {"on", "off", "n/a"}, "wireless LAN on|off")}});
    groups.push_back({"serial", "USB-to-serial line",
                      {Choice("baud", {"2400", "4800", "9600", "19200", "38400", "57600", "115200", "230400"},
                              "baud rate 2400 to 230400"),
                       Choice("data", {"7", "8"}, "data bits 7|8"),
                       Choice("stop", {"1", "2"}, "stop bits 1|2"),
                       Choice("parity", {"none", "even", "odd"}, "parity none|even|odd")}});
    return groups;
}

// The <cctype> tests take an unsigned char's value: a byte above 0x7F in a
// plain char would be negative.
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// A control character would break the hub's records (0D ends the Bluetooth
// fields) or, shown, a terminal's.
bool HasControlCharacter(std::string_view str) {
    return std::any_of(str.begin(), str.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

std::string Lower(std::string_view str) {
    std::string out(str);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::optional<long> ParseLong(std::string_view str) {
    long n = 0;
    if (str.empty()) return std::nullopt;
    auto [p, ec] = std::from_chars(str.data(), str.data() + str.size(), n);
    if (ec != std::errc() || p != str.data() + str.size()) return std::nullopt;
    return n;
}

std::optional<std::string> CanonicalIPv4(std::string_view str) {
    std::array<long, 4> parts{};
    size_t nPos = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t nEnd = i < 3 ? str.find('.', nPos) : str.size();
        if (nEnd == std::string_view::npos) return std::nullopt;
        const auto field = str.substr(nPos, nEnd - nPos);
        if (field.empty() || field.size() > 3 || !std::all_of(field.begin(), field.end(), IsDigit)) return std::nullopt;
        parts[i] = *ParseLong(field);
        if (parts[i] > 255) return std::nullopt;
        nPos = nEnd + 1;
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) + "." +
           std::to_string(parts[3]);
}

const std::string& Get(const GroupValues& values, const std::string& strKey) {
    static const std::string s_empty;
    auto it = values.find(strKey);
    return it == values.end() ? s_empty : it->second;
}

// Rules that a single value must meet whatever the other keys hold.
std::string SingleKeyRule(const SGroupDef& group, const std::string& strKey, const std::string& strValue) {
    const SKeyDef* pKey = group.Find(strKey);
    if (pKey != nullptr && pKey->eKind == EKeyKind::Text && !pKey->bReadOnly) {
        if (HasControlCharacter(strValue)) return group.strName + " " + strKey + ": control characters are not allowed";
        if (!FitsHubCodePage(strValue))
            return group.strName + " " + strKey + ": has characters the hub's code page (" +
                   platform::AnsiCodePageName() + ") cannot hold";
    }
    const size_t n = HubByteLength(strValue);
    auto range = [&](size_t nMin, size_t nMax) -> std::string {
        if (n < nMin) return group.strName + " " + strKey + ": minimum length is " + std::to_string(nMin);
        if (n > nMax) return group.strName + " " + strKey + ": maximum length is " + std::to_string(nMax);
        return {};
    };
    if (group.strName == "bluetooth") {
        if (strKey == "name") return range(1, 30);
        if (strKey == "pin") return range(4, 16);
    } else if (group.strName == "wlan") {
        if (strKey == "ssid") return range(1, 32);
        // A passphrase of 8 to 63 bytes, or the raw key as 64 hexadecimal digits.
        if (strKey == "psk" && n == 64 && std::all_of(strValue.begin(), strValue.end(), IsHexDigit)) return {};
        if (strKey == "psk" && n != 0) return range(8, 63);
        if (strKey == "wep_key" && n != 0 && n != 5 && n != 13)
            return "wlan wep_key: WEP key must be 5 or 13 characters";
        if (strKey == "eap_identity") return range(0, 32);
        if (strKey == "eap_password") return range(0, 96);
    } else if (group.strName == "netproto" && (strKey == "ro_community" || strKey == "rw_community")) {
        // A command and its text travel in one frame of at most 4096 bytes; the
        // library sends a longer one in two, and the hub would take the second
        // frame, the community's tail, for a command of its own.
        return range(0, 4095);
    }
    return {};
}

bool WepUsed(const GroupValues& v) {
    const auto& auth = Get(v, "auth");
    return auth == "shared" || (auth == "open" && Get(v, "cipher") == "wep");
}
bool PskUsed(const GroupValues& v) {
    const auto& auth = Get(v, "auth");
    return auth == "wpa-psk" || auth == "wpa2-psk";
}
bool EapUsed(const GroupValues& v) {
    const auto& auth = Get(v, "auth");
    return auth == "wpa-eap" || auth == "wpa2-eap";
}
std::vector<std::string> CiphersFor(const std::string& strAuth) {
    if (strAuth == "open") return {"none", "wep"};
    if (strAuth == "shared") return {"wep"};
    return {"tkip", "aes", "aes+tkip"};
}

std::string ValidateWlan(const GroupValues& v) {
    const bool bAdhoc = Get(v, "mode") == "adhoc";
    const auto& auth = Get(v, "auth");
    if (bAdhoc && auth != "open" && auth != "shared") return "wlan auth: only open or shared in ad hoc mode";
    if (bAdhoc && Get(v, "dhcp") == "on") return "wlan dhcp: not available in ad hoc mode";
    const auto ciphers = CiphersFor(auth);
    if (std::find(ciphers.begin(), ciphers.end(), Get(v, "cipher")) == ciphers.end()) {
        std::string strList;
        for (const auto& c : ciphers) strList += (strList.empty() ? "" : "|") + c;
        return "wlan cipher: with auth " + auth + " it must be " + strList;
    }
    const size_t nWep = HubByteLength(Get(v, "wep_key"));
    if (WepUsed(v) && nWep != 5 && nWep != 13) return "wlan wep_key: WEP key must be 5 or 13 characters";
    if (!WepUsed(v) && nWep != 0) return "wlan wep_key: only used with cipher wep";
    const size_t nPsk = HubByteLength(Get(v, "psk"));
    if (PskUsed(v) && nPsk < 8) return "wlan psk: minimum length is 8";
    if (!PskUsed(v) && nPsk != 0) return "wlan psk: only used with auth wpa-psk or wpa2-psk";
    if (EapUsed(v) && Get(v, "eap").empty()) return "wlan eap: an EAP method is needed with auth " + auth;
    if (!EapUsed(v) && (!Get(v, "eap").empty() || !Get(v, "eap_identity").empty() || !Get(v, "eap_password").empty()))
        return "wlan eap: eap, eap_identity and eap_password are only used with auth wpa-eap or wpa2-eap";
    return {};
}

}  // namespace

const SKeyDef* SGroupDef::Find(std::string_view strKey) const {
    for (const auto& key : vecKeys)
        if (key.strName == strKey) return &key;
    return nullptr;
}

const std::vector<SGroupDef>& SettingGroups() {
    static const std::vector<SGroupDef> s_groups = MakeGroups();
    return s_groups;
}

const SGroupDef* FindGroup(std::string_view strName) {
    for (const auto& group : SettingGroups())
        if (group.strName == strName) return &group;
    return nullptr;
}

size_t HubByteLength(std::string_view strUtf8) {
    return platform::AnsiFromUtf16(platform::Utf16FromUtf8(strUtf8)).size();
}

bool FitsHubCodePage(std::string_view strUtf8) {
    const std::u16string text = platform::Utf16FromUtf8(strUtf8);
    if (platform::Utf8FromUtf16(text) != strUtf8) return false;  // not valid UTF-8
    return platform::Utf16FromAnsi(platform::AnsiFromUtf16(text)) == text;
}

std::optional<std::string> CanonicalValue(const SKeyDef& key, std::string_view strValue, std::string& strError) {
    const std::string strLower = Lower(strValue);
    switch (key.eKind) {
    case EKeyKind::Bool:
        if (strLower == "on" || strLower == "1" || strLower == "true" || strLower == "yes" || strLower == "enable" ||
            strLower == "enabled")
            return "on";
        if (strLower == "off" || strLower == "0" || strLower == "false" || strLower == "no" || strLower == "disable" ||
            strLower == "disabled")
            return "off";
        strError = key.strName + ": '" + std::string(strValue) + "' is not on or off";
        return std::nullopt;
    case EKeyKind::Int: {
        const auto n = ParseLong(strValue);
        if (!n || *n < key.nMin || *n > key.nMax) {
            strError = key.strName + ": '" + std::string(strValue) + "' is not a number from " +
                       std::to_string(key.nMin) + " to " + std::to_string(key.nMax);
            return std::nullopt;
        }
        return std::to_string(*n);
    }
    case EKeyKind::Choice:
        for (const auto& choice : key.vecChoices)
            if (strLower == choice) return choice;
        if (key.strName == "eap" && strValue.empty()) return std::string();
        {
            std::string strList;
            for (const auto& c : key.vecChoices) strList += (strList.empty() ? "" : "|") + c;
            strError = key.strName + ": '" + std::string(strValue) + "' is not one of " + strList;
        }
        return std::nullopt;
    case EKeyKind::IPv4:
        if (auto ip = CanonicalIPv4(strValue)) return ip;
        strError = key.strName + ": '" + std::string(strValue) + "' is not an IPv4 address";
        return std::nullopt;
    case EKeyKind::Text:
        return std::string(strValue);
    }
    return std::nullopt;
}

std::optional<GroupValues> ParseAssignments(const SGroupDef& group, const std::vector<std::string>& vecArgs,
                                            std::string& strError) {
    GroupValues values;
    if (vecArgs.empty()) {
        strError = "set " + group.strName + ": no KEY=VALUE given";
        return std::nullopt;
    }
    for (const auto& strArg : vecArgs) {
        const size_t nEq = strArg.find('=');
        if (nEq == std::string::npos || nEq == 0) {
            strError = group.strName + ": '" + strArg + "' is not KEY=VALUE";
            return std::nullopt;
        }
        const std::string strKey = Lower(strArg.substr(0, nEq));
        const SKeyDef* pKey = group.Find(strKey);
        if (pKey == nullptr) {
            strError = group.strName + ": unknown key '" + strKey + "'";
            return std::nullopt;
        }
        if (pKey->bReadOnly) {
            strError = group.strName + " " + strKey + ": read-only";
            return std::nullopt;
        }
        if (values.count(strKey) != 0) {
            strError = group.strName + " " + strKey + ": given twice";
            return std::nullopt;
        }
        auto value = CanonicalValue(*pKey, std::string_view(strArg).substr(nEq + 1), strError);
        if (!value) {
            strError = group.strName + " " + strError;
            return std::nullopt;
        }
        if (group.strName == "usage" && *value == "n/a") {
            strError = "usage " + strKey + ": n/a cannot be set";
            return std::nullopt;
        }
        strError = SingleKeyRule(group, strKey, *value);
        if (!strError.empty()) return std::nullopt;
        values[strKey] = *value;
    }
    return values;
}

std::string ValidateGroup(const SGroupDef& group, const GroupValues& values) {
    for (const auto& key : group.vecKeys) {
        auto it = values.find(key.strName);
        if (it == values.end()) return group.strName + " " + key.strName + ": missing";
        std::string strError;
        if (!CanonicalValue(key, it->second, strError)) return group.strName + " " + strError;
        if (!key.bReadOnly) {
            strError = SingleKeyRule(group, key.strName, it->second);
            if (!strError.empty()) return strError;
        }
    }
    if (group.strName == "wlan") return ValidateWlan(values);
    return {};
}

std::optional<GroupValues> MergeAndValidate(const SGroupDef& group, const GroupValues& current,
                                            const GroupValues& wanted, std::string& strError) {
    GroupValues merged = current;
    for (const auto& [strKey, strValue] : wanted) merged[strKey] = strValue;
    if (group.strName == "usage") {
        for (const auto& [strKey, strValue] : wanted)
            if (Get(current, strKey) == "n/a") {
                strError = "usage " + strKey + ": the hub does not report this interface";
                return std::nullopt;
            }
    }
    if (group.strName == "wlan") {
        auto given = [&](const char* psz) { return wanted.count(psz) != 0; };
        if (Get(merged, "mode") == "adhoc") {
            const auto& auth = Get(merged, "auth");
            if (!given("auth") && auth != "open" && auth != "shared") merged["auth"] = "open";
            if (!given("dhcp")) merged["dhcp"] = "off";
        }
        const auto ciphers = CiphersFor(Get(merged, "auth"));
        if (!given("cipher") && std::find(ciphers.begin(), ciphers.end(), Get(merged, "cipher")) == ciphers.end())
            merged["cipher"] = ciphers.front();
        if (!given("wep_key") && !WepUsed(merged)) merged["wep_key"].clear();
        if (!given("psk") && !PskUsed(merged)) merged["psk"].clear();
        if (!EapUsed(merged)) {
            for (const char* psz : {"eap", "eap_identity", "eap_password"})
                if (!given(psz)) merged[psz].clear();
        } else if (!given("eap") && Get(merged, "eap").empty()) {
            merged["eap"] = "peap";
        }
    }
    strError = ValidateGroup(group, merged);
    if (!strError.empty()) return std::nullopt;
    return merged;
}

std::vector<SKeyChange> DiffGroup(const SGroupDef& group, const GroupValues& from, const GroupValues& to) {
    std::vector<SKeyChange> changes;
    for (const auto& key : group.vecKeys) {
        const auto& a = Get(from, key.strName);
        const auto& b = Get(to, key.strName);
        if (a != b) changes.push_back({key.strName, a, b, key.bReadOnly});
    }
    return changes;
}

nlohmann::json GroupToJson(const SGroupDef& group, const GroupValues& values) {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& key : group.vecKeys) {
        auto it = values.find(key.strName);
        if (it == values.end()) continue;
        if (key.eKind == EKeyKind::Bool && (it->second == "on" || it->second == "off"))
            object[key.strName] = it->second == "on";
        else if (key.eKind == EKeyKind::Int && ParseLong(it->second))
            object[key.strName] = *ParseLong(it->second);
        else
            object[key.strName] = it->second;
    }
    return object;
}

std::optional<GroupValues> GroupFromJson(const SGroupDef& group, const nlohmann::json& object,
                                         const std::string& strPath, bool bRequireAll, std::string& strError) {
    if (!object.is_object()) {
        strError = strPath + ": expected an object";
        return std::nullopt;
    }
    GroupValues values;
    for (const auto& [strKey, value] : object.items()) {
        const SKeyDef* pKey = group.Find(strKey);
        if (pKey == nullptr) {
            strError = strPath + "." + strKey + ": unknown key";
            return std::nullopt;
        }
        std::string strText;
        if (value.is_boolean() && pKey->eKind == EKeyKind::Bool) strText = value.get<bool>() ? "on" : "off";
        else if (value.is_number_integer() && (pKey->eKind == EKeyKind::Int || pKey->eKind == EKeyKind::Choice))
            strText = std::to_string(value.get<long long>());
        else if (value.is_string()) strText = value.get<std::string>();
        else {
            strError = strPath + "." + strKey + ": wrong type of value";
            return std::nullopt;
        }
        std::string strWhy;
        auto canonical = CanonicalValue(*pKey, strText, strWhy);
        if (!canonical) {
            strError = strPath + "." + strWhy;
            return std::nullopt;
        }
        // Also in the read-only keys, which are only compared and shown.
        if (pKey->eKind == EKeyKind::Text && HasControlCharacter(*canonical)) {
            strError = strPath + "." + strKey + ": control characters are not allowed";
            return std::nullopt;
        }
        values[strKey] = *canonical;
    }
    if (bRequireAll)
        for (const auto& key : group.vecKeys)
            if (values.count(key.strName) == 0) {
                strError = strPath + "." + key.strName + ": missing";
                return std::nullopt;
            }
    return values;
}

namespace {
constexpr std::array<const char*, kCustomTypeCount> kTypeNames = {
    "pos-printer", "label-printer", "msr", "barcode-scanner", "rfid",
    "dallas-key",  "nfc",           "bcd-display", "usb-to-serial", "scale"};
constexpr std::array<const char*, kCustomTypeCount> kTypeTitles = {
    "POS Printer", "Label Printer", "MSR", "Barcode Scanner", "RFID",
    "Dallas Key",  "NFC",           "BCD Display", "USB to Serial", "Scale"};

std::string Squeeze(std::string_view str) {
    std::string out;
    for (unsigned char c : str)
        if (c != ' ' && c != '-' && c != '_') out += static_cast<char>(std::tolower(c));
    return out;
}
}  // namespace

const char* CustomTypeName(int nType) {
    return nType >= 0 && nType < kCustomTypeCount ? kTypeNames[static_cast<size_t>(nType)] : "?";
}
const char* CustomTypeTitle(int nType) {
    return nType >= 0 && nType < kCustomTypeCount ? kTypeTitles[static_cast<size_t>(nType)] : "?";
}

std::optional<int> ParseCustomType(std::string_view strText) {
    if (auto n = ParseLong(strText); n && *n >= 0 && *n < kCustomTypeCount) return static_cast<int>(*n);
    const std::string strWanted = Squeeze(strText);
    for (int i = 0; i < kCustomTypeCount; ++i)
        if (!strWanted.empty() && Squeeze(kTypeNames[static_cast<size_t>(i)]) == strWanted) return i;
    return std::nullopt;
}

std::optional<std::string> ParseUsbId(std::string_view strText) {
    if (strText.size() != 4 || !std::all_of(strText.begin(), strText.end(), IsHexDigit)) return std::nullopt;
    return Lower(strText);
}

std::vector<std::string> SplitIdList(std::string_view strList) {
    std::vector<std::string> entries;
    size_t nPos = 0;
    while (nPos < strList.size()) {
        size_t nEnd = strList.find(',', nPos);
        if (nEnd == std::string_view::npos) nEnd = strList.size();
        const auto entry = strList.substr(nPos, nEnd - nPos);
        if (entry.size() == 9 && entry[4] == '&' && ParseUsbId(entry.substr(0, 4)) && ParseUsbId(entry.substr(5)))
            entries.push_back(Lower(entry));
        nPos = nEnd + 1;
    }
    return entries;
}

const char* DeviceTypeName(int n) {
    if (n >= 1 && n <= 9) return "Label Printer";
    if (n == 10) return "Local Printer";
    if (n >= 11 && n <= 19) return "POS Printer";
    if (n >= 20 && n <= 29) return "HID Input";
    if (n >= 30 && n <= 39) return "MSR";
    if (n >= 40 && n <= 49) return "Barcode Scanner";
    if (n >= 60 && n <= 69) return "RFID";
    if (n >= 70 && n <= 79) return "Dallas Key";
    if (n >= 80 && n <= 89) return "NFC";
    if (n >= 100 && n <= 109) return "USB Serial";
    if (n >= 110 && n <= 119) return "BCD Display";
    if (n >= 120 && n <= 129) return "USB to Serial";
    if (n >= 130 && n <= 139) return "Scale";
    return "Unknown Device";
}

std::optional<int> ParseSerialDeviceId(std::string_view strText) {
    std::optional<long> n;
    if (strText.size() > 2 && strText[0] == '0' && (strText[1] == 'x' || strText[1] == 'X')) {
        long v = 0;
        auto [p, ec] = std::from_chars(strText.data() + 2, strText.data() + strText.size(), v, 16);
        if (ec == std::errc() && p == strText.data() + strText.size()) n = v;
    } else {
        n = ParseLong(strText);
    }
    if (!n || !IsSerialAdapterId(static_cast<int>(*n)) || *n > 129) return std::nullopt;
    return static_cast<int>(*n);
}

}  // namespace vexal::tools
