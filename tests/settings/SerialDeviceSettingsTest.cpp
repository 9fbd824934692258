// Serial adapter line settings and the custom device table through the
// exported functions against the simulated hub.
#include <gtest/gtest.h>

#include "ZamoCfgClient.h"

namespace settings_test {
namespace {

class SerialDeviceSettings : public ::testing::Test {
protected:
    CHubSession m_session;
    const SZamoCfgApi& api = m_session.Api();
    const int32_t h = m_session.Handle();
};

struct SLine {
    uint8_t nBaud = 0xEE, nData = 0xEE, nStop = 0xEE, nParity = 0xEE;
    bool Untouched() const { return nBaud == 0xEE && nData == 0xEE && nStop == 0xEE && nParity == 0xEE; }
};

TEST_F(SerialDeviceSettings, LineSettingsWrittenAndReadBack) {
    m_session.ClearReceived();
    SLine line;
    ASSERT_EQ(api.getSerialConfiguration(h, 100, &line.nBaud, &line.nData, &line.nStop, &line.nParity), 0);
    EXPECT_EQ(m_session.Received(), (std::vector<Bytes>{{0x03, 0x64}}));
    EXPECT_EQ(line.nBaud, 2);  // the simulated adapter starts at 9600 8N1
    EXPECT_EQ(line.nData, 1);

    m_session.ClearReceived();
    EXPECT_EQ(api.setSerialConfiguration(h, 100, 6, 0, 1, 2), 0);
    EXPECT_EQ(m_session.Received(), (std::vector<Bytes>{{0x02, 0x64, 6, 0, 1, 2}}));
    ASSERT_EQ(api.getSerialConfiguration(h, 100, &line.nBaud, &line.nData, &line.nStop, &line.nParity), 0);
    EXPECT_EQ(line.nBaud, 6);
    EXPECT_EQ(line.nData, 0);
    EXPECT_EQ(line.nStop, 1);
    EXPECT_EQ(line.nParity, 2);
}

TEST_F(SerialDeviceSettings, SerialRepliesAndTheirRefusals) {
    SLine line;
    auto read = [&](uint8_t nDevice) {
        return [&, nDevice] {
            return api.getSerialConfiguration(h, nDevice, &line.nBaud, &line.nData, &line.nStop, &line.nParity);
        };
    };
    EXPECT_EQ(m_session.WithReply(0x03, {0x03, 0x64, 0x06, 0x01, 0x00, 0x00}, read(100)), 0);
    EXPECT_EQ(line.nBaud, 6);
    EXPECT_EQ(line.nData, 1);
    EXPECT_EQ(line.nStop, 0);
    EXPECT_EQ(line.nParity, 0);

    // "N" "O": the hub has no adapter with that ID (the simulator answers so for 50).
    line = SLine{};
    const size_t nNo = CountLogLines("getSerialConfiguration invalid read data");
    EXPECT_EQ(read(50)(), 1000);
    EXPECT_TRUE(line.Untouched());
    EXPECT_EQ(CountLogLines("getSerialConfiguration invalid read data"), nNo + 1);
    EXPECT_EQ(m_session.WithReply(0x03, {0x03, 0x64, 0x4E, 0x4F}, read(100)), 1000);
    EXPECT_EQ(CountLogLines("getSerialConfiguration invalid read data"), nNo + 2);
    EXPECT_EQ(m_session.WithReply(0x03, {0x03, 0x64, 0x4F, 0x00, 0x00, 0x00}, read(100)), 1000);
    EXPECT_TRUE(line.Untouched());

    m_session.Control("FAULT WRONGHEADER 03");
    const size_t nHeader = CountLogLines("getSerialConfiguration invalid read data2");
    EXPECT_EQ(read(100)(), 1000);
    EXPECT_EQ(CountLogLines("getSerialConfiguration invalid read data2"), nHeader + 1);
    EXPECT_TRUE(line.Untouched());
    m_session.Control("FAULT WRONGHEADER OFF");

    // Five bytes: the parity is missing.
    EXPECT_EQ(m_session.WithReply(0x03, {0x03, 0x64, 0x06, 0x01, 0x00}, read(100)), 1000);
    EXPECT_TRUE(line.Untouched());
}

TEST_F(SerialDeviceSettings, CustomDevicesAddedListedDeletedAndReset) {
    m_session.ClearReceived();
    EXPECT_EQ(api.addCustomDevice(h, 3, u"1a2B", u"00FF"), 0);
    EXPECT_EQ(m_session.Received(), (std::vector<Bytes>{{0x41, 0x03, 0x1A, 0x2B, 0x00, 0xFF}}));
    EXPECT_EQ(api.addCustomDevice(h, 3, u"0C45", u"7401"), 0);

    // The list is appended to whatever the caller's text held.
    CTextOut list;
    list.Get()->data[0] = u'>';
    list.Get()->data[1] = 0;
    list.Get()->length = 1;
    EXPECT_EQ(api.getCustomDeviceList(h, 3, list.Get()), 0);
    EXPECT_EQ(list.Str(), u">1a2b&00ff,0c45&7401,");

    EXPECT_EQ(api.addCustomDevice(h, 3, u"1A2B", u"00ff"), 4);     // already listed
    EXPECT_EQ(api.deleteCustomDevice(h, 3, u"ABCD", u"0001"), 5);  // not in the list
    EXPECT_EQ(api.addCustomDevice(h, 12, u"ABCD", u"0001"), 3);    // no such type
    m_session.Control("SET custom_devices.max_entries 2");
    EXPECT_EQ(api.addCustomDevice(h, 3, u"ABCD", u"0001"), 6);  // list full
    EXPECT_EQ(api.getResult(h), 0);                             // a hub status is not a failure

    m_session.ClearReceived();
    EXPECT_EQ(api.deleteCustomDevice(h, 3, u"0c45", u"7401"), 0);
    EXPECT_EQ(m_session.Received(), (std::vector<Bytes>{{0x42, 0x03, 0x0C, 0x45, 0x74, 0x01}}));
    CTextOut after;
    EXPECT_EQ(api.getCustomDeviceList(h, 3, after.Get()), 0);
    EXPECT_EQ(after.Str(), u"1a2b&00ff,");

    m_session.ClearReceived();
    EXPECT_EQ(api.resetCustomDeviceList(h, 3), 0);
    EXPECT_EQ(m_session.Received(), (std::vector<Bytes>{{0x43, 0x03}}));
    CTextOut empty;
    EXPECT_EQ(api.getCustomDeviceList(h, 3, empty.Get()), 0);
    EXPECT_EQ(empty.Str(), u"");
}

TEST_F(SerialDeviceSettings, CustomDeviceRepliesPassTheHubStatusThrough) {
    CTextOut list;
    EXPECT_EQ(m_session.WithReply(0x40, {0x40, 0x00, 0x12, 0x34, 0xAB, 0xCD, 0x0A, 0x0B, 0x0C, 0x0D},
                                  [&] { return api.getCustomDeviceList(h, 0, list.Get()); }),
              0);
    EXPECT_EQ(list.Str(), u"1234&abcd,0a0b&0c0d,");
    CTextOut none;
    EXPECT_EQ(m_session.WithReply(0x40, {0x40, 0x00}, [&] { return api.getCustomDeviceList(h, 0, none.Get()); }), 0);
    EXPECT_EQ(none.Str(), u"");

    // Status bytes the simulated hub does not produce by itself.
    for (uint8_t nStatus : {1, 2}) {
        Bytes request;
        EXPECT_EQ(
            m_session.WithReply(
                0x41, {0x41, 0x03, nStatus}, [&] { return api.addCustomDevice(h, 3, u"1a2B", u"00FF"); }, &request),
            nStatus);
        EXPECT_EQ(request, (Bytes{0x41, 0x03, 0x1A, 0x2B, 0x00, 0xFF}));
    }
    m_session.ClearReceived();
    EXPECT_EQ(api.resetCustomDeviceList(h, 9), 0);
    EXPECT_EQ(m_session.Received(), (std::vector<Bytes>{{0x43, 0x09}}));
}

TEST_F(SerialDeviceSettings, CustomDeviceChangesRefuseRepliesWithoutStatus) {
    // Two bytes: with the exchange's trailing zero this would read as success.
    const size_t nAdd = CountLogLines("addCustomDevice invalid read data");
    EXPECT_EQ(m_session.WithReply(0x41, {0x41, 0x03}, [&] { return api.addCustomDevice(h, 3, u"1111", u"2222"); }),
              1000);
    EXPECT_EQ(CountLogLines("addCustomDevice invalid read data"), nAdd + 1);
    EXPECT_EQ(m_session.WithReply(0x42, {0x42, 0x03}, [&] { return api.deleteCustomDevice(h, 3, u"1111", u"2222"); }),
              1000);
    EXPECT_EQ(m_session.WithReply(0x43, {0x43}, [&] { return api.resetCustomDeviceList(h, 3); }), 1000);
    EXPECT_EQ(api.getResult(h), 1000);

    m_session.Control("FAULT WRONGHEADER 40");
    CTextOut list;
    EXPECT_EQ(api.getCustomDeviceList(h, 0, list.Get()), 1000);
    EXPECT_EQ(list.Str(), u"");
    m_session.Control("FAULT WRONGHEADER 41");
    EXPECT_EQ(api.addCustomDevice(h, 3, u"1111", u"2222"), 1000);
}

// Custom-device changes wait 1500 ms; the list and the serial read 3000 ms.
TEST_F(SerialDeviceSettings, UnansweredChangesGiveUpSoonerThanReads) {
    m_session.Control("FAULT NOREPLY 41");
    m_session.Control("FAULT NOREPLY 40");
    int32_t nResult = 0;
    const int64_t nAddMs = ElapsedMs([&] { return api.addCustomDevice(h, 3, u"1a2B", u"00FF"); }, nResult);
    EXPECT_EQ(nResult, 1011);
    EXPECT_GE(nAddMs, 1350);
    EXPECT_LE(nAddMs, 4000);
    CTextOut list;
    const int64_t nListMs = ElapsedMs([&] { return api.getCustomDeviceList(h, 3, list.Get()); }, nResult);
    EXPECT_EQ(nResult, 1011);
    EXPECT_GE(nListMs, 2700);
    EXPECT_LE(nListMs, 7000);
}

}  // namespace
}  // namespace settings_test
