// Backup files and the restore plan.
#include "model/Backup.h"
#include "model/RestorePlan.h"

#include <map>
#include <tuple>

#include <gtest/gtest.h>

using namespace vexal::model;

TEST(BackupTest, BadFilesNameTheirPlace) {
    SBackup backup;
    backup.strTaken = "2026-12-08T08:00:00Z";
    backup.strModel = "VX-H400_VXL";
    SHubSettings hub;
    hub.lan = SLan{{0x00, 0x1b, 0x5f, 0x40, 0x12, 0x7a},
                   {192, 168, 0, 10},
                   {255, 255, 255, 0},
                   {192, 168, 0, 1},
                   {192, 168, 0, 1},
                   0};
    hub.serial[100] = SSerialLine{6, 1, 0, 1};
    hub.custom[2] = {"1a2b&00ff"};
    backup.settings = ToValues(hub);
    EXPECT_EQ(backup.settings.serial[100],
              (GroupValues{{"baud", "115200"}, {"data", "8"}, {"stop", "1"}, {"parity", "even"}}));
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
    auto with = [&](const std::string& strFrom, const std::string& strTo) {
        std::string strBad = strText;
        const size_t n = strBad.find(strFrom);
        EXPECT_NE(n, std::string::npos) << strFrom;
        return n == std::string::npos ? strBad : strBad.replace(n, strFrom.size(), strTo);
    };
    EXPECT_FALSE(ReadBackupText(with("\"version\": 1", "\"version\": 2"), "hub.json", e));
    EXPECT_EQ(e, "hub.json: version: 2 is not supported (this tool reads version 1)");
    // A bad group is left out and named, with the key at fault; the others stay.
    auto unusable = [&](const std::string& strFrom, const std::string& strTo) {
        const auto bad = ReadBackupText(with(strFrom, strTo), "hub.json", e);
        EXPECT_TRUE(bad) << e;
        if (!bad) return SSettingsValues().unusable;
        EXPECT_EQ(bad->settings.groups.size() + bad->settings.serial.size() + bad->settings.custom.size() +
                      bad->settings.unusable.size(),
                  3u)
            << strTo;
        return bad->settings.unusable;
    };
    using CUnusable = std::map<std::string, std::string>;
    EXPECT_EQ(unusable("\"192.168.0.10\"", "\"192.168.0.300\""),
              (CUnusable{{"lan", "settings.lan.ip: '192.168.0.300' is not an IPv4 address"}}));
    EXPECT_EQ(unusable("\"dhcp\": false", "\"dhcp\": 7"),
              (CUnusable{{"lan", "settings.lan.dhcp: wrong type of value"}}));
    EXPECT_EQ(unusable("\"dhcp\": false,", ""), (CUnusable{{"lan", "settings.lan.dhcp: missing"}}));
    EXPECT_EQ(unusable("\"1a2b&00ff\"", "\"1a2b-00ff\""),
              (CUnusable{{"custom msr", "settings.custom.msr[0]: '1a2b-00ff' is not \"vvvv&pppp\""}}));
    EXPECT_EQ(unusable("\"100\"", "\"99\""),
              (CUnusable{{"serial 99", "settings.serial.99: not a USB-to-serial device ID (100-129)"}}));
    EXPECT_EQ(unusable("\"lan\"", "\"lann\""), (CUnusable{{"lann", "settings.lann: unknown settings group"}}));
    EXPECT_EQ(unusable("\"mac\": \"00:1b:5f:40:12:7a\"", "\"mac\": \"00\\r\""),
              (CUnusable{{"lan", "settings.lan.mac: control characters are not allowed"}}));
}

TEST(BackupTest, TextOfTheFileIsQuotedInEveryMessage) {
    // Keys, values, group, type and ID names and custom entries that would
    // drive a terminal: each message shows them as \xNN and holds no control byte.
    const std::string strEsc = "\\u001b]0;owned\\u0007";
    const std::string strText = R"({"format": "vexalcfg-backup", "version": 1, "settings": {
        "lan": {"mac": "00:00:00:00:00:01", "dhcp": false, "ip": "10.0.0.1", "mask": "255.0.0.0",
                "gateway": "10.0.0.254", "dns": "10.0.0.254", "X": 1},
        "wlan": {"mode": "X"},
        "X": {},
        "serial": {"X": {}},
        "custom": {"X": [], "msr": ["X"]}}})";
    std::string strFile = strText;
    for (size_t n; (n = strFile.find("X")) != std::string::npos;) strFile.replace(n, 1, strEsc);
    std::string e;
    const auto backup = ReadBackupText(strFile, "hub.json", e);
    ASSERT_TRUE(backup) << e;
    const std::string strShown = "\\x1B]0;owned\\x07";
    const std::map<std::string, std::string> expected = {
        {"lan", "settings.lan." + strShown + ": unknown key"},
        {"wlan", "settings.wlan.mode: '" + strShown + "' is not one of infra|adhoc"},
        {strShown, "settings." + strShown + ": unknown settings group"},
        {"serial " + strShown, "settings.serial." + strShown + ": not a USB-to-serial device ID (100-129)"},
        {"custom " + strShown, "settings.custom." + strShown + ": unknown device type"},
        {"custom msr", "settings.custom.msr[0]: '" + strShown + "' is not \"vvvv&pppp\""},
    };
    EXPECT_EQ(backup->settings.unusable, expected);
    for (const auto& [strGroup, strWhy] : backup->settings.unusable)
        for (const unsigned char c : strGroup + strWhy) EXPECT_GE(c, 0x20) << strWhy;
}

TEST(RestorePlanTest, WritesOnlyDifferencesAndClonesWithoutPerHubKeys) {
    SSettingsValues from, to;
    from.groups["bluetooth"] = {
        {"name", "Till 1"}, {"pin", "1234"}, {"encryption", "on"}, {"mode", "2"}, {"auto_connect", "on"}};
    to.groups["bluetooth"] = {
        {"name", "Till 2"}, {"pin", "0000"}, {"encryption", "on"}, {"mode", "2"}, {"auto_connect", "on"}};
    from.groups["lan"] = {{"mac", "00:00:00:00:00:01"}, {"dhcp", "off"},           {"ip", "10.0.0.1"},
                          {"mask", "255.0.0.0"},        {"gateway", "10.0.0.254"}, {"dns", "10.0.0.254"}};
    to.groups["lan"] = from.groups["lan"];
    to.groups["lan"]["mac"] = "00:00:00:00:00:02";
    to.groups["lan"]["ip"] = "10.0.0.2";
    from.groups["usage"] = {{"usb", "on"}, {"bluetooth", "off"}, {"lan", "on"}, {"wlan", "off"}};
    to.groups["usage"] = {{"usb", "on"}, {"bluetooth", "on"}, {"lan", "on"}, {"wlan", "n/a"}};
    from.serial[100] = {{"baud", "9600"}, {"data", "8"}, {"stop", "1"}, {"parity", "none"}};
    from.custom[0] = {"5a4d&0e28", "1111&2222"};
    to.custom[0] = {"1111&2222", "3333&4444"};

    auto plans = PlanRestore(from, to, {});
    ASSERT_EQ(plans.size(), 5u);
    EXPECT_EQ(plans[0].eAction, EPlanAction::Write);
    EXPECT_EQ(plans[0].target.at("name"), "Till 1");
    EXPECT_EQ(plans[1].eAction, EPlanAction::Write);  // the address; the MAC is reported, not written
    ASSERT_EQ(plans[1].vecChanges.size(), 2u);
    EXPECT_TRUE(plans[1].vecChanges[0].bReadOnly);
    EXPECT_EQ(plans[1].target.at("mac"), "00:00:00:00:00:02");
    // An interface the hub does not report is left as it is.
    EXPECT_EQ(plans[2].vecChanges, (std::vector<SKeyChange>{{"bluetooth", "on", "off", false}}));
    EXPECT_EQ(plans[2].target.at("wlan"), "n/a");
    EXPECT_EQ(plans[3].eAction, EPlanAction::Skip);  // no adapter 100 on the target
    EXPECT_EQ(plans[4].vecAdd, std::vector<std::string>{"5a4d&0e28"});
    EXPECT_EQ(plans[4].vecDelete, std::vector<std::string>{"3333&4444"});
    EXPECT_FALSE(IsRefused(plans));

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
    EXPECT_EQ(PerHubKeys(), (std::vector<std::string>{"bluetooth.name", "lan.ip", "wlan.ip"}));

    from.groups["bluetooth"]["pin"] = "12";  // a hub's own value the rules refuse
    plans = PlanRestore(from, to, {});
    EXPECT_EQ(plans[0].eAction, EPlanAction::Refused);
    EXPECT_EQ(plans[0].strNote, "bluetooth pin: minimum length is 4");
    EXPECT_TRUE(IsRefused(plans));
}

TEST(RestorePlanTest, WhatAHubHoldsRoundTripsAndAGroupThatCannotBeRestoredStandsAlone) {
    // Bytes without a name: a cipher, an EAP method, a serial line's baud and parity.
    SHubSettings hub;
    SWlan wlan;
    wlan.strSsid = "Shop";
    wlan.nAuth = kAuthWpa2Eap;
    wlan.nCipher = 9;
    wlan.nEapMethod = 7;
    wlan.strEapIdentity = "till";
    hub.wlan = wlan;
    hub.serial[100] = SSerialLine{9, 1, 0, 5};
    hub.netproto = SNetProto{1, 0, "public", "private"};
    SBackup backup;
    backup.settings = ToValues(hub);
    EXPECT_EQ(backup.settings.groups["wlan"]["cipher"], "unknown 9");
    std::string e;
    const auto read = ReadBackupText(BackupToJson(backup).dump(2), "hub.json", e);
    ASSERT_TRUE(read) << e;
    EXPECT_TRUE(read->settings.unusable.empty());
    auto plans = PlanRestore(read->settings, ToValues(hub), {});
    for (const auto& plan : plans) EXPECT_EQ(plan.eAction, EPlanAction::Same) << plan.strGroup;

    // Onto a hub that holds named values: written back byte for byte.
    SHubSettings other = hub;
    other.wlan->nCipher = kCipherAes;
    other.wlan->nEapMethod = 0;
    other.serial[100] = SSerialLine{6, 1, 0, 0};
    plans = PlanRestore(read->settings, ToValues(other), {});
    ASSERT_EQ(plans.size(), 3u);
    SWlan target = *other.wlan;
    ApplyKeyValues(target, plans[0].target);
    EXPECT_EQ(target, wlan);
    SSerialLine line = other.serial[100];
    ApplyKeyValues(line, plans[2].target);
    EXPECT_EQ(line, hub.serial[100]);

    // A group the rules refuse, or one the file holds in a form that cannot
    // be used, is refused alone: the other groups are still written.
    SSettingsValues broken = read->settings;
    broken.groups["netproto"]["ro_community"] = std::string(5000, 'c');
    broken.unusable["lan"] = "settings.lan.ip: '10.0.0.300' is not an IPv4 address";
    other.lan = SLan{};
    plans = PlanRestore(broken, ToValues(other), {});
    ASSERT_EQ(plans.size(), 4u);
    EXPECT_EQ(std::make_tuple(plans[0].strGroup, plans[0].eAction, plans[0].strNote),
              std::make_tuple(std::string("lan"), EPlanAction::Refused, broken.unusable["lan"]));
    EXPECT_EQ(std::make_tuple(plans[1].strGroup, plans[1].eAction),
              std::make_tuple(std::string("wlan"), EPlanAction::Write));
    EXPECT_EQ(std::make_tuple(plans[2].strGroup, plans[2].eAction),
              std::make_tuple(std::string("netproto"), EPlanAction::Refused));
    EXPECT_EQ(plans[3].eAction, EPlanAction::Write);
    EXPECT_TRUE(IsRefused(plans));
    SRestoreOptions only;
    only.only = {"wlan"};
    EXPECT_EQ(PlanRestore(broken, ToValues(other), only).size(), 1u);
}
