#include "portlib/PortNet.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <span>
#include <thread>

#include "platform/Clock.h"
#include "portlib/PingCheck.h"

namespace vexal {

namespace {
constexpr uint32_t kConnectStartPauseMs = 100;
constexpr uint32_t kConnectWaitMs = 2000;
constexpr uint32_t kFirstBytesWaitMs = 2000;
constexpr uint32_t kOpenCloseCheckPauseMs = 200;
constexpr uint32_t kOpenSecondConnectPauseMs = 1000;
constexpr int kEchoChecksPerCycle = 3;
constexpr uint32_t kEchoWaitMs = 1000;
constexpr uint32_t kSlowReplyMs = 800;
constexpr uint32_t kReaderPauseMs = 100;
constexpr uint32_t kDataWaitMs = 2000;
constexpr uint32_t kReadMax = 1024;
constexpr uint32_t kReconnectClosePauseMs = 2500;
constexpr uint32_t kReconnectFailPauseMs = 1000;
constexpr uint32_t kReconnectOkPauseMs = 300;
constexpr uint32_t kKeepAliveFailPauseMs = 50;
constexpr uint32_t kAfterSendPauseMs = 50;
constexpr uint32_t kLinkOnline = ZAMO_LINK_ONLINE;
constexpr uint32_t kLinkOffline = ZAMO_LINK_OFFLINE;

std::string NarrowAddress(const std::u16string& str) {
    // Dotted-decimal text: anything outside ASCII cannot be part of it.
    std::string out;
    out.reserve(str.size());
    for (char16_t c : str) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::u16string Widen(const char* psz) {
    std::u16string out;
    for (; *psz != '\0'; ++psz) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*psz)));
    return out;
}

uint32_t SecondsNow() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}
}  // namespace

CPortNet::CPortNet() : m_pfnOpenIcmp([](int& nErr) { return platform::OpenIcmpEndpoint(nErr); }) {}

CPortNet::~CPortNet() { LogPort(kLogInfo, "~CPortNet"); }

void CPortNet::SetIcmpEndpointFactory(platform::IcmpEndpointFactory pfnFactory) {
    m_pfnOpenIcmp = std::move(pfnFactory);
}

bool CPortNet::Pause(uint32_t ms) { return m_StopEvent.SleepMs(ms); }

bool CPortNet::StopRequested() const { return IsTerminating() || m_StopEvent.IsSet(); }

uint32_t CPortNet::SetDeviceOption(const DeviceOption& option) {
    CPortInterface::SetDeviceOption(option);
    std::u16string strAddress = option.portName != nullptr ? std::u16string(option.portName) : std::u16string();
    if (strAddress.empty()) return 0;
    // A further user of an open port names the same address; the reader
    // thread reads the link's address and port, so they stay as opened.
    if (m_bOpen && strAddress == m_strAddress) return 1;
    m_strAddress = strAddress;
    const auto address = platform::ParseIPv4(NarrowAddress(strAddress));
    m_bAddressValid = address.has_value();
    m_dwAddress = address.value_or(0);
    // Only the low 16 bits name the TCP port.
    m_wPortNumber = static_cast<uint16_t>(option.speed & 0xFFFFu);
    m_settings.StoreFrom(option);  // 13, 14 and 17 are kept but not read
    return 1;
}

uint32_t CPortNet::ConnectSocket() {
    int nErr = m_hPort.Create();
    if (nErr != 0) {
        LogPort(kLogError, "-ConnectSocket : SOCKET_ERROR=%d", {nErr});
        return 0;
    }
    m_hPort.SetLingerZero();  // outcome not needed: a plain close works as well
    nErr = m_hPort.SetNonBlocking();
    if (nErr != 0) {
        LogPort(kLogError, "ioctlsocket FIONBIO mode 1 error=%d  in ConnectSocket", {nErr});
        m_hPort.Close();
        return 0;
    }
    nErr = m_bAddressValid ? m_hPort.StartConnect(m_dwAddress, m_wPortNumber) : EINVAL;
    if (nErr != 0) {
        LogPort(kLogError, "-ConnectSocket(Non-blocking) : %d", {nErr});
        m_hPort.Close();
        return 0;
    }
    Pause(kConnectStartPauseMs);
    // The close notification needs no binding here: CheckFinReceived asks the socket.
    switch (m_hPort.WaitWritable(kConnectWaitMs, &m_StopEvent, nErr)) {
    case platform::ESocketWait::Ready: break;
    case platform::ESocketWait::Failed:
        LogPort(kLogError, "select error:GLE[%d] in ConnectSocket", {nErr});
        m_hPort.Close();
        return 0;
    default:
        LogPort(kLogError, "FD_ISSET return fail in ConnectSocket");
        m_hPort.Close();
        return 0;
    }
    // The hub's first bytes (or its close); only a failing wait counts.
    if (m_hPort.WaitReadable(kFirstBytesWaitMs, &m_StopEvent, nErr) == platform::ESocketWait::Failed) {
        LogPort(kLogError, "select error: GLE[%d] in ConnectSocket", {nErr});
        m_hPort.Close();
        return 0;
    }
    // A new connection: a frame the old one cut must not take its bytes.
    NewLinkGeneration();
    return 1;
}

uint32_t CPortNet::CheckFinReceived() {
    bool bClosed = false;
    int nCloseErr = 0;
    const int nErr = m_hPort.PeerClosed(bClosed, nCloseErr);
    if (nErr != 0) {
        LogPort(kLogError, "WSAEnumNetworkEvents error=%d", {nErr});
        return 0;
    }
    if (bClosed) {
        LogPort(kLogError, "Check to receive FIN packet=%d", {nCloseErr});
        return 0;
    }
    return 1;
}

CPortNet::EReplyWait CPortNet::AwaitReply(platform::IIcmpEndpoint& endpoint, uint32_t dwDestination, uint16_t wId,
                                          int& nErr) {
    // Every ICMP socket may see other checks' replies (and, raw, other
    // programs'): read on until ours arrives or the wait is over.
    std::array<uint8_t, kEchoBufferSize> buffer{};
    bool bAnyReceived = false;
    const uint64_t nStart = platform::TickMs();
    for (;;) {
        const uint64_t nElapsed = platform::TickMs() - nStart;
        const uint32_t nLeft = nElapsed >= kEchoWaitMs ? 0 : static_cast<uint32_t>(kEchoWaitMs - nElapsed);
        size_t nLength = 0;
        uint32_t dwSource = 0;
        switch (endpoint.Receive(buffer, nLength, dwSource, nLeft, &m_StopEvent, nErr)) {
        case platform::EIcmpWait::Received: break;
        case platform::EIcmpWait::TimedOut: return bAnyReceived ? EReplyWait::OnlyInvalid : EReplyWait::NothingArrived;
        case platform::EIcmpWait::Woken: return EReplyWait::Woken;
        case platform::EIcmpWait::WaitFailed: return EReplyWait::WaitFailed;
        case platform::EIcmpWait::Failed: return EReplyWait::ReceiveFailed;
        }
        bAnyReceived = true;
        const std::span<const uint8_t> datagram(buffer.data(), std::min(nLength, buffer.size()));
        if (ValidateEchoReply(datagram, dwSource, dwDestination, wId) == EEchoReply::Valid) return EReplyWait::Valid;
        if (nLeft == 0) return EReplyWait::OnlyInvalid;
    }
}

uint32_t CPortNet::CheckPingResponse(const std::u16string& strAddress) {
    LogPort(kLogInfo, "+CheckPingResponse");
    if (m_StopEvent.IsSet()) return 0;  // closing
    int nErr = 0;
    std::unique_ptr<platform::IIcmpEndpoint> pEndpoint = m_pfnOpenIcmp ? m_pfnOpenIcmp(nErr) : nullptr;
    if (!pEndpoint) {
        LogPort(kLogError, "CheckPingResponse : INVALID_SOCKET");
        return 0;
    }
    if (static_cast<int>(pEndpoint->Path()) != m_nLastIcmpPath) {
        m_nLastIcmpPath = static_cast<int>(pEndpoint->Path());
        LogPort(kLogInfo, "CheckPingResponse : echo by %s", {Widen(platform::IcmpPathName(pEndpoint->Path()))});
    }

    const auto address = platform::ParseIPv4(NarrowAddress(strAddress));
    const uint32_t dwDestination = address.value_or(0);

    CEchoIdLease lease(EchoIdentifierForSeed(SecondsNow()));
    const EchoRequest request = BuildEchoRequest(lease.Id());

    LogPort(kLogInfo, "sendto in CheckPingResponse");
    nErr = address ? pEndpoint->SendTo(request, dwDestination) : EINVAL;
    if (nErr != 0) {
        LogPort(kLogError, "ping sendto error:%d", {nErr});
        return 0;
    }
    // Logs why a wait ended without a datagram to judge; true when it did.
    auto waitFailed = [&](EReplyWait wait, int nTimeoutLevel, const char* pszTimeout, const char* pszRecvFail) {
        switch (wait) {
        case EReplyWait::Valid:
        case EReplyWait::OnlyInvalid: return false;
        case EReplyWait::NothingArrived: LogPort(nTimeoutLevel, pszTimeout); return true;
        case EReplyWait::WaitFailed:
        case EReplyWait::Woken: LogPort(kLogError, "ping select error:%d", {nErr}); return true;
        case EReplyWait::ReceiveFailed: LogPort(kLogError, pszRecvFail, {nErr}); return true;
        }
        return true;
    };

    const uint64_t nSentAt = platform::TickMs();
    EReplyWait result = AwaitReply(*pEndpoint, dwDestination, lease.Id(), nErr);
    const uint32_t dwReplyMs = static_cast<uint32_t>(platform::TickMs() - nSentAt);
    if (waitFailed(result, kLogInfo, "ping response time is exceed 1.0sec", "ping recvfrom error:%d")) return 0;

    if (result == EReplyWait::Valid && dwReplyMs > kSlowReplyMs) {
        // A slow answer is confirmed by a second exchange, which decides.
        nErr = pEndpoint->SendTo(request, dwDestination);
        if (nErr != 0) {
            LogPort(kLogError, "ping sendto 2 error:%d", {nErr});
            return 0;
        }
        result = AwaitReply(*pEndpoint, dwDestination, lease.Id(), nErr);
        if (waitFailed(result, kLogError, "ping response 2 timeout", "ping recvfrom 2 error:%d")) return 0;
    }
    if (result != EReplyWait::Valid) {
        LogPort(kLogError, "-CheckPingResponse");
        return 0;
    }
    m_bReachable = 1;
    LogPort(kLogInfo, "-CheckPingResponse:%d", {dwReplyMs});
    return 1;
}

uint32_t CPortNet::OpenPort() {
    m_StopEvent.Reset();
    if (m_bCapture) PortLog().InitCapture(true, m_strCaptureDir, u"EthPRN");
    // The socket library needs no start-up here; sockets are made per connect.
    LogPort(kLogInfo, "ConnectSocket in OpenPort");
    bool bConnected = ConnectSocket() != 0;
    if (bConnected) {
        Pause(kOpenCloseCheckPauseMs);
        if (!CheckFinReceived()) {
            // A hub that drops the first connection gets exactly one more try.
            m_hPort.Close();
            Pause(kOpenSecondConnectPauseMs);
            LogPort(kLogInfo, "second ConnectSocket in OpenPort");
            bConnected = ConnectSocket() != 0;
        }
    }
    if (!bConnected) {
        LogPort(kLogError, "-OpenPort : fail to connected. retry(%d)", {1});
        return 0;
    }
    m_bOpen = true;
    m_bReachable = 1;
    m_bReconnect = 0;
    m_dwLinkState = kLinkOnline;
    LogPort(kLogInfo, "-OpenPort : Success");
    return CPortInterface::OpenPort();
}

int32_t CPortNet::ReadPort(uint8_t* pBuffer, uint32_t dwSize) {
    m_dwReaderPause = kReaderPauseMs;
    if (m_StopEvent.IsSet()) return 0;  // closing: leave every flag as ClosePort set it

    for (int i = 0; i < kEchoChecksPerCycle && !StopRequested(); ++i) {
        m_bReachable = CheckPingResponse(m_strAddress);
        if (m_bReachable) break;
    }
    if (!m_bReachable) {
        m_dwLinkState = kLinkOffline;
        m_bReconnect = 1;
        return 0;
    }

    if (m_bReconnect) {
        LogPort(kLogInfo, "power status on-line");
        if (m_bOpen) {
            m_bOpen = false;
            m_hPort.Close();
            LogPort(kLogInfo, "Socket is closed and sleep");
            if (Pause(kReconnectClosePauseMs)) return 0;
        }
        m_bOpen = ConnectSocket() != 0;
        if (!m_bOpen) {
            // The hub answers echo requests but takes no connection: its
            // devices cannot be reached, so the link is off-line.
            m_dwLinkState = kLinkOffline;
            Pause(kReconnectFailPauseMs);
            return 0;
        }
        if (Pause(kReconnectOkPauseMs)) return 0;
        m_bOpen = true;
        if (!CheckFinReceived()) {
            m_dwLinkState = kLinkOffline;
            return 0;  // closed again: m_bReconnect stays set
        }
        m_dwLinkState = kLinkOnline;
        m_bReconnect = 0;
        LogPort(kLogInfo, "Socket reopen success");
    }

    if (!CheckFinReceived()) {
        // The next cycle closes this socket before it reconnects.
        m_bReconnect = 1;
        m_bOpen = true;
        return 0;
    }
    if (!m_bOpen) return 0;
    if (StopRequested()) return 0;

    std::this_thread::yield();
    int nErr = 0;
    switch (m_hPort.WaitReadable(kDataWaitMs, &m_StopEvent, nErr)) {
    case platform::ESocketWait::Ready: {
        const ptrdiff_t n = m_hPort.Receive(pBuffer, std::min(dwSize, kReadMax), nErr);
        if (n > 0) return static_cast<int32_t>(n);
        if (n < 0 && nErr == platform::SocketErrorWouldBlock()) break;  // a spurious wake-up counts as an idle wait
        if (n < 0) {
            LogPort(kLogInfo, "Ethernet ReadPort WSAGLE[%d]", {nErr});
            if (nErr == platform::SocketErrorNotSocket()) {
                // ClosePort took the socket away: nothing to change.
                LogPort(kLogError, "failed to recv() in ReadPort");
                return 0;
            }
            m_bReconnect = 1;
            m_bReachable = 0;
            m_dwLinkState = kLinkOffline;
            return 0;
        }
        break;  // the hub closed: the next cycle sees it
    }
    case platform::ESocketWait::Woken: return 0;
    case platform::ESocketWait::TimedOut: break;
    default: m_bOpen = false; break;
    }

    ptrdiff_t nSent;
    {
        std::lock_guard lock(m_csSend);
        if (StopRequested() || m_bWrite) return 0;
        LogPort(kLogInfo, "NULL Packet");
        const uint8_t keepAlive = 0x00;
        nSent = m_hPort.Send(&keepAlive, 1, nErr);
    }
    if (nSent < 0) {
        LogPort(kLogError, "-Ethernet NULL Write Fail. close socket");
        m_bOpen = false;
        Pause(kKeepAliveFailPauseMs);
        m_dwLinkState = kLinkOffline;
        return 0;
    }
    if (nSent != 1) LogPort(kLogError, "NULL byte writing is fail");
    return 0;
}

int32_t CPortNet::WritePort(const uint8_t* pData, uint32_t dwLength) {
    if (!m_bOpen || pData == nullptr || dwLength == 0) {
        LogPort(kLogError, "-Port Write : fail to invalid parameters");
        return 0;
    }
    int nErr = 0;
    ptrdiff_t nSent;
    {
        std::lock_guard lock(m_csSend);
        nSent = m_hPort.Send(pData, dwLength, nErr);
    }
    if (nSent < 0) {
        LogPort(kLogError, "-Ethernet Write Fail(%d/%d), WSAGLE=%d", {-1, dwLength, nErr});
        m_bReachable = 0;
        m_dwLinkState = kLinkOffline;
        m_bReconnect = 1;  // the reader thread reconnects
        return -1;
    }
    if (m_bCapture && PortLog().IsCaptureOpen()) PortLog().WriteCapture(pData, static_cast<size_t>(nSent));
    platform::SleepMs(kAfterSendPauseMs);
    if (static_cast<uint32_t>(nSent) < dwLength)
        LogPort(kLogError, "-Ethernet Write (%d/%d)", {static_cast<int32_t>(nSent), dwLength});
    return static_cast<int32_t>(nSent);
}

void CPortNet::ClosePort() {
    LogPort(kLogInfo, "+ClosePort");
    // Wake the reader first: a closed descriptor would not end its poll. The
    // echo check in progress (the ping socket) ends on the same signal and
    // closes its own endpoint.
    m_StopEvent.Set();
    ClearLinkFlags();
    LogPort(kLogInfo, "ClosePort : call shutdown for ping socket.");
    LogPort(kLogInfo, "ClosePort : call closesocket for ping socket.");
    LogPort(kLogInfo, "ClosePort : call shutdown.");
    const int nErr = m_hPort.Shutdown();
    LogPort(kLogInfo, "ClosePort : call closesocket.");
    if (nErr != 0) LogPort(kLogError, "ClosePort : error closesocket WSAGetLastError=%d", {nErr});
    LogPort(kLogInfo, "-ClosePort : Success");
    CPortInterface::ClosePort();
    // A cycle that was reconnecting may have set them again before it stopped.
    ClearLinkFlags();
    // Only now, with the reader stopped, may the descriptor number be reused.
    m_hPort.Close();
}

void CPortNet::ClearLinkFlags() {
    m_bOpen = false;
    m_bReachable = 0;
    m_bReconnect = 0;
}

}  // namespace vexal
