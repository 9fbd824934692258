// A deliberately small host for the simulator tests: raw sockets and a frame
// reader of its own, sharing no code with the simulator or the libraries.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using ByteVec = std::vector<uint8_t>;

struct SRawFrame {
    uint8_t nDevice = 0;
    ByteVec vecPayload;
};

ByteVec Hex(const std::string& strHex);   // "50 00 41" -> bytes; throws on bad input
std::string HexOf(const ByteVec& bytes);  // upper case, no separators
ByteVec MakeFrame(uint8_t nDevice, const ByteVec& payload);

class CRawHubClient {
public:
    CRawHubClient() = default;
    explicit CRawHubClient(int fd) : m_fd(fd) {}
    ~CRawHubClient();
    CRawHubClient(CRawHubClient&& other) noexcept;
    CRawHubClient& operator=(CRawHubClient&& other) noexcept;
    CRawHubClient(const CRawHubClient&) = delete;
    CRawHubClient& operator=(const CRawHubClient&) = delete;

    // Connects to 127.0.0.1:nPort; on failure the client is not open and Errno() tells why.
    static CRawHubClient Tcp(uint16_t nPort, int* pErrno = nullptr);
    static CRawHubClient Unix(const std::string& strPath, int* pErrno = nullptr);
    static CRawHubClient Pty(const std::string& strPath);

    bool Open() const { return m_fd >= 0; }
    void Close();
    void Send(const ByteVec& bytes);
    void SendFrame(uint8_t nDevice, const ByteVec& payload) { Send(MakeFrame(nDevice, payload)); }

    // Next complete frame (bytes before a marker are skipped and counted); nullopt on time-out or close.
    std::optional<SRawFrame> ReadFrame(int nTimeoutMs = 2000);
    // Next frame for nDevice, dropping others (such as the greeting to device 254).
    std::optional<SRawFrame> ReadFrameFor(uint8_t nDevice, int nTimeoutMs = 2000);
    // Sends a frame to the hub (device 0) and returns the hub's reply payload.
    std::optional<ByteVec> Ask(const ByteVec& request, int nTimeoutMs = 2000);
    // Whatever bytes arrive within the time (stops early once nAtLeast have come).
    ByteVec ReadRaw(int nTimeoutMs, size_t nAtLeast = SIZE_MAX);
    // True when the peer closes the link within the time.
    bool WaitClosed(int nTimeoutMs);
    // True when nothing at all arrives within the time.
    bool QuietFor(int nTimeoutMs);

    size_t SkippedBytes() const { return m_nSkipped; }
    // Arrival times of the reads that made up the frames read so far (for split-frame tests).
    const std::vector<std::chrono::steady_clock::time_point>& ReadTimes() const { return m_readTimes; }

private:
    // Reads more into the buffer; false on time-out or close.
    bool Fill(std::chrono::steady_clock::time_point deadline);

    int m_fd = -1;
    bool m_bClosed = false;
    ByteVec m_buffer;
    size_t m_nSkipped = 0;
    std::vector<std::chrono::steady_clock::time_point> m_readTimes;
};
