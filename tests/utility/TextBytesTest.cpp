// The two text helpers the pages share: code page, bounds and the hex rules.
#include "utility/logic/TextBytes.h"

#include <gtest/gtest.h>

#include <array>

using namespace vexal::utility;

TEST(TextBytesTest, TextToBytesConvertsAndNeverWritesPastTheDestination) {
    std::array<uint8_t, 8> buf{};
    buf.fill(0xEE);
    EXPECT_EQ(TextToBytes(u"Caf\u00e9", buf.data(), 6), 5u);  // CP1252 é is one byte
    EXPECT_EQ(buf[3], 0xE9);
    EXPECT_EQ(buf[4], 0);
    EXPECT_EQ(buf[5], 0xEE);

    buf.fill(0xEE);
    EXPECT_EQ(TextToBytes(u"ABCDEFGH", buf.data(), 4), 4u);  // cut, still terminated
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data())), "ABC");
    EXPECT_EQ(buf[4], 0xEE);
    EXPECT_EQ(TextToBytes(u"A", buf.data(), 0), 0u);
    EXPECT_EQ(TextToBytes(u"", buf.data(), 1), 1u);
}

TEST(TextBytesTest, HexTextToBytesDecodesPairsAndReturnsTheConvertedLength) {
    std::array<uint8_t, 8> buf{};
    buf.fill(0xEE);
    EXPECT_EQ(HexTextToBytes(u"0aFf19", buf.data(), buf.size()), 7u);
    EXPECT_EQ(buf[0], 0x0A);
    EXPECT_EQ(buf[1], 0xFF);
    EXPECT_EQ(buf[2], 0x19);
    EXPECT_EQ(buf[3], 0xEE);

    // Odd length: the last byte's low half is 0.
    buf.fill(0xEE);
    EXPECT_EQ(HexTextToBytes(u"ABC", buf.data(), buf.size()), 4u);
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_EQ(buf[1], 0xC0);
    EXPECT_EQ(buf[2], 0xEE);

    // Non-digits keep the low four bits of c - 0x37 ('G' -> 0x10 -> 0).
    buf.fill(0xEE);
    HexTextToBytes(u"G1", buf.data(), buf.size());
    EXPECT_EQ(buf[0], 0x01);

    // Stops at the first pair starting at a zero; the result is the length.
    buf.fill(0xEE);
    EXPECT_EQ(HexTextToBytes(std::u16string_view(u"41\0"
                                                 u"42",
                                                 5),
                             buf.data(), buf.size()),
              3u);
    EXPECT_EQ(buf[0], 0x41);
    EXPECT_EQ(buf[1], 0xEE);

    // Never past the destination.
    buf.fill(0xEE);
    EXPECT_EQ(HexTextToBytes(u"0102030405", buf.data(), 2), 11u);
    EXPECT_EQ(buf[1], 0x02);
    EXPECT_EQ(buf[2], 0xEE);
}
