#include "platform/Socket.h"

#include <winsock2.h>

#include <algorithm>
#include <climits>

#include "platform/WakeSignal.h"
#include "platform/win32/SocketWait.h"
#include "platform/win32/Win32Util.h"

namespace vexal::platform {

namespace {

SOCKET AsSocket(std::intptr_t h) { return static_cast<SOCKET>(h); }

ESocketWait WithoutSocket(const CWakeSignal* pWake, int& nErr) {
    if (pWake != nullptr && pWake->IsSet()) return ESocketWait::Woken;
    nErr = WSAENOTSOCK;
    return ESocketWait::Failed;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<uint32_t> ParseIPv4(std::string_view strAddress) {
    // Exactly four decimal parts of at most three digits, no leading zeros,
    // each at most 255: the form inet_pton takes, and nothing else.
    uint32_t dwAddress = 0;
    size_t nPos = 0;
    for (int nPart = 0; nPart < 4; ++nPart) {
        if (nPart > 0) {
            if (nPos >= strAddress.size() || strAddress[nPos] != '.') return std::nullopt;
            ++nPos;
        }
        const size_t nBegin = nPos;
        uint32_t dwValue = 0;
        while (nPos < strAddress.size() && IsDigit(strAddress[nPos]) && nPos - nBegin < 4) {
            dwValue = dwValue * 10 + static_cast<uint32_t>(strAddress[nPos] - '0');
            ++nPos;
        }
        const size_t nDigits = nPos - nBegin;
        if (nDigits == 0 || nDigits > 3 || dwValue > 255 || (nDigits > 1 && strAddress[nBegin] == '0'))
            return std::nullopt;
        dwAddress = (dwAddress << 8) | dwValue;
    }
    if (nPos != strAddress.size()) return std::nullopt;
    return dwAddress;
}

int SocketErrorNotSocket() { return WSAENOTSOCK; }

int SocketErrorWouldBlock() { return WSAEWOULDBLOCK; }

bool IsLocalNetworkError(int nErr) {
    switch (nErr) {
    case WSAENETUNREACH:
    case WSAENETDOWN:
    case WSAEMFILE:
    case WSAENOBUFS:
    case WSAEACCES:
    case WSAEADDRNOTAVAIL:
    case WSANOTINITIALISED: return true;
    default: return false;
    }
}

std::string SocketErrorText(int nErr) { return win32::ErrorText(static_cast<DWORD>(nErr)); }

CTcpSocket::~CTcpSocket() { Close(); }

std::intptr_t CTcpSocket::Descriptor() const {
    std::lock_guard lock(m_mutex);
    return m_bShutdown ? -1 : m_hSocket;
}

bool CTcpSocket::IsValid() const { return Descriptor() != -1; }

int CTcpSocket::Create() {
    Close();
    if (const int nErr = win32::StartWinsock(); nErr != 0) return nErr;
    // Not inheritable: a worker process started meanwhile must not keep the
    // connection open.
    const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    // Non-blocking from the start: receives and sends never wait, as on Linux.
    u_long nMode = 1;
    ioctlsocket(s, FIONBIO, &nMode);
    std::lock_guard lock(m_mutex);
    m_hSocket = static_cast<std::intptr_t>(s);
    m_bShutdown = false;
    return 0;
}

int CTcpSocket::SetLingerZero() {
    std::lock_guard lock(m_mutex);
    if (m_bShutdown || m_hSocket == -1) return WSAENOTSOCK;
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    return setsockopt(AsSocket(m_hSocket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l) == 0
               ? 0
               : WSAGetLastError();
}

int CTcpSocket::SetNonBlocking() {
    std::lock_guard lock(m_mutex);
    if (m_bShutdown || m_hSocket == -1) return WSAENOTSOCK;
    u_long nMode = 1;
    return ioctlsocket(AsSocket(m_hSocket), FIONBIO, &nMode) == 0 ? 0 : WSAGetLastError();
}

int CTcpSocket::StartConnect(uint32_t dwAddress, uint16_t wPort) {
    std::lock_guard lock(m_mutex);
    if (m_bShutdown || m_hSocket == -1) return WSAENOTSOCK;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(wPort);
    sa.sin_addr.s_addr = htonl(dwAddress);
    if (connect(AsSocket(m_hSocket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return 0;
    const int nErr = WSAGetLastError();
    // 10035: the connect goes on in the background.
    return nErr == WSAEWOULDBLOCK || nErr == WSAEINPROGRESS || nErr == WSAEALREADY ? 0 : nErr;
}

ESocketWait CTcpSocket::WaitWritable(uint32_t ms, const CWakeSignal* pWake, int& nErr) {
    nErr = 0;
    const std::intptr_t h = Descriptor();
    if (h == -1) return WithoutSocket(pWake, nErr);
    return win32::WaitForSocket(
        AsSocket(h), FD_CONNECT | FD_WRITE | FD_CLOSE, ms, pWake, nErr, [](SOCKET s, int& nError) {
            bool bReadable = false, bWritable = false, bException = false;
            if (const int n = win32::SelectNow(s, false, true, bReadable, bWritable, bException); n != 0) {
                nError = n;
                return -1;
            }
            // A failed connect shows as an exception with the socket's error.
            if (bException) {
                const int nPending = win32::PendingError(s);
                nError = nPending != 0 ? nPending : WSAECONNREFUSED;
                return -1;
            }
            if (!bWritable) return 0;
            const int nPending = win32::PendingError(s);
            // A reset can only follow an accepted connection: the hub took it and
            // dropped it at once. That connect succeeded; the close check sees the drop.
            if (nPending != 0 && nPending != WSAECONNRESET) {
                nError = nPending;
                return -1;
            }
            return 1;
        });
}

ESocketWait CTcpSocket::WaitReadable(uint32_t ms, const CWakeSignal* pWake, int& nErr) {
    nErr = 0;
    const std::intptr_t h = Descriptor();
    if (h == -1) return WithoutSocket(pWake, nErr);
    const ESocketWait result =
        win32::WaitForSocket(AsSocket(h), FD_READ | FD_CLOSE, ms, pWake, nErr, [](SOCKET s, int& nError) {
            bool bReadable = false, bWritable = false, bException = false;
            if (const int n = win32::SelectNow(s, true, false, bReadable, bWritable, bException); n != 0) {
                nError = n;
                return -1;
            }
            // Readable: bytes wait, or the peer closed or reset the connection.
            return bReadable || bException ? 1 : 0;
        });
    // A readable socket is all the caller asks for; an error shows in its receive.
    return result == ESocketWait::Exception ? ESocketWait::Failed : result;
}

int CTcpSocket::PeerClosed(bool& bClosed, int& nCloseErr) {
    bClosed = false;
    nCloseErr = 0;
    std::lock_guard lock(m_mutex);
    if (m_bShutdown || m_hSocket == -1) return WSAENOTSOCK;
    const SOCKET s = AsSocket(m_hSocket);
    bool bReadable = false, bWritable = false, bException = false;
    if (const int n = win32::SelectNow(s, true, false, bReadable, bWritable, bException); n != 0) return n;
    if (!bReadable && !bException) return 0;
    // The hub's last reply may still wait behind its close: report the close
    // only once it has been read.
    u_long nUnread = 0;
    if (ioctlsocket(s, FIONREAD, &nUnread) != 0) return WSAGetLastError();
    if (nUnread > 0) return 0;
    // Readable with nothing to read: the close, or a reset with its error.
    char byte = 0;
    const int nPeek = recv(s, &byte, 1, MSG_PEEK);
    if (nPeek > 0) return 0;  // a byte arrived between the two questions
    if (nPeek == SOCKET_ERROR) {
        const int nErr = WSAGetLastError();
        if (nErr == WSAEWOULDBLOCK) return 0;
        nCloseErr = nErr;
    }
    bClosed = true;
    return 0;
}

ptrdiff_t CTcpSocket::Receive(uint8_t* pBuffer, size_t nSize, int& nErr) {
    nErr = 0;
    // Held across the call (it never blocks: the socket is non-blocking) so
    // that a Close on another thread cannot hand the number on meanwhile.
    std::lock_guard lock(m_mutex);
    if (m_bShutdown || m_hSocket == -1) {
        nErr = WSAENOTSOCK;
        return -1;
    }
    const int n = recv(AsSocket(m_hSocket), reinterpret_cast<char*>(pBuffer),
                       static_cast<int>(std::min<size_t>(nSize, INT_MAX)), 0);
    if (n >= 0) return n;
    nErr = WSAGetLastError();
    return -1;
}

ptrdiff_t CTcpSocket::Send(const uint8_t* pData, size_t nLength, int& nErr) {
    nErr = 0;
    std::lock_guard lock(m_mutex);  // as in Receive
    if (m_bShutdown || m_hSocket == -1) {
        nErr = WSAENOTSOCK;
        return -1;
    }
    const int n = send(AsSocket(m_hSocket), reinterpret_cast<const char*>(pData),
                       static_cast<int>(std::min<size_t>(nLength, INT_MAX)), 0);
    if (n >= 0) return n;
    nErr = WSAGetLastError();
    if (nErr == WSAEWOULDBLOCK) {
        nErr = 0;
        return 0;  // a full send buffer is not a broken link
    }
    return -1;
}

int CTcpSocket::Shutdown() {
    std::lock_guard lock(m_mutex);
    if (m_hSocket == -1) return WSAENOTSOCK;
    m_bShutdown = true;
    return shutdown(AsSocket(m_hSocket), SD_BOTH) == 0 ? 0 : WSAGetLastError();
}

void CTcpSocket::Close() {
    std::lock_guard lock(m_mutex);
    if (m_hSocket != -1) closesocket(AsSocket(m_hSocket));
    m_hSocket = -1;
    m_bShutdown = false;
}

}  // namespace vexal::platform
