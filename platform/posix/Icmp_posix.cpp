#include "platform/Icmp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/IcmpDatagram.h"
#include "platform/WakeSignal.h"
#include "platform/posix/PollWait.h"

extern char** environ;

namespace vexal::platform {

namespace {

constexpr uint8_t kIcmpEchoReply = 0;

sockaddr_in MakeAddress(uint32_t dwAddress) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(dwAddress);
    return sa;
}

// An ICMP socket of either kind: both wait with poll and receive with recvfrom.
class CIcmpSocketEndpoint : public IIcmpEndpoint {
public:
    CIcmpSocketEndpoint(int hSocket, EIcmpPath path) : m_hSocket(hSocket), m_path(path) {}
    ~CIcmpSocketEndpoint() override {
        if (m_hSocket >= 0) close(m_hSocket);
        m_hSocket = -1;
    }
    CIcmpSocketEndpoint(const CIcmpSocketEndpoint&) = delete;
    CIcmpSocketEndpoint& operator=(const CIcmpSocketEndpoint&) = delete;

    EIcmpPath Path() const override { return m_path; }

    int SendTo(std::span<const uint8_t> message, uint32_t dwAddress) override {
        if (m_bShutdown) return ENOTSOCK;
        if (message.size() >= 6) m_wSentId = static_cast<uint16_t>((message[4] << 8) | message[5]);
        m_dwDestination = dwAddress;
        const sockaddr_in sa = MakeAddress(dwAddress);
        for (;;) {
            const ssize_t n = sendto(m_hSocket, message.data(), message.size(), MSG_NOSIGNAL,
                                     reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
            if (n >= 0) return 0;
            if (errno != EINTR) return errno;
        }
    }

    EIcmpWait Receive(std::span<uint8_t> buffer, size_t& nLength, uint32_t& dwSource, uint32_t ms,
                      const CWakeSignal* pWake, int& nErr) override {
        nLength = 0;
        dwSource = 0;
        nErr = 0;
        if (m_bShutdown) {
            nErr = ENOTSOCK;
            return EIcmpWait::Failed;
        }
        const uint64_t nStart = TickMs();
        for (;;) {
            const uint64_t nElapsed = TickMs() - nStart;
            const uint32_t nLeft = nElapsed >= ms ? 0 : static_cast<uint32_t>(ms - nElapsed);
            short nRevents = 0;
            switch (PollWithWake(m_hSocket, POLLIN, nLeft, pWake, nRevents, nErr)) {
            case EPollOutcome::TimedOut: return EIcmpWait::TimedOut;
            case EPollOutcome::Woken: return EIcmpWait::Woken;
            case EPollOutcome::Failed: return EIcmpWait::WaitFailed;
            case EPollOutcome::Ready: break;
            }
            if (m_bShutdown) {
                nErr = ENOTSOCK;
                return EIcmpWait::Failed;
            }
            const EIcmpWait result = ReceiveOne(buffer, nLength, dwSource, nErr);
            if (result != EIcmpWait::TimedOut) return result;
            if (nLeft == 0) return EIcmpWait::TimedOut;
            // Readable but nothing taken (a dropped datagram): wait again.
        }
    }

    void Shutdown() override {
        m_bShutdown = true;
        if (m_hSocket >= 0) shutdown(m_hSocket, SHUT_RDWR);  // unconnected: fails, yet wakes pollers
    }

private:
    EIcmpWait ReceiveOne(std::span<uint8_t> buffer, size_t& nLength, uint32_t& dwSource, int& nErr) {
        // A datagram socket gets the ICMP message alone: leave room for the header.
        const size_t nOffset = m_path == EIcmpPath::Datagram ? kIpv4HeaderSize : 0;
        if (buffer.size() <= nOffset) {
            nErr = EMSGSIZE;
            return EIcmpWait::Failed;
        }
        sockaddr_in from{};
        socklen_t nFromLen = sizeof from;
        ssize_t n;
        while ((n = recvfrom(m_hSocket, buffer.data() + nOffset, buffer.size() - nOffset, MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&from), &nFromLen)) < 0 &&
               errno == EINTR) {
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return EIcmpWait::TimedOut;
            nErr = errno;
            return EIcmpWait::Failed;
        }
        dwSource = ntohl(from.sin_addr.s_addr);
        nLength = static_cast<size_t>(n) + nOffset;
        if (m_path == EIcmpPath::Datagram) {
            WriteIpv4Header(buffer.data(), nLength, dwSource, m_dwDestination);
            // The kernel put its own identifier on the wire and only hands this
            // socket the replies that carry it: show the one the caller sent.
            if (n >= 6 && buffer[nOffset] == kIcmpEchoReply) {
                buffer[nOffset + 4] = static_cast<uint8_t>(m_wSentId >> 8);
                buffer[nOffset + 5] = static_cast<uint8_t>(m_wSentId);
            }
        }
        return EIcmpWait::Received;
    }

    int m_hSocket;
    const EIcmpPath m_path;
    bool m_bShutdown = false;
    uint16_t m_wSentId = 0;
    uint32_t m_dwDestination = 0;
};

int OpenRawSocket(int& hSocket) {
    hSocket = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (hSocket < 0) return errno;
    // Only echo replies: on loopback the socket would also get its own request.
    icmp_filter filter{};
    filter.data = ~(1u << ICMP_ECHOREPLY);
    if (setsockopt(hSocket, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0) {
        const int nErr = errno;
        close(hSocket);
        hSocket = -1;
        return nErr;
    }
    return 0;
}

int OpenDatagramSocket(int& hSocket) {
    hSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    return hSocket < 0 ? errno : 0;
}

// The system's ping program, run once per request. Its output tells whether
// and from where a reply came; the endpoint turns that into the reply a
// socket would have received.
class CPingProgramEndpoint : public IIcmpEndpoint {
public:
    explicit CPingProgramEndpoint(std::string strProgram) : m_strProgram(std::move(strProgram)) {}
    ~CPingProgramEndpoint() override { StopChild(); }
    CPingProgramEndpoint(const CPingProgramEndpoint&) = delete;
    CPingProgramEndpoint& operator=(const CPingProgramEndpoint&) = delete;

    EIcmpPath Path() const override { return EIcmpPath::PingProgram; }

    int SendTo(std::span<const uint8_t> message, uint32_t dwAddress) override {
        if (m_bShutdown) return ENOTSOCK;
        StopChild();
        m_request.assign(message.begin(), message.end());
        m_dwDestination = dwAddress;
        m_strOutput.clear();

        in_addr addr{};
        addr.s_addr = htonl(dwAddress);
        char szAddress[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &addr, szAddress, sizeof szAddress);

        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return errno;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

        // Fixed arguments, no shell: one request, 1 s for the reply, numeric output.
        std::string strCount = "1", strWait = "1";
        std::vector<char*> argv = {
            m_strProgram.data(), const_cast<char*>("-c"), strCount.data(), const_cast<char*>("-W"),
            strWait.data(),      const_cast<char*>("-n"), szAddress,       nullptr};
        // Untranslated output, whatever the caller's locale.
        std::vector<std::string> env;
        for (char** p = environ; p != nullptr && *p != nullptr; ++p) {
            if (std::strncmp(*p, "LC_ALL=", 7) != 0 && std::strncmp(*p, "LANGUAGE=", 9) != 0) env.emplace_back(*p);
        }
        env.emplace_back("LC_ALL=C");
        std::vector<char*> envp;
        for (auto& s : env) envp.push_back(s.data());
        envp.push_back(nullptr);

        pid_t pid = -1;
        const int rc = posix_spawn(&pid, m_strProgram.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            return rc;
        }
        m_pidChild = pid;
        m_hOutput = fds[0];
        return 0;
    }

    EIcmpWait Receive(std::span<uint8_t> buffer, size_t& nLength, uint32_t& dwSource, uint32_t ms,
                      const CWakeSignal* pWake, int& nErr) override {
        nLength = 0;
        dwSource = 0;
        nErr = 0;
        if (m_bShutdown) {
            nErr = ENOTSOCK;
            return EIcmpWait::Failed;
        }
        if (m_hOutput < 0) return EIcmpWait::TimedOut;  // no request under way: nothing can come
        const uint64_t nStart = TickMs();
        for (;;) {
            const uint64_t nElapsed = TickMs() - nStart;
            const uint32_t nLeft = nElapsed >= ms ? 0 : static_cast<uint32_t>(ms - nElapsed);
            short nRevents = 0;
            const EPollOutcome outcome = PollWithWake(m_hOutput, POLLIN, nLeft, pWake, nRevents, nErr);
            if (outcome == EPollOutcome::Woken) {
                StopChild();
                return EIcmpWait::Woken;
            }
            if (outcome == EPollOutcome::Failed) {
                StopChild();
                return EIcmpWait::WaitFailed;
            }
            if (outcome == EPollOutcome::TimedOut) {
                StopChild();  // the wait is over: the program must not outlive it
                return EIcmpWait::TimedOut;
            }
            char chunk[512];
            ssize_t n;
            while ((n = read(m_hOutput, chunk, sizeof chunk)) < 0 && errno == EINTR) {
            }
            if (n > 0) {
                // Only the first lines matter; a runaway program cannot grow this.
                if (m_strOutput.size() < 4096) m_strOutput.append(chunk, static_cast<size_t>(n));
                continue;
            }
            // End of output: the program is done.
            StopChild();
            return ReplyFromOutput(buffer, nLength, dwSource);
        }
    }

    void Shutdown() override {
        m_bShutdown = true;
        StopChild();
    }

private:
    EIcmpWait ReplyFromOutput(std::span<uint8_t> buffer, size_t& nLength, uint32_t& dwSource) {
        // "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.05 ms"
        const auto nAt = m_strOutput.find(" bytes from ");
        if (nAt == std::string::npos) return EIcmpWait::TimedOut;
        const size_t nBegin = nAt + 12;
        const size_t nEnd = m_strOutput.find_first_of(": \n", nBegin);
        const std::string strFrom = m_strOutput.substr(nBegin, nEnd == std::string::npos ? nEnd : nEnd - nBegin);
        in_addr from{};
        if (inet_pton(AF_INET, strFrom.c_str(), &from) != 1) return EIcmpWait::TimedOut;
        dwSource = ntohl(from.s_addr);
        // The reply an echo server returns: the request with type 0.
        const size_t nTotal = std::min(buffer.size(), kIpv4HeaderSize + m_request.size());
        std::vector<uint8_t> datagram(kIpv4HeaderSize + m_request.size());
        WriteIpv4Header(datagram.data(), datagram.size(), dwSource, m_dwDestination);
        std::copy(m_request.begin(), m_request.end(), datagram.begin() + kIpv4HeaderSize);
        if (m_request.size() >= 1) datagram[kIpv4HeaderSize] = kIcmpEchoReply;
        std::copy_n(datagram.begin(), nTotal, buffer.begin());
        nLength = nTotal;
        return EIcmpWait::Received;
    }

    void StopChild() {
        if (m_hOutput >= 0) close(m_hOutput);
        m_hOutput = -1;
        if (m_pidChild > 0) {
            // Our own child only, by its id.
            int status = 0;
            if (waitpid(m_pidChild, &status, WNOHANG) == 0) {
                kill(m_pidChild, SIGKILL);
                while (waitpid(m_pidChild, &status, 0) < 0 && errno == EINTR) {
                }
            }
        }
        m_pidChild = -1;
    }

    std::string m_strProgram;
    bool m_bShutdown = false;
    pid_t m_pidChild = -1;
    int m_hOutput = -1;
    std::string m_strOutput;
    std::vector<uint8_t> m_request;
    uint32_t m_dwDestination = 0;
};

std::string FindPingProgram() {
    for (const char* psz : {"/usr/bin/ping", "/bin/ping", "/usr/sbin/ping", "/sbin/ping"}) {
        if (access(psz, X_OK) == 0) return psz;
    }
    return {};
}

}  // namespace

std::unique_ptr<IIcmpEndpoint> OpenIcmpEndpoint(EIcmpPath path, int& nErr) {
    nErr = 0;
    int hSocket = -1;
    switch (path) {
    case EIcmpPath::Raw: nErr = OpenRawSocket(hSocket); break;
    case EIcmpPath::Datagram: nErr = OpenDatagramSocket(hSocket); break;
    case EIcmpPath::PingProgram: {
        std::string strProgram = FindPingProgram();
        if (strProgram.empty()) {
            nErr = ENOENT;
            return nullptr;
        }
        return std::make_unique<CPingProgramEndpoint>(std::move(strProgram));
    }
    case EIcmpPath::HelperApi:
        nErr = ENOSYS;  // a Windows service
        return nullptr;
    }
    if (nErr != 0) return nullptr;
    return std::make_unique<CIcmpSocketEndpoint>(hSocket, path);
}

std::unique_ptr<IIcmpEndpoint> OpenIcmpEndpoint(int& nErr) {
    for (EIcmpPath path : {EIcmpPath::Raw, EIcmpPath::Datagram, EIcmpPath::PingProgram}) {
        auto pEndpoint = OpenIcmpEndpoint(path, nErr);
        if (pEndpoint) return pEndpoint;
    }
    return nullptr;
}

}  // namespace vexal::platform
