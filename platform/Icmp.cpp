#include "platform/Icmp.h"

#include <cstring>

#include "platform/IcmpDatagram.h"

namespace vexal::platform {

const char* IcmpPathName(EIcmpPath path) {
    switch (path) {
    case EIcmpPath::Raw: return "raw socket";
    case EIcmpPath::Datagram: return "datagram socket";
    case EIcmpPath::PingProgram: return "ping program";
    case EIcmpPath::HelperApi: return "ICMP helper API";
    }
    return "?";
}

void WriteIpv4Header(uint8_t* p, size_t nTotal, uint32_t dwSource, uint32_t dwDestination) {
    constexpr uint8_t kProtocolIcmp = 1;
    std::memset(p, 0, kIpv4HeaderSize);
    p[0] = 0x45;
    p[2] = static_cast<uint8_t>(nTotal >> 8);
    p[3] = static_cast<uint8_t>(nTotal);
    p[8] = 64;
    p[9] = kProtocolIcmp;
    for (int i = 0; i < 4; ++i) {
        p[12 + i] = static_cast<uint8_t>(dwSource >> (24 - 8 * i));
        p[16 + i] = static_cast<uint8_t>(dwDestination >> (24 - 8 * i));
    }
}

}  // namespace vexal::platform
