#include "FrameCodec.h"

#include <algorithm>

namespace hubsim {

namespace {
constexpr uint8_t kMarker[3] = {0x56, 0x51, 0x54};  // "VQT"
}

Bytes EncodeFrame(uint8_t nDevice, const uint8_t* pPayload, size_t nLength) {
    Bytes out;
    // A frame of length 0 is invalid on the link: nothing to send is no frame at all.
    if (nLength == 0) return out;
    size_t nOffset = 0;
    do {
        const size_t nChunk = std::min(nLength - nOffset, kMaxFramePayload);
        out.insert(out.end(), kMarker, kMarker + 3);
        out.push_back(nDevice);
        out.push_back(static_cast<uint8_t>(nChunk >> 8));
        out.push_back(static_cast<uint8_t>(nChunk & 0xFF));
        if (nChunk > 0) out.insert(out.end(), pPayload + nOffset, pPayload + nOffset + nChunk);
        nOffset += nChunk;
    } while (nOffset < nLength);
    return out;
}

void CFrameDecoder::Reset() {
    m_nHeaderHave = 0;
    m_bInPayload = false;
    m_nPayloadWant = 0;
    m_current = SFrame{};
}

void CFrameDecoder::Feed(const uint8_t* pData, size_t nLength, const FrameSink& sink) {
    size_t i = 0;
    while (i < nLength) {
        if (m_bInPayload) {
            const size_t nTake = std::min(m_nPayloadWant - m_current.vecPayload.size(), nLength - i);
            m_current.vecPayload.insert(m_current.vecPayload.end(), pData + i, pData + i + nTake);
            i += nTake;
            if (m_current.vecPayload.size() == m_nPayloadWant) {
                SFrame done = std::move(m_current);
                Reset();
                ++m_stats.nFrames;
                sink(std::move(done));
            }
            continue;
        }
        const uint8_t b = pData[i];
        if (m_nHeaderHave < 3) {
            if (b == kMarker[m_nHeaderHave]) {
                m_header[m_nHeaderHave++] = b;
                ++i;
                continue;
            }
            if (m_nHeaderHave > 0) {
                // A broken marker: drop what matched, then look at this byte afresh
                // (it may start a new marker).
                m_stats.nSkippedBytes += m_nHeaderHave;
                m_nHeaderHave = 0;
                continue;
            }
            if (b == 0x00) ++m_stats.nKeepAliveZeros;
            ++m_stats.nSkippedBytes;
            ++i;
            continue;
        }
        m_header[m_nHeaderHave++] = b;
        ++i;
        if (m_nHeaderHave < kFrameHeaderSize) continue;
        const size_t nDeclared = static_cast<size_t>(m_header[4]) * 256 + m_header[5];
        const uint8_t nDevice = m_header[3];
        m_nHeaderHave = 0;
        if (nDeclared == 0) {
            ++m_stats.nZeroLengthFrames;
            continue;
        }
        m_current.nDevice = nDevice;
        m_current.vecPayload.clear();
        m_current.vecPayload.reserve(nDeclared);
        m_nPayloadWant = nDeclared;
        m_bInPayload = true;
    }
}

}  // namespace hubsim
