// The rules a value meets before anything is sent, in the typed form and in
// the text form of KEY=VALUE arguments, and what follows a choice.
#include "model/Bluetooth.h"
#include "model/KeyValues.h"
#include "model/Settings.h"
#include "model/TextFields.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace vexal::model;

namespace {

GroupValues Assign(const std::string& strGroup, const std::vector<std::string>& args, std::string& strError) {
    auto values = ParseAssignments(*FindGroup(strGroup), args, strError);
    return values ? *values : GroupValues{{"<refused>", strError}};
}

GroupValues WlanPsk() {
    return {{"device_name", "Hub-WLAN"},
            {"mode", "infra"},
            {"dhcp", "on"},
            {"ip", "192.168.1.50"},
            {"mask", "255.255.255.0"},
            {"gateway", "192.168.1.1"},
            {"ssid", "Shop"},
            {"auth", "wpa2-psk"},
            {"cipher", "aes"},
            {"wep_key", ""},
            {"psk", "secret-key"},
            {"eap", ""},
            {"eap_identity", ""},
            {"eap_password", ""},
            {"inactivity", "0"}};
}

}  // namespace

TEST(TextRulesTest, LengthsCountCodePageBytesAndKeysHaveTheirOwnRules) {
    EXPECT_EQ(CheckHubText(EHubText::WepKey, u"1234"), ETextProblem::WepKeyLength);
    EXPECT_EQ(CheckHubText(EHubText::WepKey, u"12345"), ETextProblem::None);
    EXPECT_EQ(CheckHubText(EHubText::WepKey, u"123456"), ETextProblem::WepKeyLength);
    EXPECT_EQ(CheckHubText(EHubText::WepKey, u"1234567890123"), ETextProblem::None);

    EXPECT_EQ(CheckHubText(EHubText::Psk, u"1234567"), ETextProblem::TooShort);
    EXPECT_EQ(CheckHubText(EHubText::Psk, u"12345678"), ETextProblem::None);
    EXPECT_EQ(CheckHubText(EHubText::Psk, std::u16string(63, u'x')), ETextProblem::None);
    EXPECT_EQ(CheckHubText(EHubText::Psk, std::u16string(64, u'x')), ETextProblem::TooLong);
    EXPECT_EQ(CheckHubText(EHubText::Psk, std::u16string(64, u'F')), ETextProblem::None);  // raw key in hex
    EXPECT_TRUE(IsOverLong(EHubText::Psk, std::u16string(65, u'F')));
    EXPECT_FALSE(IsOverLong(EHubText::Psk, std::u16string(64, u'f')));

    // 30 euro signs are 30 bytes in CP1252 (90 in UTF-8): within the limit.
    EXPECT_FALSE(IsOverLong(EHubText::BluetoothName, std::u16string(30, u'\u20AC')));
    EXPECT_TRUE(IsOverLong(EHubText::BluetoothName, std::u16string(31, u'\u20AC')));
    EXPECT_EQ(CheckHubText(EHubText::BluetoothName, ""), ETextProblem::TooShort);
    // What the code page cannot hold, or a control character, is refused, not sent as '?'.
    EXPECT_EQ(CheckHubText(EHubText::BluetoothName, u"Caf\u00E9\u4E2D"), ETextProblem::NotInCodePage);
    EXPECT_EQ(CheckHubText(EHubText::BluetoothName, "Caf\xC3"), ETextProblem::NotInCodePage);  // not UTF-8
    EXPECT_EQ(CheckHubText(EHubText::BluetoothPin, u"12\r34"), ETextProblem::ControlCharacter);
    EXPECT_EQ(CheckHubText(EHubText::Community, std::string(4095, 'c')), ETextProblem::None);
    EXPECT_EQ(CheckHubText(EHubText::Community, std::string(4096, 'c')), ETextProblem::TooLong);

    EXPECT_TRUE(IsUsbIdText(u"1a2B"));
    EXPECT_FALSE(IsUsbIdText(u"1a2"));
    EXPECT_FALSE(IsUsbIdText(u"12G4"));
    EXPECT_FALSE(IsUsbIdText("12 4"));
}

TEST(TextFormTest, AssignmentsRefuseWhatTheHubCannotTakeBeforeAnythingIsSent) {
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
             {"netproto", "ro_community=" + std::string(4096, 'c'), "maximum length is 4095"},
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

TEST(TextFormTest, WlanFollowsItsListsAndRefusesKeysTheChoiceDoesNotUse) {
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
    EXPECT_EQ(e, "wlan cipher: with auth wpa2-psk it must be tkip|aes|aes+tkip");
    auto eap = MergeAndValidate(wlan, WlanPsk(), {{"auth", "wpa-eap"}, {"eap_identity", "till"}}, e);
    ASSERT_TRUE(eap) << e;
    EXPECT_EQ(eap->at("eap"), "peap");
    EXPECT_EQ(eap->at("psk"), "");
    EXPECT_FALSE(MergeAndValidate(wlan, WlanPsk(), {{"auth", "wpa-eap"}, {"eap", ""}}, e));
    EXPECT_EQ(e, "wlan eap: an EAP method is needed with auth wpa-eap");
    // Bytes without a name, as the text form shows them, are the hub's own:
    // they pass and stay, until the choice they follow is given.
    GroupValues unknown = WlanPsk();
    unknown["mode"] = "unknown 3";
    unknown["cipher"] = "unknown 9";
    auto kept = MergeAndValidate(wlan, unknown, {{"ssid", "Lab"}}, e);
    ASSERT_TRUE(kept) << e;
    EXPECT_EQ(std::tie(kept->at("mode"), kept->at("cipher"), kept->at("psk")),
              std::make_tuple(std::string("unknown 3"), std::string("unknown 9"), std::string("secret-key")));
    auto followed = MergeAndValidate(wlan, unknown, {{"auth", "wpa-psk"}}, e);
    ASSERT_TRUE(followed) << e;
    EXPECT_EQ(followed->at("cipher"), "tkip");
    EXPECT_FALSE(MergeAndValidate(wlan, unknown, {{"cipher", "unknown 4"}}, e));  // 4 has a name
    EXPECT_EQ(e, "wlan cipher: 'unknown 4' is not one of none|wep|tkip|aes|aes+tkip");
    EXPECT_FALSE(MergeAndValidate(wlan, unknown, {{"cipher", "unknown 256"}}, e));
    unknown["mode"] = "adhoc";
    unknown["dhcp"] = "off";
    unknown["auth"] = "unknown 9";
    kept = MergeAndValidate(wlan, unknown, {{"ssid", "Lab"}}, e);
    ASSERT_TRUE(kept) << e;
    EXPECT_EQ(kept->at("auth"), "unknown 9");
    const SGroupDef& usage = *FindGroup("usage");
    EXPECT_FALSE(MergeAndValidate(usage, {{"usb", "on"}, {"bluetooth", "on"}, {"lan", "on"}, {"wlan", "n/a"}},
                                  {{"wlan", "off"}}, e));
    EXPECT_EQ(e, "usage wlan: the hub does not report this interface");
}

TEST(TextFormTest, ACharacterWithoutANameGoesBackAsReadUnlessItsKeyChanges) {
    // Encryption "2" shows as on and mode "7" as mode 1, as the hub's own lists read them.
    SBluetooth bt{"Till", "0000", '2', '7', 5};
    GroupValues values = ToKeyValues(bt);
    EXPECT_EQ(
        values,
        (GroupValues{{"name", "Till"}, {"pin", "0000"}, {"encryption", "on"}, {"mode", "1"}, {"auto_connect", "on"}}));
    values["pin"] = "1234";
    ApplyKeyValues(bt, values);  // keys showing what they showed keep their characters
    EXPECT_EQ(bt, (SBluetooth{"Till", "1234", '2', '7', 5}));
    values["mode"] = "3";
    values["encryption"] = "off";
    values["auto_connect"] = "off";
    ApplyKeyValues(bt, values);
    EXPECT_EQ(bt, (SBluetooth{"Till", "1234", '0', '3', 0}));
    EXPECT_EQ(CheckGroup(bt), "");
    bt.strPin = "12";
    EXPECT_EQ(CheckGroup(bt), "bluetooth pin: minimum length is 4");
    SWlan wlan;
    wlan.strSsid = "Shop";
    wlan.nAuth = 9;
    wlan.nCipher = 0;
    EXPECT_EQ(CheckGroup(wlan), "");
    values = ToKeyValues(wlan);
    EXPECT_EQ(std::tie(values.at("auth"), values.at("cipher")),
              std::make_tuple(std::string("unknown 9"), std::string("none")));
    values["ssid"] = "Lab";
    ApplyKeyValues(wlan, values);
    EXPECT_EQ(wlan.strSsid, "Lab");
    EXPECT_EQ(wlan.nAuth, 9);
    EXPECT_EQ(wlan.nCipher, 0);
}

TEST(SecretsTest, TheModelNamesTheSecretsAndEveryOutputMasksThem) {
    std::vector<std::string> secrets;
    for (const auto& group : SettingGroups())
        for (const auto& key : group.vecKeys)
            if (key.bSecret) secrets.push_back(group.strName + "." + key.strName);
    EXPECT_EQ(secrets, (std::vector<std::string>{"bluetooth.pin", "wlan.wep_key", "wlan.psk", "wlan.eap_password",
                                                 "netproto.ro_community", "netproto.rw_community"}));
    const SGroupDef& wlan = *FindGroup("wlan");
    const GroupValues before = WlanPsk();
    GroupValues after = before;
    after["ssid"] = "Lab";
    // A secret that is set is masked, an empty one stays empty ("not in use" still shows).
    const GroupValues shown = MaskSecrets(wlan, after, &before);
    EXPECT_EQ(std::tie(shown.at("psk"), shown.at("wep_key"), shown.at("ssid")),
              std::make_tuple(std::string("********"), std::string(), std::string("Lab")));
    after["psk"] = "another-key";
    EXPECT_EQ(MaskSecrets(wlan, after, &before).at("psk"), "******** (changed)");
    EXPECT_EQ(MaskSecrets(wlan, after).at("psk"), "********");
    EXPECT_EQ(MaskSecrets(DiffGroup(wlan, before, after)),
              (std::vector<SKeyChange>{{"ssid", "Shop", "Lab", false, false},
                                       {"psk", "********", "******** (changed)", false, true}}));
    after["wep_key"] = "abcde";
    EXPECT_EQ(SecretValues(wlan, after), (std::vector<std::string>{"abcde", "another-key"}));
    // A message may quote a value the model refuses, never a secret's.
    std::string e;
    EXPECT_FALSE(CanonicalValue(Secret(AddressKey("key", "")), "s3cret", e));
    EXPECT_EQ(e, "key: the value is not an IPv4 address");
    EXPECT_FALSE(CanonicalValue(AddressKey("ip", ""), "10.0.0.\x1B[2J", e));
    EXPECT_EQ(e, "ip: '10.0.0.\\x1B[2J' is not an IPv4 address");
}
