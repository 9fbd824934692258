// The hub's bytes and the model's values: texts in fixed fields, the LAN and
// WLAN blocks, the lists of identifiers the library returns.
#include "model/CustomDevices.h"
#include "model/HubText.h"
#include "model/Identification.h"
#include "model/Lan.h"
#include "model/SerialLine.h"
#include "model/Wlan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

using namespace vexal::model;

namespace {

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(HubTextTest, FieldsStayInsideThemselvesAndCountCodePageBytes) {
    // Sentinels on both sides catch any write outside the field.
    std::array<uint8_t, 10> buffer;
    buffer.fill(0xEE);
    std::span<uint8_t> field(buffer.data() + 1, 8);

    // CP1252: the euro sign is one byte 0x80, not the three of UTF-8; a
    // character the code page lacks becomes one '?', a surrogate pair too.
    EXPECT_EQ(HubByteLength(u"\u20AC\u00E9"), 2u);
    EXPECT_EQ(HubByteLength("\xE2\x82\xAC\xC3\xA9"), 2u);
    EXPECT_EQ(WriteHubField("a\u20AC\u4E2D\U0001F600", field), 4u);
    EXPECT_EQ(std::vector<uint8_t>(field.begin(), field.end()),
              (std::vector<uint8_t>{'a', 0x80, '?', '?', 0, 0, 0, 0}));

    // Exactly full: no NUL; too long: cut at the field, neighbours untouched.
    EXPECT_EQ(WriteHubField("12345678", field), 8u);
    EXPECT_EQ(WriteHubField("123456789ABC", field), 8u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.end()), Bytes("\xEE"
                                                                        "12345678"
                                                                        "\xEE"));
    // A surrogate pair at the cut goes whole or not at all.
    EXPECT_EQ(CutToHubBytes(u"1234567\U0001F600", 8), u"1234567\U0001F600");
    EXPECT_EQ(CutToHubBytes(u"12345678\U0001F600", 8), u"12345678");
    EXPECT_EQ(CutToHubBytes(u"\u00E9\u00E9\u00E9", 2), u"\u00E9\u00E9");

    // Reading stops at the NUL, or at the field's end without one.
    EXPECT_EQ(ReadHubField(field), "12345678");
    const uint8_t withNul[] = {'H', 0x80, 0, 'x'};
    EXPECT_EQ(ReadHubField(withNul), "H\u20AC");
    EXPECT_EQ(Printable("a\x01\xC3\xA9", 3), "a\\x01\\xC3...");
}

TEST(LanCodecTest, FieldsAtTheirOffsetsMacAsReadUnusedBytesAsZeros) {
    CLanBlock raw{};
    std::iota(raw.begin(), raw.end(), uint8_t{1});  // 1..30; bytes 23..29 are foreign
    SLan lan = DecodeLan(raw);
    EXPECT_EQ(lan.mac, (CMac{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(lan.ip, (CIpv4{7, 8, 9, 10}));
    EXPECT_EQ(lan.mask, (CIpv4{11, 12, 13, 14}));
    EXPECT_EQ(lan.gateway, (CIpv4{15, 16, 17, 18}));
    EXPECT_EQ(lan.dns, (CIpv4{19, 20, 21, 22}));
    EXPECT_EQ(lan.nDhcp, 23);
    // DHCP other than 1 reads as off and goes out as 0.
    auto back = EncodeLan(lan);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 22, raw.begin()));
    EXPECT_EQ(back[22], 0);
    EXPECT_TRUE(std::all_of(back.begin() + 23, back.end(), [](uint8_t b) { return b == 0; }));

    // The text form: the MAC shown, never written; the rest set by key.
    auto values = ToKeyValues(lan);
    EXPECT_EQ(values.at("mac"), "01:02:03:04:05:06");
    EXPECT_EQ(values.at("dns"), "19.20.21.22");
    EXPECT_EQ(values.at("dhcp"), "off");
    values["ip"] = "10.1.2.3";
    values["dhcp"] = "on";
    values["mac"] = "ff:ff:ff:ff:ff:ff";
    ApplyKeyValues(lan, values);
    back = EncodeLan(lan);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 6, raw.begin()));
    EXPECT_EQ(std::vector<uint8_t>(back.begin() + 6, back.begin() + 10), (std::vector<uint8_t>{10, 1, 2, 3}));
    EXPECT_EQ(back[22], 1);

    EXPECT_EQ(FormatMac({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(ParseMac("00:1a:2B:3c:4d:5E"), (CMac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_FALSE(ParseMac("00:1a:2b:3c:4d"));
    EXPECT_FALSE(ParseMac("00:1a:2b:3c:4d:5g"));
    EXPECT_EQ(ParseIpv4("010.0.0.255"), (CIpv4{10, 0, 0, 255}));
    EXPECT_FALSE(ParseIpv4("10.0.0.256"));
    EXPECT_FALSE(ParseIpv4("10.0.0"));
    EXPECT_FALSE(ParseIpv4("10.0.0.1.2"));
}

TEST(WlanCodecTest, ReadsOnlyTheKeysOfItsAuthentication) {
    CWlanBlock raw{};
    auto put = [&](size_t nAt, std::string_view text) { std::copy(text.begin(), text.end(), raw.begin() + nAt); };
    std::fill(raw.begin() + 18, raw.begin() + 51, uint8_t{'N'});  // 33-byte name without NUL
    raw[52] = 1;
    raw[53] = 0xC0;
    raw[54] = 0xA8;
    raw[56] = 0x0A;
    put(65, std::string(32, 'S'));  // 32-byte SSID, no NUL, auth byte right behind
    put(99, "WEPKY");
    put(203, "passphrase");
    raw[268] = 3;
    put(269, "ident");
    put(301, "secret");
    raw[587] = 0x01;
    raw[588] = 0x2C;

    const std::pair<int, int> kCases[] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {2, 2}, {3, 3}, {4, 4}, {5, 2}, {9, 9}};
    for (auto [nAuth, nCipher] : kCases) {
        SCOPED_TRACE(nAuth * 10 + nCipher);
        raw[97] = static_cast<uint8_t>(nAuth);
        raw[98] = static_cast<uint8_t>(nCipher);
        const SWlan s = DecodeWlan(raw);
        EXPECT_EQ(s.DeviceName(), std::string(33, 'N'));
        EXPECT_EQ(s.strSsid, std::string(32, 'S'));
        EXPECT_EQ(s.nAuth, nAuth);
        // A shared-key network uses WEP whatever its cipher byte says.
        EXPECT_EQ(s.nCipher, nAuth == 1 ? kCipherWep : nCipher);
        EXPECT_EQ(s.ip, (CIpv4{192, 168, 0, 10}));
        EXPECT_EQ(s.nInactivity, 300);
        const bool bWep = nAuth == 1 || (nAuth == 0 && nCipher == 1);
        const bool bEap = nAuth == 4 || nAuth == 5;
        const bool bPsk = nAuth >= 2 && !bEap;  // unknown values read the pre-shared key
        EXPECT_EQ(s.strWepKey, bWep ? "WEPKY" : "");
        EXPECT_EQ(s.nEapMethod, bEap ? std::optional<uint8_t>(3) : std::nullopt);
        EXPECT_EQ(s.strEapIdentity, bEap ? "ident" : "");
        EXPECT_EQ(s.strEapPassword, bEap ? "secret" : "");
        EXPECT_EQ(s.strPsk, bPsk ? "passphrase" : "");
        const GroupValues values = ToKeyValues(s);
        EXPECT_EQ(values.at("eap"), bEap ? "leap" : "");
        const char* const kAuths[] = {"open", "shared", "wpa-psk", "wpa2-psk", "wpa-eap", "wpa2-eap"};
        EXPECT_EQ(values.at("auth"), nAuth == 9 ? "unknown 9" : kAuths[nAuth]);
    }
}

TEST(WlanCodecTest, WrittenWithItsConstantsBoundedTextsAndTheNameAsRead) {
    SWlan s;
    s.deviceName.fill(0x81);  // an undefined CP1252 byte, back unchanged
    s.nMode = kWlanAdhoc;
    s.nDhcp = 1;  // no DHCP in ad hoc mode
    s.ip = {10, 0, 0, 5};
    s.mask = {255, 255, 255, 0};
    s.gateway = {10, 0, 0, 1};
    s.strSsid = std::string(40, 'S');  // over-long: cut to 32
    s.nAuth = kAuthWpa2Psk;
    s.nCipher = kCipherAes;
    s.strWepKey = "never";                     // not WEP: not written
    s.strPsk = std::string(70, 'p');           // cut to 64, byte 267 intact
    s.nEapMethod = 2;                          // not EAP: written as 0
    s.strEapIdentity = std::string(32, 'i');   // full field, no NUL
    s.strEapPassword = std::string(100, 'w');  // cut to 96, 397 intact
    s.nInactivity = 0x1234;
    auto b = EncodeWlan(s);

    EXPECT_TRUE(std::all_of(b.begin(), b.begin() + 18, [](uint8_t x) { return x == 0; }));
    EXPECT_TRUE(std::all_of(b.begin() + 18, b.begin() + 51, [](uint8_t x) { return x == 0x81; }));
    EXPECT_EQ(b[51], 1);
    EXPECT_EQ(b[52], 0);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 53, b.begin() + 65),
              (std::vector<uint8_t>{10, 0, 0, 5, 255, 255, 255, 0, 10, 0, 0, 1}));
    EXPECT_EQ(std::count(b.begin() + 65, b.begin() + 97, 'S'), 32);
    EXPECT_EQ(b[97], kAuthWpa2Psk);
    EXPECT_EQ(b[98], kCipherAes);
    EXPECT_TRUE(std::all_of(b.begin() + 99, b.begin() + 203, [](uint8_t x) { return x == 0; }));
    EXPECT_EQ(std::count(b.begin() + 203, b.begin() + 267, 'p'), 64);
    EXPECT_EQ(b[267], 0x06);
    EXPECT_EQ(b[268], 0);
    EXPECT_EQ(std::count(b.begin() + 269, b.begin() + 301, 'i'), 32);
    EXPECT_EQ(std::count(b.begin() + 301, b.begin() + 397, 'w'), 96);
    EXPECT_EQ(b[397], 0x23);
    EXPECT_EQ(b[398], 0x8C);
    EXPECT_TRUE(std::all_of(b.begin() + 399, b.begin() + 587, [](uint8_t x) { return x == 0; }));
    EXPECT_EQ(b[587], 0x12);
    EXPECT_EQ(b[588], 0x34);
    EXPECT_EQ(b[589], 0);
    EXPECT_EQ(b[590], 'V');
    EXPECT_EQ(b[591], 'Q');
    s.nMode = kWlanInfrastructure;
    EXPECT_EQ(EncodeWlan(s)[52], 1);

    // WEP in use: the key goes to 99; EAP: the method goes to 268.
    s.nAuth = kAuthOpenSystem;
    s.nCipher = kCipherWep;
    s.strWepKey = "ABCDE";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&EncodeWlan(s)[99])), "ABCDE");
    s.nAuth = kAuthWpaEap;
    EXPECT_EQ(EncodeWlan(s)[99], 0);
    EXPECT_EQ(EncodeWlan(s)[268], 2);

    CWlanAnswer answer{};
    answer[4] = '_';
    answer[14] = 'S';
    answer[15] = 'U';
    EXPECT_FALSE(IsWlanWriteAcknowledged(answer));
    answer[16] = 'C';
    EXPECT_TRUE(IsWlanWriteAcknowledged(answer));
}

TEST(WlanCodecTest, TheTextFormSetsKeysAndKeepsWhatItCannotName) {
    CWlanBlock read{};
    const char szName[] = "Hub-WLAN\xE9";  // one CP1252 byte past ASCII goes back unchanged
    std::copy(szName, szName + sizeof szName - 1, read.begin() + 18);
    read[5] = 0x55;  // unused bytes are never written
    read[51] = 7;    // a mode without a name
    SWlan s = DecodeWlan(read);
    GroupValues values = {{"device_name", "ignored"},
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
    ApplyKeyValues(s, values);
    EXPECT_EQ(s.nMode, 7);  // no key given: as read
    CWlanBlock b = EncodeWlan(s);
    EXPECT_EQ(b[5], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[18])), std::string(szName));
    EXPECT_EQ(b[51], 7);
    EXPECT_EQ(b[52], 0);  // DHCP never outside infrastructure mode
    values["mode"] = "infra";
    ApplyKeyValues(s, values);
    b = EncodeWlan(s);
    EXPECT_EQ(b[51], 0);
    EXPECT_EQ(b[52], 1);
    EXPECT_EQ(b[97], 3);
    EXPECT_EQ(b[98], 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[203])), "secret-key");
    values["device_name"] = "Hub-WLAN\xC3\xA9";
    EXPECT_EQ(ToKeyValues(DecodeWlan(b)), values);
    values["auth"] = "open";
    values["cipher"] = "wep";
    values["wep_key"] = "abcde";
    values["psk"] = "";
    ApplyKeyValues(s, values);
    EXPECT_EQ(ToKeyValues(DecodeWlan(EncodeWlan(s))).at("wep_key"), "abcde");
    values["auth"] = "wpa2-eap";
    values["cipher"] = "tkip";
    values["eap"] = "tls";
    ApplyKeyValues(s, values);
    EXPECT_EQ(EncodeWlan(s)[268], 2);
    EXPECT_EQ(EncodeWlan(s)[99], 0);
}

TEST(WlanCodecTest, ListsFollowTheAuthentication) {
    EXPECT_EQ(AuthCount(kWlanInfrastructure), 6);
    EXPECT_EQ(AuthCount(3), 2);  // any mode but infrastructure offers ad hoc's two
    EXPECT_EQ(CiphersFor(kAuthOpenSystem), (std::vector<uint8_t>{kCipherNone, kCipherWep}));
    EXPECT_EQ(CiphersFor(kAuthSharedKey), (std::vector<uint8_t>{kCipherWep}));
    EXPECT_EQ(CiphersFor(9), (std::vector<uint8_t>{kCipherTkip, kCipherAes, kCipherAesTkip}));
    EXPECT_EQ(CipherAt(kAuthSharedKey, 0), kCipherWep);
    EXPECT_EQ(CipherAt(kAuthWpaEap, 3), -1);
    EXPECT_EQ(CipherPosition(kAuthWpa2Psk, kCipherAesTkip), 2);
    EXPECT_EQ(CipherPosition(kAuthOpenSystem, kCipherAes), -1);
    EXPECT_EQ(KeyInUse(kAuthOpenSystem, kCipherNone), EWlanKey::None);
    EXPECT_EQ(KeyInUse(kAuthSharedKey, kCipherNone), EWlanKey::Wep);
    EXPECT_EQ(KeyInUse(kAuthWpa2Eap, kCipherAes), EWlanKey::Eap);
    EXPECT_EQ(KeyInUse(9, kCipherWep), EWlanKey::Psk);
}

TEST(ListTextTest, PiecesEntriesAndWhatACutTextLeaves) {
    EXPECT_EQ(SplitListText("1234&5678,0abc&def0,", false), (std::vector<std::string>{"1234&5678", "0abc&def0"}));
    EXPECT_TRUE(SplitListText("", false).empty());
    EXPECT_TRUE(SplitListText(",,", false).empty());
    // A text that filled its object: the piece after the last comma is cut.
    EXPECT_EQ(SplitListText("1234&5678,0abc&de", true), std::vector<std::string>{"1234&5678"});
    EXPECT_TRUE(SplitListText("1234&56", true).empty());
    EXPECT_EQ(SplitListText("ab", false), std::vector<std::string>{"ab"});
    // Entries: four hexadecimal digits each side, lower-case.
    EXPECT_EQ(ParseUsbIdList("1A2B&00FF,ab,12g4&0000,1234&5678&,0abc&def0"),
              (std::vector<std::string>{"1a2b&00ff", "0abc&def0"}));
    EXPECT_EQ(ParseUsbId("00Fe"), "00fe");
    EXPECT_FALSE(ParseUsbId("0fe"));
    EXPECT_FALSE(ParseUsbId("0x1f"));

    EXPECT_EQ(ParseCustomType("Barcode Scanner"), 3);
    EXPECT_EQ(ParseCustomType("usb_to_serial"), 8);
    EXPECT_EQ(ParseCustomType("9"), 9);
    EXPECT_FALSE(ParseCustomType("10"));
    EXPECT_FALSE(ParseCustomType(""));
    EXPECT_STREQ(CustomStatusMeaning(4), "Fail-OverlapID");
    EXPECT_STREQ(CustomStatusMeaning(6), "Fail-ListFull");
    EXPECT_EQ(CustomStatusMeaning(7), nullptr);
}

TEST(ListTextTest, DeviceIdsAtTheirBoundaries) {
    const std::pair<int, const char*> kNames[] = {{0, "Unknown Device"},
                                                  {1, "Label Printer"},
                                                  {9, "Label Printer"},
                                                  {10, "Local Printer"},
                                                  {11, "POS Printer"},
                                                  {19, "POS Printer"},
                                                  {20, "HID Input"},
                                                  {29, "HID Input"},
                                                  {49, "Barcode Scanner"},
                                                  {50, "Unknown Device"},
                                                  {59, "Unknown Device"},
                                                  {60, "RFID"},
                                                  {89, "NFC"},
                                                  {90, "Unknown Device"},
                                                  {99, "Unknown Device"},
                                                  {100, "USB Serial"},
                                                  {109, "USB Serial"},
                                                  {110, "BCD Display"},
                                                  {120, "USB to Serial"},
                                                  {129, "USB to Serial"},
                                                  {130, "Scale"},
                                                  {139, "Scale"},
                                                  {140, "Unknown Device"},
                                                  {255, "Unknown Device"}};
    for (auto [nId, pszName] : kNames) EXPECT_STREQ(DeviceTypeName(nId), pszName) << nId;

    EXPECT_EQ(SerialAdapters({10, 99, 100, 129, 130, 0x7F}), (std::vector<int>{100, 129, 0x7F}));
    EXPECT_EQ(DeviceIdText(0x7F), "7F");
    EXPECT_EQ(DeviceIdText(100), "64");
    EXPECT_EQ(ParseSerialDeviceId("0x64"), 100);
    EXPECT_EQ(ParseSerialDeviceId("129"), 129);
    EXPECT_FALSE(ParseSerialDeviceId("99"));
    EXPECT_FALSE(ParseSerialDeviceId("0x82"));
    EXPECT_FALSE(ParseSerialDeviceId(""));
}
