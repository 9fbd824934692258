// Faults of the link to the hub, end to end through the configuration
// library's exports, on TCP, on a pty reached as COM5 and on the simulated
// USB bus. Each case: the call hit by the fault returns its code in bounded
// time, the session works once the link is back with the hub's data whole
// and in order, and closeService leaves no thread of the session behind.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "client/CfgEntryPoints.h"
#include "FaultSession.h"

using namespace faults_test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A TCP reconnect waits 2.5 s after the close it saw, and the hub's
// restart comes on top.
constexpr int kTcpBackLimitMs = 20000;
constexpr int kUsbBackLimitMs = 5000;

// A TCP port whose hub closed stays on line until a reconnect fails, some
// 2.7 s later; a hub off the bus or a hung-up line is seen within a cycle.
bool WaitOffLine(CFaultSession& s) {
    const auto end = Clock::now() + (s.Link() == ELink::Tcp ? 6s : 3s);
    while (s.Api().Fn().m_pfn_isOpen(s.Handle()) != 0) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// The hub drops the link after half of the reply frame.
void CutMidReply(CFaultSession& s) {
    s.Open();
    s.Control("FAULT CUT 44");
    s.ExpectQueryTimesOut("reply cut mid-frame");
    s.Control("FAULT CUT OFF");
    switch (s.Link()) {
    case ELink::Tcp: ASSERT_TRUE(s.WaitUntilAnswered(kTcpBackLimitMs)); break;
    case ELink::Usb: ASSERT_TRUE(s.WaitForUsbConnections(2, kUsbBackLimitMs)); break;
    case ELink::Pty:
        // A line that cannot be seen to drop: the half frame still waits for
        // its rest, which must not be taken from the next reply.
        EXPECT_EQ(s.QueryUsbList(), ZAMO_SUCCESS) << "the next exchange, at once";
        break;
    }
    s.ExpectDataIntact();
    s.CloseAndExpectNoThreadsLeft();
}

// The hub closes an idle connection between two exchanges.
void DropBetweenExchanges(CFaultSession& s) {
    s.Open();
    s.Control("KICK");
    if (s.Link() == ELink::Tcp) {
        s.ExpectQueryTimesOut("request sent into a closed connection");
        ASSERT_TRUE(s.WaitUntilAnswered(kTcpBackLimitMs));
    } else {
        ASSERT_TRUE(s.WaitForUsbConnections(2, kUsbBackLimitMs)) << "reconnected without being asked";
    }
    s.ExpectDataIntact();
    s.CloseAndExpectNoThreadsLeft();
}

// Every frame leaves in single bytes, each pause longer than a read cycle.
void SplitIntoSingleBytes(CFaultSession& s) {
    s.Open();
    const std::string strCommunity = s.Control("GET snmp_ro");
    s.Control("FAULT SPLIT 1 120");
    std::vector<char16_t> storage(64);
    ZamoText community{storage.data(), static_cast<uint32_t>(storage.size()), 0};
    // A pause after each byte of the reply frame but its last: header, D4,
    // the text and its zero byte, well within the 3 s time-out.
    const int nPauses = static_cast<int>(6 + 1 + strCommunity.size() + 1) - 1;
    s.ExpectCode(
        ZAMO_SUCCESS, nPauses * 120 - 100, 3000,
        [&] { return s.Api().Fn().m_pfn_getSNMPROCommunity(s.Handle(), &community); },
        "getSNMPROCommunity in single bytes");
    EXPECT_EQ(std::string(community.data, community.data + community.length), strCommunity);
    s.ExpectEcho("Split", 4000);
    s.Control("FAULT SPLIT OFF");
    s.ExpectDataIntact();
    s.CloseAndExpectNoThreadsLeft();
}

// Junk before every frame the hub sends.
void GarbageBetweenFrames(CFaultSession& s) {
    s.Open();
    s.Control("FAULT GARBAGE ON");
    EXPECT_EQ(s.QueryUsbList(), ZAMO_SUCCESS);
    s.ExpectDataIntact();
    s.Control("FAULT GARBAGE OFF");
    s.CloseAndExpectNoThreadsLeft();
}

// A reply that never comes; the next exchange is not confused by it.
void ReplyNeverComes(CFaultSession& s) {
    s.Open();
    s.Control("FAULT NOREPLY 44");
    s.ExpectQueryTimesOut("no reply");
    s.Control("FAULT NOREPLY OFF");
    EXPECT_EQ(s.QueryUsbList(), ZAMO_SUCCESS);
    s.ExpectDataIntact();
    s.CloseAndExpectNoThreadsLeft();
}

// The hub's process stops while the session is open and starts again.
void HubRestart(CFaultSession& s) {
    s.Open();
    s.Hub().Stop();
    EXPECT_TRUE(WaitOffLine(s)) << "isOpen of a session whose hub is gone";
    s.ExpectQueryTimesOut("hub gone");
    s.Hub().Restart();
    switch (s.Link()) {
    case ELink::Tcp: ASSERT_TRUE(s.WaitUntilAnswered(kTcpBackLimitMs)); break;
    case ELink::Usb: ASSERT_TRUE(s.WaitForUsbConnections(1, kUsbBackLimitMs)) << "reopened without being asked"; break;
    case ELink::Pty:
        // The restarted hub has a new pty behind COM5; the hung-up device
        // stays off line until the session is opened again.
        EXPECT_EQ(s.Api().Fn().m_pfn_isOpen(s.Handle()), 0);
        s.CloseAndExpectNoThreadsLeft();
        s.Open();
        break;
    }
    s.ExpectDataIntact();
    s.CloseAndExpectNoThreadsLeft();
}

// The session is closed while its hub is gone and the transport keeps
// trying to get it back.
void CloseWhileHubGone(CFaultSession& s) {
    s.Open();
    s.Hub().Stop();
    s.ExpectQueryTimesOut("hub gone");
    s.CloseAndExpectNoThreadsLeft();
}

// The hub leaves the USB bus and comes back while an exchange waits for
// its reply; the reply went with the old connection.
void UnplugDuringExchange(CFaultSession& s) {
    s.Open();
    s.Control("FAULT DELAY 1000");
    std::thread caller([&] {
        std::vector<char16_t> storage(64);
        ZamoText name{storage.data(), static_cast<uint32_t>(storage.size()), 0};
        s.ExpectCode(
            ZAMO_E_TIMEOUT, 2900, 3000 + kLateSlackMs,
            [&] { return s.Api().Fn().m_pfn_getBluetoothName(s.Handle(), &name); }, "getBluetoothName across a replug");
    });
    std::this_thread::sleep_for(300ms);
    s.Control("USB UNPLUG");
    std::this_thread::sleep_for(300ms);
    s.Control("USB PLUG");
    caller.join();
    ASSERT_TRUE(s.WaitForUsbConnections(2, kUsbBackLimitMs));
    s.Control("FAULT DELAY 0");
    s.ExpectDataIntact();
    s.CloseAndExpectNoThreadsLeft();
}

struct SFaultCase {
    ELink eLink;
    const char* pszName;
    void (*pfnRun)(CFaultSession&);
};

// The pty has no connection the hub could drop between exchanges: the cut
// and the restart are its ways of going away, and its restart closes the
// session on the hung-up line. An unanswered request over TCP is a case of
// the settings tests already.
const SFaultCase kCases[] = {
    {ELink::Tcp, "Tcp_CutMidReply", CutMidReply},
    {ELink::Tcp, "Tcp_DropBetweenExchanges", DropBetweenExchanges},
    {ELink::Tcp, "Tcp_SplitIntoSingleBytes", SplitIntoSingleBytes},
    {ELink::Tcp, "Tcp_GarbageBetweenFrames", GarbageBetweenFrames},
    {ELink::Tcp, "Tcp_HubRestart", HubRestart},
    {ELink::Tcp, "Tcp_CloseWhileHubGone", CloseWhileHubGone},
    {ELink::Pty, "Pty_CutMidReply", CutMidReply},
    {ELink::Pty, "Pty_SplitIntoSingleBytes", SplitIntoSingleBytes},
    {ELink::Pty, "Pty_GarbageBetweenFrames", GarbageBetweenFrames},
    {ELink::Pty, "Pty_ReplyNeverComes", ReplyNeverComes},
    {ELink::Pty, "Pty_HubRestart", HubRestart},
    {ELink::Usb, "Usb_CutMidReply", CutMidReply},
    {ELink::Usb, "Usb_DropBetweenExchanges", DropBetweenExchanges},
    {ELink::Usb, "Usb_SplitIntoSingleBytes", SplitIntoSingleBytes},
    {ELink::Usb, "Usb_GarbageBetweenFrames", GarbageBetweenFrames},
    {ELink::Usb, "Usb_ReplyNeverComes", ReplyNeverComes},
    {ELink::Usb, "Usb_HubRestart", HubRestart},
    {ELink::Usb, "Usb_CloseWhileHubGone", CloseWhileHubGone},
    {ELink::Usb, "Usb_UnplugDuringExchange", UnplugDuringExchange},
};

class LinkFault : public ::testing::TestWithParam<SFaultCase> {};

TEST_P(LinkFault, CodeInTimeNoThreadLeftDataIntact) {
    CFaultSession session(GetParam().eLink);
    GetParam().pfnRun(session);
}

INSTANTIATE_TEST_SUITE_P(Faults, LinkFault, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SFaultCase>& info) {
                             return std::string(info.param.pszName);
                         });

}  // namespace
