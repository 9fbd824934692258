#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/WakeSignal.h"
#include "platform/posix/PollWait.h"

namespace vexal::platform {

std::optional<uint32_t> ParseIPv4(std::string_view strAddress) {
    // inet_pton takes exactly four decimal parts and nothing else; it reads up
    // to a NUL, so a NUL inside the text would hide what follows it.
    if (strAddress.empty() || strAddress.size() > 15 || strAddress.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string text(strAddress);
    in_addr addr{};
    if (inet_pton(AF_INET, text.c_str(), &addr) != 1) return std::nullopt;
    return ntohl(addr.s_addr);
}

int SocketErrorNotSocket() { return ENOTSOCK; }

int SocketErrorWouldBlock() { return EAGAIN; }

bool IsLocalNetworkError(int nErr) {
    switch (nErr) {
    case ENETUNREACH:
    case ENETDOWN:
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
    case EACCES:
    case EPERM:
    case EADDRNOTAVAIL: return true;
    default: return false;
    }
}

std::string SocketErrorText(int nErr) { return std::strerror(nErr); }

CTcpSocket::~CTcpSocket() { Close(); }

std::intptr_t CTcpSocket::Descriptor() const {
    std::lock_guard lock(m_mutex);
    return m_bShutdown ? -1 : m_hSocket;
}

bool CTcpSocket::IsValid() const { return Descriptor() >= 0; }

int CTcpSocket::Create() {
    Close();
    const int h = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (h < 0) return errno;
    std::lock_guard lock(m_mutex);
    m_hSocket = h;
    m_bShutdown = false;
    return 0;
}

int CTcpSocket::SetLingerZero() {
    std::lock_guard lock(m_mutex);
    const int h = m_bShutdown ? -1 : m_hSocket;
    if (h < 0) return SocketErrorNotSocket();
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    return setsockopt(h, SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0 ? 0 : errno;
}

int CTcpSocket::SetNonBlocking() {
    std::lock_guard lock(m_mutex);
    const int h = m_bShutdown ? -1 : m_hSocket;
    if (h < 0) return SocketErrorNotSocket();
    const int flags = fcntl(h, F_GETFL, 0);
    if (flags < 0 || fcntl(h, F_SETFL, flags | O_NONBLOCK) < 0) return errno;
    return 0;
}

int CTcpSocket::StartConnect(uint32_t dwAddress, uint16_t wPort) {
    std::lock_guard lock(m_mutex);
    const int h = m_bShutdown ? -1 : m_hSocket;
    if (h < 0) return SocketErrorNotSocket();
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(wPort);
    sa.sin_addr.s_addr = htonl(dwAddress);
    if (connect(h, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return 0;
    // A non-blocking connect interrupted by a signal goes on in the background.
    if (errno == EINPROGRESS || errno == EINTR || errno == EALREADY) return 0;
    return errno;
}

namespace {
int PendingError(int h) {
    int nErr = 0;
    socklen_t nLen = sizeof nErr;
    if (getsockopt(h, SOL_SOCKET, SO_ERROR, &nErr, &nLen) != 0) return errno;
    return nErr;
}

ESocketWait FromPoll(EPollOutcome outcome) {
    switch (outcome) {
    case EPollOutcome::Ready: return ESocketWait::Ready;
    case EPollOutcome::TimedOut: return ESocketWait::TimedOut;
    case EPollOutcome::Woken: return ESocketWait::Woken;
    case EPollOutcome::Failed: break;
    }
    return ESocketWait::Failed;
}
// A wait on a socket that ClosePort already took away: woken when the wake
// signal is set, otherwise failed as "not a socket".
ESocketWait WithoutDescriptor(const CWakeSignal* pWake, int& nErr) {
    if (pWake != nullptr && pWake->IsSet()) return ESocketWait::Woken;
    nErr = SocketErrorNotSocket();
    return ESocketWait::Failed;
}
}  // namespace

ESocketWait CTcpSocket::WaitWritable(uint32_t ms, const CWakeSignal* pWake, int& nErr) {
    nErr = 0;
    const int h = Descriptor();
    if (h < 0) return WithoutDescriptor(pWake, nErr);
    short nRevents = 0;
    const EPollOutcome outcome = PollWithWake(h, POLLOUT, ms, pWake, nRevents, nErr);
    if (outcome != EPollOutcome::Ready) return FromPoll(outcome);
    if (nRevents & POLLNVAL) {
        nErr = SocketErrorNotSocket();
        return ESocketWait::Failed;
    }
    // Linux shows a refused connect as writable with an error pending; the
    // port logic expects it as an exception, not as a connection.
    const int nPending = PendingError(h);
    // A reset can only follow an accepted connection: the hub took it and
    // dropped it at once. That connect succeeded; the close check sees the drop.
    if (nPending == ECONNRESET || nPending == EPIPE) return ESocketWait::Ready;
    if (nPending != 0 || (nRevents & (POLLERR | POLLHUP)) != 0 || (nRevents & POLLOUT) == 0) {
        nErr = nPending != 0 ? nPending : ECONNREFUSED;
        return ESocketWait::Exception;
    }
    return ESocketWait::Ready;
}

ESocketWait CTcpSocket::WaitReadable(uint32_t ms, const CWakeSignal* pWake, int& nErr) {
    nErr = 0;
    const int h = Descriptor();
    if (h < 0) return WithoutDescriptor(pWake, nErr);
    short nRevents = 0;
    const EPollOutcome outcome = PollWithWake(h, POLLIN | POLLRDHUP, ms, pWake, nRevents, nErr);
    if (outcome == EPollOutcome::Ready && (nRevents & POLLNVAL) != 0) {
        nErr = SocketErrorNotSocket();
        return ESocketWait::Failed;
    }
    return FromPoll(outcome);
}

int CTcpSocket::PeerClosed(bool& bClosed, int& nCloseErr) {
    bClosed = false;
    nCloseErr = 0;
    std::lock_guard lock(m_mutex);
    const int h = m_bShutdown ? -1 : m_hSocket;
    if (h < 0) return SocketErrorNotSocket();
    pollfd pfd{h, static_cast<short>(POLLIN | POLLRDHUP), 0};
    int rc;
    while ((rc = poll(&pfd, 1, 0)) < 0 && errno == EINTR) {
    }
    if (rc < 0) return errno;
    if (pfd.revents & POLLNVAL) return SocketErrorNotSocket();
    if ((pfd.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0) return 0;
    // The hub's last reply may still wait behind its close: report the close
    // only once it has been read.
    int nUnread = 0;
    if (ioctl(h, FIONREAD, &nUnread) != 0) return errno;
    if (nUnread > 0) return 0;
    bClosed = true;
    nCloseErr = PendingError(h);
    return 0;
}

ptrdiff_t CTcpSocket::Receive(uint8_t* pBuffer, size_t nSize, int& nErr) {
    nErr = 0;
    // Held across the call (it never blocks: the socket is non-blocking once
    // connected, and MSG_DONTWAIT covers the rest) so that a Close on another
    // thread cannot pass the number to a new descriptor meanwhile.
    std::lock_guard lock(m_mutex);
    const int h = m_bShutdown ? -1 : m_hSocket;
    if (h < 0) {
        nErr = SocketErrorNotSocket();
        return -1;
    }
    for (;;) {
        const ssize_t n = recv(h, pBuffer, nSize, MSG_DONTWAIT);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        nErr = (errno == EAGAIN || errno == EWOULDBLOCK) ? EAGAIN : errno;
        return -1;
    }
}

ptrdiff_t CTcpSocket::Send(const uint8_t* pData, size_t nLength, int& nErr) {
    nErr = 0;
    std::lock_guard lock(m_mutex);  // as in Receive
    const int h = m_bShutdown ? -1 : m_hSocket;
    if (h < 0) {
        nErr = SocketErrorNotSocket();
        return -1;
    }
    for (;;) {
        const ssize_t n = send(h, pData, nLength, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;  // a full send buffer is not a broken link
        nErr = errno;
        return -1;
    }
}

int CTcpSocket::Shutdown() {
    std::lock_guard lock(m_mutex);
    if (m_hSocket < 0) return SocketErrorNotSocket();
    m_bShutdown = true;
    return shutdown(m_hSocket, SHUT_RDWR) == 0 ? 0 : errno;
}

void CTcpSocket::Close() {
    std::lock_guard lock(m_mutex);
    if (m_hSocket >= 0) close(m_hSocket);
    m_hSocket = -1;
    m_bShutdown = false;
}

}  // namespace vexal::platform
