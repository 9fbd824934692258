// The hub's own framing of the link: "VQT", device, 16-bit big-endian length, payload.
// Written from the hub's side on purpose; it shares no code with the host libraries.
#pragma once

#include "HexText.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace hubsim {

inline constexpr uint8_t kDeviceHub = 0x00;
inline constexpr uint8_t kDevicePresence = 0xFF;
inline constexpr size_t kFrameHeaderSize = 6;
inline constexpr size_t kMaxFramePayload = 0xFFFF;

struct SFrame {
    uint8_t nDevice = 0;
    Bytes vecPayload;
};

// Builds one frame; payloads longer than 65535 bytes are cut into several frames,
// and an empty payload gives no bytes (length 0 is invalid).
Bytes EncodeFrame(uint8_t nDevice, const uint8_t* pPayload, size_t nLength);
inline Bytes EncodeFrame(uint8_t nDevice, const Bytes& payload) {
    return EncodeFrame(nDevice, payload.data(), payload.size());
}

// Stream decoder. Unlike a strict per-read parser it carries a partial header over
// to the next chunk, as the hub's UART buffer would. Bytes outside frames are
// skipped; zero bytes among them are counted as keep-alive bytes.
class CFrameDecoder {
public:
    struct SStats {
        uint64_t nFrames = 0;
        uint64_t nSkippedBytes = 0;
        uint64_t nKeepAliveZeros = 0;
        uint64_t nZeroLengthFrames = 0;
    };
    using FrameSink = std::function<void(SFrame&&)>;

    // Feeds a chunk; calls sink for every completed frame, in order.
    void Feed(const uint8_t* pData, size_t nLength, const FrameSink& sink);
    // Forgets any partial frame, e.g. when the host disconnected mid-frame.
    void Reset();
    bool InFrame() const { return m_nHeaderHave > 0 || m_bInPayload; }
    const SStats& Stats() const { return m_stats; }

private:
    uint8_t m_header[kFrameHeaderSize] = {};
    size_t m_nHeaderHave = 0;
    bool m_bInPayload = false;
    size_t m_nPayloadWant = 0;
    SFrame m_current;
    SStats m_stats;
};

}  // namespace hubsim
