// The network port against vexal-hubsim on loopback, with the system's ICMP
// path (the kernel answers echo requests on loopback) unless a test plugs in
// a silent fake hub.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FakeIcmp.h"
#include "HubSimFixture.h"
#include "NetTestSupport.h"
#include "platform/Clock.h"

using namespace nettest;
using namespace vexal;

namespace {

// Polls a condition every 50 ms for up to nMaxMs.
bool WaitFor(const std::function<bool()>& pred, uint32_t nMaxMs) {
    const uint64_t t0 = platform::TickMs();
    while (platform::TickMs() - t0 < nMaxMs) {
        if (pred()) return true;
        platform::SleepMs(50);
    }
    return pred();
}

// A listening TCP socket on 127.0.0.1 with a free port (written to sa); -1 on failure.
int ListenOnLoopback(int nBacklog, sockaddr_in& sa) {
    const int hListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sa = sockaddr_in{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof sa;
    if (hListen < 0 || bind(hListen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        listen(hListen, nBacklog) != 0 || getsockname(hListen, reinterpret_cast<sockaddr*>(&sa), &nLen) != 0) {
        if (hListen >= 0) close(hListen);
        return -1;
    }
    return hListen;
}

std::vector<uint8_t> Frame(uint8_t device, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> f(6 + payload.size());
    const uint8_t header[6] = {
        'V', 'Q', 'T', device, static_cast<uint8_t>(payload.size() >> 8), static_cast<uint8_t>(payload.size())};
    std::copy(std::begin(header), std::end(header), f.begin());
    std::copy(payload.begin(), payload.end(), f.begin() + 6);
    return f;
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

int KeepAlives(CHubSimFixture& hub) {
    const std::string answer = hub.Control("KEEPALIVE");  // "OK <count>"
    return answer.rfind("OK ", 0) == 0 ? std::stoi(answer.substr(3)) : -1;
}

class PortNetHub : public ::testing::Test {
protected:
    std::shared_ptr<CPortNet> Port(uint32_t dwTcpPort) {
        m_pPort = MakeNetPort("127.0.0.1", dwTcpPort, m_log);
        return m_pPort;
    }
    void TearDown() override {
        if (m_pPort) m_pPort->ClosePort();
    }

    CTempDir m_log;
    CHubSimFixture m_hub;
    std::shared_ptr<CPortNet> m_pPort;
};

}  // namespace

TEST_F(PortNetHub, OpensOnTheLow16BitsOfThePortNumberAndReadsAReply) {
    // 65536 + port: only the low 16 bits name the TCP port.
    auto pPort = Port(0x10000u + m_hub.Port());
    const uint64_t t0 = platform::TickMs();
    ASSERT_EQ(pPort->OpenPort(), 1u);
    const uint64_t nTook = platform::TickMs() - t0;
    EXPECT_GE(nTook, 300u) << "connect pause and close-check pause";
    EXPECT_LT(nTook, 6000u);
    EXPECT_EQ(pPort->m_dwLinkState.load(), ZAMO_LINK_ONLINE);
    EXPECT_EQ(CountInLog(m_log, "-OpenPort : Success"), 1);

    ASSERT_EQ(m_hub.Control("SEND 0 0102AB").rfind("OK", 0), 0u);
    uint8_t buf[3] = {};
    ASSERT_EQ(pPort->Read(0, buf, 3, 8000), 3u);
    EXPECT_EQ(buf[0], 0x01);
    EXPECT_EQ(buf[2], 0xAB);

    // And the other way: a frame written reaches the hub whole.
    const auto frame = Frame(5, {0xAA, 0xBB});
    const uint64_t t1 = platform::TickMs();
    EXPECT_EQ(pPort->WritePort(frame.data(), static_cast<uint32_t>(frame.size())), static_cast<int32_t>(frame.size()));
    EXPECT_GE(platform::TickMs() - t1, 45u) << "pause after every send";
    EXPECT_TRUE(WaitFor([&] { return Upper(m_hub.Control("RX 5")).find("AABB") != std::string::npos; }, 3000));
    EXPECT_EQ(pPort->WritePort(nullptr, 3), 0);
    EXPECT_EQ(pPort->WritePort(frame.data(), 0), 0);
}

TEST_F(PortNetHub, RefusedConnectionFailsAfterOneAttempt) {
    ASSERT_EQ(m_hub.Control("FAULT REFUSE ON").rfind("OK", 0), 0u);
    auto pPort = Port(m_hub.Port());
    const uint64_t t0 = platform::TickMs();
    EXPECT_EQ(pPort->OpenPort(), 0u);
    const uint64_t nTook = platform::TickMs() - t0;
    EXPECT_GE(nTook, 90u) << "the pause after starting the connect";
    EXPECT_LT(nTook, 3000u);
    EXPECT_EQ(CountInLog(m_log, "-OpenPort : fail to connected. retry(1)"), 1);
    EXPECT_EQ(CountInLog(m_log, "ConnectSocket in OpenPort"), 1);  // no second attempt
    EXPECT_EQ(CountInLog(m_log, "FD_ISSET return fail in ConnectSocket"), 1);
    EXPECT_FALSE(pPort->IsReaderRunning());
    EXPECT_FALSE(pPort->m_bOpen.load());
}

TEST_F(PortNetHub, HubClosingAtOnceGetsExactlyOneMoreConnect) {
    ASSERT_EQ(m_hub.Control("FAULT CLOSE ONCE").rfind("OK", 0), 0u);
    auto pPort = Port(m_hub.Port());
    const uint64_t t0 = platform::TickMs();
    EXPECT_EQ(pPort->OpenPort(), 1u);
    const uint64_t nTook = platform::TickMs() - t0;
    // 100 + 200 before the close check, 1000 before the second connect, 100 in it.
    EXPECT_GE(nTook, 1350u);
    EXPECT_LT(nTook, 8000u);
    EXPECT_EQ(CountInLog(m_log, "second ConnectSocket in OpenPort"), 1);
    EXPECT_EQ(CountInLog(m_log, "ConnectSocket in OpenPort"), 2);
    EXPECT_EQ(CountInLog(m_log, "Check to receive FIN packet="), 1);

    // The second connection is the one kept: data flows on it.
    ASSERT_EQ(m_hub.Control("SEND 0 55").rfind("OK", 0), 0u);
    uint8_t b = 0;
    EXPECT_EQ(pPort->Read(0, &b, 1, 8000), 1u);
    EXPECT_EQ(b, 0x55);
}

TEST_F(PortNetHub, HubRestartGoesOffLineThenReconnectsWithoutLosingBytes) {
    auto pPort = Port(m_hub.Port());
    pPort->AddDevice(254);  // the simulator greets every new connection there
    ASSERT_EQ(pPort->OpenPort(), 1u);
    ASSERT_TRUE(WaitFor([&] { return pPort->AvailableCount(254) > 0; }, 6000));
    pPort->Clear(254);

    m_hub.Stop();
    // Close seen, 2500 ms pause, reconnect refused: off-line although loopback
    // still answers echo requests.
    EXPECT_TRUE(WaitFor([&] { return pPort->m_dwLinkState.load() == ZAMO_LINK_OFFLINE; }, 15000));
    EXPECT_GE(CountInLog(m_log, "Check to receive FIN packet="), 1);
    EXPECT_GE(CountInLog(m_log, "Socket is closed and sleep"), 1);

    m_hub.Restart();
    ASSERT_TRUE(WaitFor([&] { return pPort->m_dwLinkState.load() == ZAMO_LINK_ONLINE; }, 15000));
    EXPECT_GE(CountInLog(m_log, "Socket reopen success"), 1);
    // The greeting the hub sent at once on the new connection is not lost,
    // nor is anything after it.
    EXPECT_TRUE(WaitFor([&] { return pPort->AvailableCount(254) > 0; }, 6000));
    for (int i = 0; i < 5; ++i) ASSERT_EQ(m_hub.Control("SEND 0 0" + std::to_string(i) + "EE").rfind("OK", 0), 0u);
    uint8_t buf[10] = {};
    ASSERT_EQ(pPort->Read(0, buf, 10, 8000), 10u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(buf[2 * i], i);
        EXPECT_EQ(buf[2 * i + 1], 0xEE);
    }
}

TEST_F(PortNetHub, HubThatDropsEveryNewConnectionKeepsTheLinkOffLine) {
    auto pPort = Port(m_hub.Port());
    ASSERT_EQ(pPort->OpenPort(), 1u);
    ASSERT_EQ(m_hub.Control("FAULT CLOSE ALWAYS").rfind("OK", 0), 0u);
    ASSERT_EQ(m_hub.Control("KICK").rfind("OK", 0), 0u);
    // Reconnects succeed but the hub closes them at once: not on-line.
    EXPECT_TRUE(WaitFor([&] { return pPort->m_dwLinkState.load() == ZAMO_LINK_OFFLINE; }, 10000));
    EXPECT_TRUE(WaitFor([&] { return CountInLog(m_log, "Check to receive FIN packet=") >= 3; }, 12000));
    EXPECT_EQ(pPort->m_dwLinkState.load(), ZAMO_LINK_OFFLINE);
    EXPECT_EQ(CountInLog(m_log, "Socket reopen success"), 0);

    ASSERT_EQ(m_hub.Control("FAULT CLOSE OFF").rfind("OK", 0), 0u);
    EXPECT_TRUE(WaitFor([&] { return pPort->m_dwLinkState.load() == ZAMO_LINK_ONLINE; }, 12000));
    EXPECT_EQ(CountInLog(m_log, "Socket reopen success"), 1);
}

TEST_F(PortNetHub, KeepAliveBytesFlowOnAnIdleLineUnlessWriting) {
    auto pPort = Port(m_hub.Port());
    ASSERT_EQ(pPort->OpenPort(), 1u);
    // One byte per cycle: 2 s data wait + 100 ms pause + echo time.
    ASSERT_TRUE(WaitFor([&] { return KeepAlives(m_hub) >= 1; }, 6000));
    const int nFirst = KeepAlives(m_hub);
    platform::SleepMs(8500);
    const int nInWindow = KeepAlives(m_hub) - nFirst;
    EXPECT_GE(nInWindow, 2);
    EXPECT_LE(nInWindow, 5) << "not more often than one per 2.1 s cycle";
    EXPECT_GE(CountInLog(m_log, "NULL Packet"), 3);

    pPort->SetWrite(1);
    platform::SleepMs(2500);  // a cycle already past its check may still send one
    const int nBefore = KeepAlives(m_hub);
    platform::SleepMs(5000);
    EXPECT_EQ(KeepAlives(m_hub), nBefore) << "no keep-alive while the write flag is set";

    pPort->SetWrite(0);
    EXPECT_TRUE(WaitFor([&] { return KeepAlives(m_hub) > nBefore; }, 6000));
}

TEST_F(PortNetHub, WriteOnABrokenLinkFailsAndLaterCyclesReconnect) {
    auto pPort = Port(m_hub.Port());
    // Echo replies after 700 ms (still one request each) keep the reader's
    // cycles long, so it notices the lost hub well after the writes below.
    auto pNet = std::make_shared<CFakeIcmpNetwork>();
    pNet->SetDefaultReply({{700, 0x7F000001, [](uint16_t id) { return EchoReplyDatagram(id); }}});
    pPort->SetIcmpEndpointFactory(pNet->Factory());
    ASSERT_EQ(pPort->OpenPort(), 1u);
    m_hub.Stop();
    // The first write after the hub went away draws its reset; one of the
    // next fails before the reader has closed the socket.
    const auto frame = Frame(5, {0x01});
    int32_t nResult = 0;
    const uint64_t t0 = platform::TickMs();
    while (nResult >= 0 && platform::TickMs() - t0 < 3000) {
        nResult = pPort->WritePort(frame.data(), static_cast<uint32_t>(frame.size()));
        platform::SleepMs(5);
    }
    EXPECT_EQ(nResult, -1);
    EXPECT_GE(CountInLog(m_log, "-Ethernet Write Fail(-1/7), WSAGLE="), 1);

    m_hub.Restart();
    ASSERT_TRUE(
        WaitFor([&] { return pPort->m_dwLinkState.load() == ZAMO_LINK_ONLINE && pPort->m_bOpen.load(); }, 15000));
    const auto again = Frame(5, {0xC3});
    EXPECT_EQ(pPort->WritePort(again.data(), static_cast<uint32_t>(again.size())), 7);
    EXPECT_TRUE(WaitFor([&] { return Upper(m_hub.Control("RX 5")).find("C3") != std::string::npos; }, 3000));
}

TEST_F(PortNetHub, ClosePortDuringTheDataWaitReturnsPromptly) {
    auto pPort = Port(m_hub.Port());
    ASSERT_EQ(pPort->OpenPort(), 1u);
    platform::SleepMs(600);  // the reader is now inside its 2 s wait for data
    ASSERT_TRUE(pPort->IsReaderRunning());
    ASSERT_EQ(pPort->m_dwLinkState.load(), ZAMO_LINK_ONLINE);
    const uint64_t t0 = platform::TickMs();
    pPort->ClosePort();
    const uint64_t nTook = platform::TickMs() - t0;
    EXPECT_LT(nTook, 1500u) << "well before the 2 s after which a reader is abandoned";
    EXPECT_FALSE(pPort->IsReaderRunning());
    EXPECT_EQ(CountInLog(m_log, "ClosePort : TerminateThread"), 0);
    EXPECT_EQ(CountInLog(m_log, "-ClosePort : Success"), 1);
    // The woken cycle changed nothing on its way out.
    EXPECT_EQ(pPort->m_dwLinkState.load(), ZAMO_LINK_ONLINE);
    EXPECT_EQ(pPort->IsReconnectPending(), 0u);
    EXPECT_FALSE(pPort->m_bOpen.load());
    // It opens again afterwards.
    ASSERT_EQ(pPort->OpenPort(), 1u);
    ASSERT_EQ(m_hub.Control("SEND 0 77").rfind("OK", 0), 0u);
    uint8_t b = 0;
    EXPECT_EQ(pPort->Read(0, &b, 1, 8000), 1u);
}

TEST_F(PortNetHub, HubNotAnsweringEchoRequestsStaysOffLineAndDeliversNothing) {
    auto pNet = std::make_shared<CFakeIcmpNetwork>();  // answers nothing
    auto pPort = Port(m_hub.Port());
    pPort->SetIcmpEndpointFactory(pNet->Factory());
    ASSERT_EQ(pPort->OpenPort(), 1u);  // no echo check while opening
    EXPECT_EQ(pPort->m_dwLinkState.load(), ZAMO_LINK_ONLINE);
    // Three checks of 1 s each, then off-line.
    EXPECT_TRUE(WaitFor([&] { return pPort->m_dwLinkState.load() == ZAMO_LINK_OFFLINE; }, 6000));
    EXPECT_GE(pNet->RequestsSent(), 3);
    ASSERT_EQ(m_hub.Control("SEND 0 0102").rfind("OK", 0), 0u);
    platform::SleepMs(3500);
    EXPECT_EQ(pPort->AvailableCount(0), 0u) << "nothing is read while the hub seems unreachable";
    EXPECT_EQ(pPort->m_dwLinkState.load(), ZAMO_LINK_OFFLINE);

    // Once it answers again the port reconnects and reads.
    pNet->SetDefaultReply({{2, 0x7F000001, [](uint16_t id) { return EchoReplyDatagram(id); }}});
    EXPECT_TRUE(WaitFor([&] { return pPort->m_dwLinkState.load() == ZAMO_LINK_ONLINE; }, 12000));
    EXPECT_GE(CountInLog(m_log, "power status on-line"), 1);
}

TEST(PortNetPartialSend, APartialSendReturnsTheCountSentAndLogsIt) {
    // A peer that accepts and never reads: the socket buffers fill up.
    sockaddr_in sa{};
    const int hListen = ListenOnLoopback(1, sa);
    ASSERT_GE(hListen, 0);

    CTempDir log;
    auto pPort = MakeNetPort("127.0.0.1", ntohs(sa.sin_port), log);
    ASSERT_EQ(pPort->OpenPort(), 1u);
    const std::vector<uint8_t> big(16u << 20, 0x41);
    const int32_t nSent = pPort->WritePort(big.data(), static_cast<uint32_t>(big.size()));
    EXPECT_GT(nSent, 0);
    EXPECT_LT(nSent, static_cast<int32_t>(big.size())) << "one send, not continued";
    EXPECT_EQ(CountInLog(log, "-Ethernet Write (" + std::to_string(nSent) + "/" + std::to_string(big.size()) + ")"), 1);
    pPort->ClosePort();
    close(hListen);
}

TEST(PortNetResetAtOnce, HubResettingTheFirstConnectionGetsExactlyOneMoreConnect) {
    // A hub that takes the first connection and drops it at once with a reset
    // (as one busy with another host may): the connect itself succeeded, so
    // the close check sees the drop and one more connect follows.
    sockaddr_in sa{};
    const int hListen = ListenOnLoopback(2, sa);
    ASSERT_GE(hListen, 0);
    int hKept = -1;
    std::thread hub([&] {
        const int hFirst = accept4(hListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (hFirst >= 0) {
            linger l{};
            l.l_onoff = 1;
            l.l_linger = 0;
            setsockopt(hFirst, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            close(hFirst);
        }
        hKept = accept4(hListen, nullptr, nullptr, SOCK_CLOEXEC);
    });

    CTempDir log;
    auto pPort = MakeNetPort("127.0.0.1", ntohs(sa.sin_port), log);
    EXPECT_EQ(pPort->OpenPort(), 1u);
    EXPECT_EQ(CountInLog(log, "second ConnectSocket in OpenPort"), 1);
    EXPECT_EQ(CountInLog(log, "FD_ISSET return fail"), 0);
    pPort->ClosePort();
    shutdown(hListen, SHUT_RDWR);  // ends an accept still waiting
    hub.join();
    if (hKept >= 0) close(hKept);
    close(hListen);
}
