// libFuzzer target: echo-reply judgement and checksum over arbitrary datagrams.
// Input: 2 bytes identifier, 1 byte "from the hub" flag, then the datagram,
// copied into an exactly sized buffer so any read past its end is caught.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "portlib/PingCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 3) return 0;
    const auto wId = static_cast<uint16_t>((pData[0] << 8) | pData[1]);
    const uint32_t dwHub = 0x7F000001;
    const uint32_t dwSource = (pData[2] & 1) ? dwHub : dwHub + 1;
    const std::vector<uint8_t> datagram(pData + 3, pData + nSize);
    const vexal::EEchoReply result = vexal::ValidateEchoReply(datagram, dwSource, dwHub, wId);
    if (result == vexal::EEchoReply::Valid) {
        // A valid reply really is one: header length, type and identifier hold.
        const size_t h = static_cast<size_t>(datagram[0] & 0x0F) * 4;
        if (datagram.size() < h + 8 || datagram[h] != 0 || ((datagram[h + 4] << 8) | datagram[h + 5]) != wId)
            __builtin_trap();
    }
    (void)vexal::InternetChecksum(datagram);
    return 0;
}
