// The pages' pure parts: block layouts, bounded code-page texts, validation
// and the tables behind the lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "utility/pages/CustomDeviceTables.h"
#include "utility/pages/LanBlock.h"
#include "utility/pages/PageRules.h"
#include "utility/pages/TextField.h"
#include "utility/pages/WlanBlock.h"

using namespace vexal::utility;

namespace {

class PageRules : public ::testing::Test {
protected:
    void SetUp() override { setenv("VEXAL_ANSI_CODEPAGE", "CP1252", 1); }
};

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace

TEST_F(PageRules, TextFieldsStayInsideTheirFieldAndCountCodePageBytes) {
    // Sentinels on both sides catch any write outside the field.
    std::array<uint8_t, 10> buffer;
    buffer.fill(0xEE);
    std::span<uint8_t> field(buffer.data() + 1, 8);

    // CP1252: the euro sign is one byte 0x80, not the three of UTF-8; a
    // character the code page lacks becomes one '?', a surrogate pair too.
    EXPECT_EQ(AnsiLength(u"\u20AC\u00E9"), 2u);
    EXPECT_EQ(WriteTextField(u"a\u20AC\u4E2D\U0001F600", field), 4u);
    EXPECT_EQ(std::vector<uint8_t>(field.begin(), field.end()),
              (std::vector<uint8_t>{'a', 0x80, '?', '?', 0, 0, 0, 0}));

    // Exactly full: no NUL; too long: cut at the field, neighbours untouched.
    EXPECT_EQ(WriteTextField(u"12345678", field), 8u);
    EXPECT_EQ(WriteTextField(u"123456789ABC", field), 8u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.end()), Bytes("\xEE" "12345678" "\xEE"));
    // A surrogate pair at the cut goes whole or not at all.
    EXPECT_EQ(CutToAnsiBytes(u"1234567\U0001F600", 8), u"1234567\U0001F600");
    EXPECT_EQ(CutToAnsiBytes(u"12345678\U0001F600", 8), u"12345678");
    EXPECT_EQ(CutToAnsiBytes(u"\u00E9\u00E9\u00E9", 2), u"\u00E9\u00E9");

    // Reading stops at the NUL, or at the field's end without one.
    EXPECT_EQ(ReadTextField(field), u"12345678");
    const uint8_t withNul[] = {'H', 0x80, 0, 'x'};
    EXPECT_EQ(ReadTextField(withNul), u"H\u20AC");
}

TEST_F(PageRules, LanBlockHasItsFieldsAtTheirOffsets) {
    std::array<uint8_t, kLanBlockSize> raw{};
    std::iota(raw.begin(), raw.end(), uint8_t{1});  // 1..30; bytes 23..29 are foreign
    SLanSettings s = DecodeLanBlock(raw);
    EXPECT_EQ(s.mac, (CMac{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(s.ip, (CIpv4{7, 8, 9, 10}));
    EXPECT_EQ(s.mask, (CIpv4{11, 12, 13, 14}));
    EXPECT_EQ(s.gateway, (CIpv4{15, 16, 17, 18}));
    EXPECT_EQ(s.dns, (CIpv4{19, 20, 21, 22}));
    EXPECT_EQ(s.nDhcp, 23);
    auto back = EncodeLanBlock(s);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 23, raw.begin()));
    EXPECT_TRUE(std::all_of(back.begin() + 23, back.end(), [](uint8_t b) { return b == 0; }));

    EXPECT_EQ(FormatMac({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(ParseMac("00:1a:2B:3c:4d:5E"), (CMac{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_FALSE(ParseMac("00:1a:2b:3c:4d"));
    EXPECT_FALSE(ParseMac("00:1a:2b:3c:4d:5g"));
}

TEST_F(PageRules, WlanBlockReadsOnlyTheKeysOfItsAuthentication) {
    std::array<uint8_t, kWlanBlockSize> raw{};
    auto put = [&](size_t nAt, std::string_view text) { std::copy(text.begin(), text.end(), raw.begin() + nAt); };
    raw.fill(0);
    std::fill(raw.begin() + 18, raw.begin() + 51, uint8_t{'N'});  // 33-byte name without NUL
    raw[51] = 0;
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

    const std::pair<int, int> kCases[] = {{0, 0}, {0, 1}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 2}, {9, 9}};
    for (auto [nAuth, nCipher] : kCases) {
        SCOPED_TRACE(nAuth);
        raw[97] = static_cast<uint8_t>(nAuth);
        raw[98] = static_cast<uint8_t>(nCipher);
        SWlanSettings s = DecodeWlanBlock(raw);
        EXPECT_EQ(s.strSsid, std::u16string(32, u'S'));
        EXPECT_EQ(s.nAuthentication, nAuth);
        EXPECT_EQ(s.nCipher, nCipher);
        EXPECT_EQ(s.ip, (CIpv4{192, 168, 0, 10}));
        EXPECT_EQ(s.nInactivity, 300);
        bool bWep = nAuth == 1 || (nAuth == 0 && nCipher == 1);
        bool bEap = nAuth == 4 || nAuth == 5;
        bool bPsk = nAuth >= 2 && !bEap;  // unknown values read the pre-shared key
        EXPECT_EQ(s.strWepKey, bWep ? u"WEPKY" : u"");
        EXPECT_EQ(s.strEapIdentity, bEap ? u"ident" : u"");
        EXPECT_EQ(s.strEapPassword, bEap ? u"secret" : u"");
        EXPECT_EQ(s.strPsk, bPsk ? u"passphrase" : u"");
    }
}

TEST_F(PageRules, WlanBlockIsWrittenWithItsConstantsAndBoundedTexts) {
    SWlanSettings s;
    s.deviceName.fill(0x81);  // an undefined CP1252 byte, back unchanged
    s.nNetworkMode = 1;
    s.nDhcp = 0;
    s.ip = {10, 0, 0, 5};
    s.mask = {255, 255, 255, 0};
    s.gateway = {10, 0, 0, 1};
    s.strSsid = std::u16string(40, u'S');           // over-long: cut to 32
    s.nAuthentication = kAuthWpa2Psk;
    s.nCipher = kCipherAes;
    s.strWepKey = u"never";                         // not WEP: not written
    s.strPsk = std::u16string(70, u'p');            // cut to 64, byte 267 intact
    s.nEapMethod = 2;                               // not EAP: written as 0
    s.strEapIdentity = std::u16string(32, u'i');    // full field, no NUL
    s.strEapPassword = std::u16string(100, u'w');   // cut to 96, 397 intact
    s.nInactivity = 0x1234;
    auto b = EncodeWlanBlock(s);

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

    // WEP in use: the key goes to 99; EAP: the method goes to 268.
    s.nAuthentication = kAuthOpenSystem;
    s.nCipher = kCipherWep;
    s.strWepKey = u"ABCDE";
    EXPECT_EQ(EncodeWlanBlock(s)[99], 'A');
    s.nAuthentication = kAuthWpaEap;
    EXPECT_EQ(EncodeWlanBlock(s)[99], 0);
    EXPECT_EQ(EncodeWlanBlock(s)[268], 2);

    std::array<uint8_t, kWlanAnswerSize> answer{};
    answer[4] = '_';
    answer[14] = 'S';
    answer[15] = 'U';
    EXPECT_FALSE(IsWlanWriteAcknowledged(answer));
    answer[16] = 'C';
    EXPECT_TRUE(IsWlanWriteAcknowledged(answer));
}

TEST_F(PageRules, KeyAndLengthRulesCountConvertedBytes) {
    EXPECT_FALSE(IsValidWepKey(u"1234"));
    EXPECT_TRUE(IsValidWepKey(u"12345"));
    EXPECT_FALSE(IsValidWepKey(u"123456"));
    EXPECT_TRUE(IsValidWepKey(u"1234567890123"));

    EXPECT_EQ(PskSetMessage(u"1234567"), "PSK Key : Minimum length is 8");
    EXPECT_EQ(PskSetMessage(u"12345678"), std::nullopt);
    EXPECT_EQ(PskSetMessage(std::u16string(63, u'x')), std::nullopt);
    EXPECT_EQ(PskSetMessage(std::u16string(64, u'x')), "Maximum length is 63");
    EXPECT_EQ(PskSetMessage(std::u16string(64, u'F')), std::nullopt);  // raw key in hex
    EXPECT_EQ(PskLimitMessage(std::u16string(65, u'F')), "Maximum length is 63");

    // 30 euro signs are 30 bytes in CP1252 (90 in UTF-8): within the limit.
    EXPECT_EQ(LengthLimitMessage(std::u16string(30, u'\u20AC'), kBluetoothNameMax), std::nullopt);
    EXPECT_EQ(LengthLimitMessage(std::u16string(31, u'\u20AC'), kBluetoothNameMax), "Maximum length is 30");

    EXPECT_TRUE(IsDeviceIdentifier(u"1a2B"));
    EXPECT_FALSE(IsDeviceIdentifier(u"1a2"));
    EXPECT_FALSE(IsDeviceIdentifier(u"12G4"));
    EXPECT_FALSE(IsDeviceIdentifier(u"12 4"));
}

TEST_F(PageRules, IdentifierListsParseCompleteEntriesOnly) {
    auto rows = ParseUsbIdList(u"1234&5678,0abc&def0,", false);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].strVid, u"0abc");
    EXPECT_EQ(rows[1].strPid, u"def0");
    EXPECT_TRUE(ParseUsbIdList(u"", false).empty());
    EXPECT_TRUE(ParseUsbIdList(u",,", false).empty());
    // A text that filled its object: the piece after the last comma is cut.
    rows = ParseUsbIdList(u"1234&5678,0abc&de", true);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].strPid, u"5678");
    EXPECT_TRUE(ParseUsbIdList(u"1234&56", true).empty());
    EXPECT_EQ(ParseUsbIdList(u"ab", false)[0].strPid, u"ab");  // short pieces stay inside
}

TEST_F(PageRules, DeviceTablesAtTheirBoundaries) {
    const std::pair<int, const char*> kNames[] = {
        {0, "Unknown Device"}, {1, "Label Printer"},  {9, "Label Printer"},   {10, "Local Printer"},
        {11, "POS Printer"},   {19, "POS Printer"},   {20, "HID Input"},      {29, "HID Input"},
        {49, "Barcode Scanner"}, {50, "Unknown Device"}, {59, "Unknown Device"}, {60, "RFID"},
        {89, "NFC"},           {90, "Unknown Device"}, {99, "Unknown Device"}, {100, "USB Serial"},
        {109, "USB Serial"},   {110, "BCD Display"},  {120, "USB to Serial"}, {129, "USB to Serial"},
        {130, "Scale"},        {139, "Scale"},        {140, "Unknown Device"}, {255, "Unknown Device"}};
    for (auto [nId, pszName] : kNames)
        EXPECT_STREQ(DeviceTypeNameForId(nId), pszName) << nId;

    EXPECT_EQ(DeviceTypePositionForName("Local Printer"), 0);
    EXPECT_EQ(DeviceTypePositionForName("pos printer"), 0);
    EXPECT_EQ(DeviceTypePositionForName("USB to Serial"), 8);
    EXPECT_EQ(DeviceTypePositionForName("HID Input"), -1);
    EXPECT_EQ(DeviceTypePositionForName("USB Serial"), -1);

    EXPECT_EQ(CustomDeviceResultText(ECustomDeviceAction::Add, 0), "Add custom device success");
    EXPECT_EQ(CustomDeviceResultText(ECustomDeviceAction::ReInit, 0), "Re-Init custom device success");
    EXPECT_EQ(CustomDeviceResultText(ECustomDeviceAction::Delete, 4), "Fail-OverlapID");
    EXPECT_EQ(CustomDeviceResultText(ECustomDeviceAction::Add, 6), "Fail-ListFull");
    EXPECT_EQ(CustomDeviceResultText(ECustomDeviceAction::Delete, 1011),
              "Failed to delete custom device (error 1011).");

    const uint8_t ids[] = {10, 99, 100, 129, 130, 0x7F};
    EXPECT_EQ(UsbSerialDeviceTexts(ids, 6), (std::vector<std::string>{"64", "81", "7F"}));
}
