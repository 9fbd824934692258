// The tool's pure parts: argument and file parsing, the group rules, the hub's
// blocks and the restore plan.
#include "tools/Backup.h"
#include "tools/HubBlocks.h"
#include "tools/Settings.h"
#include "tools/Targets.h"

#include <gtest/gtest.h>

using namespace vexal::tools;

namespace {

GroupValues Assign(const std::string& strGroup, const std::vector<std::string>& args, std::string& strError) {
    auto values = ParseAssignments(*FindGroup(strGroup), args, strError);
    return values ? *values : GroupValues{{"<refused>", strError}};
}

GroupValues WlanPsk() {
    return {{"device_name", "Hub-WLAN"}, {"mode", "infra"},   {"dhcp", "on"},          {"ip", "192.168.1.50"},
            {"mask", "255.255.255.0"},   {"gateway", "192.168.1.1"}, {"ssid", "Shop"}, {"auth", "wpa2-psk"},
            {"cipher", "aes"},           {"wep_key", ""},     {"psk", "secret-key"},   {"eap", ""},
            {"eap_identity", ""},        {"eap_password", ""}, {"inactivity", "0"}};
}

}  // namespace

TEST(ToolAssignments, RefusesWhatTheHubCannotTakeBeforeAnythingIsSent) {
    std::string e;
    EXPECT_EQ(Assign("lan", {"DHCP=Enable", "ip=010.0.0.5"}, e), (GroupValues{{"dhcp", "on"}, {"ip", "10.0.0.5"}}));
    for (const auto& [group, arg, why] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"lan", "colour=red", "unknown key 'colour'"},
             {"lan", "mac=00:11:22:33:44:55", "read-only"},
             {"lan", "ip=10.0.0.256", "not an IPv4 address"},
             {"lan", "dhcp", "not KEY=VALUE"},
             {"wlan", "inactivity=65536", "from 0 to 65535"},
             {"bluetooth", "mode=4", "not one of 1|2|3"},
             {"bluetooth", "name=", "minimum length is 1"},
             {"bluetooth", "pin=123", "minimum length is 4"},
             {"bluetooth", "name=Front\rDesk", "control characters"},
             {"bluetooth", "name=\xE6\x97\xA5", "code page"},  // U+65E5 has no CP1252 byte
             {"wlan", "psk=short", "minimum length is 8"},
             {"wlan", "psk=" + std::string(63, 'a') + "g", "maximum length is 63"},  // 64 bytes, not all hex
             {"wlan", "wep_key=abcdef", "5 or 13"},
             {"usage", "lan=n/a", "cannot be set"},
             {"serial", "baud=110", "not one of"}}) {
        const auto values = Assign(group, {arg}, e);
        ASSERT_EQ(values.count("<refused>"), 1u) << arg;
        EXPECT_NE(e.find(why), std::string::npos) << arg << ": " << e;
    }
    EXPECT_EQ(Assign("lan", {"dhcp=on", "dhcp=off"}, e).count("<refused>"), 1u);
    EXPECT_EQ(Assign("wlan", {"psk=" + std::string(64, 'F')}, e).count("psk"), 1u) << e;  // raw key
    // Lengths count the hub's bytes: sixteen "é" are 32 bytes of UTF-8 but 16 in CP1252.
    std::string strPin;
    for (int i = 0; i < 16; ++i) strPin += "\xC3\xA9";
    EXPECT_EQ(Assign("bluetooth", {"pin=" + strPin}, e).count("pin"), 1u) << e;
    EXPECT_EQ(Assign("bluetooth", {"pin=" + strPin + "x"}, e).count("<refused>"), 1u);
}

TEST(ToolAssignments, WlanFollowsItsListsAndRefusesKeysTheChoiceDoesNotUse) {
    const SGroupDef& wlan = *FindGroup("wlan");
    std::string e;
    auto open = MergeAndValidate(wlan, WlanPsk(), {{"auth", "open"}}, e);
    ASSERT_TRUE(open) << e;
    EXPECT_EQ(open->at("cipher"), "none");
    EXPECT_EQ(open->at("psk"), "");
    auto adhoc = MergeAndValidate(wlan, WlanPsk(), {{"mode", "adhoc"}}, e);
    ASSERT_TRUE(adhoc) << e;
    EXPECT_EQ(adhoc->at("auth"), "open");
    EXPECT_EQ(adhoc->at("dhcp"), "off");
    EXPECT_FALSE(MergeAndValidate(wlan, WlanPsk(), {{"mode", "adhoc"}, {"dhcp", "on"}}, e));
    EXPECT_FALSE(MergeAndValidate(wlan, WlanPsk(), {{"auth", "shared"}}, e));  // WEP needs its key
    EXPECT_NE(e.find("5 or 13"), std::string::npos) << e;
    auto shared = MergeAndValidate(wlan, WlanPsk(), {{"auth", "shared"}, {"wep_key", "abcde"}}, e);
    ASSERT_TRUE(shared) << e;
    EXPECT_EQ(shared->at("cipher"), "wep");
    EXPECT_FALSE(MergeAndValidate(wlan, WlanPsk(), {{"auth", "open"}, {"psk", "given-anyway"}}, e));
    EXPECT_FALSE(MergeAndValidate(wlan, WlanPsk(), {{"cipher", "wep"}}, e));  // WPA takes tkip|aes|aes+tkip
    auto eap = MergeAndValidate(wlan, WlanPsk(), {{"auth", "wpa-eap"}, {"eap_identity", "till"}}, e);
    ASSERT_TRUE(eap) << e;
    EXPECT_EQ(eap->at("eap"), "peap");
    EXPECT_EQ(eap->at("psk"), "");
    const SGroupDef& usage = *FindGroup("usage");
    EXPECT_FALSE(MergeAndValidate(usage, {{"usb", "on"}, {"bluetooth", "on"}, {"lan", "on"}, {"wlan", "n/a"}},
                                  {{"wlan", "off"}}, e));
}

TEST(ToolBlocks, LanBlockKeepsTheMacAndSendsTheUnusedBytesAsZeros) {
    LanBlock read{};
    const uint8_t head[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 192, 168, 0, 10, 255, 255, 255, 0,
                            192,  168,  0,    1,    8,    8,    8,   8,   2};
    std::copy(std::begin(head), std::end(head), read.begin());
    read[29] = 0x77;
    auto values = DecodeLan(read);
    EXPECT_EQ(values.at("mac"), "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(values.at("ip"), "192.168.0.10");
    EXPECT_EQ(values.at("dns"), "8.8.8.8");
    EXPECT_EQ(values.at("dhcp"), "off");  // 2 shows neither: sent back as 0
    values["ip"] = "10.1.2.3";
    values["dhcp"] = "on";
    values["mac"] = "ff:ff:ff:ff:ff:ff";  // read-only: the block keeps what was read
    const LanBlock sent = EncodeLan(values, read);
    EXPECT_TRUE(std::equal(sent.begin(), sent.begin() + 6, read.begin()));
    EXPECT_EQ(sent[6], 10);
    EXPECT_EQ(sent[9], 3);
    EXPECT_EQ(sent[22], 1);
    EXPECT_TRUE(std::all_of(sent.begin() + 23, sent.end(), [](uint8_t b) { return b == 0; }));
}

TEST(ToolBlocks, WlanBlockIsBuiltAsThePageBuildsIt) {
    WlanBlock read{};
    const char szName[] = "Hub-WLAN\xE9";  // one CP1252 byte past ASCII goes back unchanged
    std::copy(szName, szName + sizeof szName - 1, read.begin() + 18);
    read[5] = 0x55;                                // unused bytes are never written
    auto values = WlanPsk();
    values["device_name"] = "ignored";
    WlanBlock b = EncodeWlan(values, read);
    EXPECT_EQ(b[5], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[18])), std::string(szName));
    EXPECT_EQ(b[51], 0);
    EXPECT_EQ(b[52], 1);
    EXPECT_EQ(b[53], 192);
    EXPECT_EQ(b[97], 3);
    EXPECT_EQ(b[98], 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[203])), "secret-key");
    EXPECT_EQ(b[267], 0x06);
    EXPECT_EQ(b[397], 0x23);
    EXPECT_EQ(b[398], 0x8C);
    EXPECT_EQ(b[590], 'V');
    EXPECT_EQ(b[591], 'Q');
    EXPECT_EQ(b[99], 0);  // no WEP in use: no WEP key
    values["device_name"] = "Hub-WLAN\xC3\xA9";
    EXPECT_EQ(DecodeWlan(b), values);
    // A WEP key goes out only with WEP; an EAP method only with EAP.
    values["auth"] = "open";
    values["cipher"] = "wep";
    values["wep_key"] = "abcde";
    values["psk"] = "";
    b = EncodeWlan(values, read);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[99])), "abcde");
    EXPECT_EQ(DecodeWlan(b).at("wep_key"), "abcde");
    values["auth"] = "wpa2-eap";
    values["cipher"] = "tkip";
    values["eap"] = "tls";
    EXPECT_EQ(EncodeWlan(values, read)[268], 2);
    EXPECT_EQ(EncodeWlan(values, read)[99], 0);
    std::array<uint8_t, 20> answer{};
    answer[4] = '_';
    answer[14] = 'S';
    answer[15] = 'U';
    EXPECT_FALSE(WlanWriteAccepted(answer));
    answer[16] = 'C';
    EXPECT_TRUE(WlanWriteAccepted(answer));
}

TEST(ToolTargets, ConnectionsRangesAndHostsFiles) {
    std::string e;
    EXPECT_EQ(ParseEthernet("192.168.0.17", e)->strPortText, "192.168.0.17:9100");
    EXPECT_EQ(ParseEthernet("10.0.0.1:9101", e)->strPortText, "10.0.0.1:9101");
    EXPECT_FALSE(ParseEthernet("10.0.0.1:0", e));
    EXPECT_FALSE(ParseEthernet("hub.local", e));
    auto serial = ParseSerial("COM3", "COM1", e);
    EXPECT_EQ(serial->nInterface, 4);
    EXPECT_EQ(serial->strPortText, "COM3");
    serial = ParseSerial("/dev/ttyUSB0:115200:8:0:0:0", "COM1", e);
    EXPECT_EQ(serial->nInterface, 32);
    EXPECT_EQ(serial->strPortText, "COM1:115200:8:0:0:0");
    EXPECT_EQ(serial->strDevicePath, "/dev/ttyUSB0");
    EXPECT_FALSE(ParseSerial("COM3:115200:8", "COM1", e));
    EXPECT_FALSE(ParseSerial("COM3:0", "COM1", e));
    EXPECT_FALSE(ParseSerial("COM3:0:8:0:0:0", "COM1", e)) << "baud 0 in either form";
    EXPECT_FALSE(ParseSerial("ttyS0", "COM1", e));

    EXPECT_EQ(ParseCidr("10.1.2.3/22", e)->size(), 1022u);
    EXPECT_EQ(ParseCidr("10.1.2.3/22", e)->front(), 0x0A010001u);
    EXPECT_FALSE(ParseCidr("10.1.2.3/21", e));
    EXPECT_NE(e.find("at most /22"), std::string::npos);
    EXPECT_EQ(ParseCidr("127.0.0.9/29", e)->size(), 6u);
    EXPECT_EQ(*ParseCidr("127.0.0.9/32", e), std::vector<uint32_t>{0x7F000009u});
    EXPECT_EQ(ParseCidr("127.0.0.8/31", e)->size(), 2u);
    EXPECT_FALSE(ParseCidr("127.0.0/24", e));

    auto hosts = ParseHostsText("# store hubs\n10.0.0.1\n\n  10.0.0.2:9101  # till 2\n", "hubs.txt", e);
    ASSERT_TRUE(hosts) << e;
    EXPECT_EQ(*hosts, (std::vector<std::string>{"10.0.0.1", "10.0.0.2:9101"}));
    EXPECT_FALSE(ParseHostsText("10.0.0.1\n10.0.0.2 10.0.0.3\n", "hubs.txt", e));
    EXPECT_EQ(e, "hubs.txt:2: '10.0.0.2 10.0.0.3' is not an address ADDR[:PORT]");
    EXPECT_FALSE(ParseHostsText("# nothing\n", "hubs.txt", e));
}

TEST(ToolBackup, BadFilesNameTheirPlace) {
    SBackup backup;
    backup.strTaken = "2026-12-08T08:00:00Z";
    backup.strModel = "VX-H400_VXL";
    backup.settings.groups["lan"] = {{"mac", "00:1b:5f:40:12:7a"}, {"dhcp", "off"}, {"ip", "192.168.0.10"},
                                     {"mask", "255.255.255.0"}, {"gateway", "192.168.0.1"}, {"dns", "192.168.0.1"}};
    backup.settings.serial[100] = {{"baud", "115200"}, {"data", "8"}, {"stop", "1"}, {"parity", "even"}};
    backup.settings.custom[2] = {"1a2b&00ff"};
    const std::string strText = BackupToJson(backup).dump(2);
    std::string e;
    auto read = ReadBackupText(strText, "hub.json", e);
    ASSERT_TRUE(read) << e;
    EXPECT_EQ(read->settings.groups, backup.settings.groups);
    EXPECT_EQ(read->settings.serial, backup.settings.serial);
    EXPECT_EQ(read->settings.custom, backup.settings.custom);

    EXPECT_FALSE(ReadBackupText(strText.substr(0, strText.size() / 2), "hub.json", e));
    EXPECT_EQ(e.rfind("hub.json:", 0), 0u) << e;
    EXPECT_NE(e.find("unexpected end of input"), std::string::npos) << e;
    EXPECT_FALSE(ReadBackupText("{\n  \"format\": \"vexalcfg-backup\",\n  x\n}", "hub.json", e));
    EXPECT_EQ(e.rfind("hub.json:3:3:", 0), 0u) << e;
    auto broken = [&](const std::string& strFrom, const std::string& strTo) {
        std::string strBad = strText;
        const size_t n = strBad.find(strFrom);
        EXPECT_NE(n, std::string::npos) << strFrom;
        strBad.replace(n, strFrom.size(), strTo);
        EXPECT_FALSE(ReadBackupText(strBad, "hub.json", e)) << strTo;
        return e;
    };
    EXPECT_EQ(broken("\"192.168.0.10\"", "\"192.168.0.300\""),
              "hub.json: settings.lan.ip: '192.168.0.300' is not an IPv4 address");
    EXPECT_EQ(broken("\"dhcp\": false", "\"dhcp\": 7"), "hub.json: settings.lan.dhcp: wrong type of value");
    EXPECT_EQ(broken("\"dhcp\": false,", ""), "hub.json: settings.lan.dhcp: missing");
    EXPECT_EQ(broken("\"1a2b&00ff\"", "\"1a2b-00ff\""), "hub.json: settings.custom.msr[0]: '1a2b-00ff' is not \"vvvv&pppp\"");
    EXPECT_EQ(broken("\"100\"", "\"99\""), "hub.json: settings.serial.99: not a USB-to-serial device ID (100-129)");
    EXPECT_EQ(broken("\"version\": 1", "\"version\": 2"),
              "hub.json: version: 2 is not supported (this tool reads version 1)");
    EXPECT_EQ(broken("\"lan\"", "\"lann\""), "hub.json: settings.lann: unknown settings group");
}

TEST(ToolBackup, RestorePlanWritesOnlyDifferencesAndClonesWithoutPerHubKeys) {
    SHubSettings from, to;
    from.groups["bluetooth"] = {{"name", "Till 1"}, {"pin", "1234"}, {"encryption", "on"}, {"mode", "2"}, {"auto_connect", "on"}};
    to.groups["bluetooth"] = {{"name", "Till 2"}, {"pin", "0000"}, {"encryption", "on"}, {"mode", "2"}, {"auto_connect", "on"}};
    from.groups["lan"] = {{"mac", "00:00:00:00:00:01"}, {"dhcp", "off"}, {"ip", "10.0.0.1"},
                          {"mask", "255.0.0.0"}, {"gateway", "10.0.0.254"}, {"dns", "10.0.0.254"}};
    to.groups["lan"] = from.groups["lan"];
    to.groups["lan"]["mac"] = "00:00:00:00:00:02";
    to.groups["lan"]["ip"] = "10.0.0.2";
    from.serial[100] = {{"baud", "9600"}, {"data", "8"}, {"stop", "1"}, {"parity", "none"}};
    from.custom[0] = {"5a4d&0e28", "1111&2222"};
    to.custom[0] = {"1111&2222", "3333&4444"};

    auto plans = PlanRestore(from, to, {});
    ASSERT_EQ(plans.size(), 4u);
    EXPECT_EQ(plans[0].eAction, EPlanAction::Write);
    EXPECT_EQ(plans[0].target.at("name"), "Till 1");
    EXPECT_EQ(plans[1].eAction, EPlanAction::Write);  // the address; the MAC is reported, not written
    ASSERT_EQ(plans[1].vecChanges.size(), 2u);
    EXPECT_TRUE(plans[1].vecChanges[0].bReadOnly);
    EXPECT_EQ(plans[1].target.at("mac"), "00:00:00:00:00:02");
    EXPECT_EQ(plans[2].eAction, EPlanAction::Skip);  // no adapter 100 on the target
    EXPECT_EQ(plans[3].vecAdd, std::vector<std::string>{"5a4d&0e28"});
    EXPECT_EQ(plans[3].vecDelete, std::vector<std::string>{"3333&4444"});

    SRestoreOptions clone;
    clone.bClone = true;
    clone.only = {"bluetooth", "lan"};
    plans = PlanRestore(from, to, clone);
    ASSERT_EQ(plans.size(), 2u);
    EXPECT_EQ(plans[0].target.at("name"), "Till 2");
    EXPECT_EQ(plans[0].target.at("pin"), "1234");
    EXPECT_EQ(plans[1].eAction, EPlanAction::Same);  // only the address and MAC differ
    clone.include = {"bluetooth.name"};
    EXPECT_EQ(PlanRestore(from, to, clone)[0].target.at("name"), "Till 1");

    from.groups["bluetooth"]["pin"] = "12";  // a hub's own value the rules refuse
    plans = PlanRestore(from, to, {});
    EXPECT_EQ(plans[0].eAction, EPlanAction::Refused);
    EXPECT_NE(plans[0].strNote.find("minimum length is 4"), std::string::npos);
}
