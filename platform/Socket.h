// IPv4 TCP stream sockets for the network port: non-blocking connect with a
// time-out, waits that a CWakeSignal ends, close detection, and sends that
// never raise SIGPIPE. Error codes are the system's: errno values, or the
// Winsock codes (10035 would block, 10038 not a socket) on Windows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vexal::platform {

class CWakeSignal;

enum class ESocketWait {
    Ready,      // the condition holds
    TimedOut,   // nothing happened in time
    Exception,  // connect failed (refused, unreachable): error in nErr
    Failed,     // the wait itself failed: error in nErr
    Woken,      // the wake signal was set
};

// Parses a dotted-decimal IPv4 address ("192.168.0.10") into host order.
std::optional<uint32_t> ParseIPv4(std::string_view strAddress);

// The code a call on a socket that was shut down locally (or never made)
// reports, standing for "not a socket".
int SocketErrorNotSocket();
// The code of a receive that found nothing after all (a spurious wake-up).
int SocketErrorWouldBlock();
// Whether an error says this computer cannot try the address at all (no
// route to its network, the network down, no sockets or buffers left, a
// local firewall), as opposed to an answer about the address itself
// (refused, host unreachable, timed out).
bool IsLocalNetworkError(int nErr);
// The system's words for a socket error code.
std::string SocketErrorText(int nErr);

class CTcpSocket {
public:
    CTcpSocket() = default;
    ~CTcpSocket();
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;

    // Makes a close-on-exec IPv4 stream socket (closing any earlier one).
    // 0 or an error code.
    int Create();
    bool IsValid() const;

    // Linger on with a time of 0, so that a close drops the connection at once.
    int SetLingerZero();
    int SetNonBlocking();

    // Starts connecting to an address and port (host order). 0 when connected
    // or under way; otherwise the error code.
    int StartConnect(uint32_t dwAddress, uint16_t wPort);

    // Writable: the connect completed. A failed connect is Exception with the
    // socket's pending error.
    ESocketWait WaitWritable(uint32_t ms, const CWakeSignal* pWake, int& nErr);
    // Readable: bytes wait, or the peer closed.
    ESocketWait WaitReadable(uint32_t ms, const CWakeSignal* pWake, int& nErr);

    // Asks whether the peer closed the connection, without reading. A close
    // counts only once no received byte is left unread. Returns 0 and sets
    // bClosed (with the socket's pending error in nCloseErr, 0 for an orderly
    // close), or an error code when the socket cannot be asked.
    int PeerClosed(bool& bClosed, int& nCloseErr);

    // One recv: the count (0 = the peer closed), or -1 with nErr.
    ptrdiff_t Receive(uint8_t* pBuffer, size_t nSize, int& nErr);
    // One send: the count (0 when it would block), or -1 with nErr.
    ptrdiff_t Send(const uint8_t* pData, size_t nLength, int& nErr);

    // Shuts both directions down; later calls fail with SocketErrorNotSocket
    // until Create. 0 or the error code of the shutdown.
    int Shutdown();
    // Closes the descriptor; the socket is then invalid (-1).
    void Close();

private:
    std::intptr_t Descriptor() const;

    mutable std::mutex m_mutex;  // guards m_hSocket and m_bShutdown against a closing thread
    // A descriptor, or a SOCKET on Windows; -1 when none.
    std::intptr_t m_hSocket = -1;
    bool m_bShutdown = false;
};

}  // namespace vexal::platform
