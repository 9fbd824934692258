// Bluetooth settings through the exported functions against the simulated hub.
#include <gtest/gtest.h>

#include "ZamoCfgClient.h"

namespace settings_test {
namespace {

const Bytes kNameHeader = {0x11, 0x00, 0x37, 0x42, 0x64};

class BluetoothSettings : public ::testing::Test {
protected:
    CHubSession m_session;
    const SZamoCfgApi& api = m_session.Api();
    const int32_t h = m_session.Handle();
};

TEST_F(BluetoothSettings, ReadsTheHubsValuesWithTwoByteRequests) {
    m_session.Control("SET bluetooth.name Shelf-3");
    m_session.Control("SET bluetooth.pin 8642");
    m_session.Control("SET bluetooth.mode 3");
    m_session.Control("SET bluetooth.encryption 0");
    m_session.ClearReceived();

    CTextOut name, pin;
    int32_t nMode = 0, nEncryption = 0;
    uint8_t nAuto = 9;
    EXPECT_EQ(api.getBluetoothName(h, name.Get()), 0);
    EXPECT_EQ(name.Str(), u"Shelf-3");
    EXPECT_EQ(api.getBluetoothPinCode(h, pin.Get()), 0);
    EXPECT_EQ(pin.Str(), u"8642");
    EXPECT_EQ(api.getBluetoothConnectionMode(h, &nMode), 0);
    EXPECT_EQ(nMode, 0x33);
    EXPECT_EQ(api.getBluetoothAuthentication(h, &nEncryption), 0);
    EXPECT_EQ(nEncryption, 0x30);
    EXPECT_EQ(api.getBluetoothAutoConnection(h, &nAuto), 0);
    EXPECT_EQ(nAuto, 1);

    EXPECT_EQ(m_session.Received(5),
              (std::vector<Bytes>{{0x11, 0x00}, {0x12, 0x00}, {0x10, 0x00}, {0x13, 0x00}, {0x58, 0x00}}));
}

TEST_F(BluetoothSettings, DecodesTheExampleRepliesAndTheHeaderRule) {
    CTextOut name;
    EXPECT_EQ(m_session.WithReply(0x11, {0x11, 0x00, 0x37, 0x42, 0x64, 0x48, 0x75, 0x62, 0x00},
                                  [&] { return api.getBluetoothName(h, name.Get()); }),
              0);
    EXPECT_EQ(name.Str(), u"Hub");

    // Byte 2 alone matching is enough.
    int32_t nMode = 0;
    EXPECT_EQ(m_session.WithReply(0x10, {0xFF, 0xFF, 0x37, 0xFF, 0xFF, 0x32},
                                  [&] { return api.getBluetoothConnectionMode(h, &nMode); }),
              0);
    EXPECT_EQ(nMode, 0x32);

    // Every checked byte wrong: refused, the output keeps its value.
    m_session.Control("FAULT WRONGHEADER 13");
    int32_t nEncryption = -5;
    const size_t nLinesBefore = CountLogLines("getBluetoothCertificationStatus invalid read data");
    EXPECT_EQ(api.getBluetoothAuthentication(h, &nEncryption), 1000);
    EXPECT_EQ(api.getResult(h), 1000);
    EXPECT_EQ(nEncryption, -5);
    EXPECT_EQ(CountLogLines("getBluetoothCertificationStatus invalid read data"), nLinesBefore + 1);
    m_session.Control("FAULT WRONGHEADER OFF");

    uint8_t nAuto = 7;
    EXPECT_EQ(m_session.WithReply(0x58, {0x58, 0x01}, [&] { return api.getBluetoothAutoConnection(h, &nAuto); }), 0);
    EXPECT_EQ(nAuto, 1);
    nAuto = 7;
    EXPECT_EQ(m_session.WithReply(0x58, {0x59, 0x01}, [&] { return api.getBluetoothAutoConnection(h, &nAuto); }), 1000);
    EXPECT_EQ(nAuto, 7);
}

TEST_F(BluetoothSettings, WritesInWireOrderAndReadsBack) {
    m_session.ClearReceived();
    EXPECT_EQ(api.setBluetoothInfo(h, 0x32, u"Hub", u"1234", 0x31), 0);
    // Encryption, mode, PIN, name: 6 + 4 + 3 bytes.
    EXPECT_EQ(m_session.Received(),
              (std::vector<Bytes>{{0x14, 0x00, 0x31, 0x32, '1', '2', '3', '4', 0x0D, 0x48, 0x75, 0x62, 0x0D}}));
    CTextOut name, pin;
    int32_t nMode = 0, nEncryption = 0;
    EXPECT_EQ(api.getBluetoothName(h, name.Get()), 0);
    EXPECT_EQ(api.getBluetoothPinCode(h, pin.Get()), 0);
    EXPECT_EQ(api.getBluetoothConnectionMode(h, &nMode), 0);
    EXPECT_EQ(api.getBluetoothAuthentication(h, &nEncryption), 0);
    EXPECT_EQ(name.Str(), u"Hub");
    EXPECT_EQ(pin.Str(), u"1234");
    EXPECT_EQ(nMode, 0x32);
    EXPECT_EQ(nEncryption, 0x31);

    m_session.ClearReceived();
    uint8_t nAuto = 9;
    EXPECT_EQ(api.setBluetoothAutoConnection(h, 5), 0);
    EXPECT_EQ(m_session.Received(), (std::vector<Bytes>{{0x59, 0x01}}));
    EXPECT_EQ(api.getBluetoothAutoConnection(h, &nAuto), 0);
    EXPECT_EQ(nAuto, 1);
    EXPECT_EQ(api.setBluetoothAutoConnection(h, 0), 0);
    EXPECT_EQ(api.getBluetoothAutoConnection(h, &nAuto), 0);
    EXPECT_EQ(nAuto, 0);
}

TEST_F(BluetoothSettings, ConvertsNonAsciiTextThroughTheCodePage) {
    m_session.ClearReceived();
    // U+03A9 has no place in CP1252 and goes out as "?".
    EXPECT_EQ(api.setBluetoothInfo(h, '1', u"Caf\u00E9 \u03A9", u"12\u00E94", '0'), 0);
    const auto written = m_session.Received();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0],
              (Bytes{0x14, 0x00, '0', '1', '1', '2', 0xE9, '4', 0x0D, 'C', 'a', 'f', 0xE9, ' ', '?', 0x0D}));
    // The simulator shows each byte as the Latin-1 character of that value, in UTF-8.
    EXPECT_EQ(m_session.Control("GET bluetooth.name"), "Caf\xC3\xA9 ?");

    CTextOut name;
    // Bytes FC DF 80: in CP1252 the last one is the euro sign.
    m_session.Control("SET bluetooth.name Gr\xC3\xBC\xC3\x9F \xC2\x80");
    EXPECT_EQ(api.getBluetoothName(h, name.Get()), 0);
    EXPECT_EQ(name.Str(), u"Gr\u00FC\u00DF \u20AC");
}

TEST_F(BluetoothSettings, RefusesRepliesWithoutTheirValueByte) {
    struct SCase {
        uint8_t nCommand;
        const char* pszLine;
    };
    for (const SCase& c :
         {SCase{0x10, "getBluetoothConnectionMode invalid read data"},
          SCase{0x11, "getBluetoothName invalid read data"}, SCase{0x12, "getBluetoothPinCode invalid read data"},
          SCase{0x13, "getBluetoothCertificationStatus invalid read data"}}) {
        SCOPED_TRACE(c.pszLine);
        Bytes header = kNameHeader;
        header[0] = c.nCommand;
        const size_t nLinesBefore = CountLogLines(c.pszLine);
        CTextOut text;
        int32_t nValue = -1;
        const int32_t nResult = m_session.WithReply(c.nCommand, header, [&] {
            switch (c.nCommand) {
            case 0x10: return api.getBluetoothConnectionMode(h, &nValue);
            case 0x11: return api.getBluetoothName(h, text.Get());
            case 0x12: return api.getBluetoothPinCode(h, text.Get());
            default: return api.getBluetoothAuthentication(h, &nValue);
            }
        });
        EXPECT_EQ(nResult, 1000);
        EXPECT_EQ(nValue, -1);
        EXPECT_EQ(text.Str(), u"");
        EXPECT_EQ(CountLogLines(c.pszLine), nLinesBefore + 1);
    }
    // A lone echo must not read as the value 0 from the exchange's trailing zero.
    uint8_t nAuto = 7;
    EXPECT_EQ(m_session.WithReply(0x58, {0x58}, [&] { return api.getBluetoothAutoConnection(h, &nAuto); }), 1000);
    EXPECT_EQ(nAuto, 7);
}

// Bounds are generous: a loaded two-core machine must not make this flaky.
TEST_F(BluetoothSettings, UnansweredReadGivesUpAfterThreeSeconds) {
    m_session.Control("FAULT NOREPLY 11");
    CTextOut name;
    const size_t nLines = CountLogLines("getBluetoothName read fail=1011");
    int32_t nResult = 0;
    const int64_t nMs = ElapsedMs([&] { return api.getBluetoothName(h, name.Get()); }, nResult);
    EXPECT_EQ(nResult, 1011);
    EXPECT_EQ(api.getResult(h), 1011);
    EXPECT_GE(nMs, 2700);
    EXPECT_LE(nMs, 7000);
    EXPECT_EQ(name.Str(), u"");
    EXPECT_EQ(CountLogLines("getBluetoothName read fail=1011"), nLines + 1);
}

}  // namespace
}  // namespace settings_test
