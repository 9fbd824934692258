#include "HubState.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string_view>

namespace hubsim {

using nlohmann::json;

namespace {

constexpr std::array<uint8_t, 4> kDefaultSerial = {2, 1, 0, 0};  // 9600 8N1

struct STextField {
    const char* pszKey;
    size_t nOffset;
    size_t nSize;
};
struct SByteField {
    const char* pszKey;
    size_t nOffset;
};
struct SAddressField {
    const char* pszKey;
    size_t nOffset;
};

constexpr STextField kWlanTexts[] = {
    {"device_name", 18, 33}, {"ssid", 65, 32},          {"wep_key", 99, 104},
    {"psk", 203, 64},        {"eap_identity", 269, 32}, {"eap_password", 301, 96},
};
constexpr SByteField kWlanBytes[] = {
    {"mode", 51}, {"dhcp", 52}, {"auth", 97}, {"cipher", 98}, {"eap_method", 268},
};
constexpr SAddressField kWlanAddresses[] = {{"ip", 53}, {"mask", 57}, {"gateway", 61}};
constexpr SAddressField kLanAddresses[] = {{"ip", 6}, {"mask", 10}, {"gateway", 14}, {"dns", 18}};

[[noreturn]] void Fail(const std::string& strWhat) { throw std::runtime_error(strWhat); }

// Texts on the wire are single bytes in the host's code page. The file shows each
// byte as the character of the same value (Latin-1), so every byte survives a round trip.
std::string Latin1ToUtf8(const std::string& strBytes) {
    std::string out;
    for (unsigned char c : strBytes) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

bool Utf8ToLatin1(const std::string& strText, std::string& out) {
    out.clear();
    for (size_t i = 0; i < strText.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(strText[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < strText.size() &&
                   (static_cast<unsigned char>(strText[i + 1]) & 0xC0) == 0x80) {
            out.push_back(static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(strText[i + 1]) & 0x3F)));
            ++i;
        } else {
            return false;  // a character beyond one byte, or broken UTF-8
        }
    }
    return true;
}

std::string AddressText(const uint8_t* p) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", p[0], p[1], p[2], p[3]);
    return buf;
}

void ParseAddress(const json& value, const std::string& strPath, uint8_t* pOut) {
    if (!value.is_string()) Fail(strPath + ": expected a dotted IPv4 address");
    const std::string strText = value.get<std::string>();
    unsigned a[4];
    char cExtra;
    if (std::sscanf(strText.c_str(), "%u.%u.%u.%u%c", &a[0], &a[1], &a[2], &a[3], &cExtra) != 4)
        Fail(strPath + ": '" + strText + "' is not a dotted IPv4 address");
    for (int i = 0; i < 4; ++i) {
        if (a[i] > 255) Fail(strPath + ": octet out of range");
        pOut[i] = static_cast<uint8_t>(a[i]);
    }
}

std::string MacText(const uint8_t* p) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", p[0], p[1], p[2], p[3], p[4], p[5]);
    return buf;
}

long GetInt(const json& value, const std::string& strPath, long nMin, long nMax) {
    long nValue = 0;
    if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(nMax)) {
        // Beyond a long: converting it first would wrap it into the range.
        Fail(strPath + ": " + value.dump() + " is outside " + std::to_string(nMin) + ".." + std::to_string(nMax));
    } else if (value.is_number_integer()) {
        nValue = value.get<long>();
    } else if (value.is_string()) {
        const auto parsed = ParseNumber(value.get<std::string>(), nMin, nMax);
        if (!parsed) Fail(strPath + ": expected a number from " + std::to_string(nMin) + " to " + std::to_string(nMax));
        nValue = *parsed;
    } else if (value.is_boolean()) {
        nValue = value.get<bool>() ? 1 : 0;
    } else {
        Fail(strPath + ": expected a number");
    }
    if (nValue < nMin || nValue > nMax)
        Fail(strPath + ": " + std::to_string(nValue) + " is outside " + std::to_string(nMin) + ".." +
             std::to_string(nMax));
    return nValue;
}

std::string GetText(const json& value, const std::string& strPath, size_t nMaxBytes = 4096) {
    if (!value.is_string()) Fail(strPath + ": expected text");
    std::string strText;
    if (!Utf8ToLatin1(value.get<std::string>(), strText))
        Fail(strPath + ": only characters U+0000..U+00FF fit the hub's one-byte texts");
    if (strText.size() > nMaxBytes) Fail(strPath + ": longer than " + std::to_string(nMaxBytes) + " bytes");
    if (strText.find('\0') != std::string::npos) Fail(strPath + ": contains a NUL byte");
    return strText;
}

// One byte that travels as an ASCII character; accepts "1" or 0x31 alike.
uint8_t GetCharByte(const json& value, const std::string& strPath) {
    if (value.is_string()) {
        std::string strText;
        if (!Utf8ToLatin1(value.get<std::string>(), strText) || strText.size() != 1)
            Fail(strPath + ": expected one character");
        return static_cast<uint8_t>(strText[0]);
    }
    return static_cast<uint8_t>(GetInt(value, strPath, 0, 255));
}

uint16_t GetId16(const json& value, const std::string& strPath) {
    if (value.is_string()) {
        const auto bytes = ParseHex(value.get<std::string>());
        if (!bytes || bytes->size() != 2) Fail(strPath + ": expected four hex digits");
        return static_cast<uint16_t>((*bytes)[0] << 8 | (*bytes)[1]);
    }
    return static_cast<uint16_t>(GetInt(value, strPath, 0, 0xFFFF));
}

std::string Id16Text(uint16_t n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", n);
    return buf;
}

std::string CustomEntryText(uint32_t nEntry) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04x&%04x", nEntry >> 16, nEntry & 0xFFFF);
    return buf;
}

uint32_t ParseCustomEntry(const json& value, const std::string& strPath) {
    if (!value.is_string()) Fail(strPath + ": expected \"vvvv&pppp\"");
    std::string strText = value.get<std::string>();
    const auto nAmp = strText.find('&');
    if (nAmp == std::string::npos) Fail(strPath + ": expected \"vvvv&pppp\"");
    const auto vid = ParseHex(strText.substr(0, nAmp));
    const auto pid = ParseHex(strText.substr(nAmp + 1));
    if (!vid || vid->size() != 2 || !pid || pid->size() != 2) Fail(strPath + ": expected \"vvvv&pppp\"");
    return static_cast<uint32_t>((*vid)[0]) << 24 | static_cast<uint32_t>((*vid)[1]) << 16 |
           static_cast<uint32_t>((*pid)[0]) << 8 | (*pid)[1];
}

std::string FieldText(const uint8_t* p, size_t nSize) {
    size_t n = 0;
    while (n < nSize && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

void PutFieldText(uint8_t* p, size_t nSize, const std::string& strText) {
    std::fill(p, p + nSize, 0);
    std::copy(strText.begin(), strText.end(), p);
}

// A key the loader does not know would be dropped silently by the next save.
void RefuseUnknownKeys(const json& object, const std::string& strPrefix, const std::vector<std::string_view>& known) {
    for (const auto& item : object.items()) {
        if (std::find(known.begin(), known.end(), item.key()) == known.end())
            Fail(strPrefix + item.key() + ": unknown key");
    }
}

template <typename TField, size_t N>
void AddKeys(std::vector<std::string_view>& keys, const TField (&fields)[N]) {
    for (const auto& field : fields) keys.push_back(field.pszKey);
}

}  // namespace

const char* DeviceKindName(EDeviceKind eKind) {
    switch (eKind) {
    case EDeviceKind::Printer: return "printer";
    case EDeviceKind::Hid: return "hid";
    case EDeviceKind::Serial: return "serial";
    case EDeviceKind::Echo: return "echo";
    case EDeviceKind::Sink: return "sink";
    }
    return "sink";
}

bool ParseDeviceKind(const std::string& strName, EDeviceKind& eKind) {
    for (EDeviceKind e :
         {EDeviceKind::Printer, EDeviceKind::Hid, EDeviceKind::Serial, EDeviceKind::Echo, EDeviceKind::Sink}) {
        if (strName == DeviceKindName(e)) {
            eKind = e;
            return true;
        }
    }
    return false;
}

CHubState::CHubState() {
    const uint8_t mac[6] = {0x00, 0x1B, 0x5F, 0x40, 0x12, 0x7A};
    std::copy(mac, mac + 6, m_arrLan.begin());
    const uint8_t lanAddresses[16] = {192, 168, 0, 10, 255, 255, 255, 0, 192, 168, 0, 1, 192, 168, 0, 1};
    std::copy(lanAddresses, lanAddresses + 16, m_arrLan.begin() + 6);
    m_arrLan[22] = 0;

    PutFieldText(&m_arrWlan[18], 33, "VexalHub-WLAN");
    m_arrWlan[51] = 0;
    m_arrWlan[52] = 1;
    const uint8_t wlanAddresses[12] = {192, 168, 1, 50, 255, 255, 255, 0, 192, 168, 1, 1};
    std::copy(wlanAddresses, wlanAddresses + 12, m_arrWlan.begin() + 53);
    PutFieldText(&m_arrWlan[65], 32, "ShopFloor");
    m_arrWlan[97] = 3;  // WPA2-PSK
    m_arrWlan[98] = 3;  // AES
    PutFieldText(&m_arrWlan[203], 64, "vexal-demo-key");
    m_arrWlan[267] = 0x06;
    m_arrWlan[397] = 0x23;  // 9100, the hub's data port
    m_arrWlan[398] = 0x8C;
    m_arrWlan[590] = 'V';
    m_arrWlan[591] = 'Q';

    m_mapDevices[10] = {10, EDeviceKind::Printer, 0x5A4D, 0x0E28};
    m_mapDevices[20] = {20, EDeviceKind::Hid, 0x5A4D, 0x1200};
    m_mapDevices[100] = {100, EDeviceKind::Serial, 0x5A4D, 0x6001};
    m_mapDevices[101] = {101, EDeviceKind::Serial, 0x5A4D, 0x2303};
}

Bytes CHubState::PresenceList() const {
    Bytes out;
    for (const auto& [nId, device] : m_mapDevices) out.push_back(nId);
    return out;
}

bool CHubState::IsSerialAdapter(uint8_t nDevice) const {
    const auto it = m_mapDevices.find(nDevice);
    return it != m_mapDevices.end() && it->second.eKind == EDeviceKind::Serial;
}

std::array<uint8_t, 4> CHubState::SerialConfig(uint8_t nDevice) const {
    const auto it = m_mapSerial.find(nDevice);
    return it == m_mapSerial.end() ? kDefaultSerial : it->second;
}

json CHubState::ToJson() const {
    json doc;
    doc["model"] = Latin1ToUtf8(m_strModel);
    doc["firmware"] = Latin1ToUtf8(m_strFirmware);
    doc["bluetooth"] = {
        {"name", Latin1ToUtf8(m_strBtName)},
        {"pin", Latin1ToUtf8(m_strBtPin)},
        {"encryption", Latin1ToUtf8(std::string(1, static_cast<char>(m_nBtEncryption)))},
        {"mode", Latin1ToUtf8(std::string(1, static_cast<char>(m_nBtMode)))},
        {"auto_connect", m_nBtAutoConnect},
    };
    json lan;
    lan["mac"] = MacText(&m_arrLan[0]);
    for (const auto& field : kLanAddresses) lan[field.pszKey] = AddressText(&m_arrLan[field.nOffset]);
    lan["dhcp"] = m_arrLan[22];
    lan["reserved"] = ToHex(&m_arrLan[23], 7);
    doc["lan"] = lan;

    json wlan;
    wlan["block"] = ToHex(m_arrWlan.data(), m_arrWlan.size());
    for (const auto& field : kWlanTexts)
        wlan[field.pszKey] = Latin1ToUtf8(FieldText(&m_arrWlan[field.nOffset], field.nSize));
    for (const auto& field : kWlanBytes) wlan[field.pszKey] = m_arrWlan[field.nOffset];
    for (const auto& field : kWlanAddresses) wlan[field.pszKey] = AddressText(&m_arrWlan[field.nOffset]);
    wlan["inactivity"] = m_arrWlan[587] * 256 + m_arrWlan[588];
    wlan["ack_fail"] = m_bWlanAckFail;
    doc["wlan"] = wlan;

    json serial = json::object();
    for (const auto& [nId, config] : m_mapSerial) serial[std::to_string(nId)] = config;
    doc["serial"] = serial;

    json types = json::object();
    for (size_t nType = 0; nType < kCustomTypeCount; ++nType) {
        json list = json::array();
        for (uint32_t nEntry : m_arrCustom[nType]) list.push_back(CustomEntryText(nEntry));
        types[std::to_string(nType)] = list;
    }
    doc["custom_devices"] = {{"max_entries", m_nCustomMax}, {"types", types}};

    doc["telnet"] = m_nTelnet;
    doc["snmp"] = m_nSnmp;
    doc["snmp_ro"] = Latin1ToUtf8(m_strSnmpRo);
    doc["snmp_rw"] = Latin1ToUtf8(m_strSnmpRw);
    doc["interfaces"] = {{"bluetooth", m_nIfBluetooth}, {"lan", m_nIfLan}, {"wlan", m_nIfWlan}};

    json devices = json::array();
    for (const auto& [nId, device] : m_mapDevices) {
        devices.push_back({{"id", nId},
                           {"kind", DeviceKindName(device.eKind)},
                           {"vid", Id16Text(device.nVid)},
                           {"pid", Id16Text(device.nPid)}});
    }
    doc["devices"] = devices;
    doc["printer"] = {{"model_id", m_printer.nModelId},
                      {"firmware", Latin1ToUtf8(m_printer.strFirmware)},
                      {"name", Latin1ToUtf8(m_printer.strName)},
                      {"codepage", Latin1ToUtf8(m_printer.strCodepage)}};
    return doc;
}

CHubState CHubState::FromJson(const json& doc) {
    if (!doc.is_object()) Fail("state: expected a JSON object");
    RefuseUnknownKeys(doc, "",
                      {"model", "firmware", "bluetooth", "lan", "wlan", "serial", "custom_devices", "telnet", "snmp",
                       "snmp_ro", "snmp_rw", "interfaces", "devices", "printer"});
    CHubState state;
    if (doc.contains("model")) state.m_strModel = GetText(doc["model"], "model", 200);
    if (doc.contains("firmware")) state.m_strFirmware = GetText(doc["firmware"], "firmware", 200);

    if (doc.contains("bluetooth")) {
        const json& bt = doc["bluetooth"];
        if (!bt.is_object()) Fail("bluetooth: expected an object");
        RefuseUnknownKeys(bt, "bluetooth.", {"name", "pin", "encryption", "mode", "auto_connect"});
        if (bt.contains("name")) state.m_strBtName = GetText(bt["name"], "bluetooth.name", kMaxBluetoothText);
        if (bt.contains("pin")) state.m_strBtPin = GetText(bt["pin"], "bluetooth.pin", kMaxBluetoothText);
        if (bt.contains("encryption")) state.m_nBtEncryption = GetCharByte(bt["encryption"], "bluetooth.encryption");
        if (bt.contains("mode")) state.m_nBtMode = GetCharByte(bt["mode"], "bluetooth.mode");
        if (bt.contains("auto_connect"))
            state.m_nBtAutoConnect = static_cast<uint8_t>(GetInt(bt["auto_connect"], "bluetooth.auto_connect", 0, 1));
        // 0x0D ends each text on the wire, so a stored one could not be written back.
        if (state.m_strBtName.find('\r') != std::string::npos) Fail("bluetooth.name: contains a carriage return");
        if (state.m_strBtPin.find('\r') != std::string::npos) Fail("bluetooth.pin: contains a carriage return");
    }

    if (doc.contains("lan")) {
        const json& lan = doc["lan"];
        if (!lan.is_object()) Fail("lan: expected an object");
        std::vector<std::string_view> keys = {"mac", "dhcp", "reserved"};
        AddKeys(keys, kLanAddresses);
        RefuseUnknownKeys(lan, "lan.", keys);
        if (lan.contains("mac")) {
            const auto mac = lan["mac"].is_string() ? ParseHex(lan["mac"].get<std::string>()) : std::nullopt;
            if (!mac || mac->size() != 6) Fail("lan.mac: expected six hex octets");
            std::copy(mac->begin(), mac->end(), state.m_arrLan.begin());
        }
        for (const auto& field : kLanAddresses) {
            if (lan.contains(field.pszKey))
                ParseAddress(lan[field.pszKey], std::string("lan.") + field.pszKey, &state.m_arrLan[field.nOffset]);
        }
        if (lan.contains("dhcp")) state.m_arrLan[22] = static_cast<uint8_t>(GetInt(lan["dhcp"], "lan.dhcp", 0, 255));
        if (lan.contains("reserved")) {
            const auto reserved =
                lan["reserved"].is_string() ? ParseHex(lan["reserved"].get<std::string>()) : std::nullopt;
            if (!reserved || reserved->size() != 7) Fail("lan.reserved: expected 7 hex bytes");
            std::copy(reserved->begin(), reserved->end(), state.m_arrLan.begin() + 23);
        }
    }

    if (doc.contains("wlan")) {
        const json& wlan = doc["wlan"];
        if (!wlan.is_object()) Fail("wlan: expected an object");
        std::vector<std::string_view> keys = {"block", "inactivity", "ack_fail"};
        AddKeys(keys, kWlanTexts);
        AddKeys(keys, kWlanBytes);
        AddKeys(keys, kWlanAddresses);
        RefuseUnknownKeys(wlan, "wlan.", keys);
        if (wlan.contains("block")) {
            const auto block = wlan["block"].is_string() ? ParseHex(wlan["block"].get<std::string>()) : std::nullopt;
            if (!block || block->size() != kWlanBlockSize) Fail("wlan.block: expected 592 hex bytes");
            std::copy(block->begin(), block->end(), state.m_arrWlan.begin());
        }
        // Readable fields win over the block only where they say something else, so
        // bytes the host left after a text's terminator survive a load.
        for (const auto& field : kWlanTexts) {
            if (!wlan.contains(field.pszKey)) continue;
            const std::string strText = GetText(wlan[field.pszKey], std::string("wlan.") + field.pszKey, field.nSize);
            if (strText != FieldText(&state.m_arrWlan[field.nOffset], field.nSize))
                PutFieldText(&state.m_arrWlan[field.nOffset], field.nSize, strText);
        }
        for (const auto& field : kWlanBytes) {
            if (wlan.contains(field.pszKey))
                state.m_arrWlan[field.nOffset] =
                    static_cast<uint8_t>(GetInt(wlan[field.pszKey], std::string("wlan.") + field.pszKey, 0, 255));
        }
        for (const auto& field : kWlanAddresses) {
            if (wlan.contains(field.pszKey))
                ParseAddress(wlan[field.pszKey], std::string("wlan.") + field.pszKey, &state.m_arrWlan[field.nOffset]);
        }
        if (wlan.contains("inactivity")) {
            const long n = GetInt(wlan["inactivity"], "wlan.inactivity", 0, 0xFFFF);
            state.m_arrWlan[587] = static_cast<uint8_t>(n >> 8);
            state.m_arrWlan[588] = static_cast<uint8_t>(n & 0xFF);
        }
        if (wlan.contains("ack_fail")) state.m_bWlanAckFail = GetInt(wlan["ack_fail"], "wlan.ack_fail", 0, 1) != 0;
    }

    if (doc.contains("serial")) {
        const json& serial = doc["serial"];
        if (!serial.is_object()) Fail("serial: expected an object keyed by device id");
        for (const auto& [strKey, value] : serial.items()) {
            const auto nId = ParseNumber(strKey, 1, 254);
            if (!nId) Fail("serial." + strKey + ": key is not a device id 1..254");
            if (!value.is_array() || value.size() != 4)
                Fail("serial." + strKey + ": expected [baud, data, stop, parity]");
            const long limits[4] = {7, 1, 1, 2};
            std::array<uint8_t, 4> config{};
            for (size_t i = 0; i < 4; ++i)
                config[i] = static_cast<uint8_t>(GetInt(value[i], "serial." + strKey, 0, limits[i]));
            state.m_mapSerial[static_cast<uint8_t>(*nId)] = config;
        }
    }

    if (doc.contains("custom_devices")) {
        const json& custom = doc["custom_devices"];
        if (!custom.is_object()) Fail("custom_devices: expected an object");
        RefuseUnknownKeys(custom, "custom_devices.", {"max_entries", "types"});
        if (custom.contains("max_entries"))
            state.m_nCustomMax =
                static_cast<size_t>(GetInt(custom["max_entries"], "custom_devices.max_entries", 0, 1000));
        if (custom.contains("types")) {
            const json& types = custom["types"];
            if (!types.is_object()) Fail("custom_devices.types: expected an object keyed by type");
            for (const auto& [strKey, list] : types.items()) {
                const auto nType = ParseNumber(strKey, 0, static_cast<long>(kCustomTypeCount) - 1);
                if (!nType) Fail("custom_devices.types." + strKey + ": unknown device type");
                if (!list.is_array()) Fail("custom_devices.types." + strKey + ": expected a list");
                std::vector<uint32_t> entries;
                for (const auto& entry : list)
                    entries.push_back(ParseCustomEntry(entry, "custom_devices.types." + strKey));
                state.m_arrCustom[static_cast<size_t>(*nType)] = entries;
            }
        }
    }

    if (doc.contains("telnet")) state.m_nTelnet = static_cast<uint8_t>(GetInt(doc["telnet"], "telnet", 0, 1));
    if (doc.contains("snmp")) state.m_nSnmp = static_cast<uint8_t>(GetInt(doc["snmp"], "snmp", 0, 1));
    if (doc.contains("snmp_ro")) state.m_strSnmpRo = GetText(doc["snmp_ro"], "snmp_ro", kMaxCommunity);
    if (doc.contains("snmp_rw")) state.m_strSnmpRw = GetText(doc["snmp_rw"], "snmp_rw", kMaxCommunity);

    if (doc.contains("interfaces")) {
        const json& ifs = doc["interfaces"];
        if (!ifs.is_object()) Fail("interfaces: expected an object");
        RefuseUnknownKeys(ifs, "interfaces.", {"bluetooth", "lan", "wlan"});
        if (ifs.contains("bluetooth"))
            state.m_nIfBluetooth = static_cast<uint8_t>(GetInt(ifs["bluetooth"], "interfaces.bluetooth", 0, 1));
        if (ifs.contains("lan")) state.m_nIfLan = static_cast<uint8_t>(GetInt(ifs["lan"], "interfaces.lan", 0, 1));
        if (ifs.contains("wlan")) state.m_nIfWlan = static_cast<uint8_t>(GetInt(ifs["wlan"], "interfaces.wlan", 0, 1));
    }

    if (doc.contains("devices")) {
        const json& devices = doc["devices"];
        if (!devices.is_array()) Fail("devices: expected a list");
        state.m_mapDevices.clear();
        for (const auto& entry : devices) {
            if (!entry.is_object() || !entry.contains("id")) Fail("devices: every entry needs an id");
            SAttachedDevice device;
            device.nId = static_cast<uint8_t>(GetInt(entry["id"], "devices.id", 1, 254));
            const std::string strWhere = "devices." + std::to_string(device.nId);
            if (state.m_mapDevices.count(device.nId)) Fail(strWhere + ": listed twice");
            RefuseUnknownKeys(entry, strWhere + ".", {"id", "kind", "vid", "pid"});
            if (entry.contains("kind")) {
                if (!entry["kind"].is_string() || !ParseDeviceKind(entry["kind"].get<std::string>(), device.eKind))
                    Fail(strWhere + ".kind: expected printer, hid, serial, echo or sink");
            }
            if (entry.contains("vid")) device.nVid = GetId16(entry["vid"], strWhere + ".vid");
            if (entry.contains("pid")) device.nPid = GetId16(entry["pid"], strWhere + ".pid");
            state.m_mapDevices[device.nId] = device;
        }
    }

    if (doc.contains("printer")) {
        const json& printer = doc["printer"];
        if (!printer.is_object()) Fail("printer: expected an object");
        RefuseUnknownKeys(printer, "printer.", {"model_id", "firmware", "name", "codepage"});
        if (printer.contains("model_id"))
            state.m_printer.nModelId = static_cast<uint8_t>(GetInt(printer["model_id"], "printer.model_id", 0, 255));
        if (printer.contains("firmware"))
            state.m_printer.strFirmware = GetText(printer["firmware"], "printer.firmware", 80);
        if (printer.contains("name")) state.m_printer.strName = GetText(printer["name"], "printer.name", 80);
        if (printer.contains("codepage"))
            state.m_printer.strCodepage = GetText(printer["codepage"], "printer.codepage", 80);
    }
    return state;
}

}  // namespace hubsim
