// The platform ICMP endpoints against the kernel's own echo replies on loopback.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/Clock.h"
#include "platform/Icmp.h"
#include "platform/WakeSignal.h"
#include "portlib/PingCheck.h"

using namespace vexal;
using namespace vexal::platform;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

std::unique_ptr<IIcmpEndpoint> OpenOrSkipReason(EIcmpPath path, std::string& strWhy) {
    int nErr = 0;
    auto p = OpenIcmpEndpoint(path, nErr);
    if (!p) strWhy = std::string(IcmpPathName(path)) + " not available here, errno " + std::to_string(nErr);
    return p;
}

// Sends one echo request and collects what arrives within 1 s.
struct Exchange {
    bool bValid = false;
    int nInvalid = 0;
    uint8_t firstType = 0xFF;
};

Exchange PingLoopback(IIcmpEndpoint& endpoint, uint16_t wId) {
    Exchange ex;
    const EchoRequest request = BuildEchoRequest(wId);
    EXPECT_EQ(endpoint.SendTo(request, kLoopback), 0);
    std::array<uint8_t, kEchoBufferSize> buffer{};
    const uint64_t t0 = TickMs();
    while (TickMs() - t0 < 1000) {
        size_t n = 0;
        uint32_t dwFrom = 0;
        int nErr = 0;
        const uint32_t nLeft = static_cast<uint32_t>(1000 - (TickMs() - t0));
        if (endpoint.Receive(buffer, n, dwFrom, nLeft, nullptr, nErr) != EIcmpWait::Received) break;
        const size_t h = static_cast<size_t>(buffer[0] & 0x0F) * 4;
        if (ex.firstType == 0xFF && n > h) ex.firstType = buffer[h];
        if (ValidateEchoReply(std::span(buffer.data(), n), dwFrom, kLoopback, wId) == EEchoReply::Valid) {
            ex.bValid = true;
            break;
        }
        ++ex.nInvalid;
    }
    return ex;
}

}  // namespace

TEST(IcmpEndpoint, RawSocketSeesTheReplyNotItsOwnRequest) {
    std::string strWhy;
    auto p = OpenOrSkipReason(EIcmpPath::Raw, strWhy);
    if (!p) GTEST_SKIP() << strWhy << " (needs root or CAP_NET_RAW)";
    const Exchange ex = PingLoopback(*p, 0x2345);
    EXPECT_TRUE(ex.bValid);
    // Filtered to echo replies: the request it sent on loopback never shows.
    EXPECT_EQ(ex.firstType, 0x00);
}

TEST(IcmpEndpoint, PingProgramReplyLooksLikeARawOne) {
    std::string strWhy;
    auto p = OpenOrSkipReason(EIcmpPath::PingProgram, strWhy);
    ASSERT_TRUE(p) << strWhy << ": iputils-ping is a dependency of the link watch";
    const Exchange ex = PingLoopback(*p, 0x3456);
    EXPECT_TRUE(ex.bValid);
    EXPECT_EQ(ex.nInvalid, 0);
    // One request, one reply: nothing more comes.
    std::array<uint8_t, kEchoBufferSize> buffer{};
    size_t n = 0;
    uint32_t dwFrom = 0;
    int nErr = 0;
    EXPECT_EQ(p->Receive(buffer, n, dwFrom, 500, nullptr, nErr), EIcmpWait::TimedOut);
}

TEST(IcmpEndpoint, DefaultPathWorksForThisUser) {
    int nErr = 0;
    auto p = OpenIcmpEndpoint(nErr);
    ASSERT_TRUE(p) << "no ICMP path at all, errno " << nErr;
    EXPECT_TRUE(PingLoopback(*p, 0x4567).bValid) << IcmpPathName(p->Path());
}

TEST(IcmpEndpoint, WakeAndShutdownEndAWaitAtOnce) {
    int nErr = 0;
    for (EIcmpPath path : {EIcmpPath::Raw, EIcmpPath::Datagram}) {
        auto p = OpenIcmpEndpoint(path, nErr);
        if (!p) continue;
        SCOPED_TRACE(IcmpPathName(path));
        CWakeSignal wake;
        std::thread waker([&] {
            SleepMs(100);
            wake.Set();
        });
        std::array<uint8_t, kEchoBufferSize> buffer{};
        size_t n = 0;
        uint32_t dwFrom = 0;
        const uint64_t t0 = TickMs();
        // Nothing was sent, so (barring another program's pings) nothing comes.
        EIcmpWait w;
        do {
            w = p->Receive(buffer, n, dwFrom, 5000, &wake, nErr);
        } while (w == EIcmpWait::Received);
        waker.join();
        EXPECT_EQ(w, EIcmpWait::Woken);
        EXPECT_LT(TickMs() - t0, 2000u);
        p->Shutdown();
        EXPECT_EQ(p->Receive(buffer, n, dwFrom, 100, nullptr, nErr), EIcmpWait::Failed);
        EXPECT_NE(p->SendTo(BuildEchoRequest(1), kLoopback), 0);
    }
}
