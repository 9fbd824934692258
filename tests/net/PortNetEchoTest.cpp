// The echo check of the network port through a fake ICMP network: which
// replies count, how long it waits, and when it asks twice.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "FakeIcmp.h"
#include "NetTestSupport.h"
#include "platform/Clock.h"
#include "portlib/PingCheck.h"

using namespace nettest;
using namespace vexal;

namespace {

constexpr uint32_t kHub = 0xC0A80A14;  // 192.168.10.20
const std::u16string kHubText = u"192.168.10.20";

SFakeReply Good(uint32_t nDelayMs = 5) {
    return {nDelayMs, kHub, [](uint16_t id) { return EchoReplyDatagram(id); }};
}

class PortNetEcho : public ::testing::Test {
protected:
    void SetUp() override {
        m_pNet = std::make_shared<CFakeIcmpNetwork>();
        m_pPort = MakeNetPort("192.168.10.20", 9100, m_log);
        m_pPort->SetIcmpEndpointFactory(m_pNet->Factory());
    }
    // Runs one check; returns its result and how long it took.
    uint32_t Check(uint64_t& nTookMs) {
        const uint64_t t0 = platform::TickMs();
        const uint32_t r = m_pPort->CheckPingResponse(kHubText);
        nTookMs = platform::TickMs() - t0;
        return r;
    }

    CTempDir m_log;
    std::shared_ptr<CFakeIcmpNetwork> m_pNet;
    std::shared_ptr<CPortNet> m_pPort;
};

}  // namespace

TEST_F(PortNetEcho, ValidReplySucceedsWithOneWellFormedRequest) {
    m_pNet->QueueReplies({Good()});
    uint64_t nTook = 0;
    EXPECT_EQ(Check(nTook), 1u);
    EXPECT_EQ(m_pPort->IsReachable(), 1u);
    EXPECT_LT(nTook, 900u);
    ASSERT_EQ(m_pNet->RequestsSent(), 1);
    const auto request = m_pNet->Requests()[0];
    ASSERT_EQ(request.size(), 40u);
    EXPECT_EQ(request[0], 0x08);
    EXPECT_EQ(InternetChecksum(request), 0);
    EXPECT_LT((request[4] << 8 | request[5]), 32768);
    EXPECT_EQ(m_pNet->EndpointsOpenNow(), 0) << "the check closes its endpoint";
    EXPECT_EQ(CountInLog(m_log, "+CheckPingResponse"), 1);
    EXPECT_EQ(CountInLog(m_log, "sendto in CheckPingResponse"), 1);
    EXPECT_EQ(CountInLog(m_log, "-CheckPingResponse:"), 1);
}

TEST_F(PortNetEcho, InvalidRepliesFailTheCheckAfterTheWait) {
    struct Case {
        const char* pszWhat;
        SFakeReply reply;
    };
    const Case cases[] = {
        {"wrong source", {5, kHub + 1, [](uint16_t id) { return EchoReplyDatagram(id); }}},
        {"short datagram",
         {5, kHub,
          [](uint16_t id) {
              auto d = EchoReplyDatagram(id, 0, 5, 0);
              d.pop_back();
              return d;
          }}},
        {"empty datagram", {5, kHub, [](uint16_t) { return std::vector<uint8_t>{}; }}},
        {"header longer than datagram",
         {5, kHub,
          [](uint16_t id) {
              auto d = EchoReplyDatagram(id);
              d[0] = 0x4F;
              return d;
          }}},
        {"wrong type", {5, kHub, [](uint16_t id) { return EchoReplyDatagram(id, 8); }}},
        {"unreachable report", {5, kHub, [](uint16_t id) { return EchoReplyDatagram(id, 3); }}},
        {"wrong identifier", {5, kHub, [](uint16_t id) { return EchoReplyDatagram(static_cast<uint16_t>(id ^ 1)); }}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        m_pNet->QueueReplies({c.reply});
        uint64_t nTook = 0;
        EXPECT_EQ(Check(nTook), 0u);
        // Read on for the rest of the 1 s wait in case the right one follows.
        EXPECT_GE(nTook, 950u);
        EXPECT_LT(nTook, 2500u);
    }
    EXPECT_EQ(m_pNet->RequestsSent(), 7) << "a fast invalid reply asks no second time";
    EXPECT_EQ(CountInLog(m_log, "-CheckPingResponse\r\n"), 7);
}

TEST_F(PortNetEcho, OthersRepliesAreSkippedUntilOursArrives) {
    // Another check's reply and a stray request come first.
    m_pNet->QueueReplies({{5, kHub, [](uint16_t id) { return EchoReplyDatagram(static_cast<uint16_t>(id + 7)); }},
                          {10, kHub, [](uint16_t id) { return EchoReplyDatagram(id, 8); }},
                          Good(60)});
    uint64_t nTook = 0;
    EXPECT_EQ(Check(nTook), 1u);
    EXPECT_LT(nTook, 900u);
}

TEST_F(PortNetEcho, MissingAndLateRepliesFailWithinBounds) {
    uint64_t nTook = 0;
    m_pNet->QueueReplies({});
    EXPECT_EQ(Check(nTook), 0u);
    EXPECT_GE(nTook, 950u);
    EXPECT_LT(nTook, 2500u);
    EXPECT_EQ(CountInLog(m_log, "ping response time is exceed 1.0sec"), 1);

    m_pNet->QueueReplies({Good(1300)});
    EXPECT_EQ(Check(nTook), 0u);
    EXPECT_LT(nTook, 2500u);
    EXPECT_EQ(m_pNet->RequestsSent(), 2);

    m_pNet->FailOpens(EPERM);
    EXPECT_EQ(Check(nTook), 0u);
    EXPECT_LT(nTook, 500u);
    EXPECT_EQ(CountInLog(m_log, "CheckPingResponse : INVALID_SOCKET"), 1);
}

TEST_F(PortNetEcho, SlowFirstReplyAsksOnceMoreAndTheSecondDecides) {
    uint64_t nTook = 0;
    // Slow, then a good second answer: success, and the first time is logged.
    m_pNet->QueueReplies({Good(850)});
    m_pNet->QueueReplies({Good(5)});
    EXPECT_EQ(Check(nTook), 1u);
    EXPECT_EQ(m_pNet->RequestsSent(), 2);
    EXPECT_GE(nTook, 840u);
    const std::string log = LogText(m_log);
    const auto at = log.find("-CheckPingResponse:");
    ASSERT_NE(at, std::string::npos);
    EXPECT_GE(std::stoi(log.substr(at + 19)), 800);

    // Slow, then silence: failure after the second wait.
    m_pNet->QueueReplies({Good(850)});
    m_pNet->QueueReplies({});
    EXPECT_EQ(Check(nTook), 0u);
    EXPECT_EQ(m_pNet->RequestsSent(), 4);
    EXPECT_GE(nTook, 1800u);
    EXPECT_LT(nTook, 4000u);
    EXPECT_EQ(CountInLog(m_log, "ping response 2 timeout"), 1);

    // Slow, then a wrong answer: failure.
    m_pNet->QueueReplies({Good(850)});
    m_pNet->QueueReplies({{5, kHub + 1, [](uint16_t id) { return EchoReplyDatagram(id); }}});
    EXPECT_EQ(Check(nTook), 0u);
    EXPECT_EQ(m_pNet->RequestsSent(), 6);

    // Fast enough: one request only.
    m_pNet->QueueReplies({Good(700)});
    EXPECT_EQ(Check(nTook), 1u);
    EXPECT_EQ(m_pNet->RequestsSent(), 7);
}

TEST(PortNetEchoPair, TwoPortsCheckingAtOnceDoNotTakeEachOthersReplies) {
    // Both checks draw their identifier in the same second, and every reply
    // reaches both endpoints, the other port's first.
    auto pNet = std::make_shared<CFakeIcmpNetwork>();
    pNet->SetDefaultReply({Good(20)});
    CTempDir logA, logB;
    auto pA = MakeNetPort("192.168.10.20", 9100, logA);
    auto pB = MakeNetPort("192.168.10.20", 9100, logB);
    pA->SetIcmpEndpointFactory(pNet->Factory());
    pB->SetIcmpEndpointFactory(pNet->Factory());
    for (int round = 0; round < 5; ++round) {
        uint32_t rA = 0, rB = 0;
        std::thread tA([&] { rA = pA->CheckPingResponse(kHubText); });
        std::thread tB([&] { rB = pB->CheckPingResponse(kHubText); });
        tA.join();
        tB.join();
        EXPECT_EQ(rA, 1u);
        EXPECT_EQ(rB, 1u);
    }
    const auto requests = pNet->Requests();
    ASSERT_EQ(requests.size(), 10u);
    for (size_t i = 0; i + 1 < requests.size(); i += 2) {
        ASSERT_EQ(requests[i].size(), 40u);
        ASSERT_EQ(requests[i + 1].size(), 40u);
        EXPECT_NE(requests[i][4] << 8 | requests[i][5], requests[i + 1][4] << 8 | requests[i + 1][5]);
    }
}

TEST(PortNetBadAddress, TextThatIsNoDottedAddressFailsCleanly) {
    CTempDir log;
    auto pNet = std::make_shared<CFakeIcmpNetwork>();
    pNet->SetDefaultReply({Good()});
    for (const char* pszName : {"hub.local", "1.2.3", "300.1.1.1", "1.2.3.4 "}) {
        SCOPED_TRACE(pszName);
        auto pPort = MakeNetPort(pszName, 9100, log);
        pPort->SetIcmpEndpointFactory(pNet->Factory());
        const std::string strName = pszName;
        EXPECT_EQ(pPort->CheckPingResponse(std::u16string(strName.begin(), strName.end())), 0u);
        const uint64_t t0 = platform::TickMs();
        EXPECT_EQ(pPort->OpenPort(), 0u);
        EXPECT_LT(platform::TickMs() - t0, 1000u);
        pPort->ClosePort();
    }
    EXPECT_EQ(pNet->RequestsSent(), 0);
    EXPECT_EQ(CountInLog(log, "ping sendto error:"), 4);
    EXPECT_EQ(CountInLog(log, "-ConnectSocket(Non-blocking) : "), 4);
    EXPECT_EQ(CountInLog(log, "-OpenPort : fail to connected. retry(1)"), 4);
}
