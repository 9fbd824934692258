#include "platform/Icmp.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After the socket headers: the helper API's types build on them.
#include <iphlpapi.h>
#include <icmpapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/IcmpDatagram.h"
#include "platform/WakeSignal.h"
#include "platform/win32/SocketWait.h"
#include "platform/win32/Win32Util.h"

namespace vexal::platform {

namespace {

constexpr size_t kIcmpHeaderSize = 8;
constexpr uint8_t kIcmpEchoReply = 0;
constexpr uint8_t kIcmpUnreachable = 3;
// The helper API's own limit for one request: the port's echo wait.
constexpr DWORD kHelperTimeoutMs = 1000;

// A raw ICMP socket: what the system gives is what the port logic reads.
class CRawIcmpEndpoint final : public IIcmpEndpoint {
public:
    explicit CRawIcmpEndpoint(SOCKET s) : m_hSocket(s) {}
    ~CRawIcmpEndpoint() override { closesocket(m_hSocket); }
    CRawIcmpEndpoint(const CRawIcmpEndpoint&) = delete;
    CRawIcmpEndpoint& operator=(const CRawIcmpEndpoint&) = delete;

    EIcmpPath Path() const override { return EIcmpPath::Raw; }

    int SendTo(std::span<const uint8_t> message, uint32_t dwAddress) override {
        if (m_bShutdown) return WSAENOTSOCK;
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(dwAddress);
        const int n = sendto(m_hSocket, reinterpret_cast<const char*>(message.data()), static_cast<int>(message.size()),
                             0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
        return n == SOCKET_ERROR ? WSAGetLastError() : 0;
    }

    EIcmpWait Receive(std::span<uint8_t> buffer, size_t& nLength, uint32_t& dwSource, uint32_t ms,
                      const CWakeSignal* pWake, int& nErr) override {
        nLength = 0;
        dwSource = 0;
        nErr = 0;
        if (m_bShutdown) {
            nErr = WSAENOTSOCK;
            return EIcmpWait::Failed;
        }
        const ESocketWait wait = win32::WaitForSocket(m_hSocket, FD_READ, ms, pWake, nErr, [](SOCKET s, int& nError) {
            bool bReadable = false, bWritable = false, bException = false;
            if (const int n = win32::SelectNow(s, true, false, bReadable, bWritable, bException); n != 0) {
                nError = n;
                return -1;
            }
            return bReadable ? 1 : 0;
        });
        switch (wait) {
        case ESocketWait::Ready: break;
        case ESocketWait::TimedOut: return EIcmpWait::TimedOut;
        case ESocketWait::Woken: return EIcmpWait::Woken;
        default: return EIcmpWait::WaitFailed;
        }
        if (m_bShutdown) {
            nErr = WSAENOTSOCK;
            return EIcmpWait::Failed;
        }
        sockaddr_in from{};
        int nFromLen = sizeof from;
        const int n = recvfrom(m_hSocket, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0,
                               reinterpret_cast<sockaddr*>(&from), &nFromLen);
        if (n == SOCKET_ERROR) {
            nErr = WSAGetLastError();
            // A datagram larger than the buffer arrives cut: still one datagram.
            if (nErr != WSAEMSGSIZE) return nErr == WSAEWOULDBLOCK ? EIcmpWait::TimedOut : EIcmpWait::Failed;
            nErr = 0;
            nLength = buffer.size();
        } else {
            nLength = static_cast<size_t>(n);
        }
        dwSource = ntohl(from.sin_addr.s_addr);
        return EIcmpWait::Received;
    }

    void Shutdown() override {
        m_bShutdown = true;
        shutdown(m_hSocket, SD_BOTH);
    }

private:
    SOCKET m_hSocket;
    bool m_bShutdown = false;
};

// The ICMP helper API: one asynchronous request at a time, its completion
// signalled on an event of the endpoint. The reply is turned into the
// datagram a raw socket would have shown.
class CHelperIcmpEndpoint final : public IIcmpEndpoint {
public:
    CHelperIcmpEndpoint(HANDLE hIcmp, win32::CHandle hEvent)
        : m_hIcmp(hIcmp), m_hEvent(std::move(hEvent)), m_reply(std::make_unique<uint8_t[]>(kReplySize)) {}
    ~CHelperIcmpEndpoint() override {
        IcmpCloseHandle(m_hIcmp);
        // The system writes the reply into our buffer: never free it under a
        // request still in flight (the request's own limit bounds the wait).
        if (m_bPending && WaitForSingleObject(m_hEvent.Get(), kHelperTimeoutMs + 1000) != WAIT_OBJECT_0) {
            m_reply.release();  // NOLINT: left to the system rather than freed under it
            m_hEvent.Release();
        }
    }
    CHelperIcmpEndpoint(const CHelperIcmpEndpoint&) = delete;
    CHelperIcmpEndpoint& operator=(const CHelperIcmpEndpoint&) = delete;

    EIcmpPath Path() const override { return EIcmpPath::HelperApi; }

    int SendTo(std::span<const uint8_t> message, uint32_t dwAddress) override {
        if (m_bShutdown) return ERROR_INVALID_HANDLE;
        if (m_bPending && WaitForSingleObject(m_hEvent.Get(), kHelperTimeoutMs + 1000) != WAIT_OBJECT_0)
            return ERROR_BUSY;  // the earlier request never ended: the buffer is still the system's
        m_bPending = false;
        m_request.assign(message.begin(), message.end());
        m_dwDestination = dwAddress;
        // The helper builds the ICMP header itself; it sends our payload.
        std::vector<uint8_t> payload;
        if (m_request.size() > kIcmpHeaderSize) payload.assign(m_request.begin() + kIcmpHeaderSize, m_request.end());
        ResetEvent(m_hEvent.Get());
        std::memset(m_reply.get(), 0, kReplySize);
        const DWORD n = IcmpSendEcho2(m_hIcmp, m_hEvent.Get(), nullptr, nullptr, htonl(dwAddress), payload.data(),
                                      static_cast<WORD>(payload.size()), nullptr, m_reply.get(),
                                      static_cast<DWORD>(kReplySize), kHelperTimeoutMs);
        if (n == 0) {
            const DWORD dwError = GetLastError();
            if (dwError != ERROR_IO_PENDING) return static_cast<int>(dwError);
        }
        // Pending, or done at once; either way the event tells.
        m_bPending = true;
        return 0;
    }

    EIcmpWait Receive(std::span<uint8_t> buffer, size_t& nLength, uint32_t& dwSource, uint32_t ms,
                      const CWakeSignal* pWake, int& nErr) override {
        nLength = 0;
        dwSource = 0;
        nErr = 0;
        if (m_bShutdown) {
            nErr = ERROR_INVALID_HANDLE;
            return EIcmpWait::Failed;
        }
        if (!m_bPending) return EIcmpWait::TimedOut;  // no request under way: nothing can come
        switch (win32::WaitWithWake(m_hEvent.Get(), ms, pWake)) {
        case win32::EHandleWait::Signalled: break;
        case win32::EHandleWait::TimedOut: return EIcmpWait::TimedOut;
        case win32::EHandleWait::Woken: return EIcmpWait::Woken;
        case win32::EHandleWait::Failed: nErr = static_cast<int>(GetLastError()); return EIcmpWait::WaitFailed;
        }
        m_bPending = false;
        if (IcmpParseReplies(m_reply.get(), static_cast<DWORD>(kReplySize)) == 0) {
            const DWORD dwError = GetLastError();
            if (dwError == IP_REQ_TIMED_OUT || dwError == ERROR_SUCCESS) return EIcmpWait::TimedOut;
            nErr = static_cast<int>(dwError);
            return EIcmpWait::Failed;
        }
        ICMP_ECHO_REPLY reply{};
        std::memcpy(&reply, m_reply.get(), sizeof reply);
        if (reply.Status == IP_REQ_TIMED_OUT) return EIcmpWait::TimedOut;
        dwSource = ntohl(reply.Address);
        // An echo reply with the request's identifier and payload, as an echo
        // server returns it; anything else shows as a message of another type.
        std::vector<uint8_t> datagram(kIpv4HeaderSize + kIcmpHeaderSize);
        if (reply.Status == IP_SUCCESS) {
            datagram.insert(datagram.end(), m_request.begin() + std::min(m_request.size(), kIcmpHeaderSize),
                            m_request.end());
            std::copy_n(m_request.begin(), std::min(m_request.size(), kIcmpHeaderSize),
                        datagram.begin() + kIpv4HeaderSize);
            datagram[kIpv4HeaderSize] = kIcmpEchoReply;
        } else {
            datagram[kIpv4HeaderSize] = kIcmpUnreachable;
        }
        WriteIpv4Header(datagram.data(), datagram.size(), dwSource, m_dwDestination);
        nLength = std::min(buffer.size(), datagram.size());
        std::copy_n(datagram.begin(), nLength, buffer.begin());
        return EIcmpWait::Received;
    }

    void Shutdown() override { m_bShutdown = true; }

private:
    // A reply, the payload echoed, and room for the status block of an
    // asynchronous request.
    static constexpr size_t kReplySize = sizeof(ICMP_ECHO_REPLY) + 1500 + 8 + 64;

    HANDLE m_hIcmp;
    win32::CHandle m_hEvent;
    std::unique_ptr<uint8_t[]> m_reply;
    bool m_bPending = false;
    bool m_bShutdown = false;
    std::vector<uint8_t> m_request;
    uint32_t m_dwDestination = 0;
};

std::unique_ptr<IIcmpEndpoint> OpenRaw(int& nErr) {
    if ((nErr = win32::StartWinsock()) != 0) return nullptr;
    // Windows refuses this without administrator rights (10013).
    const SOCKET s = WSASocketW(AF_INET, SOCK_RAW, IPPROTO_ICMP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        nErr = WSAGetLastError();
        return nullptr;
    }
    u_long nMode = 1;
    ioctlsocket(s, FIONBIO, &nMode);
    return std::make_unique<CRawIcmpEndpoint>(s);
}

std::unique_ptr<IIcmpEndpoint> OpenHelper(int& nErr) {
    const HANDLE hIcmp = IcmpCreateFile();
    if (hIcmp == INVALID_HANDLE_VALUE) {
        nErr = static_cast<int>(GetLastError());
        return nullptr;
    }
    win32::CHandle hEvent = win32::MakeEvent();
    if (!hEvent.IsValid()) {
        nErr = static_cast<int>(GetLastError());
        IcmpCloseHandle(hIcmp);
        return nullptr;
    }
    return std::make_unique<CHelperIcmpEndpoint>(hIcmp, std::move(hEvent));
}

}  // namespace

std::unique_ptr<IIcmpEndpoint> OpenIcmpEndpoint(EIcmpPath path, int& nErr) {
    nErr = 0;
    switch (path) {
    case EIcmpPath::Raw: return OpenRaw(nErr);
    case EIcmpPath::HelperApi: return OpenHelper(nErr);
    case EIcmpPath::Datagram:
    case EIcmpPath::PingProgram: break;
    }
    nErr = WSAEAFNOSUPPORT;  // Linux paths
    return nullptr;
}

std::unique_ptr<IIcmpEndpoint> OpenIcmpEndpoint(int& nErr) {
    for (EIcmpPath path : {EIcmpPath::Raw, EIcmpPath::HelperApi}) {
        auto pEndpoint = OpenIcmpEndpoint(path, nErr);
        if (pEndpoint) return pEndpoint;
    }
    return nullptr;
}

}  // namespace vexal::platform
