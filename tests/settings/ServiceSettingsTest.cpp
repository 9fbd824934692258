// Telnet, SNMP and interface usage through the exported functions against the
// simulated hub; and the pass-through refusal of every settings function.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ZamoCfgClient.h"

namespace settings_test {
namespace {

class ServiceSettings : public ::testing::Test {
protected:
    CHubSession m_session;
    const SZamoCfgApi& api = m_session.Api();
    const int32_t h = m_session.Handle();
};

struct SUsage {
    int32_t nUsb = -1, nBluetooth = -1, nLan = -1, nWlan = -1;
    bool Untouched() const { return nUsb == -1 && nBluetooth == -1 && nLan == -1 && nWlan == -1; }
};

TEST_F(ServiceSettings, TelnetAndSnmpSwitchesWrittenAndReadBack) {
    uint8_t nTelnet = 9, nSnmp = 9;
    m_session.ClearReceived();
    EXPECT_EQ(api.getTelnetAvailable(h, &nTelnet), 0);
    EXPECT_EQ(nTelnet, 1);
    EXPECT_EQ(api.setTelnetAvailable(h, 0), 0);
    EXPECT_EQ(api.getTelnetAvailable(h, &nTelnet), 0);
    EXPECT_EQ(nTelnet, 0);
    EXPECT_EQ(api.setSNMPAvailable(h, 7), 0);
    EXPECT_EQ(api.getSNMPAvailable(h, &nSnmp), 0);
    EXPECT_EQ(nSnmp, 1);
    EXPECT_EQ(m_session.Received(5), (std::vector<Bytes>{{0xD0}, {0xD1, 0x00}, {0xD0}, {0xD3, 0x01}, {0xD2}}));
}

TEST_F(ServiceSettings, CommunitiesWrittenAndReadBack) {
    m_session.ClearReceived();
    EXPECT_EQ(api.setSNMPROCommunity(h, u"secret"), 0);
    EXPECT_EQ(api.setSNMPRWCommunity(h, u""), 0);
    EXPECT_EQ(m_session.Received(2), (std::vector<Bytes>{{0xD5, 's', 'e', 'c', 'r', 'e', 't'}, {0xD7}}));
    CTextOut ro, rw;
    EXPECT_EQ(api.getSNMPROCommunity(h, ro.Get()), 0);
    EXPECT_EQ(ro.Str(), u"secret");
    EXPECT_EQ(api.getSNMPRWCommunity(h, rw.Get()), 0);
    EXPECT_EQ(rw.Str(), u"");

    EXPECT_EQ(api.setSNMPRWCommunity(h, u"Z\u00FCrich"), 0);
    EXPECT_EQ(m_session.Control("GET snmp_rw"), "Z\xC3\xBCrich");
    EXPECT_EQ(api.getSNMPRWCommunity(h, rw.Get()), 0);
    EXPECT_EQ(rw.Str(), u"Z\u00FCrich");
}

TEST_F(ServiceSettings, ServiceReadsCheckTheEchoAndTheLength) {
    uint8_t nValue = 9;
    EXPECT_EQ(m_session.WithReply(0xD0, {0xD0, 0x01}, [&] { return api.getTelnetAvailable(h, &nValue); }), 0);
    EXPECT_EQ(nValue, 1);
    nValue = 9;
    EXPECT_EQ(m_session.WithReply(0xD0, {0xD1, 0x01}, [&] { return api.getTelnetAvailable(h, &nValue); }), 1000);
    EXPECT_EQ(nValue, 9);
    const size_t nTelnet = CountLogLines("getTelnetAvailable invalid read data");
    EXPECT_EQ(m_session.WithReply(0xD0, {0xD0}, [&] { return api.getTelnetAvailable(h, &nValue); }), 1000);
    EXPECT_EQ(CountLogLines("getTelnetAvailable invalid read data"), nTelnet + 1);
    const size_t nSnmp = CountLogLines("getSNMPAvailable Invalid read data");
    EXPECT_EQ(m_session.WithReply(0xD2, {0xD2}, [&] { return api.getSNMPAvailable(h, &nValue); }), 1000);
    EXPECT_EQ(CountLogLines("getSNMPAvailable Invalid read data"), nSnmp + 1);
    EXPECT_EQ(nValue, 9);

    m_session.Control("FAULT WRONGHEADER D4");
    CTextOut community;
    EXPECT_EQ(api.getSNMPROCommunity(h, community.Get()), 1000);
    EXPECT_EQ(community.Str(), u"");
}

TEST_F(ServiceSettings, InterfaceUsageWrittenAndReadBack) {
    SUsage usage;
    ASSERT_EQ(api.getInterfaceUsageStatus(h, &usage.nUsb, &usage.nBluetooth, &usage.nLan, &usage.nWlan), 0);
    EXPECT_EQ(usage.nUsb, 1);
    EXPECT_EQ(usage.nBluetooth, 1);
    EXPECT_EQ(usage.nLan, 1);
    EXPECT_EQ(usage.nWlan, 1);

    m_session.ClearReceived();
    int32_t nError = 0;
    EXPECT_EQ(api.setInterfaceUsageStatus(h, 1, 1, 2, 0, &nError), 0);
    EXPECT_EQ(m_session.Received(), (std::vector<Bytes>{{0x0F, 0x01, 0x01, 0x03, 0x00}}));
    EXPECT_EQ(nError, 0);
    ASSERT_EQ(api.getInterfaceUsageStatus(h, &usage.nUsb, &usage.nBluetooth, &usage.nLan, &usage.nWlan), 0);
    EXPECT_EQ(usage.nBluetooth, 1);
    EXPECT_EQ(usage.nLan, 1);
    EXPECT_EQ(usage.nWlan, 0);

    // Turning the last two off would leave no way in: the hub answers 5.
    const size_t nLines = CountLogLines("-setInterfaceUsageStatus error=5");
    EXPECT_EQ(api.setInterfaceUsageStatus(h, 1, 0, 0, 2, &nError), 1000);
    EXPECT_EQ(nError, 5);
    EXPECT_EQ(CountLogLines("-setInterfaceUsageStatus error=5"), nLines + 1);
    EXPECT_EQ(m_session.Control("GET interfaces.lan"), "1");

    // Values other than 0 and 1 are left out of the request.
    m_session.ClearReceived();
    nError = 0;
    Bytes request;
    EXPECT_EQ(m_session.WithReply(
                  0x0F, {0x0F, 0x00}, [&] { return api.setInterfaceUsageStatus(h, 0, -1, 7, 2, &nError); }, &request),
              0);
    EXPECT_EQ(request, (Bytes{0x0F}));
}

TEST_F(ServiceSettings, InterfaceUsageRepliesPairsLoneTypeAndStatus) {
    auto read = [&](SUsage& usage) {
        return
            [&] { return api.getInterfaceUsageStatus(h, &usage.nUsb, &usage.nBluetooth, &usage.nLan, &usage.nWlan); };
    };
    SUsage all;
    EXPECT_EQ(m_session.WithReply(0x0E, {0x0E, 0x00, 0x01, 0x01, 0x02, 0x00, 0x03, 0x01}, read(all)), 0);
    EXPECT_EQ(all.nUsb, 1);
    EXPECT_EQ(all.nBluetooth, 1);
    EXPECT_EQ(all.nLan, 0);
    EXPECT_EQ(all.nWlan, 1);

    SUsage none;
    EXPECT_EQ(m_session.WithReply(0x0E, {0x0E, 0x00}, read(none)), 0);
    EXPECT_EQ(none.nUsb, 1);
    EXPECT_EQ(none.nBluetooth, 2);
    EXPECT_EQ(none.nLan, 2);
    EXPECT_EQ(none.nWlan, 2);

    SUsage lone;
    EXPECT_EQ(m_session.WithReply(0x0E, {0x0E, 0x00, 0x02, 0x01, 0x03}, read(lone)), 0);
    EXPECT_EQ(lone.nBluetooth, 2);
    EXPECT_EQ(lone.nLan, 1);
    EXPECT_EQ(lone.nWlan, 0);

    SUsage refused;
    const size_t nStatusLines = CountLogLines("getInterfaceUsageStatus error=3");
    EXPECT_EQ(m_session.WithReply(0x0E, {0x0E, 0x03}, read(refused)), 1000);
    EXPECT_TRUE(refused.Untouched());
    EXPECT_EQ(CountLogLines("getInterfaceUsageStatus error=3"), nStatusLines + 1);
    EXPECT_EQ(m_session.WithReply(0x0E, {0x0E}, read(refused)), 1000);
    EXPECT_TRUE(refused.Untouched());
    m_session.Control("FAULT WRONGHEADER 0E");
    EXPECT_EQ(read(refused)(), 1000);
    EXPECT_TRUE(refused.Untouched());
    m_session.Control("FAULT WRONGHEADER OFF");

    int32_t nError = -1;
    EXPECT_EQ(m_session.WithReply(0x0F, {0x0F}, [&] { return api.setInterfaceUsageStatus(h, 1, 1, 1, 1, &nError); }),
              1000);
    EXPECT_EQ(nError, -1);
    EXPECT_EQ(
        m_session.WithReply(0x0F, {0x0E, 0x00}, [&] { return api.setInterfaceUsageStatus(h, 1, 1, 1, 1, &nError); }),
        1000);
    EXPECT_EQ(nError, -1);
}

TEST(PassThroughSettings, EverySettingsFunctionRefusesAndSendsNothing) {
    CHubSession session(1);
    const SZamoCfgApi& api = session.Api();
    const int32_t h = session.Handle();
    const std::string strFramesBefore = session.Control("FRAMES");
    session.ClearReceived();

    CTextOut text;
    int32_t nValue = -1, a = -1, b = -1, c = -1, d = -1;
    uint8_t n1 = 0xEE, n2 = 0xEE, n3 = 0xEE, n4 = 0xEE;
    uint8_t block[592] = {};
    const std::vector<std::pair<const char*, std::function<int32_t()>>> calls = {
        {"getBluetoothConnectionMode", [&] { return api.getBluetoothConnectionMode(h, &nValue); }},
        {"getBluetoothName", [&] { return api.getBluetoothName(h, text.Get()); }},
        {"getBluetoothPinCode", [&] { return api.getBluetoothPinCode(h, text.Get()); }},
        {"getBluetoothAuthentication", [&] { return api.getBluetoothAuthentication(h, &nValue); }},
        {"setBluetoothInfo", [&] { return api.setBluetoothInfo(h, '1', u"n", u"1234", '1'); }},
        {"getBluetoothAutoConnection", [&] { return api.getBluetoothAutoConnection(h, &n1); }},
        {"setBluetoothAutoConnection", [&] { return api.setBluetoothAutoConnection(h, 1); }},
        {"getLanInfo", [&] { return api.getLanInfo(h, block); }},
        {"setLanInfo", [&] { return api.setLanInfo(h, block, 30, &n1); }},
        {"getWlanInfo", [&] { return api.getWlanInfo(h, block); }},
        {"setWlanInfo", [&] { return api.setWlanInfo(h, block, 574, block); }},
        {"getSerialConfiguration", [&] { return api.getSerialConfiguration(h, 100, &n1, &n2, &n3, &n4); }},
        {"setSerialConfiguration", [&] { return api.setSerialConfiguration(h, 100, 1, 1, 0, 0); }},
        {"getCustomDeviceList", [&] { return api.getCustomDeviceList(h, 0, text.Get()); }},
        {"addCustomDevice", [&] { return api.addCustomDevice(h, 0, u"1234", u"5678"); }},
        {"deleteCustomDevice", [&] { return api.deleteCustomDevice(h, 0, u"1234", u"5678"); }},
        {"resetCustomDeviceList", [&] { return api.resetCustomDeviceList(h, 0); }},
        {"getTelnetAvailable", [&] { return api.getTelnetAvailable(h, &n1); }},
        {"setTelnetAvailable", [&] { return api.setTelnetAvailable(h, 1); }},
        {"getSNMPAvailable", [&] { return api.getSNMPAvailable(h, &n1); }},
        {"setSNMPAvailable", [&] { return api.setSNMPAvailable(h, 1); }},
        {"getSNMPROCommunity", [&] { return api.getSNMPROCommunity(h, text.Get()); }},
        {"setSNMPROCommunity", [&] { return api.setSNMPROCommunity(h, u"x"); }},
        {"getSNMPRWCommunity", [&] { return api.getSNMPRWCommunity(h, text.Get()); }},
        {"setSNMPRWCommunity", [&] { return api.setSNMPRWCommunity(h, u"x"); }},
        {"getInterfaceUsageStatus", [&] { return api.getInterfaceUsageStatus(h, &a, &b, &c, &d); }},
        {"setInterfaceUsageStatus", [&] { return api.setInterfaceUsageStatus(h, 1, 1, 1, 1, &a); }},
    };
    ASSERT_EQ(calls.size(), 27u);
    for (const auto& [pszName, call] : calls) {
        EXPECT_EQ(call(), 1003) << pszName;
        EXPECT_EQ(api.getResult(h), 1003) << pszName;
    }
    EXPECT_EQ(nValue, -1);
    EXPECT_EQ(n1, 0xEE);
    EXPECT_EQ(a, -1);
    EXPECT_EQ(text.Str(), u"");
    // No frame reached the hub.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(session.Control("FRAMES"), strFramesBefore);
    EXPECT_EQ(session.Control("RX"), "");
}

// Missing outputs and impossible lengths are the caller's mistake: 1004, and
// nothing goes to the hub.
TEST(BadArgumentSettings, RefusedBeforeAnythingIsSent) {
    CHubSession session;
    const SZamoCfgApi& api = session.Api();
    const int32_t h = session.Handle();
    session.ClearReceived();
    uint8_t block[592] = {};
    uint8_t n = 0;
    int32_t a = 0;
    EXPECT_EQ(api.getBluetoothName(h, nullptr), 1004);
    EXPECT_EQ(api.getBluetoothConnectionMode(h, nullptr), 1004);
    EXPECT_EQ(api.getLanInfo(h, nullptr), 1004);
    EXPECT_EQ(api.setLanInfo(h, nullptr, 30, &n), 1004);
    EXPECT_EQ(api.setWlanInfo(h, block, -2, block), 1004);
    EXPECT_EQ(api.getSerialConfiguration(h, 100, &n, nullptr, &n, &n), 1004);
    EXPECT_EQ(api.getCustomDeviceList(h, 0, nullptr), 1004);
    EXPECT_EQ(api.getTelnetAvailable(h, nullptr), 1004);
    EXPECT_EQ(api.getInterfaceUsageStatus(h, &a, &a, nullptr, &a), 1004);
    EXPECT_EQ(api.getResult(h), 1004);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(session.Control("RX"), "");
}

}  // namespace
}  // namespace settings_test
