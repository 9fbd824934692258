// The port library's receive path: frame parser, dispatch into the device
// queues, and the status-back filter.
//
// Byte 0 picks the path and switches (bit 0: status filter alone; bit 1: raw
// mode; bit 2: status-back mode; bit 3: filter traces; bit 4: long pauses
// between read cycles; bit 5: device 3's queue cleared after each), byte 1 the read-cycle size (0: 1024); the rest is
// the received stream, copied into an exactly sized buffer so a read past its end is caught.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "portlib/FrameParser.h"
#include "portlib/PortInterface.h"
#include "portlib/StatusBack.h"

using namespace vexal;
using vexal::fuzz::Require;

namespace {

struct SFrame {
    uint32_t dwDevice;
    std::vector<uint8_t> payload;
    bool operator==(const SFrame&) const = default;
};

struct CFrameList final : IFrameSink {
    void OnFrame(uint32_t dwDevice, const uint8_t* pPayload, uint32_t dwLength) override {
        Require(dwLength > 0 && dwLength <= 0xFFFF && dwDevice <= 0xFF);
        frames.push_back({dwDevice, std::vector<uint8_t>(pPayload, pPayload + dwLength)});
    }
    void OnParserEvent(EParserEvent, uint32_t) override {}
    std::vector<SFrame> frames;
};

struct CRecordList final : IStatusBackSink {
    void OnStatusRecord(const uint8_t* pRecord, bool bSecondKind) override {
        for (uint32_t i = 0; i < 4; ++i)
            Require(bSecondKind ? IsSecondRecordByte(i, pRecord[i]) : IsStatusRecordByte(i, pRecord[i]));
        records.emplace_back(pRecord, pRecord + 4);
    }
    void OnStatusTrace(EStatusTrace, const uint8_t*, uint32_t) override {}
    std::vector<std::vector<uint8_t>> records;
};

// Whatever the read cycles cut, the status filter passes on and takes out the
// same bytes with and without tracing, and loses none.
void CheckStatusFilter(std::span<const uint8_t> stream) {
    const uint32_t n = static_cast<uint32_t>(stream.size());
    std::vector<uint8_t> plain(n), traced(n);
    CRecordList plainRecords, tracedRecords;
    const uint32_t nPlain = FilterStatusBack(stream.data(), n, plain.data(), plainRecords, false);
    const uint32_t nTraced = FilterStatusBack(stream.data(), n, traced.data(), tracedRecords, true);
    Require(nPlain == nTraced && std::equal(plain.begin(), plain.begin() + nPlain, traced.begin()));
    Require(plainRecords.records == tracedRecords.records);
    Require(nPlain + 4 * plainRecords.records.size() == n);
    // The data keep their order: a subsequence of the stream.
    uint32_t j = 0;
    for (uint32_t i = 0; i < n && j < nPlain; ++i)
        if (stream[i] == plain[j]) ++j;
    Require(j == nPlain);
}

// Frames do not depend on how the reads cut the stream (no pauses here).
void CheckParserCuts(std::span<const uint8_t> stream, uint32_t nCycle) {
    const uint32_t n = static_cast<uint32_t>(stream.size());
    CFrameParser whole, cut;
    CFrameList wholeFrames, cutFrames;
    if (n > 0) whole.Process(stream.data(), n, 0, wholeFrames);
    for (uint32_t i = 0; i < n; i += nCycle) cut.Process(stream.data() + i, std::min(nCycle, n - i), 0, cutFrames);
    Require(wholeFrames.frames == cutFrames.frames);
    size_t nPayload = 0;
    for (const SFrame& frame : wholeFrames.frames) nPayload += frame.payload.size() + kFrameHeaderSize;
    Require(nPayload <= n);
}

// The whole receive path of a port, drained as a caller would.
void RunPort(std::span<const uint8_t> stream, uint8_t byFlags, uint32_t nCycle) {
    const uint32_t n = static_cast<uint32_t>(stream.size());
    auto port = std::make_shared<CPortInterface>();
    uint64_t nNow = 0;
    port->SetTickSource([&nNow] { return nNow; });
    DeviceOption option{};
    option.rawMode = (byFlags & 2) ? 1 : 0;
    port->SetDeviceOption(option);
    for (uint32_t d : {1u, 3u, 10u, 12u, 19u, 20u, 255u}) port->AddDevice(d);
    port->m_nAsbMode = (byFlags & 4) ? 1 : 0;
    if (byFlags & 4) port->AppendStatusQueue(0);
    port->m_bOpen = true;
    std::vector<uint8_t> drain(256);
    for (uint32_t i = 0; i < n; i += nCycle) {
        port->ProcessReadBytes(stream.data() + i, std::min(nCycle, n - i));
        nNow += (byFlags & 16) ? 6000 : 10;  // sometimes long enough to abandon a frame
        for (uint32_t d : {0u, 3u, 12u}) {
            // Ask for no more than waits: Read pauses when it must wait for bytes.
            while (const uint32_t nWaiting = port->AvailableCount(d)) {
                const uint32_t nAsked = std::min<uint32_t>(nWaiting, 256);
                Require(port->Read(d, drain.data(), nAsked, 0) <= nAsked);
            }
        }
        uint8_t record[4];
        port->GetASBState(record, 12);
        if (byFlags & 32) port->Clear(3);  // an exchange given up: a frame begun before is dropped
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const uint8_t byFlags = pData[0];
    const uint32_t nCycle = pData[1] == 0 ? 1024u : pData[1] * 4u;
    const vexal::fuzz::CExactInput exact(pData, nSize, 2);
    const std::span<const uint8_t> stream = exact.Bytes();
    if (byFlags & 1) {
        CheckStatusFilter(stream);
        return 0;
    }
    CheckParserCuts(stream, nCycle);
    RunPort(stream, byFlags, nCycle);
    return 0;
}
