// Each fault, switched at run time through the control socket (and one at start),
// behaves as the README says.
#include "HubSimFixture.h"
#include "RawHubClient.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

CHubSimFixture::Options Silent() {
    CHubSimFixture::Options options;
    options.bGreet = false;
    return options;
}

}  // namespace

TEST(SimulatorFaults, DelayHoldsEveryReplyBack) {
    CHubSimFixture hub(Silent());
    ASSERT_EQ(hub.Control("FAULT DELAY 400"), "OK");
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    const auto start = Clock::now();
    client.SendFrame(0, Hex("D0"));
    EXPECT_FALSE(client.ReadFrame(250)) << "reply came before the delay";
    const auto reply = client.ReadFrame(2000);
    ASSERT_TRUE(reply);
    EXPECT_GE(MsSince(start), 390);
    EXPECT_EQ(reply->vecPayload, Hex("D0 01"));
    ASSERT_EQ(hub.Control("FAULT DELAY 0"), "OK");
    const auto quick = Clock::now();
    ASSERT_TRUE(client.Ask(Hex("D0")));
    EXPECT_LT(MsSince(quick), 380) << "the delay was cleared";
}

TEST(SimulatorFaults, NoReplyWrongHeaderAndShortReply) {
    CHubSimFixture hub(Silent());
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    ASSERT_EQ(hub.Control("FAULT NOREPLY 0x50"), "OK");
    client.SendFrame(0, Hex("50"));
    EXPECT_FALSE(client.ReadFrame(300));
    EXPECT_EQ(client.Ask(Hex("D0")), Hex("D0 01")) << "other commands still answered";

    ASSERT_EQ(hub.Control("FAULT WRONGHEADER 11"), "OK");
    const auto bt = client.Ask(Hex("11 00"));
    ASSERT_TRUE(bt);
    ASSERT_GE(bt->size(), 5u);
    // Every checked header byte differs from 11 00 37 42 64.
    const ByteVec expected = Hex("11 00 37 42 64");
    for (size_t i = 0; i < 5; ++i) EXPECT_NE((*bt)[i], expected[i]) << "byte " << i;
    const auto lan = client.Ask(Hex("24"));
    ASSERT_TRUE(lan);
    EXPECT_EQ(ByteVec(lan->begin(), lan->begin() + 2), Hex("24 00")) << "only the named command is affected";

    ASSERT_EQ(hub.Control("FAULT SHORT 24"), "OK");
    const auto half = client.Ask(Hex("24"));
    ASSERT_TRUE(half);
    EXPECT_EQ(half->size(), 16u);
    ASSERT_EQ(hub.Control("FAULT SHORT 45 3"), "OK");
    EXPECT_EQ(client.Ask(Hex("45 0A")), Hex("45 0A 5A"));

    ASSERT_EQ(hub.Control("FAULT CLEAR"), "OK");
    const auto name = client.Ask(Hex("50"));
    ASSERT_TRUE(name);
    EXPECT_EQ((*name)[0], 0x50);
    EXPECT_EQ(client.Ask(Hex("24"))->size(), 32u);
}

TEST(SimulatorFaults, GarbageBetweenFrames) {
    CHubSimFixture hub(Silent());
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    ASSERT_EQ(hub.Control("FAULT GARBAGE ON"), "OK");
    client.SendFrame(0, Hex("D0"));
    const ByteVec raw = client.ReadRaw(1000, 8 + 8);
    ASSERT_GT(raw.size(), 8u);
    EXPECT_NE(ByteVec(raw.begin(), raw.begin() + 3), Hex("565154")) << "junk comes first";
    // The frame itself is intact after the junk.
    EXPECT_EQ(ByteVec(raw.end() - 8, raw.end()), MakeFrame(0, Hex("D0 01")));
    ASSERT_EQ(hub.Control("FAULT GARBAGE OFF"), "OK");
    client.SendFrame(0, Hex("D0"));
    EXPECT_EQ(client.ReadRaw(1000, 8), MakeFrame(0, Hex("D0 01")));
}

TEST(SimulatorFaults, SplitFramesArriveInPiecesWithPauses) {
    CHubSimFixture hub(Silent());
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    ASSERT_EQ(hub.Control("FAULT SPLIT 10 150"), "OK");
    const auto start = Clock::now();
    client.SendFrame(0, Hex("24"));  // 38-byte frame: 4 pieces
    const auto reply = client.ReadFrame(3000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->vecPayload.size(), 32u);
    EXPECT_GE(MsSince(start), 3 * 150 - 10);
    EXPECT_GE(client.ReadTimes().size(), 4u);
}

TEST(SimulatorFaults, CloseOnAcceptOnceAndAlways) {
    CHubSimFixture hub(Silent());
    ASSERT_EQ(hub.Control("FAULT CLOSE ONCE"), "OK");
    CRawHubClient first = CRawHubClient::Tcp(hub.Port());
    ASSERT_TRUE(first.Open());
    EXPECT_TRUE(first.WaitClosed(2000));
    CRawHubClient second = CRawHubClient::Tcp(hub.Port());
    EXPECT_EQ(second.Ask(Hex("D0")), Hex("D0 01"));

    ASSERT_EQ(hub.Control("FAULT CLOSE ALWAYS"), "OK");
    for (int i = 0; i < 2; ++i) {
        CRawHubClient client = CRawHubClient::Tcp(hub.Port());
        ASSERT_TRUE(client.Open());
        EXPECT_TRUE(client.WaitClosed(2000)) << "attempt " << i;
    }
    ASSERT_EQ(hub.Control("FAULT CLOSE OFF"), "OK");
    CRawHubClient last = CRawHubClient::Tcp(hub.Port());
    EXPECT_EQ(last.Ask(Hex("D0")), Hex("D0 01"));
}

TEST(SimulatorFaults, DropAfterFrames) {
    CHubSimFixture::Options options = Silent();
    options.bPty = true;
    CHubSimFixture hub(options);
    ASSERT_EQ(hub.Control("FAULT DROP 2"), "OK");
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    EXPECT_EQ(client.Ask(Hex("D0")), Hex("D0 01"));
    EXPECT_EQ(client.Ask(Hex("D2")), Hex("D2 00")) << "the second frame is still answered";
    EXPECT_TRUE(client.WaitClosed(2000));

    // The pty cannot be dropped: it keeps answering past the count.
    CRawHubClient serial = CRawHubClient::Pty(hub.PtyPath());
    for (int i = 0; i < 3; ++i) {
        serial.SendFrame(0, Hex("D0"));
        EXPECT_EQ(serial.ReadRaw(1000, 8), MakeFrame(0, Hex("D0 01"))) << "request " << i + 1;
    }
}

TEST(SimulatorFaults, CutReplyStopsInsideTheFrameAndDropsTheLink) {
    CHubSimFixture::Options options = Silent();
    options.bPty = true;
    CHubSimFixture hub(options);
    ASSERT_EQ(hub.Control("FAULT CUT 24 10"), "OK");
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    EXPECT_EQ(client.Ask(Hex("D0")), Hex("D0 01")) << "other commands are answered whole";
    client.SendFrame(0, Hex("24"));
    // Header and four of the 32 payload bytes, then the close.
    const ByteVec cut = client.ReadRaw(1000);
    ASSERT_EQ(cut.size(), 10u);
    EXPECT_EQ(ByteVec(cut.begin(), cut.begin() + 8), Hex("56 51 54 00 00 20 24 00"));
    EXPECT_TRUE(client.WaitClosed(1000));

    // The pty cannot be closed: the rest of the frame never comes, later replies do.
    ASSERT_EQ(hub.Control("FAULT CUT 24"), "OK");
    CRawHubClient serial = CRawHubClient::Pty(hub.PtyPath());
    serial.SendFrame(0, Hex("24"));
    EXPECT_EQ(serial.ReadRaw(500).size(), 19u) << "half the 38-byte frame";
    ASSERT_EQ(hub.Control("FAULT CUT OFF"), "OK");
    serial.SendFrame(0, Hex("D0"));
    EXPECT_EQ(serial.ReadRaw(1000, 8), MakeFrame(0, Hex("D0 01")));
    EXPECT_NE(hub.Control("FAULT").find("cut=off"), std::string::npos);
}

TEST(SimulatorFaults, SilentHubReadsButNeverAnswers) {
    CHubSimFixture hub;  // greeting on: silence suppresses it too
    ASSERT_EQ(hub.Control("FAULT SILENT ON"), "OK");
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    client.SendFrame(255, Hex("01"));
    client.SendFrame(0, Hex("50"));
    ASSERT_EQ(hub.Control("ALARM HUB 1 1"), "OK");
    EXPECT_TRUE(client.QuietFor(400));
    EXPECT_EQ(hub.Control("RX 0"), "OK 50") << "what it was sent is still recorded";
    ASSERT_EQ(hub.Control("FAULT SILENT OFF"), "OK");
    EXPECT_EQ(client.Ask(Hex("D0")), Hex("D0 01"));
}

TEST(SimulatorFaults, RefuseConnectionsThenAcceptAgainOnTheSamePort) {
    CHubSimFixture hub(Silent());
    ASSERT_EQ(hub.Control("FAULT REFUSE ON"), "OK");
    int nError = 0;
    CRawHubClient refused = CRawHubClient::Tcp(hub.Port(), &nError);
    EXPECT_FALSE(refused.Open());
    EXPECT_EQ(nError, ECONNREFUSED);
    ASSERT_EQ(hub.Control("FAULT REFUSE OFF"), "OK");
    CRawHubClient client = CRawHubClient::Tcp(hub.Port(), &nError);
    ASSERT_TRUE(client.Open()) << "errno " << nError;
    EXPECT_EQ(client.Ask(Hex("D0")), Hex("D0 01"));
}

TEST(SimulatorFaults, FaultsGivenAtStart) {
    CHubSimFixture::Options options = Silent();
    options.extraArgs = {"--no-reply", "D0", "--delay", "200", "--fault", "WRONGHEADER 0x24", "--cut-reply", "44:9"};
    CHubSimFixture hub(options);
    const std::string strFaults = hub.Control("FAULT");
    EXPECT_NE(strFaults.find("delay=200"), std::string::npos) << strFaults;
    EXPECT_NE(strFaults.find("noreply=0xD0"), std::string::npos) << strFaults;
    EXPECT_NE(strFaults.find("wrongheader=0x24"), std::string::npos) << strFaults;
    EXPECT_NE(strFaults.find("cut=0x44:9"), std::string::npos) << strFaults;
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    client.SendFrame(0, Hex("D0"));
    EXPECT_FALSE(client.ReadFrame(500));
}

TEST(SimulatorFaults, RefusedAtStartStillBecomesReady) {
    CHubSimFixture::Options options = Silent();
    options.extraArgs = {"--refuse"};
    CHubSimFixture hub(options);
    int nError = 0;
    EXPECT_FALSE(CRawHubClient::Tcp(hub.Port(), &nError).Open());
    EXPECT_EQ(nError, ECONNREFUSED);
}

TEST(SimulatorFaults, BadFaultCommandsAreRefused) {
    CHubSimFixture hub(Silent());
    for (const char* pszLine : {"FAULT DELAY -1", "FAULT NOREPLY zz", "FAULT SPLIT 0 10", "FAULT CLOSE SOMETIMES",
                                "FAULT DROP x", "FAULT SILENT MAYBE", "FAULT TELEPORT", "FAULT SHORT 24 0"}) {
        EXPECT_EQ(hub.Control(pszLine).rfind("ERR", 0), 0u) << pszLine;
    }
    EXPECT_NE(hub.Control("FAULT").find("delay=0 noreply=off"), std::string::npos);
}
