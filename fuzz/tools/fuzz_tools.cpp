// The command-line tool's readers of files and arguments, and its meaning of
// the hub's blocks.
//
// Byte 0 picks the reader (modulo 5), byte 1 is its parameter; the rest is
// its input, copied into an exactly sized buffer so any read past it is caught:
//   0  a backup file's text
//   1  KEY=VALUE arguments of set, one per line; the parameter picks the group
//   2  a hosts file's text
//   3  an address range, --ethernet and --serial texts (the same text each)
//   4  the hub's LAN, WLAN and serial bytes and a custom-device list; the
//      parameter picks which
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cfglib/PortText.h"
#include "fuzz/FuzzInput.h"
#include "include/zamocfg.h"
#include "platform/Socket.h"
#include "platform/TextCodec.h"
#include "tools/Backup.h"
#include "tools/HubBlocks.h"
#include "tools/Settings.h"
#include "tools/Targets.h"

using namespace vexal::tools;
using vexal::fuzz::Require;

namespace {

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    size_t nStart = 0;
    while (nStart <= text.size()) {
        const size_t nEnd = std::min(text.find('\n', nStart), text.size());
        lines.emplace_back(text.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return lines;
}

// A backup the tool read, written again by the tool, reads back the same.
void CheckBackup(std::string_view text) {
    std::string strError;
    const auto backup = ReadBackupText(std::string(text), "hub.json", strError);
    if (!backup) {
        Require(strError.rfind("hub.json:", 0) == 0);
        return;
    }
    for (const auto& [nId, values] : backup->settings.serial) Require(IsSerialAdapterId(nId) && values.size() == 4);
    for (const auto& [nType, entries] : backup->settings.custom) {
        Require(nType >= 0 && nType < kCustomTypeCount);
        for (const auto& entry : entries) Require(SplitIdList(entry) == std::vector<std::string>{entry});
    }
    const nlohmann::json written = BackupToJson(*backup);
    const auto again = ReadBackupText(written.dump(2), "again.json", strError);
    Require(again && BackupToJson(*again) == written);
}

constexpr LanBlock kReadLan{0x00, 0x1B, 0x5F, 0x40, 0x12, 0x7A, 192, 168, 0, 10, 255, 255, 255, 0, 192, 168, 0, 1, 192, 168, 0, 1};

// The values a hub shows for a group, complete and within the rules.
GroupValues CurrentValues(const std::string& strGroup) {
    if (strGroup == "bluetooth")
        return {{"name", "Till 1"}, {"pin", "0000"}, {"encryption", "on"}, {"mode", "1"}, {"auto_connect", "off"}};
    if (strGroup == "lan") return DecodeLan(kReadLan);
    if (strGroup == "wlan") {
        return {{"device_name", "Hub-WLAN"}, {"mode", "infra"}, {"dhcp", "on"}, {"ip", "192.168.1.50"},
                {"mask", "255.255.255.0"}, {"gateway", "192.168.1.1"}, {"ssid", "Shop"}, {"auth", "wpa2-psk"},
                {"cipher", "aes"}, {"wep_key", ""}, {"psk", "secret-key"}, {"eap", ""}, {"eap_identity", ""},
                {"eap_password", ""}, {"inactivity", "0"}};
    }
    if (strGroup == "netproto") return {{"telnet", "on"}, {"snmp", "off"}, {"ro_community", "public"}, {"rw_community", "private"}};
    if (strGroup == "usage") return {{"usb", "on"}, {"bluetooth", "on"}, {"lan", "on"}, {"wlan", "n/a"}};
    return DecodeSerial(2, 1, 0, 0);
}

void CheckAssignments(std::string_view text, uint8_t byGroup) {
    const auto& groups = SettingGroups();
    const SGroupDef& group = groups[byGroup % groups.size()];
    const std::vector<std::string> args = Lines(text);
    std::string strError;
    // Every kind of key brings a value to one canonical form and keeps it there.
    for (const SKeyDef& key : group.vecKeys) {
        std::string strWhy;
        if (const auto value = CanonicalValue(key, args.front(), strWhy)) {
            const auto again = CanonicalValue(key, *value, strWhy);
            Require(again && *again == *value);
        } else {
            Require(!strWhy.empty());
        }
    }
    const auto wanted = ParseAssignments(group, args, strError);
    if (!wanted) {
        Require(!strError.empty());
        return;
    }
    Require(wanted->size() == args.size());
    for (const auto& [strKey, strValue] : *wanted) {
        const SKeyDef* pKey = group.Find(strKey);
        Require(pKey != nullptr && !pKey->bReadOnly);
    }
    const auto fromJson = GroupFromJson(group, GroupToJson(group, *wanted), "set", false, strError);
    Require(fromJson && *fromJson == *wanted);
    // What the user gave is what goes to the hub, or the change is refused.
    const GroupValues current = CurrentValues(group.strName);
    Require(ValidateGroup(group, current).empty());
    const auto merged = MergeAndValidate(group, current, *wanted, strError);
    if (!merged) {
        Require(!strError.empty());
        return;
    }
    Require(ValidateGroup(group, *merged).empty());
    for (const auto& [strKey, strValue] : *wanted) Require(merged->at(strKey) == strValue);
    // What goes to the hub reads back as the values the tool accepted.
    if (group.strName == "lan") {
        Require(DecodeLan(EncodeLan(*merged, kReadLan)) == *merged);
    } else if (group.strName == "wlan") {
        WlanBlock read{};
        std::copy_n("Hub-WLAN", 8, read.begin() + 18);
        Require(DecodeWlan(EncodeWlan(*merged, read)) == *merged);
    } else if (group.strName == "serial") {
        const auto line = EncodeSerial(*merged);
        Require(line && DecodeSerial((*line)[0], (*line)[1], (*line)[2], (*line)[3]) == *merged);
    }
}

void CheckHosts(std::string_view text) {
    std::string strError;
    const auto hosts = ParseHostsText(text, "hosts.txt", strError);
    if (!hosts) {
        Require(strError.rfind("hosts.txt:", 0) == 0);
        return;
    }
    Require(!hosts->empty() && hosts->size() <= Lines(text).size());
    for (const std::string& strHost : *hosts) {
        Require(strHost.find_first_of(" \t\r\n#") == std::string::npos);
        const auto connection = ParseEthernet(strHost, strError);
        Require(connection.has_value());
    }
}

// The port text the tool builds is read by the library as the tool meant it.
void CheckTargets(std::string_view text) {
    std::string strError;
    if (const auto hosts = ParseCidr(text, strError)) {
        Require(!hosts->empty() && hosts->size() <= 1024);
        for (size_t i = 1; i < hosts->size(); ++i) Require((*hosts)[i] == (*hosts)[i - 1] + 1);
        Require((hosts->front() & ~0x3FFu) == (hosts->back() & ~0x3FFu));  // one /22 at most
        Require(vexal::platform::ParseIPv4(FormatIPv4(hosts->front())) == hosts->front());
    }
    if (const auto connection = ParseEthernet(text, strError)) {
        Require(connection->nInterface == ZAMO_IF_ETHERNET);
        const auto again = ParseEthernet(connection->strPortText, strError);
        Require(again && again->strPortText == connection->strPortText);
        const auto selection = vexal::cfg::ParsePortText(ZAMO_IF_ETHERNET,
            vexal::platform::Utf16FromUtf8(connection->strPortText), 0, DeviceOption{});
        const size_t nColon = connection->strPortText.find(':');
        Require(vexal::platform::ParseIPv4(connection->strPortText.substr(0, nColon)).has_value());
        Require(selection.nResult == 0 && std::to_string(selection.option.speed) == connection->strPortText.substr(nColon + 1));
    }
    if (const auto connection = ParseSerial(text, "COM9", strError)) {
        Require(connection->nInterface == ZAMO_IF_SERIAL || connection->nInterface == ZAMO_IF_SERIAL_EXPLICIT);
        const std::u16string strPortText = vexal::platform::Utf16FromUtf8(connection->strPortText);
        const auto selection = vexal::cfg::ParsePortText(connection->nInterface, strPortText, 0, DeviceOption{});
        Require(selection.nResult == 0 && !selection.strPortName.empty());
        Require(selection.strPortName.find(u':') == std::u16string::npos);
        Require(connection->strDevicePath.empty() || selection.strPortName == u"COM9");
        // Line settings in the order the library reads them: baud, data, parity, stop, flow.
        const DeviceOption& o = selection.option;
        const uint32_t fields[5] = {o.speed, o.dataBits, o.parity, o.stopBits, o.flowControl};
        size_t nAt = connection->strPortText.find(':');
        for (size_t i = 0; nAt != std::string::npos; ++i) {
            const size_t nNext = connection->strPortText.find(':', nAt + 1);
            // A number the tool took whole ("-0" included), read as the library reads it: 32 bits at most.
            const std::string strItem = connection->strPortText.substr(nAt + 1, nNext - nAt - 1);
            long nGiven = -1;
            const auto [pEnd, ec] = std::from_chars(strItem.data(), strItem.data() + strItem.size(), nGiven);
            Require(ec == std::errc() && pEnd == strItem.data() + strItem.size() && nGiven >= 0);
            Require(i < 5 && fields[i] == std::min<uint64_t>(static_cast<uint64_t>(nGiven), UINT32_MAX));
            nAt = nNext;
        }
    }
}

void CheckBlocks(std::string_view bytes, uint8_t byWhich) {
    auto byteAt = [&](size_t i) { return i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : uint8_t{0}; };
    switch (byWhich % 4) {
    case 0: {
        LanBlock block{};
        for (size_t i = 0; i < block.size(); ++i) block[i] = byteAt(i);
        LanBlock expected = block;
        expected[22] = block[22] == 1 ? 1 : 0;
        std::fill(expected.begin() + 23, expected.end(), 0);
        Require(EncodeLan(DecodeLan(block), block) == expected);
        break;
    }
    case 1: {
        WlanBlock block{};
        for (size_t i = 0; i < block.size(); ++i) block[i] = byteAt(i);
        const GroupValues values = DecodeWlan(block);
        const WlanBlock written = EncodeWlan(values, block);
        Require(std::equal(block.begin() + 18, block.begin() + 51, written.begin() + 18));  // the name as read
        // Values the tool would write come back as they went.
        if (ValidateGroup(*FindGroup("wlan"), values).empty()) Require(DecodeWlan(written) == values);
        break;
    }
    case 2: {
        const auto encoded = EncodeSerial(DecodeSerial(byteAt(0), byteAt(1), byteAt(2), byteAt(3)));
        const bool bKnown = byteAt(0) < 8 && byteAt(1) < 2 && byteAt(2) < 2 && byteAt(3) < 3;
        Require(encoded.has_value() == bKnown);
        if (encoded) Require(*encoded == (std::array<uint8_t, 4>{byteAt(0), byteAt(1), byteAt(2), byteAt(3)}));
        const std::string strText = FieldText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        const std::string strField(bytes.substr(0, bytes.find('\0')));
        Require(vexal::platform::AnsiFromUtf16(vexal::platform::Utf16FromUtf8(strText)) == strField);
        break;
    }
    default:
        for (const std::string& strEntry : SplitIdList(bytes)) {
            Require(strEntry.size() == 9 && strEntry[4] == '&');
            Require(ParseUsbId(strEntry.substr(0, 4)) == strEntry.substr(0, 4));
        }
        if (const auto nType = ParseCustomType(bytes)) Require(*nType >= 0 && *nType < kCustomTypeCount);
        if (const auto nId = ParseSerialDeviceId(bytes)) Require(IsSerialAdapterId(*nId));
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const vexal::fuzz::CExactInput exact(pData, nSize, 2);
    const std::string_view input = exact.Text();
    switch (pData[0] % 5) {
    case 0: CheckBackup(input); break;
    case 1: CheckAssignments(input, pData[1]); break;
    case 2: CheckHosts(input); break;
    case 3: CheckTargets(input); break;
    default: CheckBlocks(input, pData[1]); break;
    }
    return 0;
}
