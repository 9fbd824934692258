// Backup files and the restore plan.
#include "model/Backup.h"
#include "model/RestorePlan.h"

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
    EXPECT_EQ(broken("\"1a2b&00ff\"", "\"1a2b-00ff\""),
              "hub.json: settings.custom.msr[0]: '1a2b-00ff' is not \"vvvv&pppp\"");
    EXPECT_EQ(broken("\"100\"", "\"99\""), "hub.json: settings.serial.99: not a USB-to-serial device ID (100-129)");
    EXPECT_EQ(broken("\"version\": 1", "\"version\": 2"),
              "hub.json: version: 2 is not supported (this tool reads version 1)");
    EXPECT_EQ(broken("\"lan\"", "\"lann\""), "hub.json: settings.lann: unknown settings group");
    EXPECT_EQ(broken("\"mac\": \"00:1b:5f:40:12:7a\"", "\"mac\": \"00\\r\""),
              "hub.json: settings.lan.mac: control characters are not allowed");
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
