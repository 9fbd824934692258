// Echo request layout, checksum, identifiers and reply judgement.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "portlib/PingCheck.h"

using namespace vexal;

namespace {

constexpr uint32_t kHub = 0xC0A80A14;  // 192.168.10.20

// An echo reply as a raw socket shows it: IPv4 header of `ihl` words first.
std::vector<uint8_t> Reply(uint16_t wId, uint8_t type = 0, int ihl = 5, size_t nPayload = 32) {
    std::vector<uint8_t> d(static_cast<size_t>(ihl) * 4 + 8 + nPayload, 0);
    d[0] = static_cast<uint8_t>(0x40 | ihl);
    const size_t h = static_cast<size_t>(ihl) * 4;
    d[h] = type;
    d[h + 4] = static_cast<uint8_t>(wId >> 8);
    d[h + 5] = static_cast<uint8_t>(wId);
    return d;
}

}  // namespace

TEST(PingCheck, ChecksumFollowsRfc1071) {
    // The worked example of RFC 1071 section 3: sum 0xDDF2, checksum 0x220D.
    const std::array<uint8_t, 8> example = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(InternetChecksum(example), 0x220D);
    // An odd last byte counts as the high half of a word.
    const std::array<uint8_t, 3> odd = {0x12, 0x34, 0x56};
    EXPECT_EQ(InternetChecksum(odd), static_cast<uint16_t>(~(0x1234 + 0x5600)));
    // Carries fold back in.
    const std::array<uint8_t, 4> carry = {0xFF, 0xFF, 0x00, 0x02};
    EXPECT_EQ(InternetChecksum(carry), static_cast<uint16_t>(~0x0002));
    EXPECT_EQ(InternetChecksum({}), 0xFFFF);
}

TEST(PingCheck, EchoRequestLayout) {
    const EchoRequest r = BuildEchoRequest(0x1234);
    ASSERT_EQ(r.size(), 40u);
    EXPECT_EQ(r[0], 0x08);
    EXPECT_EQ(r[1], 0x00);
    EXPECT_EQ(r[4], 0x12);
    EXPECT_EQ(r[5], 0x34);
    EXPECT_EQ(r[6], 0x00);
    EXPECT_EQ(r[7], 0x00);
    for (size_t i = 8; i < 40; ++i) EXPECT_EQ(r[i], 0x20) << "payload byte " << i;
    // A correct checksum makes the whole message sum to zero.
    EXPECT_EQ(InternetChecksum(r), 0);
    EXPECT_NE(BuildEchoRequest(0x1235)[2] << 8 | BuildEchoRequest(0x1235)[3], r[2] << 8 | r[3]);
}

TEST(PingCheck, IdentifierIsSeededByTheSecondAndBelow32768) {
    std::set<uint16_t> seen;
    for (uint32_t s = 1700000000; s < 1700000200; ++s) {
        const uint16_t w = EchoIdentifierForSeed(s);
        EXPECT_LT(w, 32768);
        EXPECT_EQ(w, EchoIdentifierForSeed(s));
        seen.insert(w);
    }
    EXPECT_GT(seen.size(), 150u);  // spread, not a constant
}

TEST(PingCheck, LeasesKeepConcurrentIdentifiersApart) {
    // Two checks drawing in the same second want the same value.
    CEchoIdLease first(4711);
    CEchoIdLease second(4711);
    EXPECT_EQ(first.Id(), 4711);
    EXPECT_NE(second.Id(), first.Id());
    EXPECT_LT(second.Id(), 32768);
    {
        CEchoIdLease top(32767);
        CEchoIdLease wrapped(32767);
        EXPECT_EQ(top.Id(), 32767);
        EXPECT_LT(wrapped.Id(), 32768);  // wraps within the drawn range
        EXPECT_NE(wrapped.Id(), 32767);
    }
    CEchoIdLease again(32767);  // released by the leases above
    EXPECT_EQ(again.Id(), 32767);
}

TEST(PingCheck, ReplyJudgement) {
    const uint16_t id = 0x0BAD;
    EXPECT_EQ(ValidateEchoReply(Reply(id), kHub, kHub, id), EEchoReply::Valid);
    // Header length from the low nibble: options move the ICMP message.
    EXPECT_EQ(ValidateEchoReply(Reply(id, 0, 6), kHub, kHub, id), EEchoReply::Valid);
    EXPECT_EQ(ValidateEchoReply(Reply(id, 0, 15, 0), kHub, kHub, id), EEchoReply::Valid);
    // Exactly header + 8 is long enough; one less is not.
    std::vector<uint8_t> d = Reply(id, 0, 5, 0);
    EXPECT_EQ(ValidateEchoReply(d, kHub, kHub, id), EEchoReply::Valid);
    d.pop_back();
    EXPECT_EQ(ValidateEchoReply(d, kHub, kHub, id), EEchoReply::TooShort);
    EXPECT_EQ(ValidateEchoReply({}, kHub, kHub, id), EEchoReply::TooShort);
    // A header length pointing past the datagram.
    std::vector<uint8_t> longHeader = Reply(id);
    longHeader[0] = 0x4F;
    longHeader.resize(60);
    EXPECT_EQ(ValidateEchoReply(longHeader, kHub, kHub, id), EEchoReply::TooShort);

    EXPECT_EQ(ValidateEchoReply(Reply(id), kHub + 1, kHub, id), EEchoReply::WrongSource);
    EXPECT_EQ(ValidateEchoReply(Reply(id, 8), kHub, kHub, id), EEchoReply::WrongType);
    EXPECT_EQ(ValidateEchoReply(Reply(id, 3), kHub, kHub, id), EEchoReply::WrongType);
    EXPECT_EQ(ValidateEchoReply(Reply(id + 1), kHub, kHub, id), EEchoReply::WrongIdentifier);
    EXPECT_EQ(ValidateEchoReply(Reply(static_cast<uint16_t>(id << 8)), kHub, kHub, id),
              EEchoReply::WrongIdentifier);  // byte order matters
}
