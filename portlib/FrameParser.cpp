#include "portlib/FrameParser.h"

#include <algorithm>
#include <cstring>

namespace vexal {

namespace {
constexpr uint8_t kMarker0 = 0x56;  // 'V'
constexpr uint8_t kMarker1 = 0x51;  // 'Q'
constexpr uint8_t kMarker2 = 0x54;  // 'T'
}  // namespace

CFrameParser::CFrameParser() : m_frameBuffer(kFrameBufferSize, 0) {}

void CFrameParser::Reset() {
    m_dwCollected = 0;
    m_dwFrameDevice = 0;
    m_dwFrameLength = 0;
    m_dwMissing = 0;
    m_bInProgress = false;
    m_dwHeaderHeld = 0;
}

void CFrameParser::CheckIdle(uint64_t nNowMs) {
    if (m_bInProgress && nNowMs - m_nLastPieceMs > kFrameAbandonMs) {
        m_bInProgress = false;
        m_dwCollected = 0;
        m_dwMissing = 0;
    }
    if (m_dwHeaderHeld > 0 && nNowMs - m_nHeaderAtMs > kFrameAbandonMs) m_dwHeaderHeld = 0;
}

bool CFrameParser::SetLinkGeneration(uint64_t nGeneration) {
    if (nGeneration == m_nGeneration) return false;
    m_nGeneration = nGeneration;
    const bool bDropped = m_bInProgress || m_dwHeaderHeld > 0;
    Reset();
    return bDropped;
}

void CFrameParser::Process(const uint8_t* pBytes, uint32_t n, uint64_t nNowMs, IFrameSink& sink) {
    if (n == 0 || pBytes == nullptr) return;
    if (m_dwHeaderHeld == 0) {
        ParseBlock(pBytes, n, nNowMs, sink);
        return;
    }
    // A header cut off last cycle: parse it together with the new bytes.
    if (nNowMs - m_nHeaderAtMs > kFrameAbandonMs) {
        m_dwHeaderHeld = 0;
        ParseBlock(pBytes, n, nNowMs, sink);
        return;
    }
    m_joined.resize(static_cast<size_t>(m_dwHeaderHeld) + n);
    std::memcpy(m_joined.data(), m_header.data(), m_dwHeaderHeld);
    std::memcpy(m_joined.data() + m_dwHeaderHeld, pBytes, n);
    const uint32_t nJoined = m_dwHeaderHeld + n;
    m_dwHeaderHeld = 0;
    ParseBlock(m_joined.data(), nJoined, nNowMs, sink);
}

void CFrameParser::ParseBlock(const uint8_t* b, uint32_t n, uint64_t nNowMs, IFrameSink& sink) {
    uint32_t i = 0;
    while (i < n) {
        if (m_bInProgress) {
            const uint32_t k = std::min(m_dwMissing, n - i);
            std::memcpy(m_frameBuffer.data() + m_dwCollected, b + i, k);
            i += k;
            m_dwCollected += k;
            m_dwMissing -= k;
            if (m_dwMissing == 0) {
                Dispatch(sink);
            } else {
                const uint64_t nElapsed = nNowMs - m_nLastPieceMs;
                if (nElapsed > kFrameAbandonMs) {
                    sink.OnParserEvent(EParserEvent::PieceTimeout, static_cast<uint32_t>(nElapsed));
                    m_bInProgress = false;
                    m_dwCollected = 0;
                    m_dwMissing = 0;
                }
                m_nLastPieceMs = nNowMs;
            }
            continue;
        }
        if (b[i] != kMarker0) {
            sink.OnParserEvent(EParserEvent::InvalidByte, b[i]);
            i += 1;
            continue;
        }
        const uint32_t nLeft = n - i;
        if (nLeft >= 2 && b[i + 1] != kMarker1) {
            i += 2;
            continue;
        }
        if (nLeft >= 3 && b[i + 2] != kMarker2) {
            i += 3;
            continue;
        }
        if (nLeft < kFrameHeaderSize) {
            // So far a valid header start: keep it for the next cycle.
            std::memcpy(m_header.data(), b + i, nLeft);
            m_dwHeaderHeld = nLeft;
            m_nHeaderAtMs = nNowMs;
            return;
        }
        const uint32_t dwDevice = b[i + 3];
        const uint32_t dwLength = static_cast<uint32_t>(b[i + 4]) * 256u + b[i + 5];
        i += kFrameHeaderSize;
        if (dwLength == 0) {
            sink.OnParserEvent(EParserEvent::ZeroLength, 0);
            continue;
        }
        m_dwFrameDevice = dwDevice;
        m_dwFrameLength = dwLength;
        if (dwLength <= n - i) {
            // Whole frame in this block: hand it over in place, no copy.
            const uint8_t* pPayload = b + i;
            i += dwLength;
            m_dwCollected = 0;
            sink.OnFrame(dwDevice, pPayload, dwLength);
        } else {
            // Larger than the usual buffer: grow it rather than overrun or drop.
            if (dwLength > m_frameBuffer.size()) m_frameBuffer.resize(dwLength, 0);
            const uint32_t k = n - i;
            std::memcpy(m_frameBuffer.data(), b + i, k);
            m_dwCollected = k;
            m_dwMissing = dwLength - k;
            m_bInProgress = true;
            ++m_nFramesBegun;
            m_dwFrameTag = 0;
            m_nLastPieceMs = nNowMs;
            i = n;
        }
    }
}

void CFrameParser::Dispatch(IFrameSink& sink) {
    const uint32_t dwDevice = m_dwFrameDevice;
    const uint32_t dwLength = m_dwCollected;
    // Clear first, so a frame is dispatched exactly once.
    m_bInProgress = false;
    m_dwCollected = 0;
    m_dwMissing = 0;
    sink.OnFrame(dwDevice, m_frameBuffer.data(), dwLength);
}

}  // namespace vexal
