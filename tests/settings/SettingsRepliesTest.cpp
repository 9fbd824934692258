// The settings commands' request builders and reply decoders, fed with exactly
// sized replies so that ASan sees any read past the end.
#include "cfglib/SettingsReplies.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexal::cfg {
namespace {

using Bytes = std::vector<uint8_t>;

// A heap copy of exactly the reply's size, so a read past the end is a fault.
class CExactReply {
public:
    CExactReply(std::initializer_list<uint8_t> bytes) : CExactReply(Bytes(bytes)) {}
    explicit CExactReply(const Bytes& bytes)
        : m_pBytes(std::make_unique<uint8_t[]>(bytes.size())), m_nLength(bytes.size()) {
        std::copy(bytes.begin(), bytes.end(), m_pBytes.get());
    }
    operator ReplyBytes() const { return ReplyBytes(m_pBytes.get(), m_nLength); }

private:
    std::unique_ptr<uint8_t[]> m_pBytes;
    size_t m_nLength;
};

Bytes Concat(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(BluetoothReplies, HeaderFailsOnlyWhenEveryCheckedByteDiffers) {
    const auto allWrong =
        DecodeBluetoothChar(EBluetoothItem::ConnectionMode, CExactReply{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, '2'});
    EXPECT_EQ(allWrong.eError, EReplyError::BadHeader);
    // Each of the five bytes alone is enough.
    const Bytes good = {0x13, 0x00, 0x37, 0x42, 0x73};
    for (size_t i = 0; i < good.size(); ++i) {
        Bytes reply = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, '1'};
        reply[i] = good[i];
        const auto result = DecodeBluetoothChar(EBluetoothItem::Encryption, CExactReply(reply));
        ASSERT_TRUE(result.Ok()) << "byte " << i;
        EXPECT_EQ(result.value, '1');
    }
    // The item letter belongs to the command: the name's "d" does not pass a PIN read.
    EXPECT_EQ(DecodeBluetoothText(EBluetoothItem::PinCode, CExactReply{0xFF, 0xFF, 0xFF, 0xFF, 0x64, 'x'}).eError,
              EReplyError::BadHeader);
}

TEST(BluetoothRequests, InfoFieldsAreCountedInBytes) {
    // Empty texts leave empty fields between their terminators.
    EXPECT_EQ(BuildBluetoothInfo('1', "", "", '0'), (Bytes{0x14, 0x00, '0', '1', 0x0D, 0x0D}));
    // Lengths are bytes: a two-byte name makes an eight-byte message.
    EXPECT_EQ(BuildBluetoothInfo('1', "\xC4\xD6", "", '0').size(), 8u);
    EXPECT_EQ(BuildOnOff(kCmdBluetoothAutoWrite, 5), (Bytes{0x59, 0x01}));
    EXPECT_EQ(BuildOnOff(kCmdBluetoothAutoWrite, 0), (Bytes{0x59, 0x00}));
}

TEST(NetworkReplies, WlanReadLengthRules) {
    EXPECT_EQ(DecodeWlanRead(CExactReply(Concat({0x20, 0x00}, Bytes(12)))).eError, EReplyError::WrongLength);
    const auto short593 = DecodeWlanRead(CExactReply(Concat({0x20, 0x00}, Bytes(591))));
    EXPECT_EQ(short593.eError, EReplyError::TooShort);
    EXPECT_EQ(short593.nDetail, 593);
    Bytes block(592);
    block[0] = 0xAA;
    block[591] = 0x51;
    const auto ok = DecodeWlanRead(CExactReply(Concat({0x20, 0x00}, block)));
    ASSERT_TRUE(ok.Ok());
    EXPECT_EQ(ok.value[0], 0xAA);
    EXPECT_EQ(ok.value[591], 0x51);
    // Either header byte is enough.
    EXPECT_TRUE(DecodeWlanRead(CExactReply(Concat({0x77, 0x00}, block))).Ok());
    EXPECT_TRUE(DecodeWlanRead(CExactReply(Concat({0x20, 0x09}, block))).Ok());
    EXPECT_EQ(DecodeWlanRead(CExactReply(Concat({0x77, 0x09}, block))).eError, EReplyError::BadHeader);
}

TEST(SerialReplies, RefusalsComeInTheirOrder) {
    EXPECT_EQ(DecodeSerialRead(0x64, CExactReply{0x03, 0x64, 0x4E, 0x4F}).eError, EReplyError::NotAvailable);
    EXPECT_EQ(DecodeSerialRead(0x64, CExactReply{0x03, 0x64, 0x4F, 0x00, 0x00, 0x00}).eError,
              EReplyError::NotAvailable);
    // "N" wins even over a header that matches nothing.
    EXPECT_EQ(DecodeSerialRead(0x64, CExactReply{0xFF, 0xFF, 0x4E, 0, 0, 0}).eError, EReplyError::NotAvailable);
    EXPECT_EQ(DecodeSerialRead(0x64, CExactReply{0x04, 0x65, 0x02, 0x01, 0x00, 0x00}).eError, EReplyError::BadHeader);
    EXPECT_EQ(DecodeSerialRead(0x64, CExactReply{0x03, 0x64, 0x02, 0x01, 0x00}).eError, EReplyError::TooShort);
    EXPECT_EQ(DecodeSerialRead(0x64, CExactReply{0x03}).eError, EReplyError::TooShort);
    EXPECT_EQ(BuildSerialWrite(0x64, SSerialConfig{6, 1, 0, 2}), (Bytes{0x02, 0x64, 6, 1, 0, 2}));
}

TEST(CustomDeviceReplies, ListFormatsCompleteEntries) {
    const auto two = DecodeCustomList(0, CExactReply{0x40, 0x00, 0x12, 0x34, 0xAB, 0xCD, 0x0A, 0x0B, 0x0C, 0x0D});
    ASSERT_TRUE(two.Ok());
    EXPECT_EQ(two.value, "1234&abcd,0a0b&0c0d,");
    const auto none = DecodeCustomList(0, CExactReply{0x40, 0x00});
    ASSERT_TRUE(none.Ok());
    EXPECT_EQ(none.value, "");
    // A trailing partial entry is left out.
    EXPECT_EQ(DecodeCustomList(4, CExactReply{0x40, 0x04, 1, 2, 3, 4, 5, 6, 7}).value, "0102&0304,");
    EXPECT_EQ(DecodeCustomList(4, CExactReply{0x41, 0x05, 1, 2, 3, 4}).eError, EReplyError::BadHeader);
}

TEST(CustomDeviceRequests, IdentifierTextsBecomeTwoBytes) {
    EXPECT_EQ(BuildCustomChange(kCmdCustomAdd, 3, "1a2B", "00FF"), (Bytes{0x41, 0x03, 0x1A, 0x2B, 0x00, 0xFF}));
    // Only four digits count; missing ones are zero.
    EXPECT_EQ(HexIdBytes("ABCDEF"), (std::array<uint8_t, 2>{0xAB, 0xCD}));
    EXPECT_EQ(HexIdBytes("7"), (std::array<uint8_t, 2>{0x70, 0x00}));
    EXPECT_EQ(HexIdBytes(""), (std::array<uint8_t, 2>{0x00, 0x00}));
}

TEST(InterfaceUsageRequests, LeavesOutValuesOtherThanZeroAndOne) {
    EXPECT_EQ(BuildInterfaceUsageWrite(1, 2, 0), (Bytes{0x0F, 0x01, 0x01, 0x03, 0x00}));
    EXPECT_EQ(BuildInterfaceUsageWrite(2, 2, 2), (Bytes{0x0F}));
    EXPECT_EQ(BuildInterfaceUsageWrite(-1, 256, 1), (Bytes{0x0F, 0x03, 0x01}));
    EXPECT_EQ(BuildInterfaceUsageWrite(0, 1, 0), (Bytes{0x0F, 0x01, 0x00, 0x02, 0x01, 0x03, 0x00}));
}

// Every prefix of a well-formed reply: below the shortest length a command
// takes it is refused, from there on it decodes (exact buffers: ASan sees any
// read past the end).
TEST(ShortReplies, EveryPrefixBelowTheMinimumIsRefused) {
    struct SCase {
        const char* pszName;
        Bytes reply;
        size_t nMinimum;
        std::function<bool(ReplyBytes)> decodes;
    };
    Bytes lan = Concat({0x24, 0x00}, Bytes(30, 1));
    Bytes wlan = Concat({0x20, 0x00}, Bytes(592, 1));
    Bytes wlanAck = Concat({0x21, 0x00}, Bytes(20, 1));
    const std::vector<SCase> cases = {
        {"bluetooth mode",
         {0x10, 0x00, 0x37, 0x42, 0x63, '1'},
         6,
         [](ReplyBytes r) { return DecodeBluetoothChar(EBluetoothItem::ConnectionMode, r).Ok(); }},
        {"bluetooth name",
         {0x11, 0x00, 0x37, 0x42, 0x64, 0x00},
         6,
         [](ReplyBytes r) { return DecodeBluetoothText(EBluetoothItem::Name, r).Ok(); }},
        {"bluetooth PIN",
         {0x12, 0x00, 0x37, 0x42, 0x6B, '1', 0x00},
         6,
         [](ReplyBytes r) { return DecodeBluetoothText(EBluetoothItem::PinCode, r).Ok(); }},
        {"bluetooth encryption",
         {0x13, 0x00, 0x37, 0x42, 0x73, '1'},
         6,
         [](ReplyBytes r) { return DecodeBluetoothChar(EBluetoothItem::Encryption, r).Ok(); }},
        {"auto connection", {0x58, 0x01}, 2, [](ReplyBytes r) { return DecodeBluetoothAutoConnection(r).Ok(); }},
        {"LAN read", lan, 32, [](ReplyBytes r) { return DecodeLanRead(r).Ok(); }},
        {"LAN write", {0x25, 0x00}, 2, [](ReplyBytes r) { return DecodeLanWrite(r).Ok(); }},
        {"WLAN read", wlan, 594, [](ReplyBytes r) { return DecodeWlanRead(r).Ok(); }},
        {"WLAN write", wlanAck, 22, [](ReplyBytes r) { return DecodeWlanWrite(r).Ok(); }},
        {"serial read",
         {0x03, 0x64, 0x02, 0x01, 0x00, 0x00},
         6,
         [](ReplyBytes r) { return DecodeSerialRead(0x64, r).Ok(); }},
        {"custom add", {0x41, 0x03, 0x00}, 3, [](ReplyBytes r) { return DecodeCustomChange(0x41, 3, r).Ok(); }},
        {"custom delete", {0x42, 0x03, 0x00}, 3, [](ReplyBytes r) { return DecodeCustomChange(0x42, 3, r).Ok(); }},
        {"custom reset", {0x43, 0x03, 0x00}, 3, [](ReplyBytes r) { return DecodeCustomChange(0x43, 3, r).Ok(); }},
        {"telnet", {0xD0, 0x01}, 2, [](ReplyBytes r) { return DecodeServiceByte(0xD0, r).Ok(); }},
        {"SNMP", {0xD2, 0x01}, 2, [](ReplyBytes r) { return DecodeServiceByte(0xD2, r).Ok(); }},
        {"usage read", {0x0E, 0x00}, 2, [](ReplyBytes r) { return DecodeInterfaceUsageRead(r).Ok(); }},
        {"usage write", {0x0F, 0x00}, 2, [](ReplyBytes r) { return DecodeInterfaceUsageWrite(r).Ok(); }},
    };
    for (const SCase& c : cases) {
        for (size_t nLength = 0; nLength <= c.reply.size(); ++nLength) {
            const bool bExpected = nLength >= c.nMinimum;
            EXPECT_EQ(c.decodes(CExactReply(Bytes(c.reply.begin(), c.reply.begin() + nLength))), bExpected)
                << c.pszName << " with " << nLength << " bytes";
        }
    }
}

}  // namespace
}  // namespace vexal::cfg
