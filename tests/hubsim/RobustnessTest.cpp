// Whatever a host or a control client sends, the hub keeps answering.
#include "ControlCommands.h"
#include "HubSimFixture.h"
#include "RawHubClient.h"

#include <gtest/gtest.h>

#include <random>

using namespace hubsim;

TEST(Robustness, RandomStreamsNeverStopTheHub) {
    CHubSimFixture::Options options;
    options.bGreet = false;
    CHubSimFixture hub(options);
    std::mt19937 random(12345);
    for (int nRound = 0; nRound < 6; ++nRound) {
        CRawHubClient client = CRawHubClient::Tcp(hub.Port());
        ASSERT_TRUE(client.Open());
        ByteVec noise;
        for (int i = 0; i < 20000; ++i) {
            const uint32_t r = random();
            if (r % 97 == 0) {
                // Now and then a real frame with random contents, to reach the command handlers.
                ByteVec payload(1 + random() % 40);
                for (auto& b : payload) b = static_cast<uint8_t>(random());
                if (r % 3 == 0) payload[0] = static_cast<uint8_t>(0x40 + random() % 4);
                const ByteVec frame = MakeFrame(static_cast<uint8_t>(r % 3 == 1 ? random() : 0), payload);
                noise.insert(noise.end(), frame.begin(), frame.end());
            } else {
                noise.push_back(static_cast<uint8_t>(r >> 8));
            }
        }
        client.Send(noise);
        client.Close();  // possibly mid-frame: the next connection starts afresh
    }
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    const auto reply = client.Ask(Hex("D2"));
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], 0xD2);
    EXPECT_EQ(hub.Control("PING"), "OK PONG");
}

TEST(Robustness, ControlLinesAlwaysGetOneAnswer) {
    CHub hub(CHubState{}, "");
    bool bQuit = false;
    CControlInterpreter interpreter(hub, nullptr, [&] { bQuit = true; });
    const std::vector<std::string> vocabulary = {"SET",
                                                 "GET",
                                                 "FAULT",
                                                 "PLUG",
                                                 "UNPLUG",
                                                 "SEND",
                                                 "RAW",
                                                 "ALARM",
                                                 "ASB",
                                                 "IASB",
                                                 "RX",
                                                 "USB",
                                                 "READMODE",
                                                 "DELAY",
                                                 "SPLIT",
                                                 "SHORT",
                                                 "ON",
                                                 "OFF",
                                                 "CLEAR",
                                                 "WRITE",
                                                 "HUB",
                                                 "0",
                                                 "10",
                                                 "255",
                                                 "256",
                                                 "-1",
                                                 "0x50",
                                                 "zz",
                                                 "lan.ip",
                                                 "wlan",
                                                 "devices.0.kind",
                                                 "serial.100",
                                                 "bluetooth.name",
                                                 "[1,2]",
                                                 "{}",
                                                 "\"\"",
                                                 "1.2.3.4",
                                                 "echo",
                                                 "custom_devices.max_entries",
                                                 "model",
                                                 "ffff",
                                                 "56 51 54",
                                                 "EXCLUSIVE",
                                                 "CLOSE",
                                                 "ONCE",
                                                 "DROP",
                                                 "SILENT"};
    std::mt19937 random(777);
    for (int i = 0; i < 3000; ++i) {
        std::string strLine;
        const int nWords = 1 + static_cast<int>(random() % 5);
        for (int w = 0; w < nWords; ++w) {
            if (w) strLine += ' ';
            strLine += vocabulary[random() % vocabulary.size()];
        }
        const std::string strAnswer = interpreter.Execute(strLine);
        ASSERT_TRUE(strAnswer.rfind("OK", 0) == 0 || strAnswer.rfind("ERR ", 0) == 0) << strLine << " -> " << strAnswer;
        ASSERT_EQ(strAnswer.find('\n'), std::string::npos) << strLine;
    }
    // Whatever was set, the state still makes a valid document and a valid hub.
    const auto doc = hub.WithState([](CHubState& state) { return state.ToJson(); });
    EXPECT_NO_THROW(CHubState::FromJson(doc));
    EXPECT_FALSE(bQuit);
    EXPECT_EQ(interpreter.Execute("QUIT"), "OK BYE");
    EXPECT_TRUE(bQuit);
}

TEST(Robustness, ControlSetAndGetRoundTrip) {
    CHub hub(CHubState{}, "");
    CControlInterpreter interpreter(hub, nullptr, nullptr);
    EXPECT_EQ(interpreter.Execute("SET snmp_ro \"\""), "OK");
    EXPECT_EQ(interpreter.Execute("GET snmp_ro"), "OK");
    EXPECT_EQ(interpreter.Execute("SET bluetooth.pin 4711"), "OK");
    EXPECT_EQ(interpreter.Execute("GET bluetooth.pin"), "OK 4711") << "digits stay text where the setting is text";
    EXPECT_EQ(interpreter.Execute("SET devices.0.kind echo"), "OK");
    EXPECT_EQ(interpreter.Execute("GET devices.0"), R"(OK {"id":10,"kind":"echo","pid":"0E28","vid":"5A4D"})");
    EXPECT_EQ(interpreter.Execute("SET devices [{\"id\": 7}]"), "OK");
    EXPECT_EQ(hub.WithState([](CHubState& s) { return s.PresenceList(); }), (Bytes{7}));
    EXPECT_EQ(interpreter.Execute("SET interfaces.lan 2").rfind("ERR interfaces.lan", 0), 0u);
    EXPECT_EQ(interpreter.Execute("GET interfaces.lan"), "OK 1");
    EXPECT_EQ(interpreter.Execute("USB PLUG").rfind("ERR", 0), 0u);
}

TEST(Robustness, ControlSocketServesSeveralClientsAndDropsFloods) {
    CHubSimFixture hub;
    std::vector<CRawHubClient> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(CRawHubClient::Tcp(hub.ControlPort()));
        ASSERT_TRUE(clients.back().Open());
    }
    // Commands from several clients, answered each on its own connection.
    for (size_t i = 0; i < clients.size(); ++i) {
        const std::string strLine = "READMODE " + std::to_string(10 + i) + "\r\n";
        clients[i].Send(ByteVec(strLine.begin(), strLine.end()));
    }
    for (auto& client : clients) {
        const ByteVec answer = client.ReadRaw(2000, 8);
        EXPECT_EQ(std::string(answer.begin(), answer.end()), "OK none\n");
    }
    // A line longer than any command is refused once and skipped; the client can go on.
    CRawHubClient flood = CRawHubClient::Tcp(hub.ControlPort());
    std::string strFlood(2 * 1024 * 1024 + 10, 'A');
    strFlood += "\nPING\n";
    const ByteVec lines(strFlood.begin(), strFlood.end());
    flood.Send(lines);
    const ByteVec answers = flood.ReadRaw(3000, 18 + 8);
    EXPECT_EQ(std::string(answers.begin(), answers.end()), "ERR line too long\nOK PONG\n");
    EXPECT_EQ(hub.Control("PING"), "OK PONG");
}
