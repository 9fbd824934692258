// LAN and WLAN settings through the exported functions against the simulated hub.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ZamoCfgClient.h"

namespace settings_test {
namespace {

class NetworkSettings : public ::testing::Test {
protected:
    CHubSession m_session;
    const SZamoCfgApi& api = m_session.Api();
    const int32_t h = m_session.Handle();
};

Bytes WithHeader(Bytes header, const Bytes& body) {
    header.insert(header.end(), body.begin(), body.end());
    return header;
}

TEST_F(NetworkSettings, LanBlockReadWrittenAndReadBack) {
    m_session.ClearReceived();
    uint8_t block[30] = {};
    ASSERT_EQ(api.getLanInfo(h, block), 0);
    EXPECT_EQ(m_session.Received(), (std::vector<Bytes>{{0x24}}));
    const uint8_t kMac[6] = {0x00, 0x1B, 0x5F, 0x40, 0x12, 0x7A};
    EXPECT_EQ(std::memcmp(block, kMac, 6), 0);
    EXPECT_EQ(Bytes(block + 6, block + 10), (Bytes{192, 168, 0, 10}));

    const uint8_t kAddress[4] = {10, 1, 2, 3};
    std::copy(kAddress, kAddress + 4, block + 6);
    block[22] = 1;
    m_session.ClearReceived();
    uint8_t nStatus = 0xEE;
    EXPECT_EQ(api.setLanInfo(h, block, 30, &nStatus), 0);
    EXPECT_EQ(nStatus, 0);
    const auto written = m_session.Received();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], WithHeader({0x25}, Bytes(block, block + 30)));
    EXPECT_EQ(m_session.Control("GET lan.ip"), "10.1.2.3");

    uint8_t readBack[30] = {};
    ASSERT_EQ(api.getLanInfo(h, readBack), 0);
    EXPECT_EQ(std::memcmp(block, readBack, 30), 0);
}

TEST_F(NetworkSettings, LanRepliesAreCheckedByHeaderAndLength) {
    const Bytes body(30, 0x5A);
    uint8_t block[30] = {};
    EXPECT_EQ(m_session.WithReply(0x24, WithHeader({0x24, 0x05}, body), [&] { return api.getLanInfo(h, block); }), 0);
    EXPECT_EQ(Bytes(block, block + 30), body);

    uint8_t untouched[30];
    std::fill(untouched, untouched + 30, 0xC3);
    const size_t nShortLines = CountLogLines("read Invalid data(30bytes) in getLanInfo");
    EXPECT_EQ(
        m_session.WithReply(0x24, WithHeader({0x24, 0x00}, Bytes(28, 1)), [&] { return api.getLanInfo(h, untouched); }),
        1000);
    EXPECT_EQ(CountLogLines("read Invalid data(30bytes) in getLanInfo"), nShortLines + 1);
    EXPECT_TRUE(std::all_of(untouched, untouched + 30, [](uint8_t n) { return n == 0xC3; }));

    m_session.Control("FAULT WRONGHEADER 24");
    const size_t nHeaderLines = CountLogLines("read ERROR in getLanInfo");
    EXPECT_EQ(api.getLanInfo(h, untouched), 1000);
    EXPECT_EQ(CountLogLines("read ERROR in getLanInfo"), nHeaderLines + 1);
    EXPECT_TRUE(std::all_of(untouched, untouched + 30, [](uint8_t n) { return n == 0xC3; }));
}

TEST_F(NetworkSettings, LanWritePassesTheHubStatusOn) {
    const uint8_t block[30] = {};
    uint8_t nStatus = 0xEE;
    EXPECT_EQ(m_session.WithReply(0x25, {0x25, 0x03}, [&] { return api.setLanInfo(h, block, 30, &nStatus); }), 0);
    EXPECT_EQ(nStatus, 3);
    // A wrong header fails the call but still hands over the hub's byte.
    EXPECT_EQ(m_session.WithReply(0x25, {0x99, 0x07}, [&] { return api.setLanInfo(h, block, 30, &nStatus); }), 1000);
    EXPECT_EQ(nStatus, 7);
    // A lone echo carries no status: nothing is written.
    nStatus = 0xEE;
    EXPECT_EQ(m_session.WithReply(0x25, {0x25}, [&] { return api.setLanInfo(h, block, 30, &nStatus); }), 1000);
    EXPECT_EQ(nStatus, 0xEE);
    // The simulated hub refuses a block of the wrong size with status 3.
    EXPECT_EQ(api.setLanInfo(h, block, 12, &nStatus), 0);
    EXPECT_EQ(nStatus, 3);
    EXPECT_EQ(api.setLanInfo(h, block, -1, &nStatus), 1004);
}

TEST_F(NetworkSettings, LanWriteWithWrongHeaderLogsTheStatusAndStillItsExitLine) {
    const uint8_t block[30] = {};
    uint8_t nStatus = 0xEE;
    const size_t nErrorLines = CountLogLines("error(7) in setLanInfo");
    const size_t nExitLines = CountLogLines("-setLanInfo");
    EXPECT_EQ(m_session.WithReply(0x25, {0x99, 0x07}, [&] { return api.setLanInfo(h, block, 30, &nStatus); }), 1000);
    EXPECT_EQ(api.getResult(h), 1000);
    EXPECT_EQ(nStatus, 7);
    EXPECT_EQ(CountLogLines("error(7) in setLanInfo"), nErrorLines + 1);
    EXPECT_EQ(CountLogLines("-setLanInfo"), nExitLines + 1);
}

TEST_F(NetworkSettings, WlanBlockReadWrittenAndReadBack) {
    m_session.ClearReceived();
    uint8_t block[592] = {};
    ASSERT_EQ(api.getWlanInfo(h, block), 0);
    EXPECT_EQ(m_session.Received(), (std::vector<Bytes>{{0x20, 0x00}}));
    EXPECT_STREQ(reinterpret_cast<const char*>(block + 65), "ShopFloor");
    EXPECT_EQ(block[590], 'V');
    EXPECT_EQ(block[591], 'Q');

    std::memset(block + 65, 0, 32);
    std::memcpy(block + 65, "Backroom", 8);
    m_session.ClearReceived();
    uint8_t ack[20] = {};
    EXPECT_EQ(api.setWlanInfo(h, block + 18, 574, ack), 0);
    const auto written = m_session.Received();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], WithHeader({0x21, 0x00}, Bytes(block + 18, block + 592)));
    EXPECT_EQ(ack[4], '_');
    EXPECT_EQ(ack[14], 'S');
    EXPECT_EQ(ack[15], 'U');
    EXPECT_EQ(ack[16], 'C');

    uint8_t readBack[592] = {};
    ASSERT_EQ(api.getWlanInfo(h, readBack), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(readBack + 65), "Backroom");
    EXPECT_EQ(std::memcmp(block + 18, readBack + 18, 574), 0);
}

TEST_F(NetworkSettings, WlanReadLengthRules) {
    uint8_t block[592];
    std::fill(block, block + 592, 0xC3);
    auto untouched = [&] { return std::all_of(block, block + 592, [](uint8_t n) { return n == 0xC3; }); };

    // The 14-byte answer is refused even though it starts 20 00.
    m_session.Control("FAULT SHORT 20 14");
    const size_t nInvalid = CountLogLines("getWlanInfo invalid read data");
    EXPECT_EQ(api.getWlanInfo(h, block), 1000);
    EXPECT_EQ(CountLogLines("getWlanInfo invalid read data"), nInvalid + 1);
    EXPECT_TRUE(untouched());

    m_session.Control("FAULT SHORT 20 593");
    const size_t nShort = CountLogLines("read Invalid data(593bytes) in getWlanInfo");
    EXPECT_EQ(api.getWlanInfo(h, block), 1000);
    EXPECT_EQ(CountLogLines("read Invalid data(593bytes) in getWlanInfo"), nShort + 1);
    EXPECT_TRUE(untouched());

    m_session.Control("FAULT SHORT 20 594");
    EXPECT_EQ(api.getWlanInfo(h, block), 0);
    EXPECT_EQ(block[591], 'Q');
    m_session.Control("FAULT SHORT OFF");

    m_session.Control("FAULT WRONGHEADER 20");
    EXPECT_EQ(api.getWlanInfo(h, block), 1000);
}

TEST_F(NetworkSettings, WlanWriteAcknowledgement) {
    const Bytes data(574, 0);
    uint8_t ack[20];
    std::fill(ack, ack + 20, 0xC3);
    // Shorter than the 20 acknowledgement bytes: refused, nothing copied.
    m_session.Control("FAULT SHORT 21 21");
    const size_t nInvalid = CountLogLines("setWlanInfo invalid read data");
    EXPECT_EQ(api.setWlanInfo(h, data.data(), 574, ack), 1000);
    EXPECT_EQ(CountLogLines("setWlanInfo invalid read data"), nInvalid + 1);
    EXPECT_TRUE(std::all_of(ack, ack + 20, [](uint8_t n) { return n == 0xC3; }));
    m_session.Control("FAULT SHORT OFF");

    // The hub's refusal is in the acknowledgement; the library does not judge it.
    m_session.Control("SET wlan.ack_fail 1");
    EXPECT_EQ(api.setWlanInfo(h, data.data(), 574, ack), 0);
    EXPECT_NE(ack[14], 'S');

    m_session.Control("FAULT WRONGHEADER 21");
    EXPECT_EQ(api.setWlanInfo(h, data.data(), 574, ack), 1000);
}

TEST_F(NetworkSettings, UnansweredLanReadGivesUpAfterSixSeconds) {
    m_session.Control("FAULT NOREPLY 24");
    uint8_t block[30];
    std::fill(block, block + 30, 0xC3);
    const size_t nLines = CountLogLines("getLanInfo read fail=1011");
    int32_t nResult = 0;
    const int64_t nMs = ElapsedMs([&] { return api.getLanInfo(h, block); }, nResult);
    EXPECT_EQ(nResult, 1011);
    EXPECT_GE(nMs, 5400);
    EXPECT_LE(nMs, 13000);
    EXPECT_TRUE(std::all_of(block, block + 30, [](uint8_t n) { return n == 0xC3; }));
    EXPECT_EQ(CountLogLines("getLanInfo read fail=1011"), nLines + 1);
}

}  // namespace
}  // namespace settings_test
