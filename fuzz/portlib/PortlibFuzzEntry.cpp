#include "PortlibFuzzEntry.h"

#include <memory>
#include <vector>

#include "portlib/PortInterface.h"
#include "portlib/StatusBack.h"

namespace vexal {

namespace {
struct CNullStatusSink final : IStatusBackSink {
    void OnStatusRecord(const uint8_t*, bool) override {}
    void OnStatusTrace(EStatusTrace, const uint8_t*, uint32_t) override {}
};
}  // namespace

int PortlibFuzzOne(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const uint8_t flags = pData[0];
    const uint32_t nCycle = pData[1] == 0 ? 1024u : pData[1] * 4u;
    // Exactly sized copy, so a read past the end shows under the sanitizers.
    const std::vector<uint8_t> stream(pData + 2, pData + nSize);
    const uint32_t n = static_cast<uint32_t>(stream.size());

    if (flags & 1) {
        std::vector<uint8_t> out(stream.size());
        CNullStatusSink sink;
        FilterStatusBack(stream.data(), n, out.data(), sink, (flags & 8) != 0);
        return 0;
    }
    auto port = std::make_shared<CPortInterface>();
    uint64_t nNow = 0;
    port->SetTickSource([&nNow] { return nNow; });
    DeviceOption option{};
    option.rawMode = (flags & 2) ? 1 : 0;
    port->SetDeviceOption(option);
    for (uint32_t d : {1u, 3u, 10u, 12u, 19u, 20u, 255u}) port->AddDevice(d);
    port->m_nAsbMode = (flags & 4) ? 1 : 0;
    if (flags & 4) port->AppendStatusQueue(0);
    port->m_bOpen = true;
    std::vector<uint8_t> drain(256);
    for (uint32_t i = 0; i < n; i += nCycle) {
        const uint32_t k = std::min(nCycle, n - i);
        port->ProcessReadBytes(stream.data() + i, k);
        nNow += (flags & 16) ? 6000 : 10;  // sometimes long enough to abandon a frame
        // Drain as a caller would, so queues stay small.
        for (uint32_t d : {0u, 3u, 12u}) {
            // Ask for no more than waits: Read pauses when it must wait for bytes.
            while (const uint32_t nWaiting = port->AvailableCount(d))
                port->Read(d, drain.data(), std::min<uint32_t>(nWaiting, 256), 0);
        }
        uint8_t rec[4];
        port->GetASBState(rec, 12);
    }
    return 0;
}

}  // namespace vexal
