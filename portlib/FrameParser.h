// Cuts the hub's byte stream into multiplexed frames: "VQT", device, 16-bit
// big-endian length, payload. Pure state machine: no threads, no clock of its
// own (the caller passes the time), so tests and fuzzers drive it directly.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace vexal {

inline constexpr uint32_t kFrameHeaderSize = 6;
inline constexpr uint32_t kFrameBufferSize = 1024;
inline constexpr uint32_t kFrameAbandonMs = 5000;

enum class EParserEvent {
    InvalidByte,   // a byte outside a frame that does not start a marker (value: the byte)
    ZeroLength,    // a header declaring 0 payload bytes
    PieceTimeout,  // a late piece that did not complete its frame (value: ms since the last piece)
};

class IFrameSink {
public:
    virtual ~IFrameSink() = default;
    // A complete frame; the payload is valid only during the call.
    virtual void OnFrame(uint32_t dwDevice, const uint8_t* pPayload, uint32_t dwLength) = 0;
    virtual void OnParserEvent(EParserEvent event, uint32_t dwValue) = 0;
};

class CFrameParser {
public:
    CFrameParser();

    // Forgets any frame or partial header in progress.
    void Reset();
    // Parses one read cycle's bytes; complete frames go to the sink in order.
    void Process(const uint8_t* pBytes, uint32_t n, uint64_t nNowMs, IFrameSink& sink);
    // A cycle without bytes: abandons a frame (or carried header) idle for more than 5000 ms.
    void CheckIdle(uint64_t nNowMs);
    // The link generation of the bytes that follow. Bytes of a new link (a
    // reopen or reconnect) never complete a frame cut by the end of the old
    // one: a change drops the frame or carried header in progress. True when
    // something was dropped.
    bool SetLinkGeneration(uint64_t nGeneration);

    bool IsFrameInProgress() const { return m_bInProgress; }
    uint32_t HeldHeaderBytes() const { return m_dwHeaderHeld; }
    // The device of the frame in progress, frames begun so far, and a tag the
    // caller attaches to the frame in progress (0 for a new one).
    uint32_t FrameDevice() const { return m_dwFrameDevice; }
    uint64_t FramesBegun() const { return m_nFramesBegun; }
    uint32_t FrameTag() const { return m_dwFrameTag; }
    void SetFrameTag(uint32_t dwTag) { m_dwFrameTag = dwTag; }

private:
    void ParseBlock(const uint8_t* b, uint32_t n, uint64_t nNowMs, IFrameSink& sink);
    void Dispatch(IFrameSink& sink);

    // Grows to the declared length when a frame is larger than 1024 bytes.
    std::vector<uint8_t> m_frameBuffer;
    uint32_t m_dwCollected = 0;
    uint32_t m_dwFrameDevice = 0;
    uint32_t m_dwFrameLength = 0;
    uint32_t m_dwMissing = 0;
    bool m_bInProgress = false;
    uint64_t m_nLastPieceMs = 0;
    uint64_t m_nFramesBegun = 0;
    uint32_t m_dwFrameTag = 0;
    // A marker or header cut off by the end of a cycle, carried into the next one.
    std::array<uint8_t, kFrameHeaderSize> m_header{};
    uint32_t m_dwHeaderHeld = 0;
    uint64_t m_nHeaderAtMs = 0;
    uint64_t m_nGeneration = 0;
    std::vector<uint8_t> m_joined;  // scratch: carried header + the new cycle's bytes
};

}  // namespace vexal
