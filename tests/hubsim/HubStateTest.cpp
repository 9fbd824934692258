// The state file form: round trips, partial documents and refused values.
#include "HubState.h"

#include <gtest/gtest.h>

using namespace hubsim;
using nlohmann::json;

TEST(HubState, DefaultsDescribeTheDocumentedHub) {
    CHubState state;
    EXPECT_NE(state.m_strModel.find("_VXL"), std::string::npos);
    EXPECT_EQ(state.PresenceList(), (Bytes{10, 20, 100, 101}));
    EXPECT_EQ(state.m_mapDevices.at(10).eKind, EDeviceKind::Printer);
    EXPECT_EQ(state.m_mapDevices.at(20).eKind, EDeviceKind::Hid);
    EXPECT_TRUE(state.IsSerialAdapter(100));
    EXPECT_TRUE(state.IsSerialAdapter(101));
    EXPECT_EQ(state.m_arrWlan[267], 0x06);
    EXPECT_EQ(state.m_arrWlan[397], 0x23);
    EXPECT_EQ(state.m_arrWlan[398], 0x8C);
}

TEST(HubState, JsonRoundTripKeepsEveryByte) {
    CHubState state;
    for (size_t i = 0; i < state.m_arrLan.size(); ++i) state.m_arrLan[i] = static_cast<uint8_t>(0xF0 - i);
    for (size_t i = 0; i < state.m_arrWlan.size(); ++i) state.m_arrWlan[i] = static_cast<uint8_t>(i * 7);
    state.m_strBtName = "Caf\xE9 \x80\x9D";  // code-page bytes, not UTF-8
    state.m_nBtMode = '3';
    state.m_mapSerial[101] = {7, 0, 1, 2};
    state.m_arrCustom[9] = {0x12345678, 0x0A0B0C0D};
    state.m_nCustomMax = 3;
    state.m_strSnmpRw = "rw-secret";
    state.m_nIfWlan = 0;
    state.m_mapDevices.erase(20);
    state.m_mapDevices[42] = {42, EDeviceKind::Echo, 0xBEEF, 0x0001};

    const CHubState back = CHubState::FromJson(json::parse(state.ToJson().dump()));
    EXPECT_EQ(back.m_arrLan, state.m_arrLan);
    EXPECT_EQ(back.m_arrWlan, state.m_arrWlan);
    EXPECT_EQ(back.m_strBtName, "Caf\xE9 \x80\x9D");
    EXPECT_EQ(state.ToJson()["bluetooth"]["name"], "Caf\u00e9 \u0080\u009d");
    EXPECT_EQ(back.m_nBtMode, '3');
    EXPECT_EQ(back.SerialConfig(101), (std::array<uint8_t, 4>{7, 0, 1, 2}));
    EXPECT_EQ(back.m_arrCustom[9], state.m_arrCustom[9]);
    EXPECT_EQ(back.m_nCustomMax, 3u);
    EXPECT_EQ(back.m_strSnmpRw, "rw-secret");
    EXPECT_EQ(back.m_nIfWlan, 0);
    EXPECT_EQ(back.PresenceList(), (Bytes{10, 42, 100, 101}));
    EXPECT_EQ(back.m_mapDevices.at(42).nVid, 0xBEEF);
    EXPECT_EQ(back.m_mapDevices.at(42).eKind, EDeviceKind::Echo);
}

TEST(HubState, ReadableFieldsOverrideTheBlock) {
    json doc = CHubState().ToJson();
    doc["wlan"]["ssid"] = "Warehouse";
    doc["wlan"]["ip"] = "10.1.2.3";
    doc["wlan"]["inactivity"] = 300;
    doc["lan"]["ip"] = "192.168.7.9";
    doc["lan"]["dhcp"] = 1;
    const CHubState state = CHubState::FromJson(doc);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&state.m_arrWlan[65])), "Warehouse");
    EXPECT_EQ(state.m_arrWlan[65 + 9], 0);
    EXPECT_EQ((Bytes{state.m_arrWlan[53], state.m_arrWlan[54], state.m_arrWlan[55], state.m_arrWlan[56]}),
              (Bytes{10, 1, 2, 3}));
    EXPECT_EQ(state.m_arrWlan[587], 0x01);
    EXPECT_EQ(state.m_arrWlan[588], 0x2C);
    EXPECT_EQ((Bytes{state.m_arrLan[6], state.m_arrLan[7], state.m_arrLan[8], state.m_arrLan[9]}),
              (Bytes{192, 168, 7, 9}));
    EXPECT_EQ(state.m_arrLan[22], 1);
}

TEST(HubState, PartialDocumentKeepsDefaultsElsewhere) {
    const CHubState state = CHubState::FromJson(json::parse(R"({"model": "Demo_VXL", "telnet": 0})"));
    EXPECT_EQ(state.m_strModel, "Demo_VXL");
    EXPECT_EQ(state.m_nTelnet, 0);
    EXPECT_EQ(state.m_strBtName, CHubState().m_strBtName);
    EXPECT_EQ(state.PresenceList(), CHubState().PresenceList());
}

TEST(HubState, BadValuesAreRefusedWithTheirPath) {
    const char* bad[] = {
        R"([1,2])",
        R"({"telnet": 2})",
        R"({"lan": {"ip": "300.1.1.1"}})",
        R"({"lan": {"mac": "00:11"}})",
        R"({"wlan": {"block": "00"}})",
        R"({"wlan": {"ssid": "this SSID is far too long for its 32 byte field"}})",
        R"({"devices": [{"id": 0}]})",
        R"({"devices": [{"id": 5}, {"id": 5}]})",
        R"({"devices": [{"id": 5, "kind": "toaster"}]})",
        R"({"serial": {"100": [8, 1, 0, 0]}})",
        R"({"serial": {"abc": [1, 1, 0, 0]}})",
        R"({"custom_devices": {"types": {"10": []}}})",
        R"({"custom_devices": {"types": {"1": ["12345678"]}}})",
        R"({"bluetooth": {"name": "a\rb"}})",
        R"({"interfaces": {"lan": "yes"}})",
        R"({"snmp_ro": "\u540d"})",  // beyond one byte per character
    };
    for (const char* pszDoc : bad) {
        EXPECT_THROW(CHubState::FromJson(json::parse(pszDoc)), std::runtime_error) << pszDoc;
    }
    try {
        CHubState::FromJson(json::parse(R"({"lan": {"gateway": "x"}})"));
        FAIL() << "bad gateway accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("lan.gateway"), std::string::npos) << e.what();
    }
}
