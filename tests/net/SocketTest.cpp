// The platform TCP socket against listeners made here on loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/Clock.h"
#include "platform/Socket.h"
#include "platform/WakeSignal.h"

using namespace vexal::platform;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

// A loopback listener on an ephemeral port.
class CListener {
public:
    CListener() {
        m_h = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(kLoopback);
        bind(m_h, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        listen(m_h, 4);
        socklen_t n = sizeof sa;
        getsockname(m_h, reinterpret_cast<sockaddr*>(&sa), &n);
        m_wPort = ntohs(sa.sin_port);
    }
    ~CListener() {
        if (m_hPeer >= 0) close(m_hPeer);
        close(m_h);
    }
    uint16_t Port() const { return m_wPort; }
    int Accept() {
        m_hPeer = accept4(m_h, nullptr, nullptr, SOCK_CLOEXEC);
        return m_hPeer;
    }
    void ClosePeer() {
        close(m_hPeer);
        m_hPeer = -1;
    }
    int Peer() const { return m_hPeer; }

private:
    int m_h = -1;
    int m_hPeer = -1;
    uint16_t m_wPort = 0;
};

// A port number nobody listens on: bound, never listening.
uint16_t ClosedPort(int& hHolder) {
    hHolder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(kLoopback);
    bind(hHolder, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t n = sizeof sa;
    getsockname(hHolder, reinterpret_cast<sockaddr*>(&sa), &n);
    return ntohs(sa.sin_port);
}

void Connect(CTcpSocket& s, uint16_t wPort) {
    ASSERT_EQ(s.Create(), 0);
    ASSERT_EQ(s.SetLingerZero(), 0);
    ASSERT_EQ(s.SetNonBlocking(), 0);
    ASSERT_EQ(s.StartConnect(kLoopback, wPort), 0);
    int nErr = 0;
    ASSERT_EQ(s.WaitWritable(2000, nullptr, nErr), ESocketWait::Ready) << nErr;
}

}  // namespace

TEST(TcpSocket, ParsesDottedAddressesOnly) {
    EXPECT_EQ(ParseIPv4("127.0.0.1"), kLoopback);
    EXPECT_EQ(ParseIPv4("192.168.10.20"), 0xC0A80A14u);
    EXPECT_FALSE(ParseIPv4(""));
    EXPECT_FALSE(ParseIPv4("localhost"));
    EXPECT_FALSE(ParseIPv4("1.2.3"));
    EXPECT_FALSE(ParseIPv4("1.2.3.256"));
    EXPECT_FALSE(ParseIPv4("1.2.3.4:9100"));
    EXPECT_FALSE(ParseIPv4("1111111111111111111111111111.1.1.1"));
    EXPECT_FALSE(ParseIPv4(std::string_view("1.2.3.4\0junk", 12)));  // a line read from a file
}

TEST(TcpSocket, RefusedConnectIsAnExceptionNotAConnection) {
    int hHolder = -1;
    const uint16_t wPort = ClosedPort(hHolder);
    CTcpSocket s;
    ASSERT_EQ(s.Create(), 0);
    ASSERT_EQ(s.SetNonBlocking(), 0);
    ASSERT_EQ(s.StartConnect(kLoopback, wPort), 0);  // under way, not failed
    int nErr = 0;
    EXPECT_EQ(s.WaitWritable(2000, nullptr, nErr), ESocketWait::Exception);
    EXPECT_EQ(nErr, ECONNREFUSED);
    close(hHolder);
}

TEST(TcpSocket, ConnectionResetRightAfterAcceptIsMadeThenClosed) {
    // A hub that accepts and drops the connection at once (with a reset)
    // did accept it: the connect completed, and the close check sees the drop.
    CListener listener;
    CTcpSocket s;
    ASSERT_EQ(s.Create(), 0);
    ASSERT_EQ(s.SetNonBlocking(), 0);
    ASSERT_EQ(s.StartConnect(kLoopback, listener.Port()), 0);
    ASSERT_GE(listener.Accept(), 0);
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    ASSERT_EQ(setsockopt(listener.Peer(), SOL_SOCKET, SO_LINGER, &l, sizeof l), 0);
    listener.ClosePeer();
    usleep(100 * 1000);  // the reset has arrived before the wait starts

    int nErr = 0;
    EXPECT_EQ(s.WaitWritable(2000, nullptr, nErr), ESocketWait::Ready) << "error " << nErr;
    bool bClosed = false;
    int nCloseErr = 0;
    ASSERT_EQ(s.PeerClosed(bClosed, nCloseErr), 0);
    EXPECT_TRUE(bClosed);
}

TEST(TcpSocket, CloseIsReportedOnlyAfterTheLastByteIsRead) {
    CListener listener;
    CTcpSocket s;
    Connect(s, listener.Port());
    ASSERT_GE(listener.Accept(), 0);

    bool bClosed = true;
    int nCloseErr = -1;
    ASSERT_EQ(s.PeerClosed(bClosed, nCloseErr), 0);
    EXPECT_FALSE(bClosed);

    const uint8_t reply[3] = {1, 2, 3};
    ASSERT_EQ(write(listener.Peer(), reply, 3), 3);
    listener.ClosePeer();
    int nErr = 0;
    ASSERT_EQ(s.WaitReadable(2000, nullptr, nErr), ESocketWait::Ready);
    ASSERT_EQ(s.PeerClosed(bClosed, nCloseErr), 0);
    EXPECT_FALSE(bClosed) << "the hub's last reply must be read first";

    uint8_t buf[8] = {};
    EXPECT_EQ(s.Receive(buf, sizeof buf, nErr), 3);
    EXPECT_EQ(buf[2], 3);
    ASSERT_EQ(s.PeerClosed(bClosed, nCloseErr), 0);
    EXPECT_TRUE(bClosed);
    EXPECT_EQ(nCloseErr, 0);
    EXPECT_EQ(s.Receive(buf, sizeof buf, nErr), 0);
}

TEST(TcpSocket, SendToAClosedPeerFailsWithoutKillingTheProcess) {
    CListener listener;
    CTcpSocket s;
    Connect(s, listener.Port());
    ASSERT_GE(listener.Accept(), 0);
    listener.ClosePeer();
    // The first send may still go out; the reset it provokes fails a later one.
    const uint8_t b = 0;
    int nErr = 0;
    ptrdiff_t n = 0;
    for (int i = 0; i < 50 && n >= 0; ++i) {
        n = s.Send(&b, 1, nErr);
        SleepMs(10);
    }
    EXPECT_EQ(n, -1);
    EXPECT_TRUE(nErr == EPIPE || nErr == ECONNRESET) << nErr;
}

TEST(TcpSocket, WakeAndShutdownEndAWaitAtOnce) {
    CListener listener;
    CTcpSocket s;
    Connect(s, listener.Port());
    ASSERT_GE(listener.Accept(), 0);

    CWakeSignal wake;
    std::thread closer([&] {
        SleepMs(100);
        wake.Set();
    });
    const uint64_t t0 = TickMs();
    int nErr = 0;
    EXPECT_EQ(s.WaitReadable(5000, &wake, nErr), ESocketWait::Woken);
    EXPECT_LT(TickMs() - t0, 2000u);
    closer.join();
    // Sticky: a wait that starts later ends at once too.
    EXPECT_EQ(s.WaitReadable(5000, &wake, nErr), ESocketWait::Woken);
    EXPECT_TRUE(wake.SleepMs(5000));
    wake.Reset();
    EXPECT_FALSE(wake.SleepMs(20));

    // Shutdown from another thread ends a plain wait; the socket then counts
    // as no socket, so the reader's receive fails and changes nothing.
    std::thread shutter([&] {
        SleepMs(100);
        s.Shutdown();
    });
    const uint64_t t1 = TickMs();
    const ESocketWait w = s.WaitReadable(5000, nullptr, nErr);
    EXPECT_LT(TickMs() - t1, 2000u);
    shutter.join();
    EXPECT_EQ(w, ESocketWait::Ready);
    uint8_t buf[4];
    EXPECT_EQ(s.Receive(buf, sizeof buf, nErr), -1);
    EXPECT_EQ(nErr, SocketErrorNotSocket());
    bool bClosed = false;
    int nCloseErr = 0;
    EXPECT_EQ(s.PeerClosed(bClosed, nCloseErr), SocketErrorNotSocket());
    s.Close();
    EXPECT_FALSE(s.IsValid());
}

TEST(TcpSocket, WaitsTimeOutWithinBounds) {
    CListener listener;
    CTcpSocket s;
    Connect(s, listener.Port());
    ASSERT_GE(listener.Accept(), 0);
    const uint64_t t0 = TickMs();
    int nErr = 0;
    EXPECT_EQ(s.WaitReadable(300, nullptr, nErr), ESocketWait::TimedOut);
    const uint64_t nTook = TickMs() - t0;
    EXPECT_GE(nTook, 290u);
    EXPECT_LT(nTook, 2000u);
    CTcpSocket unopened;
    EXPECT_EQ(unopened.WaitReadable(10, nullptr, nErr), ESocketWait::Failed);
    EXPECT_EQ(unopened.Shutdown(), SocketErrorNotSocket());
}

TEST(TcpSocket, SignalsDoNotCutWaitsShort) {
    // A handler without SA_RESTART makes poll fail with EINTR.
    struct sigaction action {};
    action.sa_handler = [](int) {};
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    CListener listener;
    CTcpSocket s;
    Connect(s, listener.Port());
    ASSERT_GE(listener.Accept(), 0);
    const pthread_t waiter = pthread_self();
    std::atomic<bool> bDone{false};
    std::thread nagger([&] {
        for (int i = 0; i < 8 && !bDone; ++i) {
            SleepMs(50);
            pthread_kill(waiter, SIGUSR1);
        }
    });
    const uint64_t t0 = TickMs();
    int nErr = 0;
    EXPECT_EQ(s.WaitReadable(600, nullptr, nErr), ESocketWait::TimedOut);
    const uint64_t nTook = TickMs() - t0;
    bDone = true;
    nagger.join();
    EXPECT_GE(nTook, 590u);
    EXPECT_LT(nTook, 2500u);
    sigaction(SIGUSR1, &previous, nullptr);
}
