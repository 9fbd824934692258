#include "model/DeviceFrames.h"

#include <algorithm>

namespace vexal::model {

size_t FramedLength(size_t nData) {
    const size_t nFrames = (nData + kFramePayloadMax - 1) / kFramePayloadMax;
    return nData + nFrames * kFrameHeaderBytes;
}

void AppendFrames(std::vector<uint8_t>& out, uint8_t nDevice, const uint8_t* pData, size_t nData) {
    out.reserve(out.size() + FramedLength(nData));
    for (size_t nDone = 0; nDone < nData;) {
        const size_t nChunk = std::min(nData - nDone, kFramePayloadMax);
        const uint8_t header[kFrameHeaderBytes] = {
            0x56, 0x51, 0x54, nDevice, static_cast<uint8_t>(nChunk >> 8), static_cast<uint8_t>(nChunk & 0xFF)};
        out.insert(out.end(), header, header + kFrameHeaderBytes);
        out.insert(out.end(), pData + nDone, pData + nDone + nChunk);
        nDone += nChunk;
    }
}

size_t PayloadWithin(size_t nData, size_t nWire) {
    constexpr size_t kFrame = kFrameHeaderBytes + kFramePayloadMax;
    const size_t nWhole = std::min(nWire / kFrame, nData / kFramePayloadMax);
    size_t nPayload = nWhole * kFramePayloadMax;
    const size_t nRestWire = nWire - nWhole * kFrame;
    if (nPayload < nData && nRestWire > kFrameHeaderBytes)
        nPayload += std::min(nRestWire - kFrameHeaderBytes, std::min(nData - nPayload, kFramePayloadMax));
    return nPayload;
}

std::vector<uint8_t> PnpEnablePayload() { return {0x01}; }

std::vector<uint8_t> StatusBackPayload(bool bOn) { return {0x1D, 0x61, static_cast<uint8_t>(bOn ? 0x0F : 0x00)}; }

}  // namespace vexal::model
