#include "RawHubClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

using Clock = std::chrono::steady_clock;

ByteVec Hex(const std::string& strHex) {
    ByteVec out;
    int nHigh = -1;
    for (char c : strHex) {
        if (c == ' ') continue;
        int n;
        if (c >= '0' && c <= '9')
            n = c - '0';
        else if (c >= 'a' && c <= 'f')
            n = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            n = c - 'A' + 10;
        else
            throw std::invalid_argument("bad hex: " + strHex);
        if (nHigh < 0) {
            nHigh = n;
        } else {
            out.push_back(static_cast<uint8_t>(nHigh * 16 + n));
            nHigh = -1;
        }
    }
    if (nHigh >= 0) throw std::invalid_argument("odd hex: " + strHex);
    return out;
}

std::string HexOf(const ByteVec& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

ByteVec MakeFrame(uint8_t nDevice, const ByteVec& payload) {
    ByteVec out;
    out.reserve(6 + payload.size());
    for (uint8_t b : {uint8_t{'V'}, uint8_t{'Q'}, uint8_t{'T'}, nDevice}) out.push_back(b);
    out.push_back(static_cast<uint8_t>(payload.size() >> 8));
    out.push_back(static_cast<uint8_t>(payload.size() & 0xFF));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

CRawHubClient::~CRawHubClient() { Close(); }

CRawHubClient::CRawHubClient(CRawHubClient&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_bClosed(other.m_bClosed),
      m_buffer(std::move(other.m_buffer)),
      m_nSkipped(other.m_nSkipped) {}

CRawHubClient& CRawHubClient::operator=(CRawHubClient&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_bClosed = other.m_bClosed;
        m_buffer = std::move(other.m_buffer);
        m_nSkipped = other.m_nSkipped;
    }
    return *this;
}

void CRawHubClient::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

CRawHubClient CRawHubClient::Tcp(uint16_t nPort, int* pErrno) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (pErrno) *pErrno = errno;
        ::close(fd);
        return CRawHubClient();
    }
    if (pErrno) *pErrno = 0;
    return CRawHubClient(fd);
}

CRawHubClient CRawHubClient::Unix(const std::string& strPath, int* pErrno) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, strPath.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (pErrno) *pErrno = errno;
        ::close(fd);
        return CRawHubClient();
    }
    if (pErrno) *pErrno = 0;
    return CRawHubClient(fd);
}

CRawHubClient CRawHubClient::Pty(const std::string& strPath) {
    const int fd = ::open(strPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return CRawHubClient();
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    return CRawHubClient(fd);
}

void CRawHubClient::Send(const ByteVec& bytes) {
    size_t nDone = 0;
    while (nDone < bytes.size()) {
        // A peer that went away must fail the test, not kill it with SIGPIPE.
        ssize_t n = ::send(m_fd, bytes.data() + nDone, bytes.size() - nDone, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) n = ::write(m_fd, bytes.data() + nDone, bytes.size() - nDone);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(std::string("send failed: ") + std::strerror(errno));
        nDone += static_cast<size_t>(n);
    }
}

bool CRawHubClient::Fill(Clock::time_point deadline) {
    if (m_fd < 0 || m_bClosed) return false;
    for (;;) {
        const auto nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (nLeft <= 0) return false;
        pollfd pfd{m_fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, static_cast<int>(nLeft));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        uint8_t buffer[8192];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_bClosed = true;
            return false;
        }
        m_readTimes.push_back(Clock::now());
        m_buffer.insert(m_buffer.end(), buffer, buffer + n);
        return true;
    }
}

std::optional<SRawFrame> CRawHubClient::ReadFrame(int nTimeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        // Drop everything before the first full marker.
        size_t i = 0;
        while (i < m_buffer.size()) {
            if (m_buffer[i] == 'V' && (i + 1 >= m_buffer.size() || m_buffer[i + 1] == 'Q') &&
                (i + 2 >= m_buffer.size() || m_buffer[i + 2] == 'T'))
                break;
            ++i;
        }
        m_nSkipped += i;
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(i));
        if (m_buffer.size() >= 6) {
            const size_t nLength = static_cast<size_t>(m_buffer[4]) * 256 + m_buffer[5];
            if (m_buffer.size() >= 6 + nLength) {
                SRawFrame frame;
                frame.nDevice = m_buffer[3];
                frame.vecPayload.assign(m_buffer.begin() + 6,
                                        m_buffer.begin() + 6 + static_cast<std::ptrdiff_t>(nLength));
                m_buffer.erase(m_buffer.begin(), m_buffer.begin() + 6 + static_cast<std::ptrdiff_t>(nLength));
                return frame;
            }
        }
        if (!Fill(deadline)) return std::nullopt;
    }
}

std::optional<SRawFrame> CRawHubClient::ReadFrameFor(uint8_t nDevice, int nTimeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        const auto nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        auto frame = ReadFrame(static_cast<int>(nLeft > 0 ? nLeft : 0));
        if (!frame || frame->nDevice == nDevice) return frame;
    }
}

std::optional<ByteVec> CRawHubClient::Ask(const ByteVec& request, int nTimeoutMs) {
    SendFrame(0, request);
    auto frame = ReadFrameFor(0, nTimeoutMs);
    if (!frame) return std::nullopt;
    return frame->vecPayload;
}

ByteVec CRawHubClient::ReadRaw(int nTimeoutMs, size_t nAtLeast) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (m_buffer.size() < nAtLeast && Fill(deadline)) {
    }
    ByteVec out;
    out.swap(m_buffer);
    return out;
}

bool CRawHubClient::WaitClosed(int nTimeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (!m_bClosed) {
        if (!Fill(deadline) && !m_bClosed) return false;
    }
    return true;
}

bool CRawHubClient::QuietFor(int nTimeoutMs) {
    const size_t nBefore = m_buffer.size();
    Fill(Clock::now() + std::chrono::milliseconds(nTimeoutMs));
    return m_buffer.size() == nBefore && !m_bClosed;
}
