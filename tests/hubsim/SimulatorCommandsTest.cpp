// The running simulator over TCP: each request gives its reply bytes, written
// settings read back, presence reports follow the enable byte, and bad input is survived.
#include "HubSimFixture.h"
#include "RawHubClient.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class SimulatorCommands : public ::testing::Test {
protected:
    void SetUp() override {
        m_client = CRawHubClient::Tcp(m_hub.Port());
        ASSERT_TRUE(m_client.Open());
        // The greeting comes first, to device 254.
        const auto greet = m_client.ReadFrame();
        ASSERT_TRUE(greet);
        EXPECT_EQ(greet->nDevice, 254);
    }
    ByteVec Ask(const std::string& strHex) {
        const auto reply = m_client.Ask(Hex(strHex));
        EXPECT_TRUE(reply) << "no reply to " << strHex;
        return reply.value_or(ByteVec{});
    }
    // A write without reply; the next query is the proof it was handled (replies come in order).
    void Tell(const std::string& strHex) { m_client.SendFrame(0, Hex(strHex)); }

    CHubSimFixture m_hub;
    CRawHubClient m_client;
};

ByteVec Cat(ByteVec a, const ByteVec& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
ByteVec Text(const std::string& s) { return ByteVec(s.begin(), s.end()); }

}  // namespace

TEST_F(SimulatorCommands, IdentificationAndUsbQueries) {
    const ByteVec name = Ask("50");
    ASSERT_GE(name.size(), 2u);
    EXPECT_EQ(name[0], 0x50);
    EXPECT_EQ(name[1], 0x00);
    EXPECT_NE(std::string(name.begin() + 2, name.end()).find("_VXL"), std::string::npos);
    const ByteVec version = Ask("51");
    ASSERT_GT(version.size(), 2u);
    EXPECT_EQ(version[0], 0x51);
    EXPECT_EQ(version[1], 0x00);

    EXPECT_EQ(Ask("44"), Hex("44 5A4D0E28 5A4D1200 5A4D6001 5A4D2303"));
    EXPECT_EQ(Ask("45 0A"), Hex("45 0A 5A4D 0E28"));
    EXPECT_EQ(Ask("45 65"), Hex("45 65 5A4D 2303"));
}

TEST_F(SimulatorCommands, BluetoothWriteThenRead) {
    // 14 00 enc mode PIN 0D name 0D, as the host lays it out.
    Tell("14 00 31 32 31 32 33 34 0D 48 75 62 0D");
    EXPECT_EQ(Ask("10 00"), Hex("10 00 37 42 63 32"));
    EXPECT_EQ(Ask("11 00"), Hex("11 00 37 42 64 48 75 62 00"));
    EXPECT_EQ(Ask("12 00"), Hex("12 00 37 42 6B 31 32 33 34 00"));
    EXPECT_EQ(Ask("13 00"), Hex("13 00 37 42 73 31"));
    Tell("59 00");
    EXPECT_EQ(Ask("58 00"), Hex("58 00"));
    Tell("59 05");
    EXPECT_EQ(Ask("58 00"), Hex("58 01"));
}

TEST_F(SimulatorCommands, LanAndWlanWriteThenRead) {
    const ByteVec lan = Hex("001122334455 C0A8000A FFFFFF00 C0A80001 08080808 01 00000000000000");
    EXPECT_EQ(Ask(HexOf(Cat({0x25}, lan))), Hex("25 00"));
    EXPECT_EQ(Ask("24"), Cat({0x24, 0x00}, lan));

    const ByteVec original = Ask("20 00");
    ASSERT_EQ(original.size(), 594u);
    ByteVec tail(original.begin() + 2 + 18, original.end());
    const std::string ssid = "Till-Net";
    std::fill(tail.begin() + (65 - 18), tail.begin() + (97 - 18), 0);
    std::copy(ssid.begin(), ssid.end(), tail.begin() + (65 - 18));
    const ByteVec ack = Ask(HexOf(Cat({0x21, 0x00}, tail)));
    ASSERT_EQ(ack.size(), 22u);
    EXPECT_EQ(ack[0], 0x21);
    EXPECT_EQ(ack[1], 0x00);
    EXPECT_EQ(ack[2 + 4], '_');
    EXPECT_EQ(ack[2 + 14], 'S');
    EXPECT_EQ(ack[2 + 15], 'U');
    EXPECT_EQ(ack[2 + 16], 'C');
    const ByteVec after = Ask("20 00");
    ASSERT_EQ(after.size(), 594u);
    EXPECT_EQ(ByteVec(after.begin() + 2, after.begin() + 20), ByteVec(original.begin() + 2, original.begin() + 20));
    EXPECT_EQ(ByteVec(after.begin() + 20, after.end()), tail);
    EXPECT_EQ(m_hub.Control("GET wlan.ssid"), "OK Till-Net");
}

TEST_F(SimulatorCommands, SerialAndCustomDevices) {
    EXPECT_EQ(Ask("03 64"), Hex("03 64 02 01 00 00"));
    Tell("02 64 06 01 00 00");
    EXPECT_EQ(Ask("03 64"), Hex("03 64 06 01 00 00"));
    EXPECT_EQ(Ask("03 0A"), Hex("03 0A 4E 4F"));

    ASSERT_EQ(m_hub.Control("SET custom_devices.max_entries 1"), "OK");
    EXPECT_EQ(Ask("41 03 1A 2B 00 FF"), Hex("41 03 00"));
    EXPECT_EQ(Ask("41 03 1A 2B 00 FF"), Hex("41 03 04"));
    EXPECT_EQ(Ask("41 03 0A 0B 0C 0D"), Hex("41 03 06"));
    EXPECT_EQ(Ask("40 03"), Hex("40 03 1A 2B 00 FF"));
    EXPECT_EQ(Ask("42 03 0A 0B 0C 0D"), Hex("42 03 05"));
    EXPECT_EQ(Ask("41 0B 0A 0B 0C 0D"), Hex("41 0B 03"));
    EXPECT_EQ(Ask("43 03"), Hex("43 03 00"));
    EXPECT_EQ(Ask("40 03"), Hex("40 03"));
}

TEST_F(SimulatorCommands, ServicesAndInterfaceUsage) {
    Tell("D1 00");
    EXPECT_EQ(Ask("D0"), Hex("D0 00"));
    Tell("D3 07");
    EXPECT_EQ(Ask("D2"), Hex("D2 01"));
    Tell(HexOf(Cat({0xD5}, Text("kassen"))));
    EXPECT_EQ(Ask("D4"), Cat(Cat({0xD4}, Text("kassen")), {0x00}));
    Tell(HexOf(Cat({0xD7}, Text("geheim"))));
    EXPECT_EQ(Ask("D6"), Cat(Cat({0xD6}, Text("geheim")), {0x00}));

    EXPECT_EQ(Ask("0E"), Hex("0E 00 01 01 02 01 03 01"));
    EXPECT_EQ(Ask("0F 01 01 03 00"), Hex("0F 00"));
    EXPECT_EQ(Ask("0E"), Hex("0E 00 01 01 02 01 03 00"));
    EXPECT_EQ(Ask("0F 01 00 02 00"), Hex("0F 05"));
    EXPECT_EQ(Ask("0E"), Hex("0E 00 01 01 02 01 03 00"));
}

TEST_F(SimulatorCommands, ReadModeAndReceivedRecord) {
    ASSERT_EQ(m_hub.Control("RX CLEAR"), "OK");
    Tell("72 0A 01");
    EXPECT_EQ(Ask("D0").at(0), 0xD0);  // proof the 0x72 was handled
    EXPECT_EQ(m_hub.Control("READMODE 10"), "OK 1");
    EXPECT_EQ(m_hub.Control("READMODE 11"), "OK none");
    m_client.SendFrame(10, Text("AB"));
    m_client.Send(ByteVec{0x00, 0x00, 0x00});  // keep-alive bytes between frames
    EXPECT_EQ(Ask("D0").at(0), 0xD0);
    EXPECT_EQ(m_hub.Control("RX 0"), "OK 720A01 D0 D0");
    EXPECT_EQ(m_hub.Control("RX 10"), "OK 4142");
    EXPECT_EQ(m_hub.Control("RX"), "OK 0:3 10:1");
    EXPECT_EQ(m_hub.Control("KEEPALIVE"), "OK 3");
    EXPECT_EQ(m_hub.Control("RX CLEAR"), "OK");
    EXPECT_EQ(m_hub.Control("RX 0"), "OK");
    EXPECT_EQ(m_hub.Control("KEEPALIVE"), "OK 0");
}

TEST_F(SimulatorCommands, PresenceReportsFollowEnableAndChanges) {
    // Before the enable byte a change of devices is not reported.
    ASSERT_EQ(m_hub.Control("UNPLUG 101"), "OK");
    EXPECT_TRUE(m_client.QuietFor(200));
    m_client.SendFrame(255, {0x01});
    auto report = m_client.ReadFrameFor(255);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->vecPayload, Hex("0A 14 64"));
    ASSERT_EQ(m_hub.Control("PLUG 30 echo"), "OK");
    report = m_client.ReadFrameFor(255);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->vecPayload, Hex("0A 14 1E 64"));
    ASSERT_EQ(m_hub.Control("UNPLUG 20"), "OK");
    report = m_client.ReadFrameFor(255);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->vecPayload, Hex("0A 1E 64"));
    EXPECT_EQ(m_hub.Control("DEVICES"), "OK 10:printer:5A4D:0E28 30:echo:1234:5678 100:serial:5A4D:6001");
    EXPECT_EQ(m_hub.Control("UNPLUG 20").rfind("ERR", 0), 0u);
    // The USB list follows the device set.
    EXPECT_EQ(Ask("44"), Hex("44 5A4D0E28 12345678 5A4D6001"));
}

TEST_F(SimulatorCommands, DevicesEchoSwallowOrAnswerGsI) {
    m_client.SendFrame(100, Text("loop"));
    auto echo = m_client.ReadFrameFor(100);
    ASSERT_TRUE(echo);
    EXPECT_EQ(echo->vecPayload, Text("loop"));
    m_client.SendFrame(10, Hex("1D 49 01"));
    auto model = m_client.ReadFrameFor(10);
    ASSERT_TRUE(model);
    EXPECT_EQ(model->vecPayload, Hex("20"));
    m_client.SendFrame(10, Hex("1D 49 43"));
    auto name = m_client.ReadFrameFor(10);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->vecPayload, Cat(Text("TM-VX80"), {0x00}));
    m_client.SendFrame(20, Text("ignored"));
    m_client.SendFrame(10, Text("receipt text"));
    EXPECT_TRUE(m_client.QuietFor(200));
}

TEST_F(SimulatorCommands, AlarmsStatusRecordsAndArbitraryFrames) {
    ASSERT_EQ(m_hub.Control("ALARM WRITE 20 4"), "OK");
    auto frame = m_client.ReadFrameFor(0);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->vecPayload, Hex("74 14 04"));
    ASSERT_EQ(m_hub.Control("ALARM HUB 2 1"), "OK");
    frame = m_client.ReadFrameFor(0);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->vecPayload, Hex("75 02 01"));
    ASSERT_EQ(m_hub.Control("ASB 12"), "OK");
    frame = m_client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->nDevice, 12);
    EXPECT_EQ(frame->vecPayload, Hex("14 00 00 0F"));
    ASSERT_EQ(m_hub.Control("IASB 19 35 41 42 00"), "OK");
    frame = m_client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->nDevice, 19);
    EXPECT_EQ(frame->vecPayload, Hex("35 41 42 00"));
    EXPECT_EQ(m_hub.Control("ASB 20").rfind("ERR", 0), 0u);
    EXPECT_EQ(m_hub.Control("ASB 12 14 00").rfind("ERR", 0), 0u);
    ASSERT_EQ(m_hub.Control("SEND 0 73 0B 00 41 42"), "OK");
    frame = m_client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->nDevice, 0);
    EXPECT_EQ(frame->vecPayload, Hex("73 0B 00 41 42"));
    ASSERT_EQ(m_hub.Control("RAW 56 51 54 05 00 00"), "OK");
    EXPECT_EQ(m_client.ReadRaw(1000, 6), Hex("56 51 54 05 00 00"));
}

TEST_F(SimulatorCommands, SettingsChangedByControlAreWhatTheHostReads) {
    ASSERT_EQ(m_hub.Control("SET model Counter-7_VXL"), "OK");
    EXPECT_EQ(Ask("50"), Cat({0x50, 0x00}, Text("Counter-7_VXL")));
    ASSERT_EQ(m_hub.Control("SET bluetooth.name Front Desk"), "OK");
    EXPECT_EQ(Ask("11 00"), Cat(Cat(Hex("11 00 37 42 64"), Text("Front Desk")), {0x00}));
    ASSERT_EQ(m_hub.Control("SET lan.ip 10.20.30.40"), "OK");
    const ByteVec lan = Ask("24");
    ASSERT_EQ(lan.size(), 32u);
    EXPECT_EQ(ByteVec(lan.begin() + 8, lan.begin() + 12), Hex("0A141E28"));
    ASSERT_EQ(m_hub.Control("SET serial.101 [6,1,1,2]"), "OK");
    EXPECT_EQ(Ask("03 65"), Hex("03 65 06 01 01 02"));
    // Refused values change nothing and say why.
    EXPECT_EQ(m_hub.Control("SET telnet 5").rfind("ERR", 0), 0u);
    EXPECT_EQ(m_hub.Control("SET no.such.key 1").rfind("ERR", 0), 0u);
    EXPECT_EQ(m_hub.Control("SET lan.ip nonsense").rfind("ERR", 0), 0u);
    EXPECT_EQ(Ask("D0"), Hex("D0 01"));
    EXPECT_EQ(m_hub.Control("BOGUS").rfind("ERR", 0), 0u);
}

TEST_F(SimulatorCommands, UnknownAndMalformedInputIsSurvived) {
    // Unknown command: no reply at all.
    m_client.SendFrame(0, Hex("99 01 02"));
    EXPECT_TRUE(m_client.QuietFor(300));
    // A zero-length frame, junk and a broken marker before a real request.
    m_client.Send(Hex("56 51 54 00 00 00 FF 56 51 00 13"));
    EXPECT_EQ(Ask("D0"), Hex("D0 01"));
    // Truncated requests get no reply rather than a read past their end.
    for (const char* pszShort : {"45", "03", "02 64", "40", "41", "59", "72 0A"}) {
        m_client.SendFrame(0, Hex(pszShort));
    }
    EXPECT_EQ(Ask("D0"), Hex("D0 01")) << "still answering after short requests";
    // Unknown payload on the presence channel.
    m_client.SendFrame(255, Hex("02 03"));
    EXPECT_EQ(Ask("D0"), Hex("D0 01"));
}

TEST_F(SimulatorCommands, HostLeavingMidFrameLeavesHubReadyForTheNext) {
    m_client.Send(Hex("56 51 54 00 00 10 50 50"));  // declares 16 bytes, sends 2
    m_client.Close();
    CRawHubClient next = CRawHubClient::Tcp(m_hub.Port());
    ASSERT_TRUE(next.Open());
    const auto reply = next.Ask(Hex("D0"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, Hex("D0 01"));
}

TEST_F(SimulatorCommands, NewConnectionReplacesTheOldOne) {
    CRawHubClient second = CRawHubClient::Tcp(m_hub.Port());
    ASSERT_TRUE(second.Open());
    EXPECT_TRUE(m_client.WaitClosed(2000));
    const auto reply = second.Ask(Hex("D2"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, Hex("D2 00"));
}

TEST_F(SimulatorCommands, LargeFrameSplitAcrossWritesIsReassembled) {
    const ByteVec lan = Hex("0A0B0C0D0E0F 01020304 05060708 090A0B0C 0D0E0F10 00 00000000000000");
    const ByteVec frame = MakeFrame(0, Cat({0x25}, lan));
    for (size_t i = 0; i < frame.size(); ++i) {
        m_client.Send(ByteVec{frame[i]});
        if (i % 8 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    auto reply = m_client.ReadFrameFor(0);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->vecPayload, Hex("25 00"));
    EXPECT_EQ(Ask("24"), Cat({0x24, 0x00}, lan));
}

TEST_F(SimulatorCommands, PrinterLifeIsScriptedAndStatusBackFollowsIt) {
    // No record before the host asks for status back; GS a answers with the status now.
    m_client.SendFrame(10, Text("before"));
    EXPECT_TRUE(m_client.QuietFor(200));
    m_client.SendFrame(10, Hex("1D 61 0F"));
    auto frame = m_client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->nDevice, 10);
    EXPECT_EQ(frame->vecPayload, Hex("10 00 00 00"));

    // Paper low after 10 more bytes: the 12 bytes cross it, and the change is sent.
    EXPECT_EQ(m_hub.Control("PRINTER 10 PAPER LOW AFTER 10").rfind("OK status_back=on record=10000000 printed=6", 0),
              0u);
    m_client.SendFrame(10, Text("twelve bytes"));
    frame = m_client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->vecPayload, Hex("10 00 03 00"));

    // The cover opened from the control socket reaches the host at once; data
    // sent to the off-line printer is not printed but raises its alarm.
    ASSERT_EQ(m_hub.Control("PRINTER 10 OFFLINE-ALARM 2").rfind("OK", 0), 0u);
    ASSERT_EQ(m_hub.Control("PRINTER 10 COVER OPEN").rfind("OK", 0), 0u);
    frame = m_client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->vecPayload, Hex("38 00 03 00"));
    m_client.SendFrame(10, Text("lost"));
    frame = m_client.ReadFrameFor(0);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->vecPayload, Hex("74 0A 02"));
    ASSERT_EQ(m_hub.Control("PRINTER 10 COVER CLOSED").rfind("OK", 0), 0u);
    frame = m_client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->vecPayload, Hex("10 00 03 00"));

    // The roll ends within a piece: the rest is not printed.
    ASSERT_EQ(m_hub.Control("PRINTER 10 PAPER OUT AFTER 5").rfind("OK", 0), 0u);
    m_client.SendFrame(10, Text("eight by"));
    frame = m_client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->vecPayload, Hex("18 00 0F 00"));
    EXPECT_NE(m_hub.Control("PRINTER 10").find(" printed=23 paper=out "), std::string::npos);
    ASSERT_EQ(m_hub.Control("PRINTER 10 ERROR CUTTER").rfind("OK", 0), 0u);
    frame = m_client.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->vecPayload, Hex("18 08 0F 00"));

    for (const char* pszBad :
         {"PRINTER 20", "PRINTER 10 PAPER", "PRINTER 10 ERROR BOGUS", "PRINTER 10 PAPER OK AFTER 5",
          "PRINTER 10 COVER AJAR", "PRINTER 10 OFFLINE-ALARM 256", "PRINTER 0"})
        EXPECT_EQ(m_hub.Control(pszBad).rfind("ERR", 0), 0u) << pszBad;
    // A printer plugged anew is in good order, its status back off.
    ASSERT_EQ(m_hub.Control("UNPLUG 10"), "OK");
    ASSERT_EQ(m_hub.Control("PLUG 10 printer 5A4D 0E28"), "OK");
    EXPECT_EQ(m_hub.Control("PRINTER 10").rfind("OK status_back=off record=10000000 printed=0 paper=ok", 0), 0u);
}
